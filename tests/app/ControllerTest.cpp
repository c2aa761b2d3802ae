// The mail controller without any window, against a real Dovecot: accounts keep their own
// certificates and settings, check sessions end with their check, a cancelled listing keeps its
// session, the server's security is named, new mail follows host and user, IMAP accounts waiting
// in IDLE tell new mail by themselves. Then one window case: typing a host not stored starts a new
// account.
#include "AppFixture.h"
#include "DovecotFixture.h"
#include "SmtpFixture.h"
#include "TestCertificates.h"
#include "app/AccountStore.h"
#include "app/MailController.h"
#include "app/PushWatch.h"
#include "mail/ImapIdle.h"
#include "platform/FakeDialService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>

namespace {

std::string message(int n)
{
    return "From: <s" + std::to_string(n) + "@example.org>\r\nSubject: Objet " + std::to_string(n)
           + "\r\n\r\nTexte\r\n";
}

// Answers the controller's questions from a list (no answer left: "no").
struct ScriptedUser : TMailUser {
    QStringList questions;
    QList<bool> answers;
    bool Confirm(const QString& question) override
    {
        questions << question;
        return !answers.isEmpty() && answers.takeFirst();
    }
    void NoDialEntry() override { questions << "no entry"; }
    QStringList passwords;  // answers to NewPassword (none left: no answer)
    QString NewPassword(const QString& question) override
    {
        questions << question;
        return passwords.isEmpty() ? QString() : passwords.takeFirst();
    }
};

class ControllerTest : public ::testing::Test {
protected:
    testsupport::TempFolder folder;
    testsupport::DovecotFixture dovecot;
    ScriptedUser user;
    std::unique_ptr<TMailController> mail;

    void start(bool tls, bool imap = false)
    {
        std::vector<std::string> many;
        for (int n = 1; n <= 30; ++n)
            many.push_back(message(n));
        dovecot.addUser("anne", "pa", {message(1), message(2)});
        dovecot.addUser("bruno", "pb", {});
        dovecot.addUser("carl", "pc", many);
        if (tls)
            dovecot.enableTls("good");
        if (imap) {
            dovecot.enableImap();
            std::vector<int> read;
            for (int n = 0; n < 28; ++n)
                read.push_back(n);
            dovecot.setSeen("carl", read);
        }
        dovecot.start();
        auto line = std::make_unique<FakeDialService>();
        ActiveConnection up;
        up.Handle = 7;
        up.State = DialState::Connected;
        up.EntryName = "Lan";
        line->Active.push_back(up);
        mail = std::make_unique<TMailController>(std::move(line), iniPath(), folder.file("nouveaux/"), nullptr);
        mail->User = &user;
    }
    QString iniPath() const { return folder.file("brevicor.ini"); }
    TAccountStore store() const { return TAccountStore(iniPath()); }

    TAccount account(const QString& section, const char* who, const char* password, int port, TSecurity security = secNone)
    {
        TAccount a;
        a.Section = section;
        a.Host = TAccountStore::HostOf(section);
        a.Port = QString::number(port);
        a.UserID = who;
        a.Password = password;
        a.Security = security;
        return a;
    }

    TAccount imapAccount(const char* who, const char* password, int port, TSecurity security = secNone)
    {
        TAccount a = account("localhost", who, password, port, security);
        a.Protocol = TProtocol::Imap;
        return a;
    }

    // Runs the event loop until Done (a limit against a hang, not a time assertion).
    static bool until(const std::function<bool()>& done)
    {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < 20000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            QThread::msleep(5);
        }
        return done();
    }

    // Waits (without any time assertion) until the server's log holds as many logouts as logins.
    bool everySessionEnded()
    {
        QElapsedTimer t;
        t.start();
        for (;;) {
            const QString log = QString::fromStdString(dovecot.log());
            const qsizetype in = log.count(QRegularExpression("Login: user="));
            const qsizetype out = log.count(QRegularExpression("Disconnected: Logged out"));
            if (in > 0 && in == out)
                return true;
            if (t.elapsed() > 10000)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
    }
};

// A stored password the server refuses on a session opened by hand (Connect, a send): the user
// is asked for a new one, which opens the session and is stored with the account; without an
// answer the refusal stands. A scheduled check asks nothing.
TEST_F(ControllerTest, ARefusedPasswordIsAskedAgainByHandOnly)
{
    start(false);
    testsupport::SmtpFixture smtp;
    smtp.requireAuth("anne", "pa");
    smtp.start();
    const std::function<bool(const TAccount&)> ways[] = {
        [&](const TAccount& a) { return mail->Connect(a).Outcome == TCheckOutcome::Counted; },
        [&](const TAccount& a) { return mail->Send(a, {"", "anne@example.org", "bob@example.org"}).Outcome == TSendOutcome::Sent; }};
    for (const auto& open : ways)
        for (const QString answer : {"pa", ""}) {
            SCOPED_TRACE(answer.toStdString());
            TAccount wrong = account("127.0.0.1", "anne", "faux", dovecot.port());
            wrong.SmtpPort = QString::number(smtp.port());
            wrong.SmtpSignIn = TSmtpSignIn::SameAsPop3;
            store().Write(wrong);
            user.questions.clear();
            user.passwords = {answer};
            QStringList told;
            mail->OnAccountStored = [&](const TAccount& a) { told << a.Password; };
            EXPECT_EQ(open(wrong), !answer.isEmpty());
            EXPECT_EQ(user.questions, QStringList{TMailController::PasswordQuestion("127.0.0.1", "anne")});
            EXPECT_EQ(store().Read("127.0.0.1").Password, answer.isEmpty() ? "faux" : answer);
            EXPECT_EQ(told, answer.isEmpty() ? QStringList() : QStringList{answer});
            mail->Disconnect();
        }
    EXPECT_EQ(smtp.messages().size(), 1u);
    user.questions.clear();
    user.passwords = {"pa"};
    const TCheckReport report = mail->Check({account("127.0.0.1", "anne", "faux", dovecot.port())},
                                            TCheckKind::Scheduled, false, false);
    EXPECT_EQ(report.Results.value(0).Outcome, TCheckOutcome::Refused);
    EXPECT_TRUE(user.questions.isEmpty());
}

TEST_F(ControllerTest, AccountsKeepTheirOwnCertificatesAndSettings)
{
    start(true);
    const int port = dovecot.tlsPort();
    TAccount a = account("localhost", "anne", "pa", port, secTls);
    a.SmtpHost = "smtp.a.example";
    a.SmtpSecurity = secStartTls;
    TAccount b = account("127.0.0.1", "bruno", "pb", port, secTls);
    b.SmtpPort = "465";
    store().Write(a);
    store().Write(b);
    store().WriteList({"localhost", "127.0.0.1"});
    const QString print = QString::fromStdString(testsupport::TestCertificates::get().fingerprint("good"));
    using O = TCheckOutcome;
    const struct {
        const char* title;
        QList<bool> answers;
        int questions;
        O first, second;
    } rows[] = {
        {"trusted for the first account only", {true, false}, 2, O::Counted, O::CertificateRefused},
        {"the trust stays with the first", {false}, 1, O::Counted, O::CertificateRefused},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.title);
        user.questions.clear();
        user.answers = r.answers;
        const TCheckReport report = mail->Check(store().ReadAll(), TCheckKind::ByHand, false, true);
        ASSERT_EQ(report.Results.size(), 2);
        EXPECT_EQ(report.Results[0].Outcome, r.first) << report.Results[0].Error.toStdString();
        EXPECT_EQ(report.Results[1].Outcome, r.second);
        ASSERT_EQ(user.questions.size(), r.questions);
        // One question names the problem and the fingerprint; "Non" gives a line that says why.
        EXPECT_TRUE(user.questions.last().contains(print) && user.questions.last().contains("certificat inconnu"));
        const QString refused = ResultLine(report.Results[1], true);
        EXPECT_TRUE(refused.startsWith("Certificat de 127.0.0.1 refusé : certificat inconnu")) << refused.toStdString();
        EXPECT_EQ(store().Read("localhost").TrustedFingerprints, print);
        EXPECT_EQ(store().Read("127.0.0.1").TrustedFingerprints, QString());
        EXPECT_EQ(store().Read("localhost").SmtpHost, "smtp.a.example");
        EXPECT_EQ(store().Read("localhost").SmtpSecurity, secStartTls);
        EXPECT_EQ(store().Read("127.0.0.1").SmtpPort, "465");
        EXPECT_EQ(store().Read("127.0.0.1").SmtpHost, QString());
    }
}

TEST_F(ControllerTest, ACheckKeepsNoSessionBeyondItsAlert)
{
    start(false);
    const struct {
        const char* title;
        TCheckKind kind;
        bool keepLast;
        const char* who;
        const char* password;
        bool kept;
    } rows[] = {
        {"scheduled, mail: held for the alert window", TCheckKind::Scheduled, true, "anne", "pa", true},
        {"scheduled, no mail", TCheckKind::Scheduled, true, "bruno", "pb", false},
        {"by hand, every account", TCheckKind::ByHand, false, "anne", "pa", false},
        {"command line", TCheckKind::CommandLine, true, "anne", "pa", false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.title);
        const TCheckReport report =
            mail->Check({account("127.0.0.1", r.who, r.password, dovecot.port())}, r.kind, r.keepLast, false);
        EXPECT_EQ(report.SessionKept, r.kept);
        EXPECT_EQ(mail->Hold(), r.kept ? TMailController::THold::Check : TMailController::THold::None);
        // The alert window closes.
        mail->ReleaseCheckSession();
        EXPECT_EQ(mail->Hold(), TMailController::THold::None);
        EXPECT_TRUE(everySessionEnded()) << dovecot.log();
    }
    // Nobody closes the alert window: the idle limit ends the session.
    QString closed;
    mail->OnSessionClosed = [&](const QString& why) { closed = why; };
    mail->CheckHoldMs = 200;
    mail->Check({account("127.0.0.1", "anne", "pa", dovecot.port())}, TCheckKind::Scheduled, true, false);
    EXPECT_TRUE(everySessionEnded()) << dovecot.log();
    EXPECT_EQ(closed, "Session fermée après un moment sans activité sur 127.0.0.1");
}

TEST_F(ControllerTest, ACancelledListingKeepsTheSessionAndAsksNothing)
{
    start(false);
    ASSERT_EQ(mail->Connect(account("127.0.0.1", "carl", "pc", dovecot.port())).Outcome, TCheckOutcome::Counted);
    const int listed = mail->List(1, 30, [&](int n, const TSummary&) {
        if (n == 5)
            mail->Cancel();
        return true;
    });
    EXPECT_EQ(listed, 5);
    EXPECT_TRUE(mail->ListingCancelled());
    EXPECT_FALSE(mail->Busy());
    EXPECT_EQ(mail->Hold(), TMailController::THold::User);
    EXPECT_EQ(mail->Mailbox().Summary(20).Subject, " Objet 20");
    EXPECT_TRUE(user.questions.isEmpty());
}

TEST_F(ControllerTest, SecurityOtherThanTheServerSpeaksIsNamedAndNewMailFollowsHostAndUser)
{
    start(true);
    mail->Pop3()->OperationTimeOut = 3000;
    const TCheckReport wrong = mail->Check({account("127.0.0.1", "anne", "pa", dovecot.port(), secTls),
                                            account("localhost", "anne", "pa", dovecot.tlsPort(), secNone)},
                                           TCheckKind::ByHand, false, true);
    ASSERT_EQ(wrong.Results.size(), 2);
    EXPECT_EQ(wrong.Results[0].Outcome, TCheckOutcome::WrongSecurity);
    EXPECT_TRUE(wrong.Results[0].Error.startsWith("le serveur répond en clair")) << wrong.Results[0].Error.toStdString();
    EXPECT_EQ(wrong.Results[1].Outcome, TCheckOutcome::WrongSecurity);
    EXPECT_TRUE(wrong.Results[1].Error.startsWith("le serveur attend une connexion chiffrée"))
        << wrong.Results[1].Error.toStdString();

    // The same mailbox over another port and security: nothing new the second time.
    TAccount overTls = account("127.0.0.1", "anne", "pa", dovecot.tlsPort(), secTls);
    overTls.TrustedFingerprints = QString::fromStdString(testsupport::TestCertificates::get().fingerprint("good"));
    const int fresh[] = {
        mail->Check({account("127.0.0.1", "anne", "pa", dovecot.port())}, TCheckKind::ByHand, false, true).Fresh,
        mail->Check({overTls}, TCheckKind::ByHand, false, true).Fresh,
    };
    EXPECT_EQ(fresh[0], 2);
    EXPECT_EQ(fresh[1], 0);
}

TEST_F(ControllerTest, PopAndImapAccountsAreCheckedTogetherAndImapCountsUnreadMail)
{
    start(false, true);
    TAccount imap = account("localhost", "carl", "pc", dovecot.imapPort());
    imap.Protocol = TProtocol::Imap;
    const QList<TAccount> both{account("127.0.0.1", "anne", "pa", dovecot.port()), imap};
    QStringList lines[2];
    for (QStringList& seen : lines) {
        const TCheckReport r = mail->Check(both, TCheckKind::ByHand, true, true);
        for (const TAccountResult& result : r.Results)
            seen << ResultLine(result, true);
        EXPECT_FALSE(r.SessionKept);
        dovecot.deliver("carl", message(31));
    }
    EXPECT_EQ(lines[0], QStringList({"Vous avez 2 messages sur 127.0.0.1 (2 nouveaux)",
                                     "Vous avez 2 messages non lus sur localhost (2 nouveaux)"}));
    EXPECT_EQ(lines[1], QStringList({"Vous avez 2 messages sur 127.0.0.1",
                                     "Vous avez 3 messages non lus sur localhost (1 nouveau)"}));
    imap.Password = "faux";
    EXPECT_EQ(mail->Check({imap}, TCheckKind::ByHand, false, true).Results.value(0).Outcome, TCheckOutcome::Refused);
}

// An IMAP account: the user's session lists all of INBOX, the unread marked (a check counts them);
// reading streams a big attachment to its file and marks it read; a deleted message keeps the
// others' numbers and is gone after the logout; a wrong password gives the refused line.
TEST_F(ControllerTest, AnImapAccountListsReadsAndDeletesItsInbox)
{
    QByteArray content(2 * 1024 * 1024, '\0');
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = char((i * 2654435761u) >> 13);
    std::string big = "Subject: Gros\r\nContent-Type: multipart/mixed; boundary=\"X\"\r\n\r\n--X\r\n\r\nVoir.\r\n--X\r\n"
                      "Content-Type: application/octet-stream; name=\"gros.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    for (qsizetype at = 0; at < content.size(); at += 57)
        big += content.mid(at, 57).toBase64().toStdString() + "\r\n";
    struct Row { std::string text, subject; bool unread; };
    std::vector<Row> rows{{message(1), " Objet 1", true}, {message(2), " Objet 2", false}, {big + "--X--\r\n", " Gros", true}};
    dovecot.addUser("dora", "pd", {rows[0].text, rows[1].text, rows[2].text});
    dovecot.setSeen("dora", {1});
    start(false, true);
    TAccount imap = account("localhost", "dora", "pd", dovecot.imapPort());
    imap.Protocol = TProtocol::Imap;
    EXPECT_EQ(ResultLine(mail->Check({imap}, TCheckKind::ByHand, false, true).Results.value(0), true),
              "Vous avez 2 messages non lus sur localhost (2 nouveaux)");
    mail->Imap()->ListBatch = 2;
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(mail->Connect(imap).Count, int(rows.size()));
        std::vector<std::string> listed, expected;
        mail->List(1, 3, [&](int n, const TSummary& s) {
            return listed.push_back(std::to_string(n) + s.Subject + std::to_string(s.Bytes) + "/" + std::to_string(s.Unread)), true;
        });
        for (size_t n = 1; n <= rows.size(); ++n)
            expected.push_back(std::to_string(n) + rows[n - 1].subject + std::to_string(rows[n - 1].text.size()) + "/"
                               + std::to_string(rows[n - 1].unread));
        EXPECT_EQ(listed, expected) << round;
        if (round == 1)
            break;
        ASSERT_EQ(mail->Mailbox().Read(3, folder.path()).Files.size(), 1u);
        EXPECT_TRUE(testsupport::readFileBytes(folder.file("gros.bin")) == content.toStdString());
        mail->Mailbox().Delete(1);
        EXPECT_EQ(mail->Mailbox().Summary(3).Subject, " Gros");
        EXPECT_THROW(mail->Mailbox().Read(1, folder.path()), std::runtime_error);
        mail->Disconnect();
        EXPECT_EQ(dovecot.storedMessageCount("dora"), 2);
        rows[2].unread = false;
        rows.erase(rows.begin());
    }
    mail->Disconnect();
    imap.Password = "faux";
    EXPECT_EQ(ResultLine(mail->Connect(imap), true), "Identifiant ou mot de passe refusé par localhost");
}

// An IMAP account waiting in IDLE: delivered mail is told as a check tells it and remembered, so a
// scheduled check leaves the account out and a check by hand finds nothing new; with waiting
// turned off, the schedule checks it again.
TEST_F(ControllerTest, PushTellsNewMailOnceAndTheScheduleLeavesTheAccountOut)
{
    start(false, true);
    TAccount carl = imapAccount("carl", "pc", dovecot.imapPort());
    QList<TAccountResult> pushed;
    mail->OnPushMail = [&](const TAccountResult& r) { pushed << r; };
    mail->FollowAccounts({carl, account("127.0.0.1", "anne", "pa", dovecot.port())});
    ASSERT_TRUE(until([&] { return mail->Pushed(carl); })) << dovecot.log();
    EXPECT_EQ(mail->Push()->Running(), 1);
    dovecot.deliver("carl", message(31));
    ASSERT_TRUE(until([&] { return !pushed.isEmpty(); })) << dovecot.log();
    EXPECT_EQ(ResultLine(pushed[0], false), "Vous avez 3 messages non lus sur localhost (1 nouveau)");
    EXPECT_EQ(pushed[0].Newest, QStringList{"<s31@example.org> — Objet 31"});
    const TCheckReport scheduled = mail->Check({carl}, TCheckKind::Scheduled, false, true);
    EXPECT_TRUE(scheduled.Results.isEmpty());
    EXPECT_FALSE(scheduled.Announce);
    const TCheckReport byHand = mail->Check({carl}, TCheckKind::ByHand, false, true);
    ASSERT_EQ(byHand.Results.size(), 1);
    EXPECT_EQ(ResultLine(byHand.Results[0], true), "Vous avez 3 messages non lus sur localhost");
    EXPECT_EQ(pushed.size(), 1);
    carl.Idle = false;
    mail->FollowAccounts({carl});
    EXPECT_EQ(mail->Push()->Running(), 0);
    EXPECT_EQ(mail->Check({carl}, TCheckKind::Scheduled, false, true).Results.size(), 1);
}

// After the server restarted under the IDLE connection, or the network changed, the account's
// one connection comes back by itself and mail delivered then is told.
TEST_F(ControllerTest, PushComesBackAfterAServerRestartAndANetworkChange)
{
    start(false, true);
    const TAccount carl = imapAccount("carl", "pc", dovecot.imapPort());
    int fresh = 0;
    mail->OnPushMail = [&](const TAccountResult& r) { fresh += r.Fresh; };
    mail->FollowAccounts({carl});
    ASSERT_TRUE(until([&] { return mail->Pushed(carl); }));
    dovecot.restart();
    ASSERT_TRUE(until([&] { return !mail->Pushed(carl); }));
    dovecot.deliver("carl", message(31));
    ASSERT_TRUE(until([&] { return fresh == 1 && mail->Pushed(carl); })) << dovecot.log();
    mail->Push()->NetworkChanged();
    dovecot.deliver("carl", message(32));
    ASSERT_TRUE(until([&] { return fresh == 2; })) << dovecot.log();
    EXPECT_EQ(mail->Push()->Connection(carl)->Connections(), 3);
    EXPECT_EQ(mail->Push()->Running(), 1);
}

// A refused password or certificate stops the account's push with one report and no question;
// the schedule checks the account meanwhile, and push comes back once the account is put right:
// saved with the right password, or its certificate trusted in a check by hand.
TEST_F(ControllerTest, ARefusedPushIsToldOnceAndWaitsForTheUser)
{
    start(true, true);
    const TAccount right = imapAccount("carl", "pc", dovecot.imapPort());
    TAccount untrusted = imapAccount("carl", "pc", dovecot.imapsPort(), secTls);
    const struct {
        const char* title;
        TAccount refused;
        std::function<void()> putRight;
    } rows[] = {
        {"wrong password", imapAccount("carl", "faux", dovecot.imapPort()), [&] { mail->FollowAccounts({right}); }},
        {"unknown certificate", untrusted, [&] {
             user.answers = {true};
             mail->Check({untrusted}, TCheckKind::ByHand, false, true);
         }},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.title);
        QStringList problems;
        mail->OnPushProblem = [&](const TAccount&, const QString& why) { problems << why; };
        mail->FollowAccounts({r.refused});
        ASSERT_TRUE(until([&] { return mail->Push()->Running() == 0; }));
        ASSERT_EQ(problems.size(), 1);
        EXPECT_TRUE(problems[0].startsWith("Attente des nouveaux messages de localhost arrêtée : ")) << problems[0].toStdString();
        EXPECT_TRUE(user.questions.isEmpty());
        mail->FollowAccounts({r.refused});
        EXPECT_EQ(mail->Push()->Running(), 0);
        EXPECT_FALSE(mail->Pushed(r.refused));
        r.putRight();
        EXPECT_TRUE(until([&] { return mail->Push()->Running() == 1 && mail->Push()->Connection(right)->Idling(); }));
        EXPECT_EQ(problems.size(), 1);
        mail->FollowAccounts({});
        user.questions.clear();
    }
}

// The "Serveur" page: typing a host not stored starts a new account; only what was typed since is
// kept, and saving writes that account's section alone.
TEST_F(AppFixture, TypingANewHostStartsANewAccount)
{
    TAccount stored;
    stored.Section = stored.Host = "localhost";
    stored.UserID = "anne";
    stored.Password = "pa";
    stored.SmtpHost = "smtp.a.example";
    stored.SmtpSecurity = secStartTls;
    stored.TrustedFingerprints = "AB:CD";
    TAccountStore(iniPath()).Write(stored);
    TAccountStore(iniPath()).WriteList({"localhost"});
    TForm1& f = start();
    // A stored name loads that account.
    f.Server->HostCombo->setEditText("localhost");
    ASSERT_EQ(f.Server->SmtpHostEdit->text(), "smtp.a.example");
    f.Server->HostCombo->setEditText("127.0.0.1");
    f.Server->Edit3->setText("bruno");
    f.Server->Edit4->setText("pb");
    EXPECT_EQ(f.Server->SmtpHostEdit->text(), QString());
    EXPECT_EQ(f.Server->SmtpSecurityCombo->currentIndex(), int(secNone));
    f.Accounts->SaveAccount();
    const TAccount fresh = TAccountStore(iniPath()).Read("127.0.0.1");
    EXPECT_EQ(fresh.UserID, "bruno");
    EXPECT_EQ(fresh.SmtpHost, QString());
    EXPECT_EQ(fresh.TrustedFingerprints, QString());
    const TAccount kept = TAccountStore(iniPath()).Read("localhost");
    EXPECT_EQ(kept.SmtpHost, "smtp.a.example");
    EXPECT_EQ(kept.TrustedFingerprints, "AB:CD");
    // Selecting the stored account again shows its own settings.
    f.Server->HostCombo->setEditText("localhost");
    EXPECT_EQ(f.Server->SmtpHostEdit->text(), "smtp.a.example");
    EXPECT_EQ(f.Server->Edit3->text(), "anne");
}

} // namespace
