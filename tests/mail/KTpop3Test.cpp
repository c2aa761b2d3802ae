// Tests of TKTPOP3 against scripted servers: login rules, summary, deletion, busy refusals,
// cancellation and the received message decoder, each read as a wire transcript.
#include "mail/KTpop3.h"
#include "mail/MailErrors.h"
#include "StringListPrint.h"
#include "ScriptedServer.h"
#include "TestDirs.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

using testsupport::ScriptedServer;
using testsupport::TempFolder;

namespace {

// The usual greeting and login of user "u" with password "p".
ScriptedServer& Login(ScriptedServer& S, const std::string& Stat = "+OK 1 100")
{
    return S.reply("+OK ready").expect("USER u").reply("+OK").expect("PASS p").reply("+OK").expect("STAT").reply(Stat);
}

const std::string kLoginBytes = "USER u\r\nPASS p\r\nSTAT\r\n";

struct Pop3 {
    ScriptedServer server;
    TKTPOP3 pop;
    std::vector<std::string> events;
    Pop3()
    {
        pop.Host = server.host();
        pop.UserID = "u";
        pop.Password = "p";
        pop.IdleTimeOut = 10000;  // a decoder that reads too far fails instead of hanging
        pop.OnConnect = [this](QObject*) { events.push_back("connect"); };
        pop.OnRetrieveStart = [this](QObject*) { events.push_back("start"); };
        pop.OnRetrieveEnd = [this](QObject*) { events.push_back("end:" + std::string(pop.Busy() ? "busy" : "idle")); };
        pop.OnSuccess = [this](QObject*) { events.push_back("success"); };
        pop.OnFailure = [this](QObject*) { events.push_back("failure"); };
    }
    void start()
    {
        server.start();
        pop.Port = server.port();
    }
    // Closes the client side and waits for the transcript to end; returns what the client sent.
    std::string finish()
    {
        pop.Abort();
        EXPECT_TRUE(server.waitFinished());
        EXPECT_TRUE(server.failures().empty()) << server.failures().front();
        return server.received();
    }
};

std::string ErrorOf(const std::function<void()>& F)
{
    try {
        F();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no exception)";
}

struct LoginCase {
    const char* name;
    std::string greeting, userReply, passReply, statReply;
    int count;             // expected MessageCount when no error
    std::string error;     // expected exception text, empty for success
    std::string sent;      // what the client sends
    bool connectFires;
    bool refused;          // the error is a refused sign-in (EAuthError)
};

TEST(KTpop3Login, RepliesAndCounts)
{
    const LoginCase cases[] = {
        {"count and size", "+OK ready", "+OK", "+OK", "+OK 3 5120", 3, "", kLoginBytes, true, false},
        {"empty mailbox", "+OK ready", "+OK", "+OK", "+OK 0 0", 0, "", kLoginBytes, true, false},
        {"count alone keeps its line end", "+OK ready", "+OK", "+OK", "+OK 3", 0, "", kLoginBytes, true, false},
        {"count that is no number", "+OK ready", "+OK", "+OK", "+OK many 12", 0, "", kLoginBytes, true, false},
        {"+OK after other characters", "x+OK ready", "junk+OK", "+OKAY", "+OK 2 9", 2, "", kLoginBytes, true, false},
        {"greeting refused", "-ERR busy", "", "", "", 0, "-ERR busy\r\n", "QUIT\r\n", false, false},
        {"user refused", "+OK", "-ERR no", "", "", 0, "L'authentification a échoué", "USER u\r\nQUIT\r\n", false, true},
        {"password refused", "+OK", "+OK", "-ERR no", "", 0, "L'authentification a échoué",
         "USER u\r\nPASS p\r\nQUIT\r\n", false, true},
        {"STAT refused after login", "+OK", "+OK", "+OK", "-ERR locked", 0, "-ERR locked\r\n", kLoginBytes + "QUIT\r\n", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Pop3 t;
        t.server.reply(c.greeting);
        if (!c.userReply.empty())
            t.server.expect("USER u").reply(c.userReply);
        if (!c.passReply.empty())
            t.server.expect("PASS p").reply(c.passReply);
        if (!c.statReply.empty())
            t.server.expect("STAT").reply(c.statReply);
        if (!c.error.empty())
            t.server.expect("QUIT").reply("+OK bye");
        t.start();
        bool refused = false;
        EXPECT_EQ(ErrorOf([&] {
                      try {
                          t.pop.Connect();
                      } catch (const EAuthError&) {
                          refused = true;
                          throw;
                      }
                  }),
                  c.error.empty() ? "(no exception)" : c.error);
        EXPECT_EQ(refused, c.refused);
        if (c.error.empty())
            EXPECT_EQ(t.pop.MessageCount(), c.count);
        else
            EXPECT_FALSE(t.pop.Connected());
        EXPECT_FALSE(t.pop.Busy());
        EXPECT_EQ(t.events, c.connectFires ? std::vector<std::string>{"connect"} : std::vector<std::string>{});
        EXPECT_EQ(t.finish(), c.sent);
    }
}

TEST(KTpop3Login, AuthenticationFailedGivesOneRetry)
{
    Pop3 t;
    t.server.reply("+OK")
        .expect("USER u").reply("+OK").expect("PASS p").reply("-ERR bad")
        .expect("USER u").reply("+OK").expect("PASS p2").reply("-ERR bad again")
        .expect("QUIT").reply("+OK");
    t.start();
    int asked = 0;
    t.pop.OnAuthenticationFailed = [&](bool& handled) {
        ++asked;
        t.pop.Password = "p2";
        handled = true;  // would accept again, but only one retry is given
    };
    EXPECT_EQ(ErrorOf([&] { t.pop.Connect(); }), "L'authentification a échoué");
    EXPECT_EQ(asked, 1);
    t.finish();
}

TEST(KTpop3Login, AuthenticationFailedHandlerCorrectsTheUser)
{
    Pop3 t;
    t.server.reply("+OK")
        .expect("USER x").reply("-ERR who?")
        .expect("USER u").reply("+OK").expect("PASS p").reply("+OK")
        .expect("STAT").reply("+OK 4 1");
    t.start();
    t.pop.UserID = "x";
    t.pop.OnAuthenticationFailed = [&](bool& handled) {
        t.pop.UserID = "u";
        handled = true;
    };
    t.pop.Connect();
    EXPECT_EQ(t.pop.MessageCount(), 4);
    EXPECT_EQ(t.finish(), "USER x\r\nUSER u\r\nPASS p\r\nSTAT\r\n");
}

TEST(KTpop3Login, AuthenticationNeededHook)
{
    {
        // No handler and no password: refused before any connection.
        Pop3 t;
        t.start();
        t.pop.Password.clear();
        EXPECT_EQ(ErrorOf([&] { t.pop.Connect(); }), "L'authentification a échoué");
        EXPECT_EQ(t.server.connections(), 0);
    }
    {
        // A handler that does not set Handled.
        Pop3 t;
        t.start();
        t.pop.UserID.clear();
        t.pop.OnAuthenticationNeeded = [](bool&) {};
        EXPECT_EQ(ErrorOf([&] { t.pop.Connect(); }), "L'authentification a échoué");
        EXPECT_EQ(t.server.connections(), 0);
    }
    {
        // Handled but the user name stays empty: the login goes on with "USER ".
        Pop3 t;
        t.server.reply("+OK").expect("USER ").reply("+OK").expect("PASS p").reply("+OK").expect("STAT").reply("+OK 0 0");
        t.start();
        t.pop.UserID.clear();
        int asked = 0;
        t.pop.OnAuthenticationNeeded = [&](bool& handled) {
            ++asked;
            handled = true;
        };
        t.pop.Connect();
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(t.finish(), "USER \r\nPASS p\r\nSTAT\r\n");
    }
    {
        // The handler supplies the password.
        Pop3 t;
        Login(t.server);
        t.start();
        t.pop.Password.clear();
        t.pop.OnAuthenticationNeeded = [&](bool& handled) {
            t.pop.Password = "p";
            handled = true;
        };
        t.pop.Connect();
        EXPECT_EQ(t.finish(), kLoginBytes);
    }
}

TEST(KTpop3Login, LineBreaksInCredentialsAreRefused)
{
    struct Case {
        std::string user, pass, error;
    };
    const Case cases[] = {
        {"u\r\nDELE 1", "p", "Caractère de fin de ligne interdit"},
        {"u", "p\nDELE 1", "Caractère de fin de ligne interdit"},
        {std::string("u\0x", 3), "p", "Caractère nul interdit"},
        {"u", std::string("p\0QUIT", 6), "Caractère nul interdit"},
    };
    for (const Case& c : cases) {
        Pop3 t;
        t.start();
        t.pop.UserID = c.user;
        t.pop.Password = c.pass;
        EXPECT_EQ(ErrorOf([&] { t.pop.Connect(); }), c.error);
        EXPECT_EQ(t.server.connections(), 0);
    }
    // A password changed by the retry handler is checked too; only QUIT follows.
    Pop3 t;
    t.server.reply("+OK").expect("USER u").reply("+OK").expect("PASS p").reply("-ERR").expect("QUIT").reply("+OK");
    t.start();
    t.pop.OnAuthenticationFailed = [&](bool& handled) {
        t.pop.Password = "x\r\nDELE 1";
        handled = true;
    };
    EXPECT_EQ(ErrorOf([&] { t.pop.Connect(); }), "Caractère de fin de ligne interdit");
    EXPECT_EQ(t.finish(), "USER u\r\nPASS p\r\nQUIT\r\n");
}

TEST(KTpop3, RetrieveSummaryReadsTopAndList)
{
    Pop3 t;
    Login(t.server)
        .expect("TOP 7 0").reply("+OK top")
        .send("subject: lower case is not taken\r\nSubject: Hello there\r\nFrom: Ann <ann@x>\r\n"
              "Message-ID: <abc@x>\r\n..dotted\r\nX-Folded: a\r\n  b\r\n\r\n.\r\n")
        .expect("LIST 7").reply("+OK 7 4242");
    t.start();
    t.pop.Connect();
    t.events.clear();
    t.pop.RetrieveSummary(7);
    const TSummary& s = t.pop.Summary();
    EXPECT_EQ(s.Subject, " Hello there");
    EXPECT_EQ(s.From, " Ann <ann@x>");
    EXPECT_EQ(s.MessageId, "<abc@x>");
    EXPECT_EQ(s.Bytes, 4242);
    EXPECT_EQ(s.Header, (TExStringList{"subject: lower case is not taken", "Subject: Hello there", "From: Ann <ann@x>",
                                       "Message-ID: <abc@x>", "..dotted", "X-Folded: a", "  b", "", "."}));
    EXPECT_EQ(t.events, (std::vector<std::string>{"start", "end:busy"}));
    EXPECT_EQ(t.finish(), kLoginBytes + "TOP 7 0\r\nLIST 7\r\n");
}

TEST(KTpop3, RetrieveSummaryFailures)
{
    {
        Pop3 t;
        Login(t.server).expect("TOP 1 0").reply("-ERR no such message");
        t.start();
        t.pop.Connect();
        EXPECT_EQ(ErrorOf([&] { t.pop.RetrieveSummary(1); }), "-ERR no such message\r\n");
        EXPECT_FALSE(t.pop.Busy());
        t.finish();
    }
    {
        Pop3 t;
        Login(t.server).expect("TOP 1 0").reply("+OK").send("Subject: x\r\n.\r\n").expect("LIST 1").reply("-ERR gone");
        t.start();
        t.pop.Connect();
        t.events.clear();
        EXPECT_NE(ErrorOf([&] { t.pop.RetrieveSummary(1); }).find("n'est pas une valeur entière"), std::string::npos);
        EXPECT_EQ(t.events, std::vector<std::string>{"start"});  // no end event after a failure
        EXPECT_FALSE(t.pop.Busy());
        t.finish();
    }
    {
        TKTPOP3 idle;
        EXPECT_EQ(ErrorOf([&] { idle.RetrieveSummary(1); }), "Non connecté");
        EXPECT_FALSE(idle.Busy());
    }
}

TEST(KTpop3, DeleteNeedsExactlyOk)
{
    struct Case {
        std::string reply;
        bool ok;
    };
    for (const Case& c : {Case{"+OK message 1 deleted", true}, Case{"+OK", false}, Case{"-ERR no", false},
                          Case{"x+OK deleted", false}}) {
        SCOPED_TRACE(c.reply);
        Pop3 t;
        Login(t.server).expect("DELE 1").reply(c.reply);
        t.start();
        t.pop.Connect();
        t.events.clear();
        EXPECT_EQ(ErrorOf([&] { t.pop.DeleteMessage(1); }), c.ok ? "(no exception)" : c.reply + "\r\n");
        EXPECT_EQ(t.events, std::vector<std::string>{c.ok ? "success" : "failure"});
        EXPECT_FALSE(t.pop.Busy());
        t.finish();
    }
}

TEST(KTpop3, MessageOperationsRefuseWhileBusy)
{
    Pop3 t;
    Login(t.server).expect("TOP 1 0").reply("+OK").send("Subject: a\r\n.\r\n").expect("LIST 1").reply("+OK 1 10");
    t.start();
    t.pop.Connect();
    t.pop.OnRetrieveStart = [&](QObject*) {
        t.pop.RetrieveMessage(1);
        t.pop.DeleteMessage(1);
        t.pop.RetrieveSummary(2);
    };
    t.pop.RetrieveSummary(1);
    EXPECT_EQ(t.pop.Summary().Bytes, 10);
    EXPECT_EQ(t.finish(), kLoginBytes + "TOP 1 0\r\nLIST 1\r\n");
}

TEST(KTpop3, AbortCancelsARunningRetrieve)
{
    Pop3 t;
    Login(t.server).expect("RETR 1").reply("+OK").send("Subject: slow\r\n\r\nfirst line\r\n").waitRelease().send("late\r\n");
    t.start();
    t.pop.Connect();
    t.events.clear();
    TempFolder dir;
    t.pop.AttachFilePath = dir.path().toStdString() + "/";
    QTimer::singleShot(200, [&] { t.pop.Abort(); });
    EXPECT_EQ(ErrorOf([&] { t.pop.RetrieveMessage(1); }), "Readln de socket abandonnée");
    EXPECT_FALSE(t.pop.Busy());
    EXPECT_EQ(t.events, (std::vector<std::string>{"start", "end:busy"}));
    // The connection is dropped as soon as more data arrives; no QUIT is sent.
    t.server.release();
    for (int i = 0; i < 5000 && t.pop.Connected(); ++i) {
        QThread::msleep(2);
        QCoreApplication::processEvents();
    }
    EXPECT_FALSE(t.pop.Connected());
    EXPECT_TRUE(t.server.waitFinished());
    EXPECT_EQ(t.server.received(), kLoginBytes + "RETR 1\r\n");
}

TEST(KTpop3, AbortWhenIdleDropsTheConnectionWithoutQuit)
{
    Pop3 t;
    Login(t.server);
    t.start();
    t.pop.Connect();
    t.pop.Abort();
    EXPECT_FALSE(t.pop.Connected());
    EXPECT_TRUE(t.server.waitFinished());
    EXPECT_EQ(t.server.received(), kLoginBytes);
}

TEST(KTpop3, DisconnectSendsQuit)
{
    Pop3 t;
    Login(t.server).expect("QUIT").reply("-ERR cannot commit");
    t.start();
    t.pop.Connect();
    EXPECT_EQ(ErrorOf([&] { t.pop.Disconnect(); }), "-ERR cannot commit\r\n");
    EXPECT_FALSE(t.pop.Connected());  // closed in every case
    EXPECT_TRUE(t.server.waitFinished());
}

} // namespace
