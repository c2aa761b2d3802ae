// Tests of TSocketSession's line and stream transfer: ReadLn, Write, Transaction, SendStream.
#include "NetTestUtil.h"
#include "ScriptedServer.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace nettest;
using testsupport::ScriptedServer;

namespace {

// Restores the process-wide read-ahead cap after a test that changes it.
struct CapGuard {
    std::size_t Saved = TSocketSession::ReadAheadCap();
    ~CapGuard() { TSocketSession::SetReadAheadCap(Saved); }
};

std::string Lines(int Count, std::size_t Width)
{
    std::string All;
    for (int I = 0; I < Count; ++I) {
        std::string L = std::to_string(I) + ":";
        L.resize(Width, static_cast<char>('a' + I % 26));
        All += L + "\r\n";
    }
    return All;
}

} // namespace

TEST(Transfer, TwoLinesInOneChunk)
{
    ScriptedServer Server;
    Server.send("+OK one\r\n+OK two\r\n").start();
    TSocketSession Session;
    ConnectTo(Session, Server);
    EXPECT_EQ(Session.ReadLn(), "+OK one\r\n");
    EXPECT_EQ(Session.Buffered(), "+OK two\r\n");
    EXPECT_EQ(Session.ReadLn(), "+OK two\r\n");
    EXPECT_TRUE(Session.Buffered().empty());
    Session.Disconnect();
}

TEST(Transfer, LineSplitAcrossChunksAndBareLineFeed)
{
    ScriptedServer Server;
    Server.send("+OK par").waitRelease().send("tial\r\nbare\n").start();
    TSocketSession Session;
    int Arrivals = 0;
    Session.DataArrivedEvent = [&](QObject*) {
        // The first part is in: let the server send the rest.
        if (++Arrivals == 1)
            Server.release();
    };
    ConnectTo(Session, Server);
    EXPECT_EQ(Session.ReadLn(), "+OK partial\r\n");
    EXPECT_GE(Arrivals, 2);
    EXPECT_EQ(Session.ReadLn(), "bare\n");
    Session.Disconnect();
}

TEST(Transfer, WhatWriteAndWritelnSend)
{
    ScriptedServer Server;
    Server.start();
    TSocketSession Session;
    ConnectTo(Session, Server);
    const std::string Long(20000, 'x');
    Session.Writeln("");
    Session.Write(Long);                          // sent whole
    Session.Write("");                            // nothing at all, and no hang
    Session.Writeln("END");
    // The session's first socket closes abortively: let the server read everything first.
    const std::string Expected = "\r\n" + Long + "END\r\n";
    EXPECT_TRUE(Server.waitReceived(Expected.size()));
    Session.Disconnect();
    ASSERT_TRUE(Server.waitFinished());
    EXPECT_TRUE(Server.received() == Expected) << Server.received().size() << " bytes received";
}

// A command is sent whole with its CR LF whatever its length, so the next command starts on a
// line of its own; a NUL in a command is refused before anything of it goes out.
TEST(Transfer, LongCommandsGoOutWholeAndNulIsRefused)
{
    struct Case {
        std::size_t Length;  // characters of the argument
        bool WithNul;
    };
    const Case Cases[] = {{16378, false}, {16379, false}, {16384, false}, {70000, false}, {300000, false},
                          {10, true}, {20000, true}};
    for (const Case& C : Cases) {
        SCOPED_TRACE(std::to_string(C.Length) + (C.WithNul ? " with NUL" : ""));
        ScriptedServer Server;
        Server.start();
        TSocketSession Session;
        ConnectTo(Session, Server);
        std::string Argument(C.Length, 'p');
        if (C.WithNul)
            Argument[C.Length / 2] = '\0';
        std::string Expected;
        if (C.WithNul) {
            try {
                Session.Writeln("PASS " + Argument);
                ADD_FAILURE() << "a command with a NUL was accepted";
            } catch (const std::runtime_error& E) {
                EXPECT_STREQ(E.what(), "Caractère nul interdit dans une commande");
            }
        } else {
            Session.Writeln("PASS " + Argument);
            Expected = "PASS " + Argument + "\r\n";
        }
        Session.Writeln("QUIT");
        Expected += "QUIT\r\n";
        EXPECT_TRUE(Server.waitReceived(Expected.size()));
        Session.Disconnect();
        ASSERT_TRUE(Server.waitFinished());
        EXPECT_TRUE(Server.received() == Expected) << Server.received().size() << " bytes received";
    }
}

TEST(Transfer, TransactionRepliesAndReplyNumber)
{
    struct Case {
        std::string Reply;
        int Number;
    };
    const Case Cases[] = {
        {"+OK 3 5120\r\n", 0},
        {"503 Bad sequence of commands\r\n", 503},
        {"250-first\r\n", 250},
        {"2147483647 max\r\n", 2147483647},
        {"12345678901 eleven digits\r\n", 1234567890},
        {"9999999999 too big\r\n", 0},
        {"\r\n", 0},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Reply);
        ScriptedServer Server;
        Server.expect("STAT").send(C.Reply).start();
        TSocketSession Session;
        std::vector<std::string> Level1;
        Session.ReportLevel = 1;
        Session.OnStatus = [&](QObject*, const std::string& Text) { Level1.push_back(Text); };
        ConnectTo(Session, Server);
        EXPECT_EQ(Session.Transaction("STAT"), C.Reply);
        EXPECT_EQ(Session.LastReply(), C.Reply);
        EXPECT_EQ(Session.ReplyNumber(), C.Number);
        // The status shows the reply without its line end.
        EXPECT_EQ(Level1, std::vector<std::string>{C.Reply.substr(0, C.Reply.size() - 2)});
        Session.Disconnect();
        ASSERT_TRUE(Server.waitFinished());
        EXPECT_TRUE(Server.failures().empty());
    }
}

TEST(Transfer, SendStreamReportsProgress)
{
    std::string Data(40000, '\0');
    for (std::size_t I = 0; I < Data.size(); ++I)
        Data[I] = static_cast<char>(I * 7 + I / 251);
    ScriptedServer Server;
    Server.readBytes(Data.size()).reply("250 OK").start();
    TSocketSession Session;
    ConnectTo(Session, Server);
    std::vector<std::int64_t> Progress;
    bool TransferringSeen = true;
    Session.OnPacketSent = [&](QObject*) {
        Progress.push_back(Session.BytesSent());
        TransferringSeen = TransferringSeen && Session.Transferring();
        EXPECT_EQ(Session.BytesTotal(), 40000);
    };
    std::istringstream Stream(Data);
    Stream.seekg(123);  // read from its start whatever its position
    Session.SendStream(Stream);
    EXPECT_GE(Progress.size(), 3u);
    EXPECT_TRUE(std::is_sorted(Progress.begin(), Progress.end()));
    EXPECT_TRUE(TransferringSeen);
    EXPECT_FALSE(Session.Transferring());
    EXPECT_EQ(Session.BytesSent(), 40000);
    EXPECT_EQ(Session.BytesTotal(), 40000);
    EXPECT_EQ(Session.ReadLn(), "250 OK\r\n");
    // Outside SendStream no packet event fires.
    const std::size_t Before = Progress.size();
    Session.Writeln("QUIT");
    EXPECT_EQ(Progress.size(), Before);
    Session.Disconnect();
    ASSERT_TRUE(Server.waitFinished());
    EXPECT_EQ(Server.received(), Data + "QUIT\r\n");
}

TEST(Transfer, SendStreamOfAnEmptyStreamSendsNothing)
{
    ScriptedServer Server;
    Server.start();
    TSocketSession Session;
    ConnectTo(Session, Server);
    std::istringstream Big(std::string(1000, 'z'));
    Session.SendStream(Big);
    int Packets = 0;
    Session.OnPacketSent = [&](QObject*) { ++Packets; };
    std::istringstream Empty;
    Session.SendStream(Empty);
    EXPECT_EQ(Packets, 0);
    EXPECT_EQ(Session.BytesSent(), 0);
    EXPECT_EQ(Session.BytesTotal(), 0);
    Session.Disconnect();
    ASSERT_TRUE(Server.waitFinished());
    EXPECT_EQ(Server.received(), std::string(1000, 'z'));
}

// The cancellation table: what each operation does with Canceled set at entry.
TEST(Transfer, CanceledAtEntry)
{
    ScriptedServer Server;
    Server.start();
    TSocketSession Session;
    ConnectTo(Session, Server);

    Session.Cancel();
    EXPECT_EQ(Raised([&] { Session.Writeln("NOOP"); }), "");
    EXPECT_TRUE(Session.Canceled());
    EXPECT_EQ(Raised([&] { Session.SendBuffer("abc", 3); }), "");
    EXPECT_TRUE(Session.Canceled());
    EXPECT_EQ(Raised([&] { Session.ReadLn(); }), "EAbortError: Readln de socket abandonnée");
    EXPECT_TRUE(Session.Canceled());
    EXPECT_EQ(Raised([&] { Session.Transaction("STAT"); }), "EAbortError: Readln de socket abandonnée");
    EXPECT_TRUE(Session.Canceled());
    std::istringstream Stream("data");
    EXPECT_EQ(Raised([&] { Session.SendStream(Stream); }), "EAbortError: Send de socket abandonnée");
    EXPECT_FALSE(Session.Canceled());

    Session.Writeln("AFTER");
    Session.Disconnect();
    ASSERT_TRUE(Server.waitFinished());
    EXPECT_EQ(Server.received(), "AFTER\r\n");
}

TEST(Transfer, CancelWhileReadLnWaits)
{
    ScriptedServer Server;
    Server.start();
    TSocketSession Session;
    ConnectTo(Session, Server);
    Later(20, [&] { Session.Cancel(); });
    EXPECT_EQ(Raised([&] { Session.ReadLn(); }), "EAbortError: Readln de socket abandonnée");
    EXPECT_TRUE(Session.Canceled());
    // Until the next Connect, nothing is sent and every read raises at once.
    Session.Writeln("QUIT");
    EXPECT_EQ(Raised([&] { Session.ReadLn(); }), "EAbortError: Readln de socket abandonnée");
    Session.Disconnect();
    ASSERT_TRUE(Server.waitFinished());
    EXPECT_EQ(Server.received(), "");
}

// The descendants' CancelHook drops the connection once data arrives after a cancel.
TEST(Transfer, CancelHookRunsWhenDataArrivesAfterCancel)
{
    ScriptedServer Server;
    Server.waitRelease().reply("+OK late").start();
    TTestSession Session;
    int Hooks = 0;
    Session.CancelHook = [&](QObject* Sender) {
        EXPECT_EQ(Sender, &Session);
        ++Hooks;
        Session.TSocketSession::Disconnect();
        Session.ReceiveBuffer.Clear();
    };
    ConnectTo(Session, Server);
    Later(20, [&] { Session.Cancel(); });
    EXPECT_EQ(Raised([&] { Session.ReadLn(); }), "EAbortError: Readln de socket abandonnée");
    Server.release();
    ASSERT_TRUE(PumpUntil([&] { return Hooks > 0; }));
    EXPECT_EQ(Hooks, 1);
    EXPECT_FALSE(Session.Connected());
    EXPECT_TRUE(Session.Buffered().empty());
    EXPECT_TRUE(Server.waitFinished());
}

TEST(Transfer, CancelWhileSendStreamWaits)
{
    ScriptedServer Server;
    Server.waitRelease().start();  // reads nothing until released: the socket fills up
    TSocketSession Session;
    ConnectTo(Session, Server);
    std::istringstream Stream(std::string(32 * 1024 * 1024, 'q'));
    bool Canceled = false;
    Session.OnPacketSent = [&](QObject*) {
        if (!Canceled && Session.BytesSent() > 1024 * 1024) {
            Canceled = true;
            Later(20, [&] { Session.Cancel(); });
        }
    };
    EXPECT_EQ(Raised([&] { Session.SendStream(Stream); }), "EAbortError: Send de socket abandonnée");
    EXPECT_FALSE(Session.Canceled());
    EXPECT_FALSE(Session.Transferring());
    EXPECT_LT(Session.BytesSent(), Session.BytesTotal());
    Server.release();
    Session.Disconnect();
    EXPECT_TRUE(Server.waitFinished());
}

// A progress handler that processes events (as a repainting progress bar does) re-enters the
// event loop inside the send handler; the transfer must neither nest nor stall.
TEST(Transfer, ProgressHandlerThatProcessesEvents)
{
    const std::string Data(3 * 1024 * 1024, 'p');
    ScriptedServer Server;
    Server.readBytes(Data.size()).reply("250 OK").start();
    TSocketSession Session;
    ConnectTo(Session, Server);
    int Packets = 0;
    int Nested = 0;
    Session.OnPacketSent = [&](QObject*) {
        ++Packets;
        Nested = std::max(Nested, Session.HandlerBusy() ? 1 : 0);
        QCoreApplication::processEvents();
    };
    std::istringstream Stream(Data);
    Session.SendStream(Stream);
    EXPECT_EQ(Session.BytesSent(), static_cast<std::int64_t>(Data.size()));
    EXPECT_GE(Packets, static_cast<int>(Data.size() / TSocketSession::ChunkSize));
    EXPECT_EQ(Nested, 1);
    EXPECT_EQ(Session.ReadLn(), "250 OK\r\n");
    Session.Disconnect();
    ASSERT_TRUE(Server.waitFinished());
    EXPECT_TRUE(Server.received() == Data);
}

TEST(Transfer, IdleTimeOutEndsASendThatCannotProceed)
{
    ScriptedServer Server;
    Server.waitRelease().start();  // never reads until released
    TSocketSession Session;
    Session.IdleTimeOut = 100;
    ConnectTo(Session, Server);
    std::istringstream Stream(std::string(32 * 1024 * 1024, 's'));
    EXPECT_EQ(Raised([&] { Session.SendStream(Stream); }), "ESockError: Délai d'attente dépassé");
    EXPECT_FALSE(Session.Transferring());
    EXPECT_LT(Session.BytesSent(), Session.BytesTotal());
    Server.release();
    Session.Disconnect();
    EXPECT_TRUE(Server.waitFinished());
}

TEST(Transfer, PeerClosingDuringReadLn)
{
    ScriptedServer Server;
    Server.reply("+OK first").expect("NEXT").send("+OK unterminated").close().start();
    TSocketSession Session;
    ConnectTo(Session, Server);
    EXPECT_EQ(Session.ReadLn(), "+OK first\r\n");
    Session.Writeln("NEXT");
    EXPECT_EQ(Raised([&] { Session.ReadLn(); }), "ESockError: Connexion perdue");
    EXPECT_FALSE(Session.Connected());
    // Sending on the lost connection fails the same way instead of waiting forever.
    EXPECT_EQ(Raised([&] { Session.Writeln("QUIT"); }), "ESockError: Connexion perdue");
    EXPECT_TRUE(Server.waitFinished());
    EXPECT_TRUE(Server.failures().empty());
}

TEST(Transfer, PeerResetDuringSend)
{
    ScriptedServer Server;
    Server.expect("GO").reset().start();
    TSocketSession Session;
    ConnectTo(Session, Server);
    Session.Writeln("GO");
    ASSERT_TRUE(Server.waitFinished());
    std::istringstream Stream(std::string(8 * 1024 * 1024, 'r'));
    EXPECT_EQ(Raised([&] {
                  Session.SendStream(Stream);
                  Session.Writeln("QUIT");
              }),
              "ESockError: Connexion perdue");
    EXPECT_FALSE(Session.Transferring());
}

// A wait that gives up for time closes the connection and drops what came of the reply: a silent
// peer by the idle rule, a dripping one by the operation's limit (nested limits keep the
// earliest end, and the limit ends with its scope).
TEST(Transfer, TimedOutWaitsCloseTheConnection)
{
    struct Case {
        const char* Name;
        int Idle, Outer, Inner;  // ms; 0 = none
        bool Drip;
    };
    const Case Cases[] = {
        {"silent, idle rule", 100, 0, 0, false},
        {"dripping, operation limit", 1000, 300, 0, true},
        {"dripping, inner limit earlier", 1000, 5000, 300, true},
        {"dripping, outer limit earlier", 1000, 300, 5000, true},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Name);
        ScriptedServer Server;
        Server.reply("+OK hello").expect("STAT");
        if (C.Drip) {
            for (int I = 0; I < 12; ++I)
                Server.send("x").pause(60);
        }
        Server.start();
        TSocketSession Session;
        Session.IdleTimeOut = C.Idle;
        ConnectTo(Session, Server);
        EXPECT_EQ(Session.ReadLn(), "+OK hello\r\n");
        int Disconnects = 0;
        Session.OnDisconnect = [&](QObject*) { ++Disconnects; };
        {
            TSocketSession::TOperationLimit Outer(Session, C.Outer);
            TSocketSession::TOperationLimit Inner(Session, C.Inner);
            EXPECT_EQ(Raised([&] { Session.Transaction("STAT"); }), "ESockError: Délai d'attente dépassé");
        }
        EXPECT_FALSE(Session.Connected());
        EXPECT_TRUE(Session.Buffered().empty());
        EXPECT_EQ(Disconnects, 1);
        ASSERT_TRUE(Server.waitFinished());
        EXPECT_EQ(Server.received(), "STAT\r\n");
    }
}

// Many lines through a small read-ahead cap: every line arrives whole and in order, and the
// buffer never grows much beyond the cap.
TEST(Transfer, ReadAheadCapBoundsTheBuffer)
{
    CapGuard Guard;
    TSocketSession::SetReadAheadCap(64 * 1024);
    const std::string Data = Lines(40000, 76);
    ScriptedServer Server;
    Server.send(Data).reply(".").start();
    TTestSession Session;
    ConnectTo(Session, Server);
    std::string Got;
    std::size_t MaxCapacity = 0;
    for (;;) {
        const std::string Line = Session.ReadLn();
        MaxCapacity = std::max(MaxCapacity, Session.ReceiveBuffer.Capacity());
        if (Line == ".\r\n")
            break;
        Got += Line;
    }
    EXPECT_TRUE(Got == Data);
    EXPECT_LE(MaxCapacity, 4 * 64 * 1024u);
    Session.Disconnect();
}

// A line longer than the cap is still read whole (the cap only holds back complete lines).
TEST(Transfer, LineLongerThanTheCap)
{
    CapGuard Guard;
    TSocketSession::SetReadAheadCap(32 * 1024);
    const std::string Long(300 * 1024, 'L');
    ScriptedServer Server;
    Server.send("short\r\n" + Long + "\r\nafter\r\n").start();
    TSocketSession Session;
    ConnectTo(Session, Server);
    EXPECT_EQ(Session.ReadLn(), "short\r\n");
    EXPECT_TRUE(Session.ReadLn() == Long + "\r\n");
    EXPECT_EQ(Session.ReadLn(), "after\r\n");
    Session.Disconnect();
}

TEST(NthFieldTest, Table)
{
    struct Case {
        std::string Text;
        char Delimiter;
        int N;
        std::string Field;
    };
    const Case Cases[] = {
        {"a,,b", ',', 1, "a"},
        {"a,,b", ',', 2, ""},
        {"a,,b", ',', 3, "b"},
        {"a,,b", ',', 4, ""},
        {"abc", ',', 1, "abc"},
        {"abc", ',', 2, ""},
        {"", ',', 1, ""},
        {"+OK 3 5120\r\n", ' ', 1, "+OK"},
        {"+OK 3 5120\r\n", ' ', 2, "3"},
        {"+OK 3 5120\r\n", ' ', 3, "5120\r\n"},
        {"+OK 3\r\n", ' ', 2, "3\r\n"},
        {",lead", ',', 1, ""},
        {"x\"name.txt\"y", '"', 2, "name.txt"},
        {"abc", ',', 0, ""},
    };
    for (const Case& C : Cases)
        EXPECT_EQ(NthField(C.Text, C.Delimiter, C.N), C.Field) << C.Text << " field " << C.N;
}
