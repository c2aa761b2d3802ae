// TDialUp over the real NetworkManager (in a network namespace): what the main window relies on.
#include "dialup/DialUp.h"
#include "platform/NmDialService.h"
#include "NmTest.h"

#include <gtest/gtest.h>

using testsupport::NmFixture;

namespace {

class DialUpNmTest : public testsupport::NmTest {
protected:
    void SetUp() override
    {
        NmTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        dialUp = std::make_unique<TDialUp>(nullptr, std::make_unique<NmDialService>(nm.bus()));
        dialUp->DialMode = dmSync;
        dialUp->OnEntryGet = [this](QObject*, const QString& name) { events << "EntryGet " + name; };
        dialUp->OnDialing = [this](QObject*) { events << "Dialing"; };
        dialUp->OnConnect = [this](QObject*) { events << "Connect"; };
        dialUp->OnNotConnected = [this](QObject*, uint32_t code, const QString& text) {
            events << QStringLiteral("NotConnected %1 %2").arg(code).arg(text);
        };
        dialUp->OnError = [this](QObject*, uint32_t code, const QString& text) {
            events << QStringLiteral("Error %1 %2").arg(code).arg(text);
        };
        dialUp->OnAsyncEvent = [this](QObject*, uint32_t state, uint32_t error, const QString& text) {
            events << QStringLiteral("Async %1 %2 %3").arg(state).arg(error).arg(text);
        };
        dialUp->OnActiveConnection = [this](QObject*, uint32_t handle, const TRasConnStatus&, const QString& text,
                                            const QString& entry, const QString& type, const QString& device) {
            handles << handle;
            events << QStringLiteral("Active %1 %2 %3 %4").arg(text, entry, type, device);
        };
    }
    void TearDown() override { dialUp.reset(); }

    std::unique_ptr<TDialUp> dialUp;
    QStringList events;
    QList<uint32_t> handles;
};

TEST_F(DialUpNmTest, ListDialProbeAndHangUp)
{
    add(NmFixture::bridgeProfile("Pont", "br7"));
    add(NmFixture::gsmProfile("Mobile", "bob", "secret"));

    ASSERT_EQ(dialUp->GetEntries(), 0u);
    EXPECT_EQ(events, QStringList({"EntryGet Mobile", "EntryGet Pont"}));

    // The probe finds nothing before the dial.
    events.clear();
    ASSERT_EQ(dialUp->GetConnections(), 0u);
    EXPECT_TRUE(events.isEmpty());

    dialUp->Entry = "Pont";
    ASSERT_EQ(dialUp->Dial(), 0u);
    EXPECT_EQ(events, QStringList({"Dialing", "Connect"}));

    events.clear();
    ASSERT_EQ(dialUp->GetConnections(), 0u);
    EXPECT_EQ(events, QStringList({"Active Connected Pont bridge br7"}));
    ASSERT_EQ(handles.size(), 1);
    EXPECT_EQ(handles[0], dialUp->ConnectionHandle());

    // Without a modem the gsm dial fails at once: the previous line is hung up first.
    events.clear();
    dialUp->Entry = "Mobile";
    EXPECT_EQ(dialUp->Dial(), DialError::DeviceNotFound);
    EXPECT_EQ(events, QStringList({"Dialing", QStringLiteral("NotConnected %1 ").arg(DialError::DeviceNotFound)
                                                  + QString::fromUtf8("Aucun périphérique ne convient à cette "
                                                                      "connexion (modem absent ?).")}));
    EXPECT_TRUE(NmFixture::waitUntil([&] {
        events.clear();
        dialUp->GetConnections();
        return events.isEmpty();
    })) << "the bridge stayed up: " << events.join('|').toStdString();
}

TEST_F(DialUpNmTest, HangUpConnectionClosesAnyActiveConnection)
{
    add(NmFixture::tunProfile("Tunnel", "tun7"));
    dialUp->Entry = "Tunnel";
    ASSERT_EQ(dialUp->Dial(), 0u);
    ASSERT_EQ(dialUp->GetConnections(), 0u);
    ASSERT_EQ(handles.size(), 1);
    EXPECT_EQ(dialUp->HangUpConnection(handles[0]), 0u);
    EXPECT_TRUE(NmFixture::waitUntil([&] {
        handles.clear();
        dialUp->GetConnections();
        return handles.isEmpty();
    }));
    EXPECT_EQ(dialUp->HangUp(), DialError::InvalidHandle);
}

TEST_F(DialUpNmTest, AsynchronousDialDeliversProgressOnTheEventLoop)
{
    add(NmFixture::bridgeProfile("Pont", "br7"));
    dialUp->DialMode = dmAsync;
    dialUp->Entry = "Pont";
    ASSERT_EQ(dialUp->Dial(), 0u);
    EXPECT_EQ(events, QStringList({"Dialing"}));
    ASSERT_TRUE(NmFixture::waitUntil([&] { return events.last() == "Async 8192 0 Connected"; }))
        << events.join('|').toStdString();
    EXPECT_FALSE(events.contains("Connect"));
}

} // namespace
