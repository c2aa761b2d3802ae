// The interface fallback of the dial service, run inside a network namespace of the test's own.
#include "platform/IfaceDialService.h"
#include "NmFixture.h"

#include <gtest/gtest.h>
#include <net/if.h>

using testsupport::Netns;

namespace {

class IfaceDialServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QString why;
        if (!Netns::supported(&why))
            GTEST_SKIP() << why.toStdString();
        QString error;
        ASSERT_TRUE(ns.create(&error)) << error.toStdString();
        for (const QStringList& command : {QStringList{"ip", "link", "set", "lo", "up"},
                                           QStringList{"ip", "link", "add", "eth-up", "type", "veth", "peer", "name", "a-up"},
                                           QStringList{"ip", "link", "set", "eth-up", "up"},
                                           QStringList{"ip", "link", "set", "a-up", "up"},
                                           QStringList{"ip", "link", "add", "eth-down", "type", "bridge"}})
            ASSERT_TRUE(ns.run(command, &error)) << error.toStdString();
    }

    Netns ns;
    IfaceDialService service;
};

TEST_F(IfaceDialServiceTest, UpInterfacesAreAlwaysConnectedEntries)
{
    testsupport::EnterNetns inside(ns.name());
    ASSERT_TRUE(inside.ok());

    QStringList names;
    ASSERT_EQ(service.listEntries(names), 0u);
    EXPECT_EQ(names, QStringList({"a-up", "eth-up"}));   // loopback and the down link left out

    std::vector<ActiveConnection> list;
    ASSERT_EQ(service.listConnections(list), 0u);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].EntryName, "eth-up");
    EXPECT_EQ(list[1].Handle, if_nametoindex("eth-up"));
    EXPECT_EQ(list[1].State, DialState::Connected);
    EXPECT_EQ(list[1].Error, 0u);
    EXPECT_EQ(list[1].DeviceType, "ethernet");
    EXPECT_EQ(list[1].DeviceName, "eth-up");

    DialParams params;
    EXPECT_EQ(service.getDialParams("eth-up", params), 0u);
    EXPECT_EQ(params.EntryName, "eth-up");
    EXPECT_EQ(service.getDialParams("eth-down", params), DialError::EntryNotFound);

    // Nothing can be dialed, hung up or changed, and the refusal says why.
    uint32_t handle = 5;
    EXPECT_EQ(service.dial(params, handle, {}), DialError::NotSupported);
    EXPECT_EQ(handle, 0u);
    EXPECT_TRUE(service.errorText(DialError::NotSupported).contains("NetworkManager"));
    EXPECT_EQ(service.hangUp(list[1].Handle), DialError::NotSupported);
    EXPECT_EQ(service.hangUp(0), DialError::InvalidHandle);
    EXPECT_EQ(service.setPassword("eth-up", "x"), DialError::NotSupported);
    EXPECT_EQ(service.createEntryDialog(), DialError::NotSupported);
    EXPECT_FALSE(service.provides("RasRenameEntry"));
    EXPECT_FALSE(service.provides("RasDeleteEntry"));
}

} // namespace
