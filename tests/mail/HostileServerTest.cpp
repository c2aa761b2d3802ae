// Hostile servers at each step of POP3, SMTP and IMAP: a reply line that never ends, or short lines
// past a whole reply's cap (memory stays bounded, the session ends with its error), and replies
// dripped a byte at a time (each step ends).
#include "mail/KTimap.h"
#include "mail/KTpop3.h"
#include "mail/KTsmtp.h"
#include "ScriptedServer.h"
#include "TestDirs.h"

#include <gtest/gtest.h>
#include <cstring>
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
// Sign-in, then the client's CAPA answered with Capa.
void Pop3Login(ScriptedServer& S, const char* Capa = "-ERR")
{
    S.reply("+OK hi").expect("USER u").reply("+OK").expect("PASS p").reply("+OK").expect("STAT").reply("+OK 1 9").expect("CAPA").reply(Capa);
}
void Pop3ToTop(ScriptedServer& S) { Pop3Login(S); S.expect("UIDL").reply("-ERR").expect("TOP 1 0").reply("+OK"); }
void SmtpToRcpt(ScriptedServer& S)
{
    S.reply("220 hi").expect("HELO me").reply("250 ok").expect("RSET").reply("250 ok").expect("MAIL FROM:<a@b.c>").reply("250 ok");
    S.expect("RCPT TO:<d@e.f>");
}
void SmtpToData(ScriptedServer& S) { SmtpToRcpt(S); S.reply("250 ok").expect("DATA").reply("354 go"); }
// Up to the body literal of message 1 (Bytes long) and its header.
void ImapToBody(ScriptedServer& S, std::size_t Bytes)
{
    S.reply("* OK [CAPABILITY IMAP4rev1] hi").expect("B1 LOGIN \"u\" \"p\"").reply("B1 OK [CAPABILITY IMAP4rev1] in");
    S.expect("B2 SELECT \"INBOX\"").reply("B2 OK [READ-WRITE] done").expect("B3 UID FETCH 1 (UID BODY.PEEK[])");
    S.send("* 1 FETCH (UID 1 BODY[] {" + std::to_string(Bytes) + "}\r\nSubject: x\r\n\r\n");
}
// Announced longer than the flood: the body never ends, so no file of it is kept.
void ImapTo16MiBBody(ScriptedServer& S) { ImapToBody(S, 16777300); }

enum class TProtocol { Pop3, Smtp, Imap };
// What the flood is: one line without end, a message body (bounded by no line, only by the
// rate), or lines of LineBytes each adding up past the whole reply's cap.
enum class TFlood { OneLine, Body, ManyLines };

// One hostile step: the transcript up to it, what the client does, the error it must end with.
struct THostileCase {
    const char* Name;
    TProtocol Protocol;
    TScript Before;             // the server's part up to the hostile reply
    const char* Hostile;        // the reply, sent as a flood or a drip (a drip repeats it)
    const char* DripError;      // error text after a drip, "" when the case is only a flood
    TFlood Flood = TFlood::OneLine;
    std::size_t LineBytes = 0;  // ManyLines: Hostile padded to this length, line end included
};

void RunClient(const THostileCase& C, TSocketSession& Session)
{
    if (C.Protocol == TProtocol::Imap) {
        auto& Imap = static_cast<TKTIMAP&>(Session);
        Imap.Connect();
        Imap.Select();
        Imap.RetrieveMessage(1);
    } else if (C.Protocol == TProtocol::Smtp) {
        auto& Smtp = static_cast<TKTSMTP&>(Session);
        Smtp.Connect();
        Smtp.PostMessage.FromAddress = "a@b.c";
        Smtp.PostMessage.ToAddress.Add("d@e.f");
        Smtp.PostMessage.Body.Add("text");
        Smtp.Send();
    } else {
        auto& Pop = static_cast<TKTPOP3&>(Session);
        Pop.Connect();
        Pop.ReadCapabilities();
        std::vector<std::string> Ids;
        Pop.UIDL(Ids);
        Pop.RetrieveSummary(1);
        Pop.RetrieveMessage(1);
    }
}

const char kTooSlow[] = "Transfert trop lent : moins de 400 octets en 1 s";
const char kTimedOut[] = "Délai d'attente dépassé";

const char kReplyTooLong[] = "Réponse du serveur trop longue";
using P = TProtocol;

const THostileCase kCases[] = {
    {"POP3 greeting", P::Pop3, [](ScriptedServer&) {}, "+OK ", kTimedOut},
    {"POP3 UIDL", P::Pop3, [](ScriptedServer& S) { Pop3Login(S); S.expect("UIDL").reply("+OK"); }, "1 ", kTooSlow},
    {"POP3 TOP", P::Pop3, Pop3ToTop, "X-A: ", kTimedOut},
    {"POP3 RETR body", P::Pop3,
     [](ScriptedServer& S) {
         Pop3ToTop(S);
         S.reply(".").expect("LIST 1").reply("+OK 1 9").expect("RETR 1").reply("+OK").send("Subject: x\r\n\r\n");
     },
     "body ", kTooSlow, TFlood::Body},
    {"POP3 TOP past 4 MiB", P::Pop3, Pop3ToTop, "X-A: ", "", TFlood::ManyLines, 200},
    {"POP3 CAPA past 4 MiB", P::Pop3, [](ScriptedServer& S) { Pop3Login(S, "+OK"); }, "X-CAPA ", "", TFlood::ManyLines, 200},
    {"SMTP greeting", P::Smtp, [](ScriptedServer&) {}, "220 ", kTimedOut},
    {"SMTP HELO", P::Smtp, [](ScriptedServer& S) { S.reply("220 hi").expect("HELO me"); }, "250 ", kTimedOut},
    {"SMTP RCPT", P::Smtp, SmtpToRcpt, "250 ", kTimedOut},
    {"SMTP reply to the final dot", P::Smtp, [](ScriptedServer& S) { SmtpToData(S); S.readUntil("\r\n.\r\n"); }, "250 ", kTimedOut},
    {"SMTP greeting past 1 MiB", P::Smtp, [](ScriptedServer&) {}, "220-", "", TFlood::ManyLines, 2000},
    {"IMAP body", P::Imap, ImapTo16MiBBody, "body ", kTooSlow, TFlood::Body},
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
    if (C.Protocol == TProtocol::Imap) {
        auto Imap = std::make_unique<TKTIMAP>();
        Imap->UserID = "u";
        Imap->Password = "p";
        Session = std::move(Imap);
    } else if (C.Protocol == TProtocol::Smtp) {
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
// bound's error, short lines past a whole reply's cap with the cap's error, while the memory held
// stays far under the 64 MiB promised.
TEST(HostileServer, FloodEndsWithBoundedMemory)
{
    const std::string Flood(16 * 1024 * 1024, 'x');
    for (const THostileCase& C : kCases) {
        SCOPED_TRACE(C.Name);
        ScriptedServer Server;
        C.Before(Server);
        if (C.Flood == TFlood::ManyLines) {
            const std::string Line = C.Hostile + std::string(C.LineBytes - std::strlen(C.Hostile) - 2, 'a') + "\r\n";
            std::string Lines;
            while (Lines.size() < Flood.size())
                Lines += Line;
            Server.send(Lines);
        } else {
            Server.send(C.Hostile).send(Flood);
        }
        Server.start();
        auto Session = NewSession(C, Server);
        Session->IdleTimeOut = 2000;  // ends the message case once the flood stops
        const std::size_t Before = AllocatedBytes();
        std::size_t Peak = Before;
        Session->DataArrivedEvent = [&](QObject*) { Peak = std::max(Peak, AllocatedBytes()); };
        const std::string Error = ErrorOf([&] { RunClient(C, *Session); });
        if (C.Flood == TFlood::Body) {
            // Message lines reach the decoder in pieces: no line bound there, only the rate's.
            EXPECT_LT(Peak - Before, 40u * 1024 * 1024);
            continue;
        }
        const bool Lines = C.Flood == TFlood::ManyLines;
        EXPECT_EQ(Error, Lines ? kReplyTooLong : "Ligne trop longue reçue du serveur (plus de 1048576 octets)");
        EXPECT_LT(Peak - Before, (Lines ? 10u : 8u) * 1024 * 1024);
        EXPECT_FALSE(Session->Connected());
    }
}

// A reply dripped a byte at a time, fast enough for the idle time-out, still ends: a short
// exchange at its operation limit, a message body at its minimum rate.
TEST(HostileServer, DripEndsEachStep)
{
    for (const THostileCase& C : kCases) {
        if (!*C.DripError)
            continue;
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
        if (C.Protocol == TProtocol::Smtp)
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

// An IMAP body on a slow line that keeps the minimum rate arrives whole, though it takes five
// times the operation limit.
TEST(HostileServer, SlowImapBodyAtTheMinimumRatePasses)
{
    const std::string Line = std::string(198, 'a') + "\r\n";
    ScriptedServer Server;
    ImapToBody(Server, 14 + 20 * Line.size());
    for (int I = 0; I < 20; ++I)
        Server.send(Line).pause(100);
    Server.send(")\r\nB3 OK done\r\n").expect("B4 UID STORE 1 +FLAGS.SILENT (\\Seen)").reply("B4 OK").start();
    auto Session = NewSession({"", P::Imap, nullptr, "", ""}, Server);
    auto& Imap = static_cast<TKTIMAP&>(*Session);
    Imap.OperationTimeOut = Imap.MinRateBytes = Imap.RateWindowMs = 400;
    Imap.Connect();
    Imap.Select();
    EXPECT_EQ(ErrorOf([&] { Imap.RetrieveMessage(1); }), "");
    EXPECT_EQ(Imap.MailMessage().Body.Count(), 20);
    EXPECT_TRUE(Server.failures().empty()) << Server.failures().front();
}
