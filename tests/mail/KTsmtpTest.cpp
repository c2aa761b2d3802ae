// Tests of TKTSMTP against scripted servers: greeting and HELO, reply-code thresholds, recipient
// handling, the exact bytes after DATA with and without attachments, and the header hooks.
#include "mail/KTsmtp.h"
#include "StringListPrint.h"
#include "ScriptedServer.h"
#include "TestDirs.h"

#include <QTimer>
#include <gtest/gtest.h>

using testsupport::ScriptedServer;
using testsupport::TempFolder;

namespace {

const std::string kTextPlain = "Content-Type: text/plain;                        charset=us-ascii";

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
                               "X-Mailer: Brevicor 2.0\r\nMime-Version: 1.0\r\n" + kTextPlain + "\r\n";
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
    m.Date = "Mon, 1 Jan 2024 10:00:00 +0100";
    m.ReplyTo = "replies@x";
    m.ToCarbonCopy = {""};
    t.smtp.BuildHeader();
    EXPECT_EQ(t.smtp.FinalHeader, (TExStringList{"From: <ann@x>", "To: Bob <bob@y>,carl@z", "CC: ", "Reply-To: replies@x",
                                                 "Date: Mon, 1 Jan 2024 10:00:00 +0100", "Mime-Version: 1.0", kTextPlain}));
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
                               "X-Mailer: Brevicor 2.0\r\nMime-Version: 1.0\r\n"
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

struct ThresholdCase {
    const char* name;
    std::string rset, mail, rcpt, data, dot;  // reply lines; an empty one is not reached
    std::string error;
    std::vector<std::string> events;
};

TEST(KTsmtp, ReplyCodeThresholds)
{
    const ThresholdCase cases[] = {
        {"all accepted at the limits", "399 ok", "399 ok", "300 ok", "399 go", "399 ok", "",
         {"start", "success:idle"}},
        {"RSET refused", "400 no", "", "", "", "", "400 no\r\n", {"start"}},
        {"MAIL FROM refused", "250 ok", "550 no", "", "", "", "550 no\r\n", {"start"}},
        {"recipient refused, send goes on", "250 ok", "250 ok", "301 no", "354 go", "250 ok", "",
         {"start", "notfound:R", "success:idle"}},
        {"DATA refused", "250 ok", "250 ok", "250 ok", "554 no", "", "554 no\r\n", {"start"}},
        {"final dot refused", "250 ok", "250 ok", "250 ok", "354 go", "552 too big", "552 too big\r\n",
         {"start", "failure"}},
    };
    for (const ThresholdCase& c : cases) {
        SCOPED_TRACE(c.name);
        Smtp t;
        t.smtp.PostMessage.ToAddress = {"R"};
        t.smtp.PostMessage.ToCarbonCopy.Clear();
        t.smtp.PostMessage.ToBlindCarbonCopy.Clear();
        Greet(t.server).expect("RSET").reply(c.rset);
        if (!c.mail.empty())
            t.server.expect("MAIL FROM:<ann@x>").reply(c.mail);
        if (!c.rcpt.empty())
            t.server.expect("RCPT TO:<R>").reply(c.rcpt);
        if (!c.data.empty())
            t.server.expect("DATA").reply(c.data);
        if (!c.dot.empty())
            t.server.readUntil("\r\n.\r\n").reply(c.dot);
        t.start();
        t.smtp.Connect();
        t.events.clear();
        EXPECT_EQ(ErrorOf([&] { t.smtp.Send(); }), c.error.empty() ? "(no exception)" : c.error);
        EXPECT_EQ(t.events, c.events);
        EXPECT_FALSE(t.smtp.Busy());
        // Without success the recipients stay for another try.
        EXPECT_EQ(t.smtp.PostMessage.ToAddress.Empty(), c.error.empty());
        t.finish();
    }
}

TEST(KTsmtp, QuitThreshold)
{
    for (const auto& [reply, ok] : {std::pair<std::string, bool>{"221 bye", true}, {"339 odd", true}, {"340 odd", false}}) {
        Smtp t;
        Greet(t.server).expect("QUIT").reply(reply);
        t.start();
        t.smtp.Connect();
        EXPECT_EQ(ErrorOf([&] { t.smtp.Disconnect(); }), ok ? "(no exception)" : reply + "\r\n");
        EXPECT_FALSE(t.smtp.Connected());
        EXPECT_TRUE(t.server.waitFinished());
    }
}

TEST(KTsmtp, RecipientEntriesAndTheirAddresses)
{
    Smtp t;
    t.smtp.PostMessage.ToAddress = {"Bob <bob@y>", "", "SMTP:carl@z"};
    t.smtp.PostMessage.ToCarbonCopy = {"Dan <dan@w>"};
    t.smtp.PostMessage.ToBlindCarbonCopy = {"hidden@v"};
    Greet(t.server).expect("RSET").reply("250 ok").expect("MAIL FROM:<ann@x>").reply("250 ok")
        .expect("RCPT TO:<bob@y>").reply("250 ok").expect("RCPT TO:<carl@z>").reply("250 ok")
        .expect("RCPT TO:<dan@w>").reply("550 unknown").expect("RCPT TO:<hidden@v>").reply("250 ok")
        .expect("DATA").reply("354 go").readUntil("\r\n.\r\n").reply("250 ok");
    t.start();
    t.smtp.ClearParams = false;
    t.smtp.Connect();
    t.events.clear();
    t.smtp.Send();
    EXPECT_EQ(t.events, (std::vector<std::string>{"start", "notfound:Dan <dan@w>", "success:idle"}));
    EXPECT_EQ(t.smtp.FinalHeader[1], "To: Bob <bob@y>,,SMTP:carl@z");
    EXPECT_EQ(t.smtp.FinalHeader.IndexOfHeader("Bcc"), -1);
    EXPECT_EQ(t.smtp.FinalHeader.Text().find("hidden"), std::string::npos);
    EXPECT_EQ(t.smtp.PostMessage.ToAddress.Count(), 3);  // ClearParams off: lists kept
    t.finish();
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
    for (const std::string& bad : {std::string("ann@x\r\nRCPT TO:<spy@evil>"), std::string("ann@x\n")}) {
        Smtp t;
        Greet(t.server);
        t.start();
        t.smtp.Connect();
        t.smtp.PostMessage.FromAddress = bad;
        EXPECT_EQ(ErrorOf([&] { t.smtp.Send(); }), "Caractère de fin de ligne interdit");
        EXPECT_EQ(t.finish(), "HELO me\r\n");
    }
    {
        Smtp t;
        Greet(t.server);
        t.start();
        t.smtp.Connect();
        t.smtp.PostMessage.ToBlindCarbonCopy = {"x <b@y\r\nDATA>"};
        EXPECT_EQ(ErrorOf([&] { t.smtp.Send(); }), "Caractère de fin de ligne interdit");
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
    EXPECT_EQ(t.smtp.BodyStream().toStdString(), "a\r\n..\r\nb\r\nc\r\nd\r\ne\r\n");
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

TEST(KTsmtp, UuencodedAttachmentLinesAreDotStuffed)
{
    TempFolder dir;
    testsupport::writeFileBytes(dir.file("fourteen.bin"), std::string(59, 'z'));  // 45 + 14 bytes
    Smtp t;
    t.smtp.EncodeType = uuCode;
    t.smtp.PostMessage.Attachments = {dir.file("fourteen.bin").toStdString()};
    t.smtp.PostMessage.Body.Clear();
    t.smtp.BuildHeader();
    const std::string body = t.smtp.BodyStream().toStdString();
    // The 14-byte line starts with the count character ".", sent as "..".
    const size_t at = body.find("\r\n..");
    ASSERT_NE(at, std::string::npos) << body;
    EXPECT_EQ(body.substr(at + 2, body.find("\r\n", at + 2) - at - 2).size(), 2u + 19);  // "..", 14 bytes in 19 characters
    EXPECT_NE(body.find("\r\n`\r\n--"), std::string::npos);
}

} // namespace
