// Hostile servers at each step of POP3 and SMTP: a reply line that never ends (memory stays
// bounded, the session ends with its error) and replies dripped a byte at a time (each step ends).
#include "mail/KTpop3.h"
#include "mail/KTsmtp.h"
#include "ScriptedServer.h"
#include "TestDirs.h"

#include <gtest/gtest.h>
#include <malloc.h>
#if defined(__SANITIZE_ADDRESS__)
// From the AddressSanitizer runtime: bytes the program holds allocated now.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

using namespace testsupport;

namespace {

std::size_t AllocatedBytes()
{
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 Info = mallinfo2();
    return Info.uordblks + Info.hblkhd;
#endif
}

using TScript = void (*)(ScriptedServer&);
void Pop3Login(ScriptedServer& S) { S.reply("+OK hi").expect("USER u").reply("+OK").expect("PASS p").reply("+OK").expect("STAT").reply("+OK 1 9"); }
void SmtpToRcpt(ScriptedServer& S)
{
    S.reply("220 hi").expect("HELO me").reply("250 ok").expect("RSET").reply("250 ok").expect("MAIL FROM:<a@b.c>").reply("250 ok");
    S.expect("RCPT TO:<d@e.f>");
}
void SmtpToData(ScriptedServer& S) { SmtpToRcpt(S); S.reply("250 ok").expect("DATA").reply("354 go"); }

// One hostile step: the transcript up to it, what the client does, the error it must end with.
struct THostileCase {
    const char* Name;
    bool Smtp;
    TScript Before;             // the server's part up to the hostile reply
    const char* Hostile;        // the reply, sent as a flood or a drip (a drip repeats it)
    const char* DripError;      // error text after a drip, "" when the case is only a flood
};

void RunClient(const THostileCase& C, TSocketSession& Session)
{
    if (C.Smtp) {
        auto& Smtp = static_cast<TKTSMTP&>(Session);
        Smtp.Connect();
        Smtp.PostMessage.FromAddress = "a@b.c";
        Smtp.PostMessage.ToAddress.Add("d@e.f");
        Smtp.PostMessage.Body.Add("text");
        Smtp.Send();
    } else {
        auto& Pop = static_cast<TKTPOP3&>(Session);
        Pop.Connect();
        std::vector<std::string> Ids;
        Pop.UIDL(Ids);
        Pop.RetrieveSummary(1);
        Pop.RetrieveMessage(1);
    }
}

const char kTooSlow[] = "Transfert trop lent : moins de 400 octets en 1 s";
const char kTimedOut[] = "Délai d'attente dépassé";

const THostileCase kCases[] = {
    {"POP3 greeting", false, [](ScriptedServer&) {}, "+OK ", kTimedOut},
    {"POP3 UIDL", false, [](ScriptedServer& S) { Pop3Login(S); S.expect("UIDL").reply("+OK"); }, "1 ", kTooSlow},
    {"POP3 TOP", false,
     [](ScriptedServer& S) { Pop3Login(S); S.expect("UIDL").reply("-ERR").expect("TOP 1 0").reply("+OK"); }, "X-A: ", kTimedOut},
    {"POP3 RETR body", false,
     [](ScriptedServer& S) {
         Pop3Login(S);
         S.expect("UIDL").reply("-ERR").expect("TOP 1 0").reply("+OK").reply(".").expect("LIST 1").reply("+OK 1 9");
         S.expect("RETR 1").reply("+OK").send("Subject: x\r\n\r\n");
     },
     "body ", kTooSlow},
    {"SMTP greeting", true, [](ScriptedServer&) {}, "220 ", kTimedOut},
    {"SMTP HELO", true, [](ScriptedServer& S) { S.reply("220 hi").expect("HELO me"); }, "250 ", kTimedOut},
    {"SMTP RCPT", true, SmtpToRcpt, "250 ", kTimedOut},
    {"SMTP reply to the final dot", true, [](ScriptedServer& S) { SmtpToData(S); S.readUntil("\r\n.\r\n"); }, "250 ", kTimedOut},
};

template <typename F>
std::string ErrorOf(F Action)
{
    try {
        Action();
    } catch (const std::exception& E) {
        return E.what();
    }
    return "";
}

std::unique_ptr<TSocketSession> NewSession(const THostileCase& C, const ScriptedServer& Server)
{
    std::unique_ptr<TSocketSession> Session;
    if (C.Smtp) {
        auto Smtp = std::make_unique<TKTSMTP>();
        Smtp->UserID = "me";
        Session = std::move(Smtp);
    } else {
        auto Pop = std::make_unique<TKTPOP3>();
        Pop->UserID = "u";
        Pop->Password = "p";
        Session = std::move(Pop);
    }
    Session->Host = Server.host();
    Session->Port = Server.port();
    Session->TimeOut = 5000;
    return Session;
}

} // namespace

// A reply without a line end, sent as fast as the client reads, ends the session with the line
// bound's error while the memory held stays far under the 64 MiB promised.
TEST(HostileServer, FloodOfOneLineEndsWithBoundedMemory)
{
    const std::string Flood(16 * 1024 * 1024, 'x');
    for (const THostileCase& C : kCases) {
        SCOPED_TRACE(C.Name);
        ScriptedServer Server;
        C.Before(Server);
        Server.send(C.Hostile).send(Flood).start();
        auto Session = NewSession(C, Server);
        Session->IdleTimeOut = 2000;  // ends the message case once the flood stops
        const std::size_t Before = AllocatedBytes();
        std::size_t Peak = Before;
        Session->DataArrivedEvent = [&](QObject*) { Peak = std::max(Peak, AllocatedBytes()); };
        const std::string Error = ErrorOf([&] { RunClient(C, *Session); });
        if (std::string(C.Name) == "POP3 RETR body") {
            // Message lines reach the decoder in pieces: no line bound there, only the rate's.
            EXPECT_LT(Peak - Before, 40u * 1024 * 1024);
            continue;
        }
        EXPECT_EQ(Error, "Ligne trop longue reçue du serveur (plus de 1048576 octets)");
        EXPECT_LT(Peak - Before, 8u * 1024 * 1024);
        EXPECT_FALSE(Session->Connected());
    }
}

// A reply dripped a byte at a time, fast enough for the idle time-out, still ends: a short
// exchange at its operation limit, a message body at its minimum rate.
TEST(HostileServer, DripEndsEachStep)
{
    for (const THostileCase& C : kCases) {
        SCOPED_TRACE(C.Name);
        ScriptedServer Server;
        C.Before(Server);
        std::string Drip;
        for (int I = 0; I < 60; ++I)
            Drip += C.Hostile;
        for (char Byte : Drip)
            Server.send(std::string(1, Byte)).pause(25);
        Server.start();
        auto Session = NewSession(C, Server);
        Session->IdleTimeOut = 3000;
        Session->OperationTimeOut = 400;
        Session->MinRateBytes = 400;
        Session->RateWindowMs = 400;
        if (C.Smtp)
            static_cast<TKTSMTP&>(*Session).DataEndTimeOut = 400;
        EXPECT_EQ(ErrorOf([&] { RunClient(C, *Session); }), C.DripError);
        EXPECT_FALSE(Session->Connected());
    }
}

// A server that stops reading the message in the middle ends the send at the minimum rate.
TEST(HostileServer, StalledMessageSendEnds)
{
    ScriptedServer Server;
    SmtpToData(Server);
    Server.waitRelease().start();
    TKTSMTP Smtp;
    Smtp.UserID = "me";
    Smtp.Host = Server.host();
    Smtp.Port = Server.port();
    Smtp.MinRateBytes = 1024;
    Smtp.RateWindowMs = 400;
    Smtp.Connect();
    Smtp.PostMessage.FromAddress = "a@b.c";
    Smtp.PostMessage.ToAddress.Add("d@e.f");
    TempFolder Dir;
    writeFileBytes(Dir.file("big.bin"), std::string(32 * 1024 * 1024, 'a'));
    Smtp.PostMessage.Attachments.Add(Dir.file("big.bin").toStdString());
    EXPECT_EQ(ErrorOf([&] { Smtp.Send(); }), "Transfert trop lent : moins de 1024 octets en 1 s");
    EXPECT_FALSE(Smtp.Connected());
    Server.release();
}
