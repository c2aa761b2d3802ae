// New mail: what an account saw at its last check, the "(n nouveaux)" of the result lines, the
// silence of a scheduled check without news, the desktop notification and the tray mark, and mail
// an IMAP account waiting in IDLE is told of.
#include "MailFixtures.h"
#include "ScriptedServer.h"
#include "SessionBus.h"
#include "app/NewMail.h"
#include "app/TrayIcon.h"
#include "mail/KTpop3.h"
#include "platform/DesktopNotifications.h"

#include <QListWidget>

namespace {

using Ids = std::vector<std::string>;

// Each step gives the mailbox as the server lists it and the message numbers that must be new.
TEST(SeenMail, NewMessagesAreThoseNotSeenAtTheLastCheck)
{
    struct Step {
        Ids ids;              // empty ids with useCount: a server without UIDL
        int count;
        bool byCount;
        std::vector<int> fresh;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"first check: everything is new", {{{"a", "b", "c"}, 3, false, {1, 2, 3}}}},
        {"same mailbox again: nothing new", {{{"a", "b"}, 2, false, {1, 2}}, {{"a", "b"}, 2, false, {}}}},
        {"two delivered", {{{"a", "b"}, 2, false, {1, 2}}, {{"a", "b", "c", "d"}, 4, false, {3, 4}}}},
        {"one deleted, one delivered", {{{"a", "b", "c"}, 3, false, {1, 2, 3}}, {{"a", "c", "x"}, 3, false, {3}}}},
        {"a number the server skipped", {{{"a", "", "c"}, 3, false, {1, 3}}, {{"a", "", "c", "d"}, 4, false, {4}}}},
        {"without ids: the count grows", {{{}, 6, true, {1, 2, 3, 4, 5, 6}}, {{}, 8, true, {7, 8}}}},
        {"without ids: fewer messages", {{{}, 6, true, {1, 2, 3, 4, 5, 6}}, {{}, 4, true, {}}, {{}, 5, true, {5}}}},
        {"ids after a count", {{{}, 2, true, {1, 2}}, {{"a", "b"}, 2, false, {1, 2}}, {{"a", "b"}, 2, false, {}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempFolder dir;
        const QString file = TSeenMail::StateFileFor(dir.path(), "pop.example.com", "alice");
        int stepNumber = 0;
        for (const Step& s : c.steps) {
            SCOPED_TRACE(++stepNumber);
            // A fresh object each time: what was seen must come back from the file.
            TSeenMail seen(file);
            EXPECT_EQ(s.byCount ? seen.NewByCount(s.count) : seen.NewByIds(s.ids), s.fresh);
            seen.Save();
        }
        EXPECT_EQ(QFileInfo(file).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup), 0);
    }
}

TEST(SeenMail, StateFilesStayInTheirFolderAndFollowHostAndUserOnly)
{
    const QString a = TSeenMail::StateFileFor("/s", "../pop.example.com", "al/ice");
    EXPECT_EQ(QFileInfo(a).absolutePath(), "/s");
    EXPECT_NE(TSeenMail::StateFileFor("/s", "pop.example.com", "bob"), TSeenMail::StateFileFor("/s", "pop.example.com", "ann"));
    EXPECT_NE(TSeenMail::StateFileFor("/s", "pop.example.com", "bob"), TSeenMail::StateFileFor("/s", "pop.example.org", "bob"));
    // The file an earlier version kept per port is taken over, whichever port is now in use.
    testsupport::TempFolder dir;
    QFile former(QDir(dir.path()).filePath("bob@pop.example.com_110.seen"));
    ASSERT_TRUE(former.open(QIODevice::WriteOnly));
    former.close();
    const QString now = TSeenMail::StateFileFor(dir.path(), "pop.example.com", "bob", 110);
    EXPECT_TRUE(QFileInfo::exists(now));
    EXPECT_EQ(now, TSeenMail::StateFileFor(dir.path(), "pop.example.com", "bob", 995));
}

TEST(SeenMail, SuffixOfTheResultLine)
{
    EXPECT_EQ(NewMailSuffix(0), "");
    EXPECT_EQ(NewMailSuffix(1), " (1 nouveau)");
    EXPECT_EQ(NewMailSuffix(2), " (2 nouveaux)");
}

// Message n; its sender's name is an encoded word ("Expéditeur n" in ISO-8859-1).
std::string message(int n)
{
    return "From: =?ISO-8859-1?Q?Exp=E9diteur_" + std::to_string(n) + "?= <s" + std::to_string(n)
           + "@example.org>\r\nSubject: Sujet " + std::to_string(n) + "\r\nMessage-ID: <" + std::to_string(n)
           + "@example.org>\r\n\r\nCorps " + std::to_string(n) + "\r\n";
}

class NewMailTest : public MailAppFixture {
protected:
    bool alertShown = false;
    QStringList alertLines;

    // Runs a check; the alert window, when it opens, is read and closed.
    void run(bool manual)
    {
        alertShown = false;
        alertLines.clear();
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [this, &watch] {
            TAlert* a = windows.Alert.get();
            if (!a->isVisible())
                return;
            alertShown = true;
            for (int i = 0; i < a->ListBox->count(); ++i)
                alertLines << a->ListBox->item(i)->text();
            watch.stop();
            a->CloseBtn->click();
        });
        watch.start(10);
        if (manual)
            form().Button10Click();
        else
            form().CheckMail();
    }

    TForm1& startWithAccount()
    {
        useFakeDialService(true);
        TForm1& f = start();
        enterAccount(f);
        f.Accounts->SaveAccount();
        return f;
    }
};

TEST_F(NewMailTest, DeliveredMessagesAreCountedAsNewAndAQuietScheduleStaysQuiet)
{
    startPop3({message(1), message(2), message(3), message(4)});
    TForm1& f = startWithAccount();
    run(false);
    EXPECT_EQ(alertLines, QStringList({"Vous avez 4 messages sur 127.0.0.1 (4 nouveaux)"}));
    EXPECT_EQ(sound.beeps + sound.plays, 1);

    dovecot.deliver(kUser, message(5));
    dovecot.deliver(kUser, message(6));
    f.hide();
    run(false);
    EXPECT_EQ(alertLines, QStringList({"Vous avez 6 messages sur 127.0.0.1 (2 nouveaux)"}));
    EXPECT_EQ(sound.beeps + sound.plays, 2);
    EXPECT_FALSE(f.isVisible());  // a scheduled check never brings the main window back

    // Nothing new on a schedule: no window, no sound, nothing raised.
    f.hide();
    run(false);
    EXPECT_FALSE(alertShown);
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(sound.beeps + sound.plays, 2);

    // By hand the count is reported all the same, without a "nouveaux".
    run(true);
    EXPECT_EQ(alertLines, QStringList({"Vous avez 6 messages sur 127.0.0.1"}));
    EXPECT_EQ(sound.beeps + sound.plays, 3);
}

TEST_F(NewMailTest, NothingNewWithWarnOnEmptyStillAlertsAndTheLineLabelsTheHostForDoubleClick)
{
    startPop3({message(1), message(2)});
    TForm1& f = startWithAccount();
    run(false);
    ASSERT_EQ(alertLines, QStringList({"Vous avez 2 messages sur 127.0.0.1 (2 nouveaux)"}));
    EXPECT_EQ(windows.Alert->ListBox->item(0)->data(TAlert::AccountRole).toString(), "127.0.0.1");
    f.Schedule->CheckBox2->setChecked(true);
    run(false);
    EXPECT_EQ(alertLines, QStringList({"Vous avez 2 messages sur 127.0.0.1"}));
}

TEST_F(NewMailTest, AllAccountsModeCountsEachAccountApart)
{
    dovecot.addUser("bob", "pb", {message(7)});
    startPop3({message(1)});
    TForm1& f = startWithAccount();
    // A new account: only what is typed is taken, the port too.
    f.Server->HostCombo->setEditText("localhost");
    f.Server->Edit2->setText(QString::number(dovecot.port()));
    f.Server->Edit3->setText("bob");
    f.Server->Edit4->setText("pb");
    f.Accounts->SaveAccount();
    f.Schedule->CheckBox4->setChecked(false);
    run(false);
    EXPECT_EQ(alertLines, QStringList({"Vous avez 1 message sur 127.0.0.1 (1 nouveau)",
                                       "Vous avez 1 message sur localhost (1 nouveau)"}));
    dovecot.deliver("bob", message(8));
    run(false);
    EXPECT_EQ(alertLines, QStringList({"Vous avez 1 message sur 127.0.0.1",
                                       "Vous avez 2 messages sur localhost (1 nouveau)"}));
}

// A server that keeps no ids: the count decides. Each check is one session of the transcript.
TEST_F(NewMailTest, AServerWithoutUidlFallsBackOnTheCount)
{
    testsupport::ScriptedServer server;
    auto session = [&server](int count, std::vector<int> summaries) {
        server.reply("+OK ready").expect("USER alice").reply("+OK").expect("PASS s3cret").reply("+OK")
            .expect("STAT").reply("+OK " + std::to_string(count) + " 1000")
            .expect("UIDL").reply("-ERR unknown command");
        for (int n : summaries)
            server.expect("TOP " + std::to_string(n) + " 0")
                .reply("+OK").reply("From: s" + std::to_string(n) + "@example.org").reply("Subject: S" + std::to_string(n))
                .reply(".").expect("LIST " + std::to_string(n)).reply("+OK " + std::to_string(n) + " 100");
        server.expect("QUIT").reply("+OK bye").acceptNext();
    };
    session(2, {2, 1});
    session(3, {3});
    server.start();
    useFakeDialService(true);
    TForm1& f = start();
    f.Server->HostCombo->setEditText("127.0.0.1");
    f.Server->Edit2->setText(QString::number(server.port()));
    f.Server->Edit3->setText("alice");
    f.Server->Edit4->setText("s3cret");
    f.Accounts->SaveAccount();
    f.Schedule->CheckBox4->setChecked(false);  // every account: no listing after the check
    run(false);
    EXPECT_EQ(alertLines, QStringList({"Vous avez 2 messages sur 127.0.0.1 (2 nouveaux)"}));
    run(false);
    EXPECT_EQ(alertLines, QStringList({"Vous avez 3 messages sur 127.0.0.1 (1 nouveau)"}));
    EXPECT_EQ(server.failures(), std::vector<std::string>());
}

TEST_F(NewMailTest, TheTrayIconShowsNewMailUntilTheAlertIsClosed)
{
    startPop3({message(1), message(2)});
    TForm1& f = startWithAccount();
    windows.HiddenForm->SetToolTip("Brevicor");
    bool markedWhileAlertOpen = false;
    QString tipWhileAlertOpen;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!windows.Alert->isVisible())
            return;
        markedWhileAlertOpen = windows.HiddenForm->NewMail() == 2;
        tipWhileAlertOpen = windows.HiddenForm->TrayIcon1->ToolTip();
        watch.stop();
        windows.Alert->CloseBtn->click();
    });
    watch.start(10);
    f.CheckMail();
    EXPECT_TRUE(markedWhileAlertOpen);
    EXPECT_EQ(tipWhileAlertOpen, "2 nouveaux messages - Brevicor");
    EXPECT_EQ(windows.HiddenForm->NewMail(), 0);
    EXPECT_EQ(windows.HiddenForm->TrayIcon1->ToolTip(), "Brevicor");
}

TEST_F(NewMailTest, NewMailIsAnnouncedOnTheDesktopAndClickingOpensTheAccountList)
{
    testsupport::SessionBus bus;
    testsupport::FakeNotificationService service(bus.connect("notification-service"));
    DesktopNotifications notifications(bus.connect("program"));
    context.notifications = &notifications;
    startPop3({message(1), message(2), message(3), message(4)});
    TForm1& f = startWithAccount();
    f.Schedule->CheckBox4->setChecked(false);  // the check itself opens no list
    run(false);
    ASSERT_TRUE(testsupport::waitUntil([&] { return service.shown.size() == 1 && notifications.Pending() == 1; }));
    const auto& shown = service.shown[0];
    EXPECT_EQ(shown.appName, "Brevicor");
    EXPECT_EQ(shown.summary, "4 nouveaux messages sur 127.0.0.1");
    // The three newest, newest first; the addresses escaped for services that read markup.
    EXPECT_EQ(shown.body, "Expéditeur 4 &lt;s4@example.org&gt; — Sujet 4\n"
                          "Expéditeur 3 &lt;s3@example.org&gt; — Sujet 3\n"
                          "Expéditeur 2 &lt;s2@example.org&gt; — Sujet 2");
    EXPECT_TRUE(shown.actions.contains("default"));

    f.hide();
    f.ShowPage(f.Server);
    service.click(shown.id);
    ASSERT_TRUE(testsupport::waitUntil([&] { return f.isVisible(); }));
    EXPECT_EQ(f.PageControl1->currentWidget(), f.List);
    EXPECT_EQ(f.List->ListBox1->count(), 4);

    // Nothing new: no notification.
    run(false);
    testsupport::waitUntil([] { return false; }, 300);
    EXPECT_EQ(service.shown.size(), 1u);
}

// Mail delivered to an IMAP account waiting in IDLE is told by the window as a check tells it:
// the alert line, the desktop notification and the tray mark.
TEST_F(NewMailTest, PushedMailIsToldAsACheckTellsIt)
{
    testsupport::SessionBus bus;
    testsupport::FakeNotificationService service(bus.connect("notification-service"));
    DesktopNotifications notifications(bus.connect("program"));
    context.notifications = &notifications;
    dovecot.enableImap();
    startPop3({});
    useFakeDialService(true);
    TForm1& f = start();
    enterAccount(f);
    f.Server->ProtocolCombo->setCurrentIndex(int(TProtocol::Imap));
    f.Server->Edit2->setText(QString::number(dovecot.imapPort()));
    f.Accounts->SaveAccount();
    ASSERT_TRUE(testsupport::waitUntil([&] { return f.Mail->Pushed(f.Server->AccountFromFields()); }, 20000));
    int marked = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!windows.Alert->isVisible())
            return;
        alertLines << windows.Alert->ListBox->item(0)->text();
        marked = windows.HiddenForm->NewMail();
        watch.stop();
        windows.Alert->CloseBtn->click();
    });
    watch.start(10);
    dovecot.deliver(kUser, message(1));
    ASSERT_TRUE(testsupport::waitUntil([&] { return !alertLines.isEmpty() && service.shown.size() == 1; }, 20000));
    EXPECT_EQ(alertLines, QStringList({"Vous avez 1 message non lu sur 127.0.0.1 (1 nouveau)"}));
    EXPECT_EQ(marked, 1);
    EXPECT_EQ(service.shown[0].summary, "Nouveau message sur 127.0.0.1");
}

} // namespace
