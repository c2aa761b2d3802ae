// Tests of TKTSMTP against scripted servers: greeting and HELO, reply-code thresholds, recipient
// handling, the exact bytes after DATA with and without attachments, and the header hooks.
#include "mail/KTsmtp.h"
#include "StringListPrint.h"
#include "ScriptedServer.h"
#include "TestDirs.h"

#include <QBuffer>
#include <QFile>
#include <QRegularExpression>
#include <QTimer>
#include <gtest/gtest.h>

using testsupport::ScriptedServer;
using testsupport::TempFolder;

namespace {

const std::string kTextPlain = "Content-Type: text/plain;                        charset=us-ascii";
const std::string kDate = "Mon, 1 Jan 2024 10:00:00 +0100";

// The Message-ID line of a built header, checked for its form: "<unique@domain>".
std::string MessageIdLine(const TExStringList& Header)
{
    const int i = Header.IndexOfHeader("Message-ID");
    if (i < 0)
        return "(no Message-ID)";
    const std::string line = Header[i];
    const size_t at = line.find('@');
    EXPECT_EQ(line.rfind("Message-ID: <", 0), 0u) << line;
    EXPECT_NE(at, std::string::npos) << line;
    EXPECT_EQ(line.back(), '>') << line;
    EXPECT_EQ(line.find_first_of(" \t\r\n", 12), std::string::npos) << line;
    return line;
}

ScriptedServer& Greet(ScriptedServer& S) { return S.reply("220 sink ready").expect("HELO me").reply("250 hello"); }

struct Smtp {
    ScriptedServer server;
    TKTSMTP smtp;
    std::vector<std::string> events;
    Smtp()
    {
        smtp.Host = server.host();
        smtp.UserID = "me";
        smtp.IdleTimeOut = 10000;
        TPostMessage& m = smtp.PostMessage;
        m.FromName = "Ann ";
        m.FromAddress = "ann@x";
        m.ToAddress = {"Bob <bob@y>", "carl@z"};
        m.ToCarbonCopy = {"dan@w"};
        m.ToBlindCarbonCopy = {"eve@v"};
        m.Subject = "Hello";
        m.LocalProgram = "Brevicor 2.0";
        m.Date = kDate;
        m.Body = {"line one", ".", ".hidden", "", "end"};
        smtp.OnConnect = [this](QObject*) { events.push_back("connect"); };
        smtp.OnSendStart = [this](QObject*) { events.push_back("start"); };
        smtp.OnSuccess = [this](QObject*) { events.push_back(std::string("success:") + (smtp.Busy() ? "busy" : "idle")); };
        smtp.OnFailure = [this](QObject*) { events.push_back("failure"); };
        smtp.OnRecipientNotFound = [this](const std::string& r) { events.push_back("notfound:" + r); };
    }
    void start()
    {
        server.start();
        smtp.Port = server.port();
    }
    std::string finish()
    {
        smtp.Abort();
        EXPECT_TRUE(server.waitFinished());
        EXPECT_TRUE(server.failures().empty()) << server.failures().front();
        return server.received();
    }
};

// The dialogue of a send to the four recipients of the default message, up to DATA.
ScriptedServer& Envelope(ScriptedServer& S)
{
    return S.expect("RSET").reply("250 reset").expect("MAIL FROM:<ann@x>").reply("250 ok")
        .expect("RCPT TO:<bob@y>").reply("250 ok").expect("RCPT TO:<carl@z>").reply("250 ok")
        .expect("RCPT TO:<dan@w>").reply("250 ok").expect("RCPT TO:<eve@v>").reply("250 ok")
        .expect("DATA").reply("354 go on");
}
const std::string kEnvelopeBytes = "RSET\r\nMAIL FROM:<ann@x>\r\nRCPT TO:<bob@y>\r\nRCPT TO:<carl@z>\r\n"
                                   "RCPT TO:<dan@w>\r\nRCPT TO:<eve@v>\r\nDATA\r\n";

std::string ErrorOf(const std::function<void()>& F)
{
    try {
        F();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no exception)";
}

TEST(KTsmtp, ExtractAddress)
{
    const std::pair<std::string, std::string> cases[] = {
        {"Bob <bob@y>", "bob@y"}, {"<bob@y>", "bob@y"},       {"bob@y", "bob@y"},
        {"SMTP:bob@y", "bob@y"},  {"a:b:c", "b"},             {"", ""},
        {"x <a@b> <c@d>", "a@b"}, {"x <a@b<c@d>", "a@b"},     {" spaced@y ", " spaced@y "},
        {"Name <unclosed", "unclosed"},
    };
    for (const auto& [entry, address] : cases)
        EXPECT_EQ(TKTSMTP::ExtractAddress(entry), address) << entry;
}

TEST(KTsmtp, MultiLineGreetingIsReadBeforeHelo)
{
    Smtp t;
    t.server.reply("220-first line").reply("220-second line").reply(" continued").reply("220 last")
        .expect("HELO me").reply("250-hello").reply("250 PIPELINING");
    t.start();
    t.smtp.Connect();
    EXPECT_EQ(t.events, std::vector<std::string>{"connect"});
    EXPECT_FALSE(t.smtp.Busy());
    EXPECT_EQ(t.finish(), "HELO me\r\n");
}

TEST(KTsmtp, ConnectRefusals)
{
    {
        Smtp t;
        t.server.reply("421 too busy").expect("QUIT").reply("221 bye");
        t.start();
        EXPECT_EQ(ErrorOf([&] { t.smtp.Connect(); }), "421 too busy\r\n");
        EXPECT_TRUE(t.events.empty());
        EXPECT_EQ(t.finish(), "QUIT\r\n");
    }
    {
        Smtp t;
        t.server.reply("220 ok").expect("HELO me").reply("550 who are you").expect("QUIT").reply("221 bye");
        t.start();
        EXPECT_EQ(ErrorOf([&] { t.smtp.Connect(); }), "L'authentification a échoué");
        EXPECT_EQ(t.finish(), "HELO me\r\nQUIT\r\n");
    }
    {
        // The handler accepts once: one more HELO with the new name, then a second refusal raises.
        Smtp t;
        t.server.reply("220 ok").expect("HELO me").reply("501 bad").expect("HELO other").reply("501 still bad")
            .expect("QUIT").reply("221 bye");
        t.start();
        int asked = 0;
        t.smtp.OnAuthenticationFailed = [&](bool& handled) {
            ++asked;
            t.smtp.UserID = "other";
            handled = true;
        };
        EXPECT_EQ(ErrorOf([&] { t.smtp.Connect(); }), "L'authentification a échoué");
        EXPECT_EQ(asked, 1);
        t.finish();
    }
    {
        Smtp t;
        t.server.reply("220 ok").expect("HELO me").reply("501 bad").expect("HELO other").reply("250 fine");
        t.start();
        t.smtp.OnAuthenticationFailed = [&](bool& handled) {
            t.smtp.UserID = "other";
            handled = true;
        };
        t.smtp.Connect();
        EXPECT_EQ(t.events, std::vector<std::string>{"connect"});
        t.finish();
    }
    {
        Smtp t;
        t.start();
        t.smtp.UserID = "me\r\nMAIL FROM:<x>";
        EXPECT_EQ(ErrorOf([&] { t.smtp.Connect(); }), "Caractère de fin de ligne interdit");
        EXPECT_EQ(t.server.connections(), 0);
    }
}

TEST(KTsmtp, PlainMessageBytesAfterData)
{
    Smtp t;
    Envelope(Greet(t.server)).readUntil("\r\n.\r\n").reply("250 queued");
    t.start();
    t.smtp.Connect();
    t.events.clear();
    t.smtp.Send();
    const std::string header = "From: Ann <ann@x>\r\nTo: Bob <bob@y>,carl@z\r\nCC: dan@w\r\nSubject: Hello\r\n"
                               "X-Mailer: Brevicor 2.0\r\nDate: " + kDate + "\r\n" + MessageIdLine(t.smtp.FinalHeader)
                               + "\r\nMime-Version: 1.0\r\n" + kTextPlain + "\r\n";
    EXPECT_EQ(t.finish(), "HELO me\r\n" + kEnvelopeBytes + header + "\r\n\r\n" + "line one\r\n..\r\n..hidden\r\n\r\nend\r\n.\r\n");
    EXPECT_EQ(t.events, (std::vector<std::string>{"start", "success:idle"}));
    // ClearParams: recipients and attachments emptied, the rest kept.
    const TPostMessage& m = t.smtp.PostMessage;
    EXPECT_TRUE(m.ToAddress.Empty() && m.ToCarbonCopy.Empty() && m.ToBlindCarbonCopy.Empty() && m.Attachments.Empty());
    EXPECT_EQ(m.Subject, "Hello");
    EXPECT_EQ(m.FromAddress, "ann@x");
    EXPECT_EQ(m.Body.Count(), 5);
}

TEST(KTsmtp, OptionalHeaderLines)
{
    Smtp t;
    TPostMessage& m = t.smtp.PostMessage;
    m.FromName = "";
    m.Subject = "";
    m.LocalProgram = "";
    m.ReplyTo = "replies@x";
    m.ToCarbonCopy = {""};
    m.InReplyTo = "<orig@x>";
    m.References = "<first@x> <orig@x>";
    t.smtp.BuildHeader();
    EXPECT_EQ(t.smtp.FinalHeader, (TExStringList{"From: <ann@x>", "To: Bob <bob@y>,carl@z", "CC: ", "Reply-To: replies@x",
                                                 "Date: " + kDate, MessageIdLine(t.smtp.FinalHeader),
                                                 "In-Reply-To: <orig@x>", "References: <first@x> <orig@x>",
                                                 "Mime-Version: 1.0", kTextPlain}));
    // Without a date of its own the message carries the time of sending; every build a new identifier.
    const std::string firstId = MessageIdLine(t.smtp.FinalHeader);
    m.Date.clear();
    m.InReplyTo.clear();
    m.References.clear();
    t.smtp.BuildHeader();
    const std::string date = t.smtp.FinalHeader[t.smtp.FinalHeader.IndexOfHeader("Date")];
    EXPECT_TRUE(QRegularExpression(R"(^Date: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), \d{1,2} [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d [+-]\d{4}$)")
                    .match(QString::fromStdString(date)).hasMatch()) << date;
    EXPECT_NE(MessageIdLine(t.smtp.FinalHeader), firstId);
    EXPECT_EQ(t.smtp.FinalHeader.IndexOfHeader("In-Reply-To"), -1);
    EXPECT_EQ(t.smtp.FinalHeader.IndexOfHeader("References"), -1);
}

TEST(KTsmtp, SenderLines)
{
    const std::pair<std::string, std::string> cases[] = {
        {"Ann ", "From: Ann <ann@x>"},
        {"", "From: <ann@x>"},
        {"J. Dupont", "From: J. Dupont<ann@x>"},
        {"Martin, Ann", "From: \"Martin, Ann\" <ann@x>"},
        {" \"Martin, Ann\" ", "From:  \"Martin, Ann\" <ann@x>"},
        {"Ann (home)", "From: \"Ann (home)\" <ann@x>"},
        {"say \"hi\"", "From: \"say \\\"hi\\\"\" <ann@x>"},
        {"Élodie Müller", "From: =?UTF-8?Q?=C3=89lodie_M=C3=BCller?= <ann@x>"},
    };
    for (const auto& [name, line] : cases) {
        Smtp t;
        t.smtp.PostMessage.FromName = name;
        t.smtp.BuildHeader();
        EXPECT_EQ(t.smtp.FinalHeader[0], line) << name;
    }
}

TEST(KTsmtp, AttachmentMessageBytes)
{
    TempFolder dir;
    std::string binary;
    for (int i = 0; i < 46; ++i)
        binary += char(i * 7);
    testsupport::writeFileBytes(dir.file("data.bin"), binary);
    testsupport::writeFileBytes(dir.file("empty.txt"), "");

    Smtp t;
    Envelope(Greet(t.server)).readUntil("\r\n.\r\n").reply("250 queued");
    t.start();
    t.smtp.PostMessage.Attachments = {dir.file("data.bin").toStdString(), dir.file("empty.txt").toStdString()};
    std::vector<std::string> encodeEvents;
    t.smtp.OnEncodeStart = [&](const std::string& f) { encodeEvents.push_back("start:" + f); };
    t.smtp.OnEncodeEnd = [&](const std::string& f) { encodeEvents.push_back("end:" + f); };
    t.smtp.Connect();
    t.smtp.Send();

    const std::string b = t.smtp.Boundary();
    ASSERT_EQ(b.substr(0, 25), "====================54535");
    ASSERT_EQ(b.substr(b.size() - 4), "====");
    const std::string header = "From: Ann <ann@x>\r\nTo: Bob <bob@y>,carl@z\r\nCC: dan@w\r\nSubject: Hello\r\n"
                               "X-Mailer: Brevicor 2.0\r\nDate: " + kDate + "\r\n" + MessageIdLine(t.smtp.FinalHeader)
                               + "\r\nMime-Version: 1.0\r\n"
                               "Content-Type: multipart/mixed;                   boundary=\"" + b + "\"\r\n";
    auto part = [&](const std::string& name) {
        return "--" + b + "\r\nContent-Type: application/octet-stream;          name=\"" + name + "\"\r\n"
               "Content-Transfer-Encoding: base64\r\n"
               "Content-Disposition: attachment;                 filename=\"" + name + "\"\r\n\r\n";
    };
    const std::string line1 = QByteArray(binary.data(), 45).toBase64().toStdString();
    const std::string body = "--" + b + "\r\n" + kTextPlain + "\r\n\r\n" + "line one\r\n..\r\n..hidden\r\n\r\nend\r\n"
                             + part("data.bin") + line1 + "\r\n" + QByteArray(1, binary[45]).toBase64().toStdString() + "\r\n"
                             + part("empty.txt") + "--" + b + "--\r\n";
    EXPECT_EQ(t.finish(), "HELO me\r\n" + kEnvelopeBytes + header + "\r\n\r\n" + body + ".\r\n");
    EXPECT_EQ(encodeEvents.size(), 4u);
    EXPECT_EQ(encodeEvents[0], "start:" + dir.file("data.bin").toStdString());
}

// A whole good transaction for the one recipient r@y.
ScriptedServer& GoodSend(ScriptedServer& S)
{
    return S.expect("RSET").reply("250 ok").expect("MAIL FROM:<ann@x>").reply("250 ok").expect("RCPT TO:<r@y>")
        .reply("250 ok").expect("DATA").reply("354 go").readUntil("\r\n.\r\n").reply("250 queued");
}

enum class Phase { Connect, Send, Quit };

struct StepCase {
    const char* name;
    Phase phase;
    std::function<void(ScriptedServer&)> script;  // the server's side of the failing part
    std::string error;                            // "" when the step must succeed
    bool dropped;                                 // the connection is closed afterwards
    std::vector<std::string> events;              // events of the failing call
};

// Each step answered the wrong way fails with the server's text (never a success), and the same
// component then sends a good message: no reply is left over to be taken for the next one.
TEST(KTsmtp, EveryStepNeedsItsWholeExpectedReply)
{
    auto upTo = [](ScriptedServer& S, const std::string& Last) -> ScriptedServer& {
        S.expect("RSET").reply("250 ok");
        if (Last == "RSET")
            return S;
        S.expect("MAIL FROM:<ann@x>").reply("250 ok");
        if (Last == "MAIL")
            return S;
        S.expect("RCPT TO:<r@y>").reply("250 ok");
        if (Last == "RCPT")
            return S;
        return S.expect("DATA").reply("354 go").readUntil("\r\n.\r\n");
    };
    const StepCase cases[] = {
        {"greeting without a number", Phase::Connect, [](ScriptedServer& S) { S.reply("hello there"); },
         "hello there\r\n", true, {}},
        {"greeting refused over several lines", Phase::Connect,
         [](ScriptedServer& S) { S.reply("554-not now").reply("554 really not").expect("QUIT").reply("221 bye"); },
         "554-not now\r\n554 really not\r\n", true, {}},
        {"HELO answered without a number", Phase::Connect,
         [](ScriptedServer& S) { S.reply("220 ok").expect("HELO me").reply("fine thanks"); }, "fine thanks\r\n", true, {}},
        {"RSET refused over several lines", Phase::Send,
         [](ScriptedServer& S) { S.expect("RSET").reply("554-no").reply("554 transaction refused"); },
         "554-no\r\n554 transaction refused\r\n", false, {"start"}},
        {"MAIL answered without a number", Phase::Send,
         [&](ScriptedServer& S) { upTo(S, "RSET").expect("MAIL FROM:<ann@x>").reply("sender ok"); }, "sender ok\r\n", true,
         {"start"}},
        {"MAIL answered with an intermediate code", Phase::Send,
         [&](ScriptedServer& S) { upTo(S, "RSET").expect("MAIL FROM:<ann@x>").reply("354 what"); }, "354 what\r\n", false,
         {"start"}},
        {"RCPT refused over several lines", Phase::Send,
         [&](ScriptedServer& S) {
             upTo(S, "MAIL").expect("RCPT TO:<r@y>").reply("550-no such user").reply("550 here").expect("RSET").reply("250 ok");
         },
         "Message non envoyé. Destinataires refusés par le serveur :\nr@y : 550 here", false, {"start", "notfound:r@y"}},
        {"RCPT answered without a number", Phase::Send,
         [&](ScriptedServer& S) { upTo(S, "MAIL").expect("RCPT TO:<r@y>").reply("whatever"); }, "whatever\r\n", true,
         {"start"}},
        {"DATA answered as if done", Phase::Send,
         [&](ScriptedServer& S) { upTo(S, "RCPT").expect("DATA").reply("250 ok"); }, "250 ok\r\n", false, {"start"}},
        {"DATA refused over several lines", Phase::Send,
         [&](ScriptedServer& S) { upTo(S, "RCPT").expect("DATA").reply("554-no").reply("554 no data"); },
         "554-no\r\n554 no data\r\n", false, {"start"}},
        {"final dot refused over several lines", Phase::Send,
         [&](ScriptedServer& S) { upTo(S, "DATA").reply("554-spam").reply("554 rejected"); }, "554-spam\r\n554 rejected\r\n",
         false, {"start", "failure"}},
        {"final dot answered without a number", Phase::Send, [&](ScriptedServer& S) { upTo(S, "DATA").reply("queued!"); },
         "queued!\r\n", true, {"start", "failure"}},
        {"QUIT answered without a number", Phase::Quit, [](ScriptedServer& S) { S.expect("QUIT").reply("bye"); }, "bye\r\n",
         true, {}},
        {"QUIT answered with a refusal", Phase::Quit, [](ScriptedServer& S) { S.expect("QUIT").reply("500 what"); },
         "500 what\r\n", true, {}},
        {"every step answered over several lines", Phase::Send,
         [](ScriptedServer& S) {
             S.expect("RSET").reply("250-a").reply("250 b").expect("MAIL FROM:<ann@x>").reply("250-c").reply(" d")
                 .reply("250 e").expect("RCPT TO:<r@y>").reply("250-f").reply("250 g").expect("DATA").reply("354-h")
                 .reply("354 i").readUntil("\r\n.\r\n").reply("250-j").reply("250 k");
         },
         "", false, {"start", "success:idle"}},
    };
    for (const StepCase& c : cases) {
        SCOPED_TRACE(c.name);
        Smtp t;
        auto oneRecipient = [&] {
            t.smtp.PostMessage.ToAddress = {"r@y"};
            t.smtp.PostMessage.ToCarbonCopy.Clear();
            t.smtp.PostMessage.ToBlindCarbonCopy.Clear();
        };
        oneRecipient();
        if (c.phase != Phase::Connect)
            Greet(t.server);
        c.script(t.server);
        if (c.dropped)
            Greet(t.server.acceptNext());
        GoodSend(t.server);
        t.start();

        std::function<void()> call = [&] { t.smtp.Connect(); };
        if (c.phase == Phase::Send) {
            t.smtp.Connect();
            call = [&] { t.smtp.Send(); };
        } else if (c.phase == Phase::Quit) {
            t.smtp.Connect();
            call = [&] { t.smtp.Disconnect(); };
        }
        t.events.clear();
        EXPECT_EQ(ErrorOf(call), c.error.empty() ? "(no exception)" : c.error);
        EXPECT_EQ(t.events, c.events);
        EXPECT_FALSE(t.smtp.Busy());
        EXPECT_EQ(t.smtp.Connected(), !c.dropped);
        // Without success the recipients stay for another try.
        EXPECT_EQ(t.smtp.PostMessage.ToAddress.Empty(), c.error.empty());

        if (!t.smtp.Connected())
            t.smtp.Connect();
        oneRecipient();
        t.events.clear();
        EXPECT_EQ(ErrorOf([&] { t.smtp.Send(); }), "(no exception)");
        EXPECT_EQ(t.events, (std::vector<std::string>{"start", "success:idle"}));
        t.finish();
    }
}

TEST(KTsmtp, RecipientEntriesAndTheirAddresses)
{
    Smtp t;
    // Several addresses in one entry, cut at "," and ";" but not inside quotes, brackets or
    // comments; an address met twice gets one RCPT.
    t.smtp.PostMessage.ToAddress = {"Bob <bob@y>, \"Martin; Ann\" <ann2@y>", "", "SMTP:carl@z"};
    t.smtp.PostMessage.ToCarbonCopy = {"Dan <dan@w>; fay@w (Fay, from work),BOB@y"};
    t.smtp.PostMessage.ToBlindCarbonCopy = {"hidden@v;"};
    Greet(t.server).expect("RSET").reply("250 ok").expect("MAIL FROM:<ann@x>").reply("250 ok")
        .expect("RCPT TO:<bob@y>").reply("250 ok").expect("RCPT TO:<ann2@y>").reply("250 ok")
        .expect("RCPT TO:<carl@z>").reply("250 ok").expect("RCPT TO:<dan@w>").reply("250 ok")
        .expect("RCPT TO:<fay@w>").reply("250 ok").expect("RCPT TO:<hidden@v>").reply("250 ok")
        .expect("DATA").reply("354 go").readUntil("\r\n.\r\n").reply("250 ok");
    t.start();
    t.smtp.ClearParams = false;
    t.smtp.Connect();
    t.events.clear();
    t.smtp.Send();
    EXPECT_EQ(t.events, (std::vector<std::string>{"start", "success:idle"}));
    // ASCII entries stand in the header exactly as typed.
    EXPECT_EQ(t.smtp.FinalHeader[1], "To: Bob <bob@y>, \"Martin; Ann\" <ann2@y>,,SMTP:carl@z");
    EXPECT_EQ(t.smtp.FinalHeader.IndexOfHeader("Bcc"), -1);
    EXPECT_EQ(t.smtp.FinalHeader.Text().find("hidden"), std::string::npos);
    EXPECT_EQ(t.smtp.PostMessage.ToAddress.Count(), 3);  // ClearParams off: lists kept
    t.finish();
}

// One refused address stops the whole message: the transaction is reset, every refused address
// is named, and nothing reaches anybody.
TEST(KTsmtp, ARefusedRecipientStopsTheMessage)
{
    Smtp t;
    t.smtp.PostMessage.ToAddress = {"a@y, Bad <bad@y>"};
    t.smtp.PostMessage.ToCarbonCopy = {"worse@y"};
    t.smtp.PostMessage.ToBlindCarbonCopy = {"c@y"};
    Greet(t.server).expect("RSET").reply("250 ok").expect("MAIL FROM:<ann@x>").reply("250 ok")
        .expect("RCPT TO:<a@y>").reply("250 ok").expect("RCPT TO:<bad@y>").reply("550 5.1.1 unknown")
        .expect("RCPT TO:<worse@y>").reply("452-4.5.3 too many").reply("452 4.5.3 later")
        .expect("RCPT TO:<c@y>").reply("250 ok").expect("RSET").reply("250 flushed");
    t.start();
    t.smtp.Connect();
    t.events.clear();
    EXPECT_EQ(ErrorOf([&] { t.smtp.Send(); }),
              "Message non envoyé. Destinataires refusés par le serveur :\nBad <bad@y> : 550 5.1.1 unknown\n"
              "worse@y : 452 4.5.3 later");
    EXPECT_EQ(t.events, (std::vector<std::string>{"start", "notfound:Bad <bad@y>", "notfound:worse@y"}));
    EXPECT_TRUE(t.smtp.Connected());
    EXPECT_EQ(t.smtp.PostMessage.ToAddress.Count(), 1);
    const std::string got = t.finish();
    EXPECT_EQ(got.find("DATA"), std::string::npos) << got;
}

TEST(KTsmtp, HeaderIncompleteHook)
{
    {
        Smtp t;
        Greet(t.server);
        t.start();
        t.smtp.Connect();
        t.smtp.PostMessage.FromAddress.clear();
        EXPECT_EQ(ErrorOf([&] { t.smtp.Send(); }), "En-tête incomplète");
        EXPECT_EQ(t.finish(), "HELO me\r\n");  // no command of the transaction was sent
    }
    {
        // No recipient: hiType 2; the handler supplies one, which reaches RCPT but not the header.
        Smtp t;
        Greet(t.server).expect("RSET").reply("250 ok").expect("MAIL FROM:<ann@x>").reply("250 ok")
            .expect("RCPT TO:<late@z>").reply("250 ok").expect("DATA").reply("354 go")
            .readUntil("\r\n.\r\n").reply("250 ok");
        t.start();
        t.smtp.Connect();
        t.smtp.PostMessage.ToAddress.Clear();
        t.smtp.PostMessage.ToCarbonCopy.Clear();
        t.smtp.PostMessage.ToBlindCarbonCopy.Clear();
        std::vector<int> types;
        t.smtp.OnHeaderIncomplete = [&](bool& handled, int hiType) {
            types.push_back(hiType);
            t.smtp.PostMessage.ToAddress.Add("late@z");
            handled = true;
        };
        t.smtp.Send();
        EXPECT_EQ(types, std::vector<int>{2});
        EXPECT_EQ(t.smtp.FinalHeader.IndexOfHeader("To"), -1);
        t.finish();
    }
    {
        // A handler that does not repair: asked once (hiType 1), then the failure.
        Smtp t;
        Greet(t.server);
        t.start();
        t.smtp.Connect();
        t.smtp.PostMessage.FromAddress.clear();
        std::vector<int> types;
        t.smtp.OnHeaderIncomplete = [&](bool& handled, int hiType) {
            types.push_back(hiType);
            handled = true;
        };
        EXPECT_EQ(ErrorOf([&] { t.smtp.Send(); }), "En-tête incomplète");
        EXPECT_EQ(types, std::vector<int>{1});
        EXPECT_FALSE(t.smtp.Busy());
        t.finish();
    }
}

TEST(KTsmtp, LineBreaksNeverReachTheServer)
{
    const std::string kRefused = "Adresse refusée : elle contient un saut de ligne ou un caractère nul (";
    struct Case {
        const char* name;
        std::function<void(TPostMessage&)> set;
        std::string error;
    };
    const Case cases[] = {
        {"sender with a command after it", [](TPostMessage& m) { m.FromAddress = "ann@x\r\nRCPT TO:<spy@evil>"; },
         "Caractère de fin de ligne interdit"},
        {"sender ending with LF", [](TPostMessage& m) { m.FromAddress = "ann@x\n"; }, "Caractère de fin de ligne interdit"},
        {"command inside the brackets", [](TPostMessage& m) { m.ToBlindCarbonCopy = {"x <b@y\r\nDATA>"}; },
         kRefused + "x <b@y  DATA>)"},
        // The address taken from this entry is clean; the entry as a whole is not.
        {"command after the address", [](TPostMessage& m) { m.ToAddress = {"b@x\r\nRCPT TO:x@evil"}; },
         kRefused + "b@x  RCPT TO:x@evil)"},
        {"line break after a bracketed address", [](TPostMessage& m) { m.ToCarbonCopy = {"Bob <b@x>\nRCPT TO:<x@evil>"}; },
         kRefused + "Bob <b@x> RCPT TO:<x@evil>)"},
        {"NUL in a copy", [](TPostMessage& m) { m.ToCarbonCopy = {std::string("c@x\0d@evil", 10)}; },
         kRefused + "c@x d@evil)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Smtp t;
        Greet(t.server);
        t.start();
        t.smtp.Connect();
        c.set(t.smtp.PostMessage);
        EXPECT_EQ(ErrorOf([&] { t.smtp.Send(); }), c.error);
        EXPECT_EQ(t.finish(), "HELO me\r\n");
    }
    // In header values each CR or LF becomes a blank.
    Smtp t;
    t.smtp.PostMessage.Subject = "Hi\r\nBcc: spy@evil";
    t.smtp.PostMessage.FromName = "Ann\n";
    t.smtp.PostMessage.ToAddress = {"Bob\r <bob@y>"};
    t.smtp.BuildHeader();
    EXPECT_EQ(t.smtp.FinalHeader[0], "From: Ann <ann@x>");
    EXPECT_EQ(t.smtp.FinalHeader[1], "To: Bob  <bob@y>");
    EXPECT_EQ(t.smtp.FinalHeader[3], "Subject: Hi  Bcc: spy@evil");
    // A body entry holding line breaks goes out as separate, dot-stuffed lines.
    t.smtp.PostMessage.Body = {"a\r\n.\r\nb", "c\nd\re"};
    t.smtp.BuildHeader();
    EXPECT_EQ(t.smtp.BodyText(), "a\r\n..\r\nb\r\nc\r\nd\r\ne\r\n");
}

TEST(KTsmtp, LongHeaderIsSentWhole)
{
    Smtp t;
    TStringList many;
    const std::string longName(150, 'x');
    for (int i = 0; i < 300; ++i)
        many.Add(longName + std::to_string(i) + "@example.org");
    t.smtp.PostMessage.ToCarbonCopy = many;
    t.smtp.PostMessage.ToAddress = {"bob@y"};
    t.smtp.PostMessage.ToBlindCarbonCopy.Clear();
    t.smtp.ClearParams = false;
    Greet(t.server).expect("RSET").reply("250 ok").expect("MAIL FROM:<ann@x>").reply("250 ok")
        .expect("RCPT TO:<bob@y>").reply("250 ok");
    for (int i = 0; i < 300; ++i)
        t.server.expect("RCPT TO:<" + longName + std::to_string(i) + "@example.org>").reply("250 ok");
    t.server.expect("DATA").reply("354 go").readUntil("\r\n.\r\n").reply("250 ok");
    t.start();
    t.smtp.Connect();
    t.smtp.Send();
    const std::string head = t.smtp.FinalHeader.Text();
    ASSERT_GT(head.size(), 40000u);
    // The address lines are folded between addresses: no line is longer than SMTP carries.
    for (size_t at = 0, next; at < head.size(); at = next + 2) {
        next = head.find("\r\n", at);
        EXPECT_LE(next - at, 998u);
    }
    EXPECT_NE(head.find("CC: " + longName + "0@example.org,\r\n " + longName + "1@example.org,"), std::string::npos);
    const std::string got = t.finish();
    const size_t at = got.find("DATA\r\n");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(got.substr(at + 6, head.size() + 4), head + "\r\n\r\n");
}

TEST(KTsmtp, MissingAttachmentSendsNothing)
{
    Smtp t;
    Greet(t.server);
    t.start();
    t.smtp.Connect();
    t.smtp.PostMessage.Attachments = {"/nonexistent/file.bin"};
    std::vector<std::string> missing;
    t.smtp.OnAttachmentNotFound = [&](const std::string& f) { missing.push_back(f); };
    EXPECT_NE(ErrorOf([&] { t.smtp.Send(); }).find("Impossible d'ouvrir le fichier"), std::string::npos);
    EXPECT_EQ(missing, std::vector<std::string>{"/nonexistent/file.bin"});
    EXPECT_FALSE(t.smtp.Busy());
    EXPECT_EQ(t.finish(), "HELO me\r\n");
}

// An attachment cut while it is being sent: the server must not take what it got for the whole
// message, so the connection is dropped without the final dot.
TEST(KTsmtp, AnAttachmentCutWhileSentNeverEndsTheMessage)
{
    TempFolder dir;
    const QString path = dir.file("log.bin");
    testsupport::writeFileBytes(path, std::string(3 * 1000 * 1000, 'q'));
    Smtp t;
    t.smtp.PostMessage.ToAddress = {"r@y"};
    t.smtp.PostMessage.ToCarbonCopy.Clear();
    t.smtp.PostMessage.ToBlindCarbonCopy.Clear();
    t.smtp.PostMessage.Attachments = {path.toStdString()};
    t.smtp.OnEncodeStart = [&](const std::string&) { QFile::resize(path, 100); };
    Greet(t.server).expect("RSET").reply("250 ok").expect("MAIL FROM:<ann@x>").reply("250 ok")
        .expect("RCPT TO:<r@y>").reply("250 ok").expect("DATA").reply("354 go");
    t.start();
    t.smtp.Connect();
    EXPECT_EQ(ErrorOf([&] { t.smtp.Send(); }), "Le fichier " + path.toStdString() + " a changé pendant l'envoi");
    EXPECT_FALSE(t.smtp.Connected());
    EXPECT_FALSE(t.smtp.Busy());
    const std::string got = t.finish();
    EXPECT_EQ(got.find("\r\n.\r\n"), std::string::npos);
    EXPECT_NE(got.find("filename=\"log.bin\""), std::string::npos);
}

TEST(KTsmtp, SendRefusesWhileBusyAndAbortCancels)
{
    Smtp t;
    Greet(t.server).expect("RSET").waitRelease().expect("QUIT").reply("221 bye");
    t.start();
    t.smtp.Connect();
    int nested = 0;
    t.smtp.OnSendStart = [&](QObject*) {
        t.smtp.Send();  // ignored: a send is running
        ++nested;
    };
    QTimer::singleShot(200, [&] { t.smtp.Abort(); });
    EXPECT_EQ(ErrorOf([&] { t.smtp.Send(); }), "Readln de socket abandonnée");
    EXPECT_EQ(nested, 1);
    EXPECT_FALSE(t.smtp.Busy());
    t.server.release();
    t.smtp.Disconnect();  // the goodbye is allowed after a cancel
    EXPECT_TRUE(t.server.waitFinished());
    EXPECT_EQ(t.server.received(), "HELO me\r\nRSET\r\nQUIT\r\n");
}

// Large files of both encodings are streamed while sent; the bytes after DATA are those the
// buffered codec gives for the same files.
TEST(KTsmtp, StreamedAttachmentsGiveTheBufferedBytes)
{
    TempFolder dir;
    std::string big(45 * 6666 + 14, '\0');  // the last uuencoded line begins with "."
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = char((i * 2654435761u) >> 13);
    testsupport::writeFileBytes(dir.file("big.bin"), big);
    for (UUMethods method : {uuMime, uuCode}) {
        SCOPED_TRACE(method == uuMime ? "base64" : "uuencode");
        QByteArray in = QByteArray::fromStdString(big), encoded;
        QBuffer input(&in), output(&encoded);
        input.open(QIODevice::ReadOnly);
        output.open(QIODevice::WriteOnly);
        TKTUUProcessor codec;
        codec.Method = method;
        codec.InputStream = &input;
        codec.OutputStream = &output;
        codec.Encode();
        std::string lines;
        for (qsizetype at = 0; at < encoded.size();) {
            const qsizetype end = encoded.indexOf('\n', at) + 1;
            if (encoded[at] == '.')
                lines += '.';
            lines.append(encoded.constData() + at, size_t(end - at));
            at = end;
        }

        Smtp t;
        Envelope(Greet(t.server)).readUntil("\r\n.\r\n").reply("250 queued");
        t.start();
        t.smtp.EncodeType = method;
        t.smtp.PostMessage.Body = {"see attached"};
        t.smtp.PostMessage.Attachments = {dir.file("big.bin").toStdString()};
        t.smtp.Connect();
        t.smtp.Send();
        const std::string b = t.smtp.Boundary();
        const std::string body = "--" + b + "\r\n" + kTextPlain + "\r\n\r\nsee attached\r\n--" + b
                                 + "\r\nContent-Type: application/octet-stream;          name=\"big.bin\"\r\n"
                                   "Content-Transfer-Encoding: base64\r\n"
                                   "Content-Disposition: attachment;                 filename=\"big.bin\"\r\n\r\n"
                                 + lines + "--" + b + "--\r\n.\r\n";
        const std::string got = t.finish();
        ASSERT_GT(got.size(), body.size());
        EXPECT_TRUE(got.substr(got.size() - body.size()) == body);
        EXPECT_EQ(t.smtp.BytesTotal(), std::int64_t(got.size() - got.find("DATA\r\n") - 6 - 3));
    }
}

TEST(KTsmtp, UuencodedAttachmentLinesAreDotStuffed)
{
    TempFolder dir;
    testsupport::writeFileBytes(dir.file("fourteen.bin"), std::string(59, 'z'));  // 45 + 14 bytes
    Smtp t;
    t.smtp.EncodeType = uuCode;
    t.smtp.PostMessage.Attachments = {dir.file("fourteen.bin").toStdString()};
    t.smtp.PostMessage.Body.Clear();
    t.smtp.BuildHeader();
    const std::string body = t.smtp.BodyText();
    // The 14-byte line starts with the count character ".", sent as "..".
    const size_t at = body.find("\r\n..");
    ASSERT_NE(at, std::string::npos) << body;
    EXPECT_EQ(body.substr(at + 2, body.find("\r\n", at + 2) - at - 2).size(), 2u + 19);  // "..", 14 bytes in 19 characters
    EXPECT_NE(body.find("\r\n`\r\n--"), std::string::npos);
}

} // namespace
