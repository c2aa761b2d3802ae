// The check run on its own: no window, a real Dovecot server, the in-memory dial service.
#include "DovecotFixture.h"
#include "ScriptedServer.h"
#include "app/AccountStore.h"
#include "app/CheckRun.h"
#include "app/Mailbox.h"
#include "dialup/DialUp.h"
#include "mail/KTpop3.h"
#include "platform/FakeDialService.h"

#include <QRegularExpression>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

std::string message(int n)
{
    return "From: <s" + std::to_string(n) + "@example.org>\r\nSubject: " + std::to_string(n) + "\r\n\r\nBody\r\n";
}

// Where an account of a case points.
enum class Server { Dovecot, Closed };

struct AccountRow {
    const char* name;     // section name; the host is what follows the last "@"
    const char* user;
    const char* password;
    Server server = Server::Dovecot;
};

struct Expected {
    TCheckOutcome outcome;
    int count = 0;
};

struct Case {
    const char* title;
    std::vector<AccountRow> accounts;
    bool lineUp;          // a connection is active before the run
    uint32_t dialResult;  // what dialing the entry gives
    std::vector<Expected> expected;
    int dials;
    int hangUps;  // -1: not counted (a failed dial's own clean-up hangs up too)
};

class CheckRunWithoutWindowTest : public ::testing::Test {
protected:
    testsupport::DovecotFixture dovecot;
    FakeDialService* dial = nullptr;
    std::unique_ptr<TDialUp> dialUp;
    std::unique_ptr<TKTPOP3> pop3;
    std::unique_ptr<TPop3Mailbox> mailbox;

    void SetUp() override
    {
        dovecot.addUser("anne", "pa", {message(1), message(2)});
        dovecot.addUser("bruno", "pb", {});
        dovecot.addUser("carl", "pc", {message(3)});
        dovecot.start();
        pop3 = std::make_unique<TKTPOP3>();
        pop3->TimeOut = 20000;
        pop3->IdleTimeOut = 20000;
        mailbox = std::make_unique<TPop3Mailbox>(*pop3);
    }

    void makeLine(bool lineUp, uint32_t dialResult)
    {
        auto service = std::make_unique<FakeDialService>();
        FakeDialService::Entry box;
        box.Name = "Box";
        box.DialResult = dialResult;
        service->Entries.push_back(box);
        if (lineUp) {
            ActiveConnection c;
            c.Handle = 77;
            c.State = DialState::Connected;
            c.EntryName = "Lan";
            service->Active.push_back(c);
        }
        dial = service.get();
        dialUp = std::make_unique<TDialUp>(nullptr, std::move(service));
        dialUp->DialMode = dmSync;
    }

    TAccount account(const AccountRow& row, int closedPort) const
    {
        TAccount a;
        a.Section = row.name;
        a.Host = TAccountStore::HostOf(row.name);
        a.Port = QString::number(row.server == Server::Dovecot ? dovecot.port() : closedPort);
        a.UserID = row.user;
        a.Password = row.password;
        return a;
    }

    int dials() const { return int(dial->Calls.filter(QRegularExpression("^dial ")).size()); }
    int hangUps() const { return int(dial->Calls.filter(QRegularExpression("^hangUp [1-9]")).size()); }
};

TEST_F(CheckRunWithoutWindowTest, ResultsPerAccount)
{
    const int closed = testsupport::freeLoopbackPort();
    using O = TCheckOutcome;
    const Case cases[] = {
        {"one account", {{"127.0.0.1", "anne", "pa"}}, false, 0, {{O::Counted, 2}}, 1, 0},
        {"one empty account, line dialed and hung up", {{"127.0.0.1", "bruno", "pb"}}, false, 0, {{O::Counted, 0}}, 1, 1},
        {"three accounts",
         {{"127.0.0.1", "anne", "pa"}, {"localhost", "bruno", "pb"}, {"127.1", "carl", "pc"}},
         true, 0, {{O::Counted, 2}, {O::Counted, 0}, {O::Counted, 1}}, 0, 0},
        {"one down",
         {{"127.0.0.1", "anne", "pa"}, {"localhost", "carl", "pc", Server::Closed}, {"127.1", "carl", "pc"}},
         true, 0, {{O::Counted, 2}, {O::Unreachable}, {O::Counted, 1}}, 0, 0},
        {"wrong password", {{"127.0.0.1", "anne", "wrong"}, {"localhost", "carl", "pc"}}, true, 0,
         {{O::Refused}, {O::Counted, 1}}, 0, 0},
        {"two users on one host", {{"127.0.0.1", "anne", "pa"}, {"carl@127.0.0.1", "carl", "pc"}}, true, 0,
         {{O::Counted, 2}, {O::Counted, 1}}, 0, 0},
        {"failed dial: every account dials again, none is tried", {{"127.0.0.1", "anne", "pa"}, {"localhost", "carl", "pc"}},
         false, DialError::NoAnswer, {{O::LineDown}, {O::LineDown}}, 2, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        makeLine(c.lineUp, c.dialResult);
        QList<TAccount> accounts;
        for (const AccountRow& row : c.accounts)
            accounts << account(row, closed);
        TCheckRun run(*mailbox, *dialUp);
        run.Entry = "Box";
        QList<TAccountResult> told;
        run.OnAccountDone = [&](const TAccountResult& r) { told << r; };
        // A server that was never reached (the closed port) is not probed for its security.
        int probes = 0;
        run.OnSecurityDoubt = [&](const TAccount&) {
            ++probes;
            return QString();
        };
        EXPECT_EQ(run.Begin(), c.lineUp);
        const QList<TAccountResult> results = run.Run(accounts);
        run.Finish(TCheckRun::Total(results));
        ASSERT_EQ(results.size(), qsizetype(c.expected.size()));
        ASSERT_EQ(told.size(), results.size());
        int total = 0;
        for (size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_EQ(results[i].Outcome, c.expected[i].outcome) << "account " << i << ": " << results[i].Error.toStdString();
            EXPECT_EQ(results[i].Count, c.expected[i].count) << "account " << i;
            EXPECT_EQ(results[i].Account.Section, accounts[i].Section);
            total += c.expected[i].count;
        }
        EXPECT_EQ(TCheckRun::Total(results), total);
        EXPECT_EQ(dials(), c.dials) << dial->Calls.join(", ").toStdString();
        if (c.hangUps >= 0) {
            EXPECT_EQ(hangUps(), c.hangUps) << dial->Calls.join(", ").toStdString();
        }
        EXPECT_EQ(probes, 0);
        // With a line up, the look at the start serves the first account; each later one looks again.
        if (c.lineUp) {
            EXPECT_EQ(dial->Calls.count("listConnections"), c.accounts.size()) << dial->Calls.join(", ").toStdString();
        }
        // Every session is closed after its count was read.
        EXPECT_FALSE(pop3->Connected());
    }
}

TEST_F(CheckRunWithoutWindowTest, NoEntryIsToldOnceAndNothingIsTried)
{
    makeLine(false, 0);
    TCheckRun run(*mailbox, *dialUp);
    int told = 0;
    run.OnNoEntry = [&] { ++told; };
    run.Begin();
    const QList<TAccountResult> results =
        run.Run({account({"127.0.0.1", "anne", "pa"}, 0), account({"localhost", "carl", "pc"}, 0)});
    EXPECT_EQ(told, 1);
    ASSERT_EQ(results.size(), 2);
    EXPECT_EQ(results[0].Outcome, TCheckOutcome::LineDown);
    EXPECT_EQ(results[1].Outcome, TCheckOutcome::LineDown);
    EXPECT_EQ(dials(), 0);
}

TEST_F(CheckRunWithoutWindowTest, CancelStopsASilentServerAtOnceAndTheNextRunWorks)
{
    makeLine(true, 0);
    // A server that accepts and never says a word; the session's own time-outs are far away.
    testsupport::ScriptedServer silent;
    silent.start();
    TAccount mute = account({"127.0.0.1", "anne", "pa"}, 0);
    mute.Port = QString::number(silent.port());
    TCheckRun run(*mailbox, *dialUp);
    run.Entry = "Box";
    run.Begin();
    QTimer::singleShot(200, [&] { run.Cancel(); });
    const QList<TAccountResult> results = run.Run({mute, account({"localhost", "carl", "pc"}, 0)});
    ASSERT_EQ(results.size(), 2);
    EXPECT_EQ(results[0].Outcome, TCheckOutcome::Cancelled);
    EXPECT_EQ(results[1].Outcome, TCheckOutcome::Cancelled);
    EXPECT_TRUE(run.Cancelled());
    EXPECT_FALSE(pop3->Connected());

    // The same session serves the next run as if nothing had happened.
    TCheckRun next(*mailbox, *dialUp);
    next.Entry = "Box";
    next.Begin();
    const QList<TAccountResult> again = next.Run({account({"127.0.0.1", "anne", "pa"}, 0)});
    ASSERT_EQ(again.size(), 1);
    EXPECT_EQ(again[0].Outcome, TCheckOutcome::Counted) << again[0].Error.toStdString();
    EXPECT_EQ(again[0].Count, 2);
}

TEST(ResultLineTest, OneLinePerOutcome)
{
    struct Row {
        TCheckOutcome outcome;
        int count;
        bool sayWhenEmpty;
        const char* name;
        const char* line;
    } rows[] = {
        {TCheckOutcome::Counted, 0, false, "pop.a.org", ""},
        {TCheckOutcome::Counted, 0, true, "pop.a.org", "Vous n'avez aucun message sur pop.a.org"},
        {TCheckOutcome::Counted, 1, false, "pop.a.org", "Vous avez 1 message sur pop.a.org"},
        {TCheckOutcome::Counted, 2, false, "bob@pop.a.org", "Vous avez 2 messages sur bob@pop.a.org"},
        {TCheckOutcome::Counted, 3, false, "%1.org", "Vous avez 3 messages sur %1.org"},
        {TCheckOutcome::Unreachable, 0, true, "pop.a.org", "Connexion impossible à pop.a.org"},
        {TCheckOutcome::LineDown, 0, false, "pop.a.org", "Connexion impossible à pop.a.org"},
        {TCheckOutcome::Refused, 0, false, "pop.a.org", "Identifiant ou mot de passe refusé par pop.a.org"},
        {TCheckOutcome::Cancelled, 0, true, "pop.a.org", ""},
    };
    for (const Row& r : rows) {
        TAccountResult result;
        result.Account.Section = r.name;
        result.Outcome = r.outcome;
        result.Count = r.count;
        EXPECT_EQ(ResultLine(result, r.sayWhenEmpty), QString::fromUtf8(r.line)) << r.line;
    }
}

} // namespace
