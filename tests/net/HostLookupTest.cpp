// THostLookup: the system resolver on a thread, its answer through the event loop, and a lookup
// abandoned before its answer.
#include "net/HostLookup.h"
#include "net/SockErrors.h"
#include "NetTestUtil.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

namespace {

TEST(HostLookup, AnswersThroughTheEventLoop)
{
    const struct {
        const char* name;
        const char* expected;  // among the addresses; nullptr: none, with the error
        std::uint16_t error;
    } rows[] = {
        {"127.0.0.1", "127.0.0.1", 0},
        {"localhost", "127.0.0.1", 0},
        {"0x7f.1", "127.0.0.1", 0},  // the resolver's own reading of an address
        {"", nullptr, sockerrors::HostNotFound},
        {"0.0.0.0", nullptr, sockerrors::NoData},  // "any address" is nobody to connect to
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        bool done = false;
        std::vector<std::string> found;
        std::uint16_t error = 1;
        const THostLookup lookup(r.name, [&](std::vector<std::string> addresses, std::uint16_t e) {
            found = std::move(addresses);
            error = e;
            done = true;
        });
        EXPECT_FALSE(done) << "answered before the event loop ran";
        ASSERT_TRUE(nettest::PumpUntil([&] { return done; }));
        EXPECT_EQ(error, r.error);
        if (r.expected)
            EXPECT_NE(std::find(found.begin(), found.end(), r.expected), found.end());
        else
            EXPECT_TRUE(found.empty());
        // Each address once, although the resolver gives one per socket type.
        std::vector<std::string> sorted = found;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(std::unique(sorted.begin(), sorted.end()), sorted.end());
    }
}

TEST(HostLookup, AnAbandonedLookupNeverAnswers)
{
    int answers = 0;
    for (int i = 0; i < 20; ++i)
        std::make_unique<THostLookup>("localhost", [&](std::vector<std::string>, std::uint16_t) { ++answers; }).reset();
    // The threads end alone; whatever they leave behind reaches nobody.
    nettest::PumpUntil([] { return false; }, 300);
    EXPECT_EQ(answers, 0);
}

} // namespace
