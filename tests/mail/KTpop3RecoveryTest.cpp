// TKTPOP3 against misbehaving servers: at every step of a session a silent, dripping, half-
// answering, closing or refusing server, each case followed by a good session on the same
// component; and listings with pipelined commands, cancelled or refused halfway.
#include "mail/KTpop3.h"
#include "ScriptedServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

using testsupport::ScriptedServer;

namespace {

constexpr int kIdleMs = 300;       // a wait with no byte at all gives up after this
constexpr int kOperationMs = 450;  // one whole exchange gives up after this
constexpr int kDripMs = 100;       // a dripping server sends one byte this often

enum class Step { Greeting, User, Pass, Stat, Top, Quit };
enum class Trouble { Silent, Drip, HalfReply, Close, Refuse };

const char* Name(Step S)
{
    static const char* const Names[] = {"greeting", "USER", "PASS", "STAT", "TOP", "QUIT"};
    return Names[static_cast<int>(S)];
}

const char* Name(Trouble T)
{
    static const char* const Names[] = {"silent", "dripping", "half a reply", "closing", "refusing"};
    return Names[static_cast<int>(T)];
}

std::string ErrorOf(const std::function<void()>& F)
{
    try {
        F();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no exception)";
}

// The script up to the misbehaving step; returns what the client has sent by then.
std::string PlayUpTo(ScriptedServer& S, Step At)
{
    std::string sent;
    auto exchange = [&](const char* Command, const char* Reply) {
        S.expect(Command).reply(Reply);
        sent += std::string(Command) + "\r\n";
    };
    if (At == Step::Greeting)
        return sent;
    S.reply("+OK ready");
    if (At == Step::User)
        return S.expect("USER u"), sent + "USER u\r\n";
    exchange("USER u", "+OK");
    if (At == Step::Pass)
        return S.expect("PASS p"), sent + "PASS p\r\n";
    exchange("PASS p", "+OK");
    if (At == Step::Stat)
        return S.expect("STAT"), sent + "STAT\r\n";
    exchange("STAT", "+OK 2 300");
    if (At == Step::Top)
        return S.expect("TOP 1 0"), sent + "TOP 1 0\r\n";
    return S.expect("QUIT"), sent + "QUIT\r\n";
}

// The misbehaviour itself. A half reply of TOP is a whole first line and header line, then
// silence: exactly what a later command must never read as its own answer.
void Misbehave(ScriptedServer& S, Step At, Trouble T)
{
    switch (T) {
    case Trouble::Silent:
        break;
    case Trouble::Drip:
        for (char C : std::string("+OK slow"))
            S.send(std::string(1, C)).pause(kDripMs);
        break;
    case Trouble::HalfReply:
        S.send(At == Step::Top ? "+OK\r\nSubject: stale\r\nFrom: stale\r\n" : "+OK hal");
        break;
    case Trouble::Close:
        S.close();
        break;
    case Trouble::Refuse:
        S.reply("-ERR no");
        break;
    }
}

std::string ExpectedError(Step At, Trouble T)
{
    switch (T) {
    case Trouble::Silent:
    case Trouble::Drip:
    case Trouble::HalfReply:
        return "Délai d'attente dépassé";
    case Trouble::Close:
        return "Connexion perdue";
    case Trouble::Refuse:
        return At == Step::User || At == Step::Pass ? "Identifiant ou mot de passe refusé par 127.0.0.1 : -ERR no"
                                                    : "-ERR no\r\n";
    }
    return {};
}

// The good session that follows, on the next connection.
const std::string kGoodBytes = "USER u\r\nPASS p\r\nSTAT\r\nTOP 1 0\r\nLIST 1\r\nQUIT\r\n";
void PlayGoodSession(ScriptedServer& S)
{
    S.acceptNext()
        .reply("+OK fresh")
        .expect("USER u").reply("+OK")
        .expect("PASS p").reply("+OK")
        .expect("STAT").reply("+OK 2 300")
        .expect("TOP 1 0").reply("+OK").reply("Subject: good").reply("From: someone").reply(".")
        .expect("LIST 1").reply("+OK 1 120")
        .expect("QUIT").reply("+OK bye");
}

TEST(KTpop3Recovery, EveryStepAgainstEveryMisbehaviourThenAGoodSession)
{
    for (Step At : {Step::Greeting, Step::User, Step::Pass, Step::Stat, Step::Top, Step::Quit}) {
        for (Trouble T : {Trouble::Silent, Trouble::Drip, Trouble::HalfReply, Trouble::Close, Trouble::Refuse}) {
            SCOPED_TRACE(std::string(Name(At)) + ", " + Name(T));
            ScriptedServer server;
            std::string sent = PlayUpTo(server, At);
            Misbehave(server, At, T);
            // Only a refusal in the middle of the login leaves a line to log out on; its QUIT is
            // not answered and must not hold the caller long. A refused TOP leaves the session
            // usable; the test ends it with a QUIT that is answered.
            const bool loginRefused = T == Trouble::Refuse && At != Step::Top && At != Step::Quit;
            if (loginRefused) {
                server.expect("QUIT");
                sent += "QUIT\r\n";
            }
            if (T == Trouble::Refuse && At == Step::Top) {
                server.expect("QUIT").reply("+OK");
                sent += "QUIT\r\n";
            }
            PlayGoodSession(server);
            server.start();

            TKTPOP3 pop;
            pop.Host = server.host();
            pop.Port = server.port();
            pop.UserID = "u";
            pop.Password = "p";
            pop.IdleTimeOut = kIdleMs;
            pop.OperationTimeOut = kOperationMs;

            const std::string error = ErrorOf([&] {
                pop.Connect();
                if (At == Step::Top)
                    pop.RetrieveSummary(1);
                else
                    pop.Disconnect();
            });
            EXPECT_EQ(error, ExpectedError(At, T));
            EXPECT_FALSE(pop.Busy());
            if (At == Step::Top && T == Trouble::Refuse) {
                EXPECT_TRUE(pop.Connected());
                pop.Disconnect();
            }
            EXPECT_FALSE(pop.Connected());
            EXPECT_TRUE(pop.Buffered().empty());

            // The same component, the next connection: nothing of the first one is read.
            pop.Connect();
            EXPECT_EQ(pop.MessageCount(), 2);
            pop.RetrieveSummary(1);
            EXPECT_EQ(pop.Summary().Subject, " good");
            EXPECT_EQ(pop.Summary().From, " someone");
            EXPECT_EQ(pop.Summary().Bytes, 120);
            pop.Disconnect();

            ASSERT_TRUE(server.waitFinished());
            const auto perConnection = server.receivedPerConnection();
            ASSERT_EQ(perConnection.size(), 2u);
            EXPECT_EQ(perConnection[0], sent);
            EXPECT_EQ(perConnection[1], kGoodBytes);
            for (const std::string& failure : server.failures()) {
                // A dripping server notices the client gone when its next byte cannot go out.
                if (T != Trouble::Drip || failure.rfind("send failed", 0) != 0)
                    ADD_FAILURE() << failure;
            }
        }
    }
}

TEST(KTpop3Recovery, LinesLeftByAClosedSessionAreNoGreeting)
{
    ScriptedServer server;
    server.reply("+OK ready").expect("USER u").reply("+OK").expect("PASS p").reply("+OK")
        .expect("STAT").reply("+OK 0 0")
        .send("-ERR stale\r\n").close();
    server.acceptNext().reply("+OK fresh").expect("USER u").reply("+OK").expect("PASS p").reply("+OK")
        .expect("STAT").reply("+OK 1 10").expect("QUIT").reply("+OK");
    server.start();
    TKTPOP3 pop;
    pop.Host = server.host();
    pop.Port = server.port();
    pop.UserID = "u";
    pop.Password = "p";
    pop.IdleTimeOut = 5000;
    pop.Connect();
    // The server's parting line arrives with its close and stays unread.
    QElapsedTimer waited;
    waited.start();
    while (pop.Connected() && waited.elapsed() < 5000) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    ASSERT_FALSE(pop.Connected());
    pop.Connect();
    EXPECT_EQ(pop.MessageCount(), 1);
    pop.Disconnect();
    ASSERT_TRUE(server.waitFinished());
    EXPECT_TRUE(server.failures().empty());
}

// ---- Listings ----

const std::string kPipeliningCapa = "+OK\r\nTOP\r\nPIPELINING\r\nUIDL\r\n.\r\n";

// The replies of a listing of messages First..Last: subject "s<n>", size 100 + n.
std::string SummaryReplies(int First, int Last, int Refused = 0)
{
    std::string out;
    for (int n = First; n <= Last; ++n) {
        if (n == Refused)
            out += "-ERR no such message\r\n";
        else
            out += "+OK\r\nSubject: s" + std::to_string(n) + "\r\n.\r\n";
        out += "+OK " + std::to_string(n) + " " + std::to_string(100 + n) + "\r\n";
    }
    return out;
}

std::string SummaryCommands(int First, int Last)
{
    std::string out;
    for (int n = First; n <= Last; ++n)
        out += "TOP " + std::to_string(n) + " 0\r\nLIST " + std::to_string(n) + "\r\n";
    return out;
}

struct ListingCase {
    const char* name;
    int stopAfter;        // the handler returns false after this message (0 = never)
    int refused;          // TOP of this message is refused (0 = none)
    std::vector<std::string> seen;
    std::string error;
};

TEST(KTpop3Recovery, PipelinedListingStopsOrFailsAndTheSessionGoesOn)
{
    const ListingCase cases[] = {
        {"whole listing", 0, 0, {" s1", " s2", " s3", " s4", " s5", " s6"}, "(no exception)"},
        {"stopped after the second", 2, 0, {" s1", " s2"}, "(no exception)"},
        {"third refused", 0, 3, {" s1", " s2"}, "-ERR no such message\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.reply("+OK ready").expect("USER u").reply("+OK").expect("PASS p").reply("+OK")
            .expect("STAT").reply("+OK 6 600")
            .expect("CAPA").send(kPipeliningCapa)
            // All six messages' commands come in one batch, before any reply.
            .readBytes(SummaryCommands(1, 6).size())
            .send(SummaryReplies(1, 6, c.refused))
            // The next command gets its own reply, not one left from the listing.
            .expect("TOP 4 0").reply("+OK").reply("Subject: again").reply(".")
            .expect("LIST 4").reply("+OK 4 999")
            .expect("QUIT").reply("+OK");
        server.start();
        TKTPOP3 pop;
        pop.Host = server.host();
        pop.Port = server.port();
        pop.UserID = "u";
        pop.Password = "p";
        pop.IdleTimeOut = 5000;
        pop.Connect();
        std::vector<std::string> seen;
        const std::string error = ErrorOf([&] {
            pop.ListSummaries(1, 6, [&](int n, const TSummary& s) {
                EXPECT_EQ(s.Bytes, 100 + n);
                seen.push_back(s.Subject);
                return n != c.stopAfter;
            });
        });
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(seen, c.seen);
        EXPECT_TRUE(pop.Capabilities().Has("PIPELINING"));
        ASSERT_TRUE(pop.Connected());
        pop.RetrieveSummary(4);
        EXPECT_EQ(pop.Summary().Subject, " again");
        EXPECT_EQ(pop.Summary().Bytes, 999);
        pop.Disconnect();
        ASSERT_TRUE(server.waitFinished());
        EXPECT_TRUE(server.failures().empty()) << server.failures().front();
        EXPECT_EQ(server.received(), "USER u\r\nPASS p\r\nSTAT\r\nCAPA\r\n" + SummaryCommands(1, 6)
                                         + "TOP 4 0\r\nLIST 4\r\nQUIT\r\n");
    }
}

TEST(KTpop3Recovery, WithoutPipeliningTheListingAsksOneMessageAtATime)
{
    for (const char* capa : {"-ERR unknown command\r\n", "+OK\r\nTOP\r\nUIDL\r\n.\r\n"}) {
        SCOPED_TRACE(capa);
        ScriptedServer server;
        server.reply("+OK ready").expect("USER u").reply("+OK").expect("PASS p").reply("+OK")
            .expect("STAT").reply("+OK 3 300").expect("CAPA").send(capa);
        // The reply to the first TOP is held back for a while: a client that sent ahead would
        // have sent the rest of its commands by then.
        for (int n = 1; n <= 3; ++n) {
            server.expect("TOP " + std::to_string(n) + " 0");
            if (n == 1)
                server.waitRelease();
            server.send("+OK\r\nSubject: s" + std::to_string(n) + "\r\n.\r\n");
            server.expect("LIST " + std::to_string(n)).reply("+OK " + std::to_string(n) + " 7");
        }
        server.expect("QUIT").reply("+OK");
        server.start();
        TKTPOP3 pop;
        pop.Host = server.host();
        pop.Port = server.port();
        pop.UserID = "u";
        pop.Password = "p";
        pop.IdleTimeOut = 5000;
        pop.Connect();
        std::string sentWhileHeld;
        QTimer::singleShot(200, [&] {
            sentWhileHeld = server.received();
            server.release();
        });
        std::vector<std::string> seen;
        EXPECT_EQ(pop.ListSummaries(1, 3, [&](int, const TSummary& s) {
            seen.push_back(s.Subject);
            return true;
        }), 3);
        EXPECT_EQ(seen, (std::vector<std::string>{" s1", " s2", " s3"}));
        EXPECT_EQ(sentWhileHeld, "USER u\r\nPASS p\r\nSTAT\r\nCAPA\r\nTOP 1 0\r\n");
        pop.Disconnect();
        ASSERT_TRUE(server.waitFinished());
        EXPECT_TRUE(server.failures().empty()) << server.failures().front();
    }
}

} // namespace
