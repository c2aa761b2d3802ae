// GoogleTest base for tests that need a running NetworkManager (see NmFixture).
#pragma once
#include "NmFixture.h"

#include <gtest/gtest.h>

namespace testsupport {

// Starts NetworkManager before each test; skips only where the kernel refuses network
// namespaces, and fails for any other reason the fixture could not start.
class NmTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const NmFixture::Status status = nm.start();
        if (status == NmFixture::Status::NoNamespaces)
            GTEST_SKIP() << nm.message().toStdString();
        ASSERT_EQ(status, NmFixture::Status::Running) << nm.message().toStdString();
    }

    // Adds a profile or fails the test.
    void add(const NmFixture::Settings& settings)
    {
        QString error;
        ASSERT_FALSE(nm.addProfile(settings, &error).isEmpty()) << error.toStdString();
    }

    NmFixture nm;
};

} // namespace testsupport
