// TDialUp over the scripted dial service: operations, events, state texts and the asynchronous hand-over.
#include "dialup/DialUp.h"
#include "platform/FakeDialService.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <gtest/gtest.h>

namespace {

// Processes events until done() holds; the cap only stops a broken test from hanging.
bool spinUntil(const std::function<bool()>& done)
{
    const QDeadlineTimer cap(20000);
    while (!done() && !cap.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

class DialUpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto service = std::make_unique<FakeDialService>();
        fake = service.get();
        fake->setTextLanguage(DialTextLanguage::English);
        dialUp = std::make_unique<TDialUp>(nullptr, std::move(service));
        dialUp->OnEntryGet = [this](QObject* s, const QString& name) {
            EXPECT_EQ(s, dialUp.get());
            events << "EntryGet " + name;
        };
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
        dialUp->OnActiveConnection = [this](QObject*, uint32_t handle, const TRasConnStatus& status,
                                            const QString& text, const QString& entry, const QString& type,
                                            const QString& device) {
            events << QStringLiteral("Active %1 %2/%3 %4 %5 %6 %7")
                          .arg(handle).arg(status.State).arg(status.Error).arg(text, entry, type, device);
        };
    }

    FakeDialService::Entry entry(const QString& name, uint32_t result = 0, std::vector<uint32_t> progress = {})
    {
        FakeDialService::Entry e;
        e.Name = name;
        e.DialResult = result;
        e.Progress = std::move(progress);
        return e;
    }

    FakeDialService* fake = nullptr;
    std::unique_ptr<TDialUp> dialUp;
    QStringList events;
};

struct StateCase {
    TLanguage language;
    uint32_t state;
    uint32_t error;
    const char* text;
};

TEST_F(DialUpTest, StatusTextFollowsTheLanguageAndLetsAnErrorWin)
{
    fake->ErrorTexts[631] = "The port was disconnected by the user.";
    const StateCase cases[] = {
        {English, 8192, 0, "Connected"},
        {Czech, 8192, 0, "Spojeno"},
        {English, 8193, 0, "Disconnected"},
        {Czech, 0, 0, "Otevírá se port"},
        {Czech, 15, 0, "Příprava na zpetné volání"},
        {English, 4097, 0, "Retry Authentication"},
        {Czech, 4098, 0, "Zpeětné volání zvoleno uživatelem"},
        {English, 22, 0, ""},
        {Czech, 4095, 0, ""},
        {English, 4100, 0, ""},
        {English, 8194, 0, ""},
        {English, 8192, 631, "The port was disconnected by the user."},
        {Czech, 22, 631, "The port was disconnected by the user."},
    };
    for (const StateCase& c : cases) {
        dialUp->Language = c.language;
        EXPECT_EQ(dialUp->StatusText(c.state, c.error), QString::fromUtf8(c.text))
            << "state " << c.state << " error " << c.error << " language " << c.language;
    }
}

TEST_F(DialUpTest, GetEntriesFillsTheListAndFiresOnePerEntry)
{
    EXPECT_EQ(dialUp->GetEntries(), 0u);
    EXPECT_TRUE(dialUp->Entries().isEmpty());
    EXPECT_TRUE(events.isEmpty());

    fake->Entries = {entry("Modem"), entry(QString::fromUtf8("Ligne n°2"))};
    EXPECT_EQ(dialUp->GetEntries(), 0u);
    EXPECT_EQ(dialUp->Entries(), QStringList({"Modem", QString::fromUtf8("Ligne n°2")}));
    EXPECT_EQ(events, QStringList({"EntryGet Modem", QString::fromUtf8("EntryGet Ligne n°2")}));

    // A failing enumeration still empties the list, and says nothing.
    events.clear();
    fake->Failures["listEntries"] = DialError::ServiceUnavailable;
    EXPECT_EQ(dialUp->GetEntries(), DialError::ServiceUnavailable);
    EXPECT_TRUE(dialUp->Entries().isEmpty());
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(DialUpTest, DialOfAnUnknownEntryReportsTheReadingFailure)
{
    fake->Entries = {entry("Modem")};
    dialUp->DialMode = dmSync;
    dialUp->Entry = "Absent";
    EXPECT_EQ(dialUp->Dial(), DialError::EntryNotFound);
    EXPECT_EQ(events, QStringList({QStringLiteral("Error %1 GetEntryDialParams failed").arg(DialError::EntryNotFound)}));
    EXPECT_FALSE(fake->Calls.contains("dial Absent"));
}

TEST_F(DialUpTest, SynchronousDialConnects)
{
    fake->Entries = {entry("Modem", 0, {0, 2, 5})};
    dialUp->DialMode = dmSync;
    dialUp->Entry = "Modem";
    EXPECT_EQ(dialUp->Dial(), 0u);
    EXPECT_EQ(events, QStringList({"Dialing", "Connect"}));   // no progress events in this mode
    EXPECT_NE(dialUp->ConnectionHandle(), 0u);

    events.clear();
    EXPECT_EQ(dialUp->GetConnections(), 0u);
    EXPECT_EQ(events, QStringList({QStringLiteral("Active %1 8192/0 Connected Modem modem Fake modem")
                                       .arg(dialUp->ConnectionHandle())}));
}

TEST_F(DialUpTest, FailedSynchronousDialHangsUpThePartialConnectionAndReports)
{
    fake->Entries = {entry("Modem", DialError::NoAnswer, {0, 2})};
    dialUp->DialMode = dmSync;
    dialUp->Entry = "Modem";
    EXPECT_EQ(dialUp->Dial(), DialError::NoAnswer);
    EXPECT_EQ(events, QStringList({"Dialing", QStringLiteral("NotConnected %1 There is no answer.").arg(DialError::NoAnswer)}));
    const uint32_t handle = dialUp->ConnectionHandle();
    ASSERT_NE(handle, 0u);   // the handle survives the failure
    EXPECT_EQ(fake->Calls.last(), QStringLiteral("hangUp %1").arg(handle));
}

TEST_F(DialUpTest, DialHangsUpThePreviousConnectionFirst)
{
    fake->Entries = {entry("Modem"), entry("Autre")};
    dialUp->DialMode = dmSync;
    dialUp->Entry = "Modem";
    ASSERT_EQ(dialUp->Dial(), 0u);
    const uint32_t first = dialUp->ConnectionHandle();
    fake->Calls.clear();
    dialUp->Entry = "Autre";
    ASSERT_EQ(dialUp->Dial(), 0u);
    EXPECT_EQ(fake->Calls.value(0), QStringLiteral("hangUp %1").arg(first));
    ASSERT_EQ(fake->Active.size(), 1u);
    EXPECT_EQ(fake->Active[0].EntryName, "Autre");
}

TEST_F(DialUpTest, HangUpUsesTheLastHandleAndNeverRaises)
{
    EXPECT_EQ(dialUp->HangUp(), DialError::InvalidHandle);   // no dial yet: handle 0
    EXPECT_EQ(fake->Calls, QStringList({"hangUp 0"}));

    fake->Entries = {entry("Modem")};
    dialUp->DialMode = dmSync;
    dialUp->Entry = "Modem";
    ASSERT_EQ(dialUp->Dial(), 0u);
    EXPECT_EQ(dialUp->HangUp(), 0u);
    EXPECT_TRUE(fake->Active.empty());
    EXPECT_EQ(dialUp->HangUp(), DialError::InvalidHandle);   // the handle is kept, and stale
    EXPECT_NE(dialUp->ConnectionHandle(), 0u);
}

TEST_F(DialUpTest, ActiveConnectionsCarryTheirStateTextOrErrorText)
{
    fake->Active = {{7, 8192, 0, "Modem", "modem", "COM1"}, {9, 5, 691, "VPN", "vpn", "tun0"}};
    dialUp->Language = Czech;
    EXPECT_EQ(dialUp->GetConnections(), 0u);
    EXPECT_EQ(events, QStringList({"Active 7 8192/0 Spojeno Modem modem COM1",
                                   "Active 9 5/691 The user name or password was refused. VPN vpn tun0"}));

    events.clear();
    fake->Failures["listConnections"] = DialError::ServiceUnavailable;
    EXPECT_EQ(dialUp->GetConnections(), DialError::ServiceUnavailable);
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(DialUpTest, StoredUserNameAndPassword)
{
    FakeDialService::Entry withPassword = entry("Modem");
    withPassword.UserName = "alice";
    withPassword.Password = "pw";
    withPassword.HasPassword = true;
    FakeDialService::Entry without = entry("Libre");
    without.UserName = "bob";
    without.Password = "stale";   // the platform holds a value but says none is stored
    fake->Entries = {withPassword, without};

    QString value = "before";
    dialUp->Entry = "Libre";
    EXPECT_EQ(dialUp->GetPassword(value), 0u);
    EXPECT_EQ(value, "");
    EXPECT_EQ(dialUp->GetUserName(value), 0u);
    EXPECT_EQ(value, "bob");

    dialUp->Entry = "Modem";
    EXPECT_EQ(dialUp->GetPassword(value), 0u);
    EXPECT_EQ(value, "pw");
    EXPECT_EQ(dialUp->SetUserName(QString::fromUtf8("andré")), 0u);
    EXPECT_EQ(dialUp->SetPassword("neuf"), 0u);
    EXPECT_EQ(fake->Calls.mid(fake->Calls.size() - 2),
              QStringList({QString::fromUtf8("setUserName Modem andré"), "setPassword Modem neuf"}));

    // A failed read leaves the value alone.
    dialUp->Entry = "Absent";
    value = "kept";
    EXPECT_EQ(dialUp->GetUserName(value), DialError::EntryNotFound);
    EXPECT_EQ(dialUp->GetPassword(value), DialError::EntryNotFound);
    EXPECT_EQ(value, "kept");
}

TEST_F(DialUpTest, EntryOperationsActOnTheCurrentEntry)
{
    fake->Entries = {entry("Modem"), entry("Autre")};
    fake->OnCreateDialog = [this] { fake->Entries.push_back(entry("Nouvelle")); };
    EXPECT_EQ(dialUp->CreateEntry(), 0u);
    dialUp->Entry = "Modem";
    dialUp->EditEntry();
    EXPECT_EQ(dialUp->RenameEntry("Autre"), DialError::AlreadyExists);
    EXPECT_EQ(dialUp->RenameEntry("Modem 2"), 0u);
    dialUp->Entry = "Autre";
    EXPECT_EQ(dialUp->DeleteEntry(), 0u);
    EXPECT_EQ(fake->Calls, QStringList({"createEntryDialog", "editEntryDialog Modem", "renameEntry Modem Autre",
                                        "renameEntry Modem Modem 2", "deleteEntry Autre"}));
    ASSERT_EQ(dialUp->GetEntries(), 0u);
    EXPECT_EQ(dialUp->Entries(), QStringList({"Modem 2", "Nouvelle"}));
}

TEST_F(DialUpTest, RenameAndDeleteRaiseWhenTheServiceCannotDoThem)
{
    auto message = [this](const std::function<void()>& op) -> std::string {
        try {
            op();
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "no exception";
    };
    dialUp->Entry = "Modem";
    fake->Reachable = false;
    EXPECT_EQ(message([&] { dialUp->RenameEntry("x"); }), "Error opening rasapi.dll");
    fake->Reachable = true;
    fake->OffersRenameDelete = false;
    EXPECT_EQ(message([&] { dialUp->RenameEntry("x"); }), "Function RasRenameEntry not found!");
    EXPECT_EQ(message([&] { dialUp->DeleteEntry(); }), "Function RasDeleteEntry not found!");
    EXPECT_FALSE(fake->Calls.contains("deleteEntry Modem"));

    TDialUp alone;   // no service at all
    EXPECT_EQ(message([&] { alone.DeleteEntry(); }), "Error opening rasapi.dll");
    EXPECT_EQ(alone.GetEntries(), DialError::ServiceUnavailable);
    EXPECT_EQ(alone.HangUp(), DialError::ServiceUnavailable);
}

// --- asynchronous mode ---

TEST_F(DialUpTest, AsynchronousDialReportsThroughOnAsyncEventOnly)
{
    fake->Entries = {entry("Modem", 0, {0, 2, 14})};
    dialUp->Entry = "Modem";
    ASSERT_EQ(dialUp->DialMode, dmAsync);   // the mode a new component starts in
    EXPECT_EQ(dialUp->Dial(), 0u);
    EXPECT_EQ(events, QStringList({"Dialing"}));   // the dial call returns before any progress
    ASSERT_TRUE(spinUntil([&] { return events.size() == 5; })) << events.join('|').toStdString();
    EXPECT_EQ(events, QStringList({"Dialing", "Async 0 0 Opening port", "Async 2 0 Connecting device",
                                   "Async 14 0 Authenticated", "Async 8192 0 Connected"}));
}

TEST_F(DialUpTest, AsynchronousFailureArrivesAsAnEventAndRefusalAsAnError)
{
    fake->Entries = {entry("Modem", DialError::LineBusy, {0})};
    dialUp->Entry = "Modem";
    EXPECT_EQ(dialUp->Dial(), 0u);
    ASSERT_TRUE(spinUntil([&] { return events.size() == 3; }));
    EXPECT_EQ(events.last(), QStringLiteral("Async 8193 %1 The line is busy.").arg(DialError::LineBusy));

    events.clear();
    fake->Failures["dialAsync"] = DialError::DeviceUnavailable;
    EXPECT_EQ(dialUp->Dial(), DialError::DeviceUnavailable);
    EXPECT_EQ(events, QStringList({"Dialing", QStringLiteral("Error %1 The connecting device is not available.")
                                                  .arg(DialError::DeviceUnavailable)}));
}

TEST_F(DialUpTest, HandOverFromAnotherThreadKeepsEveryNotificationInOrder)
{
    std::vector<uint32_t> states;
    for (uint32_t s = 0; s <= 21; ++s)
        states.push_back(s);
    fake->Entries = {entry("Modem", 0, states)};
    fake->AsyncOnThread = true;
    std::vector<uint32_t> seen;
    std::vector<bool> onUiThread;
    dialUp->OnAsyncEvent = [&](QObject*, uint32_t state, uint32_t, const QString&) {
        seen.push_back(state);
        onUiThread.push_back(QThread::currentThread() == dialUp->thread());
        // A slow handler: the reporting thread must wait for the slot, not overwrite it.
        QThread::msleep(2);
    };
    dialUp->Entry = "Modem";
    ASSERT_EQ(dialUp->Dial(), 0u);
    ASSERT_TRUE(spinUntil([&] { return seen.size() == states.size() + 1; }));
    states.push_back(DialState::Connected);
    EXPECT_EQ(seen, states);
    EXPECT_EQ(std::count(onUiThread.begin(), onUiThread.end(), false), 0);
    fake->waitForAsyncDial();
}

TEST_F(DialUpTest, HandOverWithoutAHandlerStillFreesTheSlot)
{
    fake->Entries = {entry("Modem", 0, {0, 1, 2, 3, 4, 5})};
    fake->AsyncOnThread = true;
    dialUp->OnAsyncEvent = nullptr;
    dialUp->Entry = "Modem";
    ASSERT_EQ(dialUp->Dial(), 0u);
    // The reporting thread can only finish if every notification was taken off the slot.
    ASSERT_TRUE(spinUntil([&] { return !fake->Active.empty(); }));
    fake->waitForAsyncDial();
}

TEST_F(DialUpTest, SameThreadNotificationsQueueBehindTheSlotInOrder)
{
    // Reports that arrive on the component's own thread while one is pending are not lost.
    fake->Entries = {entry("Modem", 0, {0, 1, 2, 3})};   // all due at once
    dialUp->Entry = "Modem";
    ASSERT_EQ(dialUp->Dial(), 0u);
    ASSERT_TRUE(spinUntil([&] { return events.size() == 6; })) << events.join('|').toStdString();
    EXPECT_EQ(events.mid(1), QStringList({"Async 0 0 Opening port", "Async 1 0 Port opened",
                                          "Async 2 0 Connecting device", "Async 3 0 Device connected",
                                          "Async 8192 0 Connected"}));
}

TEST_F(DialUpTest, DestroyingTheComponentReleasesAWaitingNotifier)
{
    FakeDialService::Entry slow = entry("Modem", 0, {0, 1, 2, 3, 4, 5, 6, 7});
    fake->Entries = {slow};
    fake->AsyncOnThread = true;
    dialUp->Entry = "Modem";
    ASSERT_EQ(dialUp->Dial(), 0u);
    // Nothing delivers: the thread soon waits for the slot. Destruction must not deadlock.
    QThread::msleep(20);
    dialUp.reset();
    SUCCEED();
}

} // namespace
