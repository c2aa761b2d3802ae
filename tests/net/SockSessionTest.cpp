// Tests of TSocketSession's core: construction, connecting, closing, cancel, time-outs, reporting.
#include "NetTestUtil.h"
#include "ScriptedServer.h"
#include "net/SockErrors.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <map>
#include <memory>
#include <set>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace nettest;
using testsupport::ScriptedServer;

namespace {

// A loopback port with nobody listening on it.
std::uint16_t ClosedPort()
{
    const int Fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(Fd, reinterpret_cast<sockaddr*>(&A), sizeof A);
    socklen_t L = sizeof A;
    ::getsockname(Fd, reinterpret_cast<sockaddr*>(&A), &L);
    ::close(Fd);
    return ntohs(A.sin_port);
}

} // namespace

TEST(SockSessionCore, DottedAddressConnectsWithoutLookup)
{
    ScriptedServer Server;
    Server.expect("HELLO").reply("+OK hello").start();
    TSocketSession Session;
    TLog Log;
    Log.Attach(Session);
    Session.ReportLevel = 8;
    ConnectTo(Session, Server);

    EXPECT_TRUE(Session.Connected());
    EXPECT_EQ(Session.RemoteAddress(), 0x7F000001u);
    EXPECT_EQ(Log.Lines, (std::vector<std::string>{"Connexion", "Résolution d'hôte", "Timer activé", "<OnConnect>",
                                                   "WriteFromStream", "Timer désactivé"}));
    Session.Writeln("HELLO");
    EXPECT_EQ(Session.ReadLn(), "+OK hello\r\n");
    Session.Disconnect();
    EXPECT_FALSE(Session.Connected());
    EXPECT_TRUE(Log.Has("<OnDisconnect>"));
    EXPECT_NE(Session.SocketHandle(), TSocketSession::INVALID_SOCKET_HANDLE);
    ASSERT_TRUE(Server.waitFinished());
    EXPECT_TRUE(Server.failures().empty());
}

TEST(SockSessionCore, HostNameIsLookedUpThenConnected)
{
    ScriptedServer Server;
    Server.start();
    TSocketSession Session;
    TLog Log;
    Log.Attach(Session);
    Session.ReportLevel = 8;
    Session.Host = "localhost";
    Session.Port = Server.port();
    Session.Connect();

    EXPECT_TRUE(Session.Connected());
    EXPECT_EQ(Session.RemoteAddress(), 0x7F000001u);
    EXPECT_EQ(Log.Lines, (std::vector<std::string>{"Connexion", "Résolution d'hôte", "Timer activé", "Timer désactivé",
                                                   "<OnHostResolved>", "Timer activé", "<OnConnect>",
                                                   "WriteFromStream", "Timer désactivé"}));
    Session.Disconnect();
    EXPECT_TRUE(Server.waitFinished());
}

// Unresolvable hosts: the lookup failure never reaches the caller, it becomes "Adresse distante
// nulle" after at most one OnInvalidHost chance.
TEST(SockSessionCore, UnresolvableHostAndOnInvalidHost)
{
    struct Case {
        const char* Name;
        std::string Host;
        bool HasHandler;
        bool HandlerSetsHandled;
        bool HandlerFixesHost;
        int HandlerCalls;
        bool Connects;
    };
    const std::string LongName = std::string(120, 'a') + ".localhost";  // 130 characters
    const Case Cases[] = {
        {"no handler", "nosuchhost.invalid", false, false, false, 0, false},
        {"handler does not handle", "nosuchhost.invalid", true, false, false, 1, false},
        {"handler handles, host still bad", "nosuchhost.invalid", true, true, false, 1, false},
        {"handler repairs the host", "nosuchhost.invalid", true, true, true, 1, true},
        {"name over 127 characters", LongName, true, true, false, 1, false},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Name);
        ScriptedServer Server;
        Server.start();
        TSocketSession Session;
        TLog Log;
        Log.Attach(Session);
        Session.Host = C.Host;
        Session.Port = Server.port();
        int Calls = 0;
        if (C.HasHandler) {
            Session.OnInvalidHost = [&](bool& Handled) {
                ++Calls;
                if (C.HandlerFixesHost)
                    Session.Host = "127.0.0.1";
                Handled = C.HandlerSetsHandled;
            };
        }
        const std::string Error = Raised([&] { Session.Connect(); });
        EXPECT_EQ(Calls, C.HandlerCalls);
        if (C.Connects) {
            EXPECT_EQ(Error, "");
            EXPECT_TRUE(Session.Connected());
            Session.Disconnect();
        } else {
            EXPECT_EQ(Error, "ESockError: Adresse distante nulle");
            EXPECT_FALSE(Session.Connected());
            EXPECT_FALSE(Log.Has("<OnConnectionFailed>"));
            EXPECT_FALSE(Log.Has("<OnHostResolved>"));
        }
    }
}

TEST(SockSessionCore, RefusedConnectionFailsWithErrorNumberAndCanRetry)
{
    TSocketSession Session;
    TLog Log;
    Log.Attach(Session);
    Session.Host = "127.0.0.1";
    Session.Port = ClosedPort();
    EXPECT_EQ(Raised([&] { Session.Connect(); }), "ESockError: Connexion échoué");
    EXPECT_TRUE(Log.Has("<OnConnectionFailed>"));
    EXPECT_FALSE(Log.Has("<OnConnect>"));
    EXPECT_FALSE(Session.Connected());
    EXPECT_FALSE(Session.LastEventOk());
    EXPECT_EQ(Session.LastErrorNo(), 10061u);
    EXPECT_EQ(Session.ErrorText(static_cast<std::uint16_t>(Session.LastErrorNo())), "10061:Connection refused");

    // The same component connects afterwards.
    ScriptedServer Server;
    Server.reply("+OK").start();
    ConnectTo(Session, Server);
    EXPECT_EQ(Session.ReadLn(), "+OK\r\n");
    Session.Disconnect();
    EXPECT_TRUE(Server.waitFinished());
}

TEST(SockSessionCore, CancelDuringConnectionWait)
{
    ScriptedServer Server(ScriptedServer::Mode::NeverAccept);
    TTestSession Session;
    TLog Log;
    Log.Attach(Session);
    Session.Host = Server.host();
    Session.Port = Server.port();
    Later(30, [&] { Session.Cancel(); });
    EXPECT_EQ(Raised([&] { Session.Connect(); }), "ESockError: Connexion annulée");
    ASSERT_FALSE(Log.Lines.empty());
    EXPECT_EQ(Log.Lines.back(), "<OnConnectionFailed>");
    EXPECT_FALSE(Session.Connected());
    EXPECT_FALSE(Session.TimedOut());
    // TimeOut 0: no system timer was ever started.
    EXPECT_EQ(Session.Timer()->StartCount(), 0);
    EXPECT_EQ(Session.Aborts, 0);

    // Connect clears the flag: the next attempt is not cancelled at once.
    ScriptedServer Other;
    Other.reply("+OK").start();
    ConnectTo(Session, Other);
    EXPECT_FALSE(Session.Canceled());
    EXPECT_EQ(Session.ReadLn(), "+OK\r\n");
    Session.Disconnect();
}

TEST(SockSessionCore, TimeOutEndsAConnectionThatIsNeverAccepted)
{
    ScriptedServer Server(ScriptedServer::Mode::NeverAccept);
    TTestSession Session;
    TLog Log;
    Log.Attach(Session);
    Session.ReportLevel = 8;
    Session.TimeOut = 100;
    Session.Host = Server.host();
    Session.Port = Server.port();
    EXPECT_EQ(Raised([&] { Session.Connect(); }), "ESockError: La connexion a dépassé le temps imparti");
    EXPECT_TRUE(Session.TimedOut());
    EXPECT_EQ(Session.Aborts, 1);
    EXPECT_EQ(Session.Timer()->StartCount(), 1);
    EXPECT_FALSE(Session.Timer()->Running());
    EXPECT_TRUE(Log.Has("Timer déclenché"));
    EXPECT_EQ(Log.Lines.back(), "<OnConnectionFailed>");
    EXPECT_FALSE(Session.Connected());
}

// A lookup that ends by a cancel or a time-out raises its own message through Connect, and its
// late reply changes nothing.
TEST(SockSessionCore, LookupCancelledOrTimedOut)
{
    struct Case {
        const char* Name;
        bool ByTimer;
        const char* Error;
    };
    const Case Cases[] = {
        {"cancel", false, "ESockError: La recherche d'hôte a été annulée"},
        {"time-out", true, "ESockError: Temps imparti pour Recherche d'hôte dépassé"},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Name);
        TTestSession Session;
        Session.Host = "localhost";
        Session.Port = 1;
        Session.ReportLevel = 8;
        int Invalid = 0;
        Session.OnInvalidHost = [&](bool&) { ++Invalid; };
        bool Failed = false;
        Session.OnConnectionFailed = [&](QObject*) { Failed = true; };
        // End the lookup as soon as it is under way: a cancel at once, before any event is
        // processed; a time-out through a message posted before the lookup starts.
        bool Done = false;
        Session.OnStatus = [&](QObject*, const std::string& Text) {
            if (Text == "Timer activé" && !Done) {
                Done = true;
                if (C.ByTimer)
                    QMetaObject::invokeMethod(&Session, [&] { Session.TimerFired(Session.Timer()); }, Qt::QueuedConnection);
                else
                    Session.Cancel();
            }
        };
        EXPECT_EQ(Raised([&] { Session.Connect(); }), C.Error);
        EXPECT_EQ(Invalid, 0);
        EXPECT_FALSE(Failed);
        EXPECT_EQ(Session.TimedOut(), C.ByTimer);
        EXPECT_EQ(Session.RemoteAddress(), 0u);
        if (!C.ByTimer) {
            // Give the abandoned lookup every chance to answer: it must not count as done.
            const bool OkBefore = Session.LastEventOk();
            PumpUntil([] { return false; }, 300);
            EXPECT_FALSE(Session.LookupDone());
            EXPECT_EQ(Session.LastEventOk(), OkBefore);
            EXPECT_EQ(Session.RemoteAddress(), 0u);
        }
    }
}

TEST(SockSessionCore, AcceptWaitsAndCanBeCancelled)
{
    TSocketSession Session;
    Later(20, [&] { Session.Cancel(); });
    EXPECT_EQ(Raised([&] { Session.Accept(); }), "ESockError: Acceptation annulée");
}

TEST(SockSessionCore, PeerClosingWhileIdleKeepsBytesAndReopens)
{
    ScriptedServer Server;
    Server.send("+OK one\r\n+OK tail").close().start();
    TSocketSession Session;
    TLog Log;
    Log.Attach(Session);
    ConnectTo(Session, Server);
    ASSERT_TRUE(PumpUntil([&] { return Log.Has("<OnDisconnect>"); }));
    EXPECT_FALSE(Session.Connected());
    EXPECT_EQ(Session.Buffered(), "+OK one\r\n+OK tail");
    EXPECT_NE(Session.SocketHandle(), TSocketSession::INVALID_SOCKET_HANDLE);
    // Complete lines are still returned; the unterminated rest never is.
    EXPECT_EQ(Session.ReadLn(), "+OK one\r\n");
    EXPECT_EQ(Raised([&] { Session.ReadLn(); }), "ESockError: Connexion perdue");
    EXPECT_TRUE(Server.waitFinished());

    // The fresh socket serves the next connection.
    ScriptedServer Next;
    Next.reply("+OK again").start();
    ConnectTo(Session, Next);
    EXPECT_TRUE(Session.Connected());
    Session.Disconnect();
}

TEST(SockSessionCore, ConnectWhileConnectedAndRequireConnection)
{
    ScriptedServer Server;
    Server.start();
    TSocketSession Session;

    // Not connected, no handler: the general exception, not a socket error.
    EXPECT_EQ(Raised([&] { Session.RequireConnection(); }), "Exception: Non connecté");
    // A handler that says it handled it but did not connect: one chance only.
    int Calls = 0;
    Session.OnConnectionRequired = [&](bool& Handled) {
        ++Calls;
        Handled = true;
    };
    EXPECT_EQ(Raised([&] { Session.RequireConnection(); }), "Exception: Non connecté");
    EXPECT_EQ(Calls, 1);
    // A handler that connects.
    Session.OnConnectionRequired = [&](bool& Handled) {
        ConnectTo(Session, Server);
        Handled = true;
    };
    EXPECT_EQ(Raised([&] { Session.RequireConnection(); }), "");
    EXPECT_TRUE(Session.Connected());
    EXPECT_EQ(Raised([&] { Session.Connect(); }), "ESockError: Déjà connecté");
    Session.Disconnect();
}

TEST(SockSessionCore, ErrorText)
{
    TSocketSession Session;
    EXPECT_EQ(Session.ErrorText(10061), "10061:Connection refused");
    EXPECT_EQ(Session.ErrorText(10035), "10035:Operation would block");
    EXPECT_EQ(Session.ErrorText(11004), "11004:Valid name, no data record of requested type");
    EXPECT_EQ(Session.ErrorText(12345), "No. d'erreur inconnu 12345");
    EXPECT_EQ(Session.ErrorText(0), "");
    EXPECT_EQ(sockerrors::TableSize(), 51u);
    EXPECT_EQ(sockerrors::FromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(sockerrors::FromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(sockerrors::FromErrno(ECONNRESET), 10054);
}

// Every status text with its level: what passes OnStatus depends on ReportLevel only.
TEST(SockSessionCore, ReportLevelFiltersStatuses)
{
    const std::map<std::string, int> Levels = {
        {"+OK 3 5120", 1},
        {"Envoi du tampon", 4}, {"Requête fermeture de socket", 4},
        {"Connexion", 8}, {"Déconnexion", 8}, {"Résolution d'hôte", 8}, {"Timer activé", 8},
        {"Timer désactivé", 8}, {"Write", 8}, {"Writeln", 8}, {"ReadLn", 8}, {"Transaction", 8},
        {"ReadToStream", 8}, {"WriteFromStream", 8},
        {"Vérification de l'erreur dans le gestionnaire d'erreur", 16},
    };
    for (int Level : {0, 1, 4, 8, 16}) {
        SCOPED_TRACE(Level);
        ScriptedServer Server;
        Server.send("+OK ready\r\n").expect("STAT").reply("+OK 3 5120").start();
        TSocketSession Session;
        std::set<std::string> Seen;
        Session.OnStatus = [&](QObject* Sender, const std::string& Text) {
            EXPECT_EQ(Sender, &Session);
            EXPECT_EQ(Text, Session.Status());
            Seen.insert(Text);
        };
        Session.ReportLevel = Level;
        ConnectTo(Session, Server);
        Session.ReadLn();
        Session.Transaction("STAT");
        Session.Disconnect();
        for (const std::string& Text : Seen) {
            ASSERT_TRUE(Levels.count(Text)) << Text;
            EXPECT_LE(Levels.at(Text), Level) << Text;
        }
        for (const auto& [Text, TextLevel] : Levels) {
            if (TextLevel <= Level) {
                EXPECT_TRUE(Seen.count(Text)) << Text;
            }
        }
        if (Level == 0)
            EXPECT_EQ(Session.Status(), "");
        else
            EXPECT_EQ(Session.Status(), Level >= 4 ? "Requête fermeture de socket" : "+OK 3 5120");
    }
}

TEST(SockSessionCore, TwoInstancesShareTheSocketLibrary)
{
    ASSERT_EQ(TSocketSession::WinsockUsers(), 0);
    auto First = std::make_unique<TSocketSession>();
    EXPECT_EQ(TSocketSession::WinsockUsers(), 1);
    ASSERT_EQ(First->WinsockInfo().size(), 6u);
    EXPECT_EQ(First->WinsockInfo()[0], "Version= 1.1");
    EXPECT_EQ(First->WinsockInfo()[1].rfind("High Version= ", 0), 0u);
    EXPECT_EQ(First->WinsockInfo()[4].rfind("Max Sockets= ", 0), 0u);
    EXPECT_EQ(First->WinsockInfo()[5].rfind("Max Udp pack size= ", 0), 0u);
    auto Second = std::make_unique<TSocketSession>();
    EXPECT_EQ(TSocketSession::WinsockUsers(), 2);
    EXPECT_TRUE(Second->WinsockInfo().empty());
    EXPECT_NE(First->SocketHandle(), Second->SocketHandle());
    First.reset();
    EXPECT_EQ(TSocketSession::WinsockUsers(), 1);
    Second.reset();
    EXPECT_EQ(TSocketSession::WinsockUsers(), 0);
}

TEST(SockSessionCore, DestructionFiresNothing)
{
    ScriptedServer Server;
    Server.start();
    int Events = 0;
    {
        TSocketSession Session;
        ConnectTo(Session, Server);
        Session.ReportLevel = 16;
        Session.OnStatus = [&](QObject*, const std::string&) { ++Events; };
        Session.OnDisconnect = [&](QObject*) { ++Events; };
    }
    EXPECT_EQ(Events, 0);
    EXPECT_TRUE(Server.waitFinished());
}

TEST(ThreadTimer, FiresWhileEnabledAndStopsWhenDisabled)
{
    TThreadTimer Timer;
    EXPECT_TRUE(Timer.Enabled());
    EXPECT_EQ(Timer.Interval(), 1000u);
    EXPECT_FALSE(Timer.Running());  // no handler yet
    int Ticks = 0;
    Timer.SetOnTimer([&](QObject* Sender) {
        EXPECT_EQ(Sender, &Timer);
        if (++Ticks == 3)
            Timer.SetEnabled(false);
    });
    EXPECT_TRUE(Timer.Running());
    Timer.SetInterval(5);
    ASSERT_TRUE(PumpUntil([&] { return Ticks >= 3; }));
    EXPECT_FALSE(Timer.Running());
    Timer.SetEnabled(true);
    Timer.SetInterval(0);
    EXPECT_FALSE(Timer.Running());
}

namespace {

// A listening socket on ::1 or 127.0.0.1 at Port (0 = any): Live completes connections (the
// kernel does, without accept), Blackholed keeps its queue full so a connect never completes.
struct TListener {
    enum TState { Live, Blackholed, Refusing };
    TListener(bool V6, TState State, std::uint16_t& Port)
    {
        if (State == Refusing)
            return;
        Fd = ::socket(V6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in6 A6{};
        sockaddr_in A4{};
        A6.sin6_family = AF_INET6;
        A6.sin6_addr = in6addr_loopback;
        A6.sin6_port = htons(Port);
        A4.sin_family = AF_INET;
        A4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        A4.sin_port = htons(Port);
        sockaddr* A = V6 ? reinterpret_cast<sockaddr*>(&A6) : reinterpret_cast<sockaddr*>(&A4);
        socklen_t L = V6 ? sizeof A6 : sizeof A4;
        EXPECT_EQ(::bind(Fd, A, L), 0);
        ::listen(Fd, State == Live ? 16 : 0);
        ::getsockname(Fd, A, &L);
        Port = ntohs(V6 ? A6.sin6_port : A4.sin_port);
        for (int I = 0; State == Blackholed && I < 2; ++I) {
            Fillers.push_back(::socket(V6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
            ::connect(Fillers.back(), A, L);
        }
        QThread::msleep(50);  // the fillers' handshakes land in the queue
    }
    ~TListener()
    {
        for (int F : Fillers)
            ::close(F);
        if (Fd >= 0)
            ::close(Fd);
    }
    int Fd = -1;
    std::vector<int> Fillers;
};

} // namespace

// Addresses of both families: IPv6 is tried first, IPv4 follows after the attempt delay (or at
// once when IPv6 is refused), and the first connection made wins. Literals need no look-up.
TEST(SockSessionCore, BothFamiliesConnectToTheAddressThatAnswers)
{
    using S = TListener::TState;
    struct Case {
        const char* Name;
        std::string Host;
        S V6, V4;
        std::string Winner;  // empty: the connection fails
    };
    const Case Cases[] = {
        {"IPv6 blackholed", "both.test", S::Blackholed, S::Live, "127.0.0.1"},
        {"IPv6 refused", "both.test", S::Refusing, S::Live, "127.0.0.1"},
        {"IPv4 blackholed", "both.test", S::Live, S::Blackholed, "::1"},
        {"both dead", "both.test", S::Refusing, S::Blackholed, ""},
        {"IPv6 literal in brackets", "[::1]", S::Live, S::Refusing, "::1"},
        {"IPv6 literal", "::1", S::Live, S::Refusing, "::1"},
    };
    TSocketSession::SetHostResolver([](const std::string& Name) {
        return Name == "both.test" ? std::vector<std::string>{"127.0.0.1", "::1"} : std::vector<std::string>{};
    });
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Name);
        std::uint16_t Port = 0;
        TListener First(C.V4 == S::Refusing, C.V4 == S::Refusing ? C.V6 : C.V4, Port);
        TListener Second(C.V4 != S::Refusing, C.V4 == S::Refusing ? S::Refusing : C.V6, Port);
        TSocketSession Session;
        Session.Host = C.Host;
        Session.Port = Port;
        Session.TimeOut = 1500;
        const std::string Error = Raised([&] { Session.Connect(); });
        EXPECT_EQ(Error, C.Winner.empty() ? "ESockError: La connexion a dépassé le temps imparti" : "");
        EXPECT_EQ(Session.Connected(), !C.Winner.empty());
        EXPECT_EQ(Session.RemoteAddressText(), C.Winner);
        if (C.Host == "both.test")
            EXPECT_EQ(Session.ResolvedAddresses(), (std::vector<std::string>{"::1", "127.0.0.1"}));
    }
    TSocketSession::SetHostResolver(nullptr);
}
