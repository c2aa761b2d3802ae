// The check run end to end: a real Dovecot server, the scripted dial service, scripted dialogs.
#include "AppFixture.h"
#include "DovecotFixture.h"
#include "ScriptedServer.h"
#include "TestCertificates.h"
#include "alert/Twav.h"
#include "dialup/DialUp.h"
#include "mail/KTpop3.h"
#include "platform/FakeDialService.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>
#include <QTcpServer>
#include <QRegularExpression>
#include <QTimer>

namespace {

std::string message(int n)
{
    return "From: Sender " + std::to_string(n) + " <s" + std::to_string(n) + "@example.org>\r\nSubject: Message "
           + std::to_string(n) + "\r\nMessage-ID: <" + std::to_string(n) + "@example.org>\r\n\r\nBody " + std::to_string(n)
           + "\r\n";
}

// A port on 127.0.0.1 where nothing listens.
int closedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    const int port = s.serverPort();
    s.close();
    return port;
}

class CheckRunTest : public AppFixture {
protected:
    testsupport::DovecotFixture dovecot;
    FakeDialService* dial = nullptr;
    bool lineAlreadyUp = false;
    uint32_t dialResult = 0;
    // What the alert window showed, captured while it was open.
    bool alertShown = false;
    QStringList alertLines;
    bool hangUpOffered = false;

    void SetUp() override
    {
        dovecot.addUser("anne", "pa", {message(1), message(2)});
        dovecot.addUser("bruno", "pb", {});
        dovecot.addUser("carl", "pc", {message(3)});
        dovecot.start();
        context.makeDialService = [this] {
            auto s = std::make_unique<FakeDialService>();
            FakeDialService::Entry box;
            box.Name = "Box";
            box.DialResult = dialResult;
            s->Entries.push_back(box);
            if (lineAlreadyUp) {
                ActiveConnection c;
                c.Handle = 99;
                c.State = 8192;
                c.EntryName = "Lan";
                s->Active.push_back(c);
            }
            dial = s.get();
            return s;
        };
    }

    void account(const QString& host, const QString& user, const QString& password, int port)
    {
        IniProfile i = ini();
        const int n = i.ReadInteger("Host", "Nombre", 0) + 1;
        i.WriteInteger("Host", "Nombre", n);
        i.WriteString("Host", QString::number(n), host);
        i.WriteString(host, "UserName", user);
        i.WriteString(host, "Password", password);
        i.WriteString(host, "Port", QString::number(port));
    }

    void current(const QString& host, const QString& user, const QString& password, int port)
    {
        IniProfile i = ini();
        i.WriteString("MainW", "Host", host);
        i.WriteString("MainW", "UserID", user);
        i.WriteString("MainW", "Password", password);
        i.WriteString("MainW", "Port", QString::number(port));
    }

    // Runs a check; the alert window, when it opens, is read and closed.
    void run(bool manual)
    {
        alertShown = false;
        alertLines.clear();
        auto* watch = new QTimer;
        QObject::connect(watch, &QTimer::timeout, [this, watch] {
            TAlert* a = windows.Alert.get();
            if (!a->isVisible())
                return;
            alertShown = true;
            hangUpOffered = a->HangUpBtn->isEnabled();
            for (int i = 0; i < a->ListBox->count(); ++i)
                alertLines << a->ListBox->item(i)->text();
            watch->stop();
            a->CloseBtn->click();
        });
        watch->start(10);
        if (manual)
            form().Button10Click();
        else
            form().CheckMail();
        delete watch;
    }

    int port() const { return dovecot.port(); }
    int dials() const { return int(dial->Calls.filter("dial ").size()); }
    // Hang-ups of a real connection (the component also "hangs up" handle 0 before it dials).
    int hangUps() const { return int(dial->Calls.filter(QRegularExpression("^hangUp [1-9]")).size()); }
};

TEST_F(CheckRunTest, EmptyMailboxOnScheduleSaysNothingAndHangsUpTheLineItDialed)
{
    current("127.0.0.1", "bruno", "pb", port());
    start();
    run(false);
    EXPECT_FALSE(alertShown);
    EXPECT_EQ(sound.beeps + sound.plays, 0);
    EXPECT_EQ(dials(), 1);
    EXPECT_EQ(hangUps(), 1) << dial->Calls.join(", ").toStdString();
    EXPECT_TRUE(dial->Active.empty());
    EXPECT_TRUE(form().Server->Button10->isEnabled());
    EXPECT_TRUE(windows.HiddenForm->MnuVerif->isEnabled());
}

TEST_F(CheckRunTest, EmptyMailboxAnnouncedWhenCheckedByHandOrWhenAsked)
{
    current("127.0.0.1", "bruno", "pb", port());
    start();
    run(true);
    EXPECT_TRUE(alertShown);
    EXPECT_EQ(alertLines, QStringList({"Vous n'avez aucun message sur 127.0.0.1"}));
    EXPECT_EQ(sound.beeps, 1);  // no sound file: the beep

    form().Schedule->CheckBox2->setChecked(true);
    run(false);
    EXPECT_EQ(alertLines, QStringList({"Vous n'avez aucun message sur 127.0.0.1"}));
    EXPECT_EQ(sound.beeps, 2);
}

TEST_F(CheckRunTest, OneAndTwoMessagesAreCountedAndTheSoundPlays)
{
    testsupport::writeFileBytes(folder.file("default.wav"), testsupport::readFileBytes(
        QStringLiteral(BREVICOR_SOURCE_DIR) + "/data/default.wav"));
    current("127.0.0.1", "carl", "pc", port());
    start();
    ASSERT_EQ(form().News->WAVPlayer1->FileName, folder.file("default.wav"));
    run(false);
    EXPECT_EQ(alertLines, QStringList({"Vous avez 1 message sur 127.0.0.1 (1 nouveau)"}));
    EXPECT_EQ(sound.plays, 1);
    EXPECT_EQ(sound.beeps, 0);
    // Mail was found: the line stays up for the user, and the hang-up is offered.
    EXPECT_EQ(hangUps(), 0);
    EXPECT_TRUE(hangUpOffered);

    form().Server->HostCombo->setEditText("localhost");
    form().Server->Edit3->setText("anne");
    form().Server->Edit4->setText("pa");
    // By hand, the current account's session is handed over to its list.
    run(true);
    EXPECT_EQ(alertLines, QStringList({"Vous avez 2 messages sur localhost (2 nouveaux)"}));
    EXPECT_EQ(form().Reader->Label10->text(), "Nb de messages : 2");
    EXPECT_EQ(form().Reader->SpinEdit1->maximum(), 2);
    EXPECT_TRUE(form().Reader->SpinEdit1->isEnabled());
}

TEST_F(CheckRunTest, MailFoundByTheScheduleLeavesTheWindowHiddenAndNoSessionOpen)
{
    current("127.0.0.1", "anne", "pa", port());
    start();
    EXPECT_FALSE(form().isVisible());
    run(false);
    EXPECT_TRUE(alertShown);
    EXPECT_FALSE(form().isVisible());
    // The session held for the alert window ended with it.
    EXPECT_EQ(form().Mail->Hold(), TMailController::THold::None);
    EXPECT_FALSE(form().KTPOP31->Connected());
}

TEST_F(CheckRunTest, ALineUpBeforeTheRunIsNeitherDialedNorHungUp)
{
    lineAlreadyUp = true;
    current("127.0.0.1", "bruno", "pb", port());
    start();
    run(true);
    EXPECT_EQ(dials(), 0);
    EXPECT_EQ(hangUps(), 0);
    EXPECT_TRUE(form().Connections->LineWasUp);
    EXPECT_FALSE(hangUpOffered);
}

TEST_F(CheckRunTest, AllAccountsGetOneLineEachAndADownServerIsReportedAsSuch)
{
    account("127.0.0.1", "anne", "pa", port());
    account("localhost", "bruno", "pb", port());
    account("127.1", "carl", "pc", closedPort());
    current("localhost", "bruno", "pb", port());
    IniProfile i = ini();
    i.WriteBool("MainW", "JustCurrentMess", false);
    start();
    dialogs.OnShown = [](const ScriptedDialogs::Shown&) {};
    run(true);
    EXPECT_EQ(alertLines, QStringList({"Vous avez 2 messages sur 127.0.0.1 (2 nouveaux)", "Vous n'avez aucun message sur localhost",
                                       "Connexion impossible à 127.1"}));
    // The account shown before the run is shown again, with its stored details.
    EXPECT_EQ(form().Server->HostCombo->currentText(), "localhost");
    EXPECT_EQ(form().Server->Edit3->text(), "bruno");
    // The refused connection is told once, by its line: no box besides.
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(CheckRunTest, SilentAndDrippingServersAreGivenUpAndTheRunGoesOn)
{
    // One server never says a word, the other sends its greeting a byte at a time: both are
    // given up within the sign-in limit, without a QUIT, and the next account is checked.
    testsupport::ScriptedServer silent;
    silent.start();
    testsupport::ScriptedServer dripping;
    for (char c : std::string("+OK slowly, very slowly\r\n"))
        dripping.send(std::string(1, c)).pause(60);
    dripping.start();
    account("127.0.0.1", "anne", "pa", silent.port());
    account("localhost", "bruno", "pb", dripping.port());
    account("127.1", "carl", "pc", port());
    current("127.1", "carl", "pc", port());
    IniProfile i = ini();
    i.WriteBool("MainW", "JustCurrentMess", false);
    lineAlreadyUp = true;
    start();
    // The program's limit is some seconds; here a fraction of one keeps the test short.
    form().KTPOP31->OperationTimeOut = 400;
    dialogs.OnShown = [](const ScriptedDialogs::Shown&) {};
    run(true);
    EXPECT_EQ(alertLines, QStringList({"Connexion impossible à 127.0.0.1", "Connexion impossible à localhost",
                                       "Vous avez 1 message sur 127.1 (1 nouveau)"}));
    EXPECT_TRUE(form().Server->Button10->isEnabled());
    for (auto* server : {&silent, &dripping}) {
        form().ClosePopSession();
        ASSERT_TRUE(server->waitFinished());
        EXPECT_EQ(server->received(), "");
    }
}

TEST_F(CheckRunTest, FailedDialGivesEveryAccountTheImpossibleLine)
{
    dialResult = DialError::NoAnswer;
    account("127.0.0.1", "anne", "pa", port());
    account("localhost", "carl", "pc", port());
    current("127.0.0.1", "anne", "pa", port());
    IniProfile i = ini();
    i.WriteBool("MainW", "JustCurrentMess", false);
    start();
    run(true);
    EXPECT_EQ(alertLines, QStringList({"Connexion impossible à 127.0.0.1", "Connexion impossible à localhost"}));
    EXPECT_EQ(dials(), 2);
    EXPECT_EQ(form().Server->HostCombo->currentText(), "127.0.0.1");
}

TEST_F(CheckRunTest, AllAccountsWithAnEmptyListChecksTheAccountOnScreen)
{
    current("127.0.0.1", "anne", "pa", port());
    IniProfile i = ini();
    i.WriteBool("MainW", "JustCurrentMess", false);
    i.WriteBool("MainW", "PrevSiNo", true);
    start();
    run(false);
    EXPECT_TRUE(alertShown);
    EXPECT_EQ(alertLines, QStringList({"Vous avez 2 messages sur 127.0.0.1 (2 nouveaux)"}));
    ASSERT_EQ(form().Server->HostCombo->count(), 1);
    EXPECT_EQ(form().Server->HostCombo->itemText(0), "127.0.0.1");
}

TEST_F(CheckRunTest, IncompleteAccountIsRequestedAndNothingRuns)
{
    current("127.0.0.1", "anne", "", port());
    start();
    run(true);
    EXPECT_FALSE(alertShown);
    ASSERT_FALSE(dialogs.shown().empty());
    EXPECT_EQ(dialogs.shown().back().text, "Veuillez d'abord saisir vos coordonnées complètes de messagerie.");
    EXPECT_EQ(form().PageControl1->currentWidget(), form().Server);
    EXPECT_EQ(dials(), 0);
}

TEST_F(CheckRunTest, ConnectedSessionReadsAFreshCountAfterTheProgramDialed)
{
    // Connecting by hand dials; the next check logs out and in again, so it sees new mail.
    current("127.0.0.1", "bruno", "pb", port());
    start();
    form().Button1Click();
    EXPECT_TRUE(form().KTPOP31->Connected());
    EXPECT_TRUE(form().Connections->LineUp);
    EXPECT_TRUE(form().Server->Button2->isEnabled());
    EXPECT_EQ(form().StatusText(), "Il n'y a aucun message sur 127.0.0.1");
    dovecot.deliver("bruno", message(4));
    run(false);
    EXPECT_EQ(alertLines, QStringList({"Vous avez 1 message sur 127.0.0.1 (1 nouveau)"}));
}

TEST_F(CheckRunTest, ScheduledTicksCheckEveryNMinutes)
{
    current("127.0.0.1", "carl", "pc", port());
    IniProfile i = ini();
    i.WriteBool("MainW", "Automail", true);
    i.WriteInteger("Last", "Minute", 5);
    // Every check is announced, also the one that finds no new message.
    i.WriteBool("MainW", "PrevSiNo", true);
    start();
    int runs = 0;
    for (int tick = 1; tick <= 10; ++tick) {
        alertShown = false;
        auto* watch = new QTimer;
        QObject::connect(watch, &QTimer::timeout, [&, watch] {
            if (windows.Alert->isVisible()) {
                ++runs;
                watch->stop();
                windows.Alert->reject();
            }
        });
        watch->start(10);
        form().Schedule->Timer2Timer();
        delete watch;
    }
    EXPECT_EQ(runs, 2);  // on the 5th and the 10th tick
}

TEST_F(CheckRunTest, ATickDuringACheckStartsNoSecondCheck)
{
    current("127.0.0.1", "anne", "pa", port());
    IniProfile i = ini();
    i.WriteBool("MainW", "Automail", true);
    i.WriteInteger("Last", "Minute", 5);
    start();
    form().Schedule->MinutesLeft = 1;
    int nested = 0;
    // While the first check talks to the server, the status events fire: a tick falls there.
    form().KTPOP31->OnStatus = [&](QObject*, const std::string&) {
        if (form().CheckRunning() && nested == 0) {
            ++nested;
            form().Schedule->MinutesLeft = 1;
            const int dialsBefore = dials();
            form().Schedule->Timer2Timer();
            EXPECT_EQ(dials(), dialsBefore);
            EXPECT_EQ(form().Schedule->MinutesLeft, form().Schedule->IntervalMinutes);
        }
    };
    form().KTPOP31->ReportLevel = 2;
    run(false);
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(alertLines.size(), 1);
}

TEST_F(CheckRunTest, ARunEndedByAnErrorStillGivesBackItsButtons)
{
    // A server that drops the connection when asked to log out: closing the session raises.
    testsupport::ScriptedServer server;
    server.reply("+OK ready").expect("USER anne").reply("+OK").expect("PASS pa").reply("+OK")
        .expect("STAT").reply("+OK 0 0").expect("QUIT").reset();
    server.start();
    current("127.0.0.1", "anne", "pa", server.port());
    start();
    form().Button1Click();
    ASSERT_TRUE(form().KTPOP31->Connected());
    form().Guarded([&] { form().CheckMail(); });
    EXPECT_TRUE(form().Server->Button10->isEnabled());
    EXPECT_TRUE(windows.HiddenForm->MnuVerif->isEnabled());
    EXPECT_EQ(dialogs.shown().back().kind, ScriptedDialogs::Kind::Error);
}

TEST_F(CheckRunTest, DoubleClickInTheAlertOpensThatAccount)
{
    account("127.0.0.1", "anne", "pa", port());
    current("127.0.0.1", "anne", "pa", port());
    start();
    run(false);
    ASSERT_EQ(alertLines, QStringList({"Vous avez 2 messages sur 127.0.0.1 (2 nouveaux)"}));
    form().hide();
    form().ShowPage(form().Server);
    QTimer::singleShot(0, [&] {
        windows.Alert->ListBox->setCurrentRow(0);
        windows.Alert->ListBoxDblClick();
    });
    windows.Alert->ShowModal();
    EXPECT_TRUE(form().isVisible());
    EXPECT_EQ(form().PageControl1->currentWidget(), form().List);
    EXPECT_TRUE(form().KTPOP31->Connected());
    EXPECT_EQ(form().KTPOP31->MessageCount(), 2);
}

TEST_F(CheckRunTest, ChoosingASoundCopiesItBesideTheProgram)
{
    start();
    const QString chosen = folder.file("ding.wav");
    testsupport::writeFileBytes(chosen, testsupport::readFileBytes(QStringLiteral(BREVICOR_SOURCE_DIR) + "/data/default.wav"));
    dialogs.AnswerFiles({chosen});
    form().News->Button9Click();
    EXPECT_EQ(testsupport::readFileBytes(folder.file("automail.wav")), testsupport::readFileBytes(chosen));
    EXPECT_EQ(form().News->WAVPlayer1->FileName, folder.file("automail.wav"));
    EXPECT_EQ(dialogs.shown().back().caption, "Choix d'un fichier son");
    // Cancelling changes nothing.
    form().News->Button9Click();
    EXPECT_EQ(form().News->WAVPlayer1->FileName, folder.file("automail.wav"));
}

TEST_F(CheckRunTest, ARefusedPasswordHasItsOwnLine)
{
    account("127.0.0.1", "anne", "wrong", port());
    account("localhost", "carl", "pc", port());
    current("127.0.0.1", "anne", "wrong", port());
    IniProfile i = ini();
    i.WriteBool("MainW", "JustCurrentMess", false);
    start();
    run(true);
    EXPECT_EQ(alertLines, QStringList({"Identifiant ou mot de passe refusé par 127.0.0.1", "Vous avez 1 message sur localhost (1 nouveau)"}));
    // Connecting by hand says so in the status bar.
    form().Button1Click();
    EXPECT_FALSE(form().KTPOP31->Connected());
    EXPECT_EQ(form().StatusText(), "Identifiant ou mot de passe refusé par 127.0.0.1");
    EXPECT_TRUE(form().Server->Button1->isEnabled());
}

TEST_F(CheckRunTest, TwoUsersOnOneHostAreBothKeptAndChecked)
{
    account("127.0.0.1", "anne", "pa", port());
    current("127.0.0.1", "anne", "pa", port());
    IniProfile i = ini();
    i.WriteBool("MainW", "JustCurrentMess", false);
    start();
    // Another user on the same server, connected by hand: an account of its own.
    form().Server->Edit3->setText("bruno");
    form().Server->Edit4->setText("pb");
    form().Button1Click();
    ASSERT_TRUE(form().KTPOP31->Connected());
    EXPECT_EQ(form().Server->HostCombo->currentText(), "bruno@127.0.0.1");
    ASSERT_EQ(form().Server->HostCombo->count(), 2);
    EXPECT_EQ(form().Server->HostCombo->itemText(0), "127.0.0.1");
    EXPECT_EQ(form().Server->HostCombo->itemText(1), "bruno@127.0.0.1");
    EXPECT_EQ(ini().ReadString("127.0.0.1", "UserName", ""), "anne");
    EXPECT_EQ(ini().ReadString("bruno@127.0.0.1", "UserName", ""), "bruno");
    run(true);
    EXPECT_EQ(alertLines, QStringList({"Vous avez 2 messages sur 127.0.0.1 (2 nouveaux)", "Vous n'avez aucun message sur bruno@127.0.0.1"}));
    // Choosing either entry shows its own details.
    form().Server->HostCombo->setCurrentIndex(0);
    form().HostComboClick();
    EXPECT_EQ(form().Server->Edit3->text(), "anne");
    form().Server->HostCombo->setCurrentIndex(1);
    form().HostComboClick();
    EXPECT_EQ(form().Server->Edit3->text(), "bruno");
}

TEST_F(CheckRunTest, TheAllAccountsRunChecksTheAccountAsTypedAndKeepsItOnScreen)
{
    account("127.0.0.1", "anne", "pa", port());
    current("127.0.0.1", "anne", "pa", port());
    IniProfile i = ini();
    i.WriteBool("MainW", "JustCurrentMess", false);
    start();
    form().Server->HostCombo->setEditText("localhost");
    form().Server->Edit2->setText(QString::number(port()));
    form().Server->Edit3->setText("carl");
    form().Server->Edit4->setText("pc");
    run(true);
    EXPECT_EQ(alertLines, QStringList({"Vous avez 2 messages sur 127.0.0.1 (2 nouveaux)", "Vous avez 1 message sur localhost (1 nouveau)"}));
    EXPECT_EQ(form().Server->HostCombo->currentText(), "localhost");
    EXPECT_EQ(form().Server->Edit3->text(), "carl");
    EXPECT_EQ(form().Server->Edit4->text(), "pc");
    EXPECT_EQ(ini().ReadString("localhost", "UserName", ""), "carl");
}

TEST_F(CheckRunTest, CancelStopsACheckOfASilentServerAndTheNextCheckWorks)
{
    enum class Via { Button, TrayMenu };
    for (Via via : {Via::Button, Via::TrayMenu}) {
        SCOPED_TRACE(via == Via::Button ? "button" : "tray menu");
        lineAlreadyUp = true;
        testsupport::ScriptedServer silent;  // accepts, then never says a word
        silent.start();
        current("127.0.0.1", "anne", "pa", silent.port());
        start();
        // Each pass checks the mailbox as new to it.
        QDir(TNewsAnnouncer::SeenMailFolder(context.paths)).removeRecursively();
        EXPECT_FALSE(form().Server->CancelBtn->isEnabled());
        EXPECT_FALSE(windows.HiddenForm->MnuCancel->isEnabled());
        bool offered = false;
        QTimer::singleShot(300, [&] {
            offered = form().Server->CancelBtn->isEnabled() && windows.HiddenForm->MnuCancel->isEnabled()
                      && !form().Server->Button10->isEnabled();
            if (via == Via::Button)
                form().Server->CancelBtn->click();
            else
                windows.HiddenForm->MnuCancel->trigger();
        });
        run(false);
        EXPECT_TRUE(offered);
        EXPECT_FALSE(alertShown);
        EXPECT_FALSE(form().KTPOP31->Connected());
        EXPECT_FALSE(form().CheckRunning());
        EXPECT_FALSE(form().Server->CancelBtn->isEnabled());
        EXPECT_FALSE(windows.HiddenForm->MnuCancel->isEnabled());
        EXPECT_TRUE(form().Server->Button10->isEnabled());
        EXPECT_TRUE(windows.HiddenForm->MnuVerif->isEnabled());

        form().Server->Edit2->setText(QString::number(port()));
        run(false);
        EXPECT_EQ(alertLines, QStringList({"Vous avez 2 messages sur 127.0.0.1 (2 nouveaux)"}));
        stop();
    }
}

TEST_F(CheckRunTest, CancelStopsReadingAMessageAndTheSessionIsDropped)
{
    lineAlreadyUp = true;
    testsupport::ScriptedServer server;  // signs in, then never answers the summary
    server.reply("+OK ready").expect("USER anne").reply("+OK").expect("PASS pa").reply("+OK")
        .expect("STAT").reply("+OK 1 100").expect("TOP 1 0");
    server.start();
    current("127.0.0.1", "anne", "pa", server.port());
    start();
    form().Button1Click();
    ASSERT_TRUE(form().KTPOP31->Connected());
    bool offered = false;
    QTimer::singleShot(300, [&] {
        offered = form().Server->CancelBtn->isEnabled();
        form().Server->CancelBtn->click();
    });
    form().Guarded([&] { form().Messages->Button3Click(); });
    EXPECT_TRUE(offered);
    EXPECT_TRUE(dialogs.shown().empty()) << dialogs.shown().front().text.toStdString();
    EXPECT_EQ(form().StatusText(), "Opération annulée");
    EXPECT_FALSE(form().KTPOP31->Connected());
    EXPECT_TRUE(form().Server->Button1->isEnabled());
    EXPECT_FALSE(form().Server->Button2->isEnabled());
    EXPECT_FALSE(form().Server->CancelBtn->isEnabled());
}

} // namespace

namespace {

// A whole check over TLS: one account on POP3S, one with STLS, each trusting the test server's
// certificate by its fingerprint, counted and announced like any other.
TEST_F(CheckRunTest, AccountsOverTlsAreCheckedAndAnnounced)
{
    testsupport::DovecotFixture secure;
    secure.addUser("dora", "pd", {message(4), message(5)});
    secure.enableTls("good");
    secure.start();
    const QString print = QString::fromStdString(testsupport::TestCertificates::get().fingerprint("good"));
    account("127.0.0.1", "dora", "pd", secure.tlsPort());
    account("localhost", "dora", "pd", secure.port());
    current("127.0.0.1", "dora", "pd", secure.tlsPort());
    IniProfile i = ini();
    i.WriteString("127.0.0.1", "Securite", "ssl");
    i.WriteString("localhost", "Securite", "starttls");
    i.WriteString("127.0.0.1", "Certificats", print);
    i.WriteString("localhost", "Certificats", print);
    // The account on screen is read from the window's own section, as it was last saved.
    i.WriteString("MainW", "Securite", "ssl");
    i.WriteString("MainW", "Certificats", print);
    i.WriteBool("MainW", "JustCurrentMess", false);
    start();
    run(true);
    EXPECT_EQ(alertLines, QStringList({"Vous avez 2 messages sur 127.0.0.1 (2 nouveaux)",
                                       "Vous avez 2 messages sur localhost (2 nouveaux)"}))
        << alertLines.join(" | ").toStdString();
    EXPECT_EQ(dialogs.unexpected(), 0);
}

} // namespace
