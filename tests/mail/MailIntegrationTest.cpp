// Integration tests against real servers: a private Dovecot POP3 server holding the project's
// sample messages, and an aiosmtpd server storing what is sent; results are checked with
// Python's email package.
#include "mail/KTpop3.h"
#include "mail/KTsmtp.h"
#include "mail/MessageDecoder.h"
#include "DovecotFixture.h"
#include "MailExamine.h"
#include "MailReadback.h"
#include "SmtpFixture.h"
#include "StringListPrint.h"
#include "TestDirs.h"

#include <QBuffer>
#include <algorithm>
#include <QDir>
#include <dirent.h>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <unistd.h>

using namespace testsupport;

namespace {

std::vector<std::string> SampleNames()
{
    return {
        "en-low-quality-malformed-base64-attach.eml", "en-mail-attachment-only.eml", "en-mail-attachment.eml",
        "en-mail-epilogue-sample.eml", "en-mail-header-only.eml", "en-mail-html-mime-inline.eml",
        "en-mail-mime-bad-8bit-filename.eml", "en-mail-mime-mixed.eml", "en-mail-mime-unquoted-punctuation-param.eml",
        "en-mail-non-mime.eml", "en-mail-other-multi-related.eml", "en-mail-qp-utf8-header.eml",
        "en-mail-quoted-printable.eml", "en-parts-multibase64.eml", "en-parts-multimixed-no-closing-boundary.eml",
        "en-parts-similar-boundary.eml", "fr-alternative-two-attachments.eml", "fr-nested-related.eml",
        "fr-forwarded-message.eml",
    };
}

// A part the decoder keeps as a file: it has a name or is neither text/plain nor text/html (a
// multipart header without any body is no part at all).
bool IsAttachment(const InspectedPart& Part)
{
    if (Part.contentType.rfind("multipart/", 0) == 0)
        return false;
    return !Part.filename.empty() || (Part.contentType != "text/plain" && Part.contentType != "text/html");
}

std::string Sample(const std::string& Name) { return readFileBytes(testDataDir() + "/mail/" + QString::fromStdString(Name)); }

std::map<std::string, std::string> FilesIn(const std::string& Folder)
{
    std::map<std::string, std::string> files;
    if (DIR* d = ::opendir(Folder.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..")
                files[name] = readFileBytes(QFile::decodeName((Folder + "/" + name).c_str()));
        }
        ::closedir(d);
    }
    return files;
}

// The header lines of a message as the decoder keeps them: up to and including the empty line.
TExStringList TopHeader(const std::string& Message)
{
    TExStringList lines;
    size_t at = 0;
    while (at < Message.size()) {
        const size_t lf = Message.find('\n', at);
        std::string line = Message.substr(at, lf == std::string::npos ? std::string::npos : lf - at);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.Add(line);
        if (line.empty() || lf == std::string::npos)
            break;
        at = lf + 1;
    }
    return lines;
}

std::string RandomBytes(size_t N, unsigned Seed)
{
    std::mt19937 rng(Seed);
    std::string s(N, '\0');
    for (auto& c : s)
        c = char(rng() & 0xFF);
    return s;
}

TEST(MailIntegration, Pop3AgainstDovecot)
{
    const std::vector<std::string> names = SampleNames();
    std::vector<std::string> messages;
    for (const auto& n : names)
        messages.push_back(Sample(n));
    DovecotFixture dovecot;
    dovecot.addUser("alice", "s3cret", messages);
    dovecot.start();

    TKTPOP3 pop;
    pop.Host = "127.0.0.1";
    pop.Port = dovecot.port();
    pop.UserID = "alice";
    pop.Password = "s3cret";
    pop.IdleTimeOut = 30000;
    pop.Connect();
    ASSERT_EQ(pop.MessageCount(), int(messages.size())) << dovecot.log();

    TempFolder out;
    int totalMatched = 0;
    for (size_t i = 0; i < messages.size(); ++i) {
        SCOPED_TRACE(names[i]);
        const int n = int(i) + 1;
        pop.RetrieveSummary(n);
        const TExStringList top = TopHeader(messages[i]);
        EXPECT_EQ(pop.Summary().Header.Count(), top.Count() + 1);
        EXPECT_EQ(pop.Summary().Header[pop.Summary().Header.Count() - 1], ".");
        EXPECT_GT(pop.Summary().Bytes, int(messages[i].size()) - 10);

        const QString folder = out.file(QString::number(n));
        QDir().mkpath(folder);
        pop.AttachFilePath = folder.toStdString() + "/";
        pop.RetrieveMessage(n);
        const TMailMessage& m = pop.MailMessage();
        if (top[top.Count() - 1].empty()) {
            EXPECT_EQ(m.Header, top);
        }
        const std::map<std::string, std::string> files = FilesIn(folder.toStdString());

        // Every attachment Python finds is a file with the same bytes (the parts of a forwarded
        // message stay inside its .eml file).
        const InspectedMessage py = inspectMessage(testDataDir() + "/mail/" + QString::fromStdString(names[i]), folder + "-py");
        if (messages[i].find("message/rfc822") == std::string::npos) {
            int attachments = 0, matched = 0;
            for (const InspectedPart& part : py.parts) {
                if (!IsAttachment(part))
                    continue;
                ++attachments;
                for (const std::string& a : m.Attachments)
                    if (files.count(a) && files.at(a) == part.payload) {
                        ++matched;
                        break;
                    }
            }
            EXPECT_EQ(matched, attachments);
            totalMatched += matched;
        }
        EXPECT_EQ(files.size(), size_t(m.Attachments.Count()));  // every listed name is a file, no more
    }
    EXPECT_EQ(totalMatched, 13);
    // Fixed expectations for two of the samples.
    TempFolder again;
    pop.AttachFilePath = again.path().toStdString() + "/";
    pop.RetrieveMessage(3);  // en-mail-attachment.eml
    EXPECT_EQ(pop.MailMessage().Subject, " Attachment");
    EXPECT_EQ(pop.MailMessage().From, "James Hillyerd <james@makita.skynet>");
    EXPECT_EQ(BodyAndFiles(pop.MailMessage()), (TStringList{"A text section", FileEntry("test.html")}));
    // The unquoted filename= parameter names the file.
    EXPECT_EQ(pop.MailMessage().Attachments, (TStringList{"test.html"}));
    EXPECT_EQ(readFileBytes(again.file("test.html")), "<html>\n");

    pop.DeleteMessage(1);
    pop.Disconnect();
    EXPECT_FALSE(pop.Connected());
    EXPECT_EQ(dovecot.storedMessageCount("alice"), int(messages.size()) - 1);

    pop.Connect();
    EXPECT_EQ(pop.MessageCount(), int(messages.size()) - 1);
    pop.RetrieveSummary(1);
    EXPECT_EQ(pop.Summary().Subject, " Test");  // message 2 is now the first
    pop.Disconnect();

    TKTPOP3 wrong;
    wrong.Host = "127.0.0.1";
    wrong.Port = dovecot.port();
    wrong.UserID = "alice";
    wrong.Password = "nope";
    EXPECT_THROW(wrong.Connect(), std::runtime_error);
    EXPECT_FALSE(wrong.Connected());
}

// What a French reader finds in the messages written for these tests, fetched from Dovecot.
TEST(MailIntegration, FrenchMessagesFromDovecot)
{
    struct Case {
        std::string file;
        TStringList body;
        std::string charset;
        bool html, flowed;
        std::vector<std::pair<std::string, std::string>> files;  // name, the sample's part it holds
    };
    const std::string pdf = [] {
        std::string s;
        for (int k = 0; k < 5; ++k)
            for (int b = 0; b < 256; ++b)
                s += char(b);
        return s + "%%EOF";
    }();
    const Case cases[] = {
        {"fr-alternative-two-attachments.eml",
         {"Ch\xE8re cliente, ", "voici l'ordre du jour de la r\xE9union.", "", "\xC0 lundi,", "C\xE9line",
          FileEntry("ordre du jour \xC3\xA9t\xC3\xA9.pdf"), FileEntry("plan d'acc\xC3\xA8s.png")},
         "iso-8859-1", false, true,
         {{"ordre du jour \xC3\xA9t\xC3\xA9.pdf", pdf}, {"plan d'acc\xC3\xA8s.png", ""}}},
        {"fr-nested-related.eml", {"Voil\xC3\xA0 le chantier :", "une photo jointe.", FileEntry("fichier.png")}, "utf-8", false, false,
         {{"fichier.png", ""}}},
        {"fr-forwarded-message.eml",
         {"Je te transmets le message d'Anne.", FileEntry("message.eml"), FileEntry("notes.txt")}, "us-ascii", false, false,
         {{"message.eml", ""}, {"notes.txt", "une note\r\n"}}},
    };
    std::vector<std::string> messages;
    for (const Case& c : cases)
        messages.push_back(Sample(c.file));
    DovecotFixture dovecot;
    dovecot.addUser("marc", "secret", messages);
    dovecot.start();
    TKTPOP3 pop;
    pop.Host = "127.0.0.1";
    pop.Port = dovecot.port();
    pop.UserID = "marc";
    pop.Password = "secret";
    pop.IdleTimeOut = 30000;
    pop.Connect();
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.file);
        TempFolder out;
        pop.AttachFilePath = out.path().toStdString() + "/";
        pop.RetrieveMessage(int(i) + 1);
        const TMailMessage& m = pop.MailMessage();
        EXPECT_EQ(BodyAndFiles(m), c.body);
        EXPECT_EQ(m.BodyCharset, c.charset);
        EXPECT_EQ(m.BodyIsHtml, c.html);
        EXPECT_EQ(m.BodyFlowed, c.flowed);
        const auto files = FilesIn(out.path().toStdString());
        ASSERT_EQ(files.size(), c.files.size());
        ASSERT_EQ(m.Attachments.Count(), int(c.files.size()));
        for (size_t k = 0; k < c.files.size(); ++k) {
            EXPECT_EQ(m.Attachments[int(k)], c.files[k].first);
            ASSERT_EQ(files.count(c.files[k].first), 1u) << c.files[k].first;
            if (!c.files[k].second.empty()) {
                EXPECT_TRUE(files.at(c.files[k].first) == c.files[k].second) << c.files[k].first;
            }
        }
    }
    // The forwarded message is kept whole: Python reads the same attachment out of the .eml file.
    TempFolder fwd;
    pop.AttachFilePath = fwd.path().toStdString() + "/";
    pop.RetrieveMessage(3);
    const InspectedMessage inner = inspectMessage(fwd.file("message.eml"), fwd.file("py"));
    EXPECT_EQ(inner.header("Subject"), "Devis");
    ASSERT_EQ(inner.parts.size(), 2u);
    EXPECT_TRUE(inner.parts[1].payload == pdf.substr(0, 300));
    pop.Disconnect();
}

// The POP3 component with its receive buffer in view.
class TWatchedPop3 : public TKTPOP3 {
public:
    std::size_t BufferCapacity() const { return ReceiveBuffer.Capacity(); }
};

// Hostile messages served by Dovecot: a huge header line, overlong and repeated names, a planted
// link. Each is decoded without unbounded memory, without a file outside the folder, and with
// every listed name a file.
TEST(MailIntegration, HostileMessagesFromDovecot)
{
    std::string manyParts = "Subject: many\r\nContent-Type: multipart/mixed; boundary=P\r\n\r\n";
    for (int k = 0; k < 4000; ++k)
        manyParts += "--P\r\nContent-Type: application/octet-stream; name=\"same.bin\"\r\n"
                     "Content-Transfer-Encoding: base64\r\n\r\nYWJj\r\n";
    manyParts += "--P--\r\n";
    const std::string longName(300, 'n');
    const std::vector<std::string> messages = {
        "Subject: huge\r\nX-Huge: " + std::string(40 << 20, 'h') + "\r\n\r\nafter the header\r\n",
        manyParts,
        "Subject: long name\r\nContent-Type: application/pdf; name=\"" + longName + ".pdf\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\nYWJj\r\n",
        "Subject: link\r\nContent-Type: text/plain; name=\"a.txt\"\r\n\r\nhostile\r\n",
    };
    DovecotFixture dovecot;
    dovecot.addUser("eve", "secret", messages);
    dovecot.start();
    TWatchedPop3 pop;
    pop.Host = "127.0.0.1";
    pop.Port = dovecot.port();
    pop.UserID = "eve";
    pop.Password = "secret";
    pop.IdleTimeOut = 60000;
    pop.Connect();

    TempFolder out, outside;
    const std::string folder = out.path().toStdString();
    pop.AttachFilePath = folder + "/";
    pop.RetrieveMessage(1);
    EXPECT_EQ(pop.MailMessage().Body, (TStringList{"after the header"}));
    EXPECT_EQ(pop.MailMessage().Header[1].size(), TMessageDecoder::kHeaderLineCap);
    EXPECT_LT(pop.BufferCapacity(), size_t(16 << 20));  // far below the 40 MB line

    pop.RetrieveMessage(2);
    ASSERT_EQ(pop.MailMessage().Attachments.Count(), 4000);
    EXPECT_EQ(pop.MailMessage().Attachments[3999], "same_3999.bin");
    EXPECT_EQ(FilesIn(folder).size(), 4000u);

    TempFolder second;
    pop.AttachFilePath = second.path().toStdString() + "/";
    pop.RetrieveMessage(3);
    ASSERT_EQ(pop.MailMessage().Attachments.Count(), 1);
    EXPECT_EQ(pop.MailMessage().Attachments[0], std::string(251, 'n') + ".pdf");
    EXPECT_EQ(readFileBytes(second.file(QString::fromStdString(pop.MailMessage().Attachments[0]))), "abc");

    const std::string target = outside.file("target").toStdString();
    writeFileBytes(QString::fromStdString(target), "precious");
    ASSERT_EQ(::symlink(target.c_str(), (second.path().toStdString() + "/a.txt").c_str()), 0);
    pop.RetrieveMessage(4);
    EXPECT_EQ(readFileBytes(QString::fromStdString(target)), "precious");
    EXPECT_EQ(pop.MailMessage().Attachments, (TStringList{"a_1.txt"}));
    EXPECT_EQ(readFileBytes(second.file("a_1.txt")), "hostile\r\n");
    pop.Disconnect();
}

TEST(MailIntegration, SmtpAgainstAiosmtpd)
{
    SmtpFixture sink;
    sink.start();
    TempFolder dir;
    const std::string text = "first line\r\nsecond line\r\n";
    const std::string binary = RandomBytes(3001, 1);
    const std::string big = RandomBytes(1024 * 1024, 2);
    writeFileBytes(dir.file("notes.txt"), text);
    writeFileBytes(dir.file("data.bin"), binary);
    writeFileBytes(dir.file("empty.dat"), "");
    writeFileBytes(dir.file("big.bin"), big);

    TKTSMTP smtp;
    smtp.Host = "127.0.0.1";
    smtp.Port = sink.port();
    smtp.UserID = "brevicor.test";
    smtp.IdleTimeOut = 30000;
    TPostMessage& m = smtp.PostMessage;
    m.FromName = "Ann Sender ";
    m.FromAddress = "ann@example.org";
    m.ToAddress = {"Bob <bob@example.org>", "carl@example.org"};
    m.ToCarbonCopy = {"Dan <dan@example.org>"};
    m.ToBlindCarbonCopy = {"eve@example.org"};
    m.Subject = "Integration";
    m.LocalProgram = "Brevicor test";
    m.Body = {"line one", ".", ".starts with a dot", "", "end"};
    m.Attachments = {dir.file("notes.txt").toStdString(), dir.file("data.bin").toStdString(),
                     dir.file("empty.dat").toStdString(), dir.file("big.bin").toStdString()};
    smtp.Connect();
    smtp.Send();

    // A second message, plain text and without copies.
    m.ToAddress = {"carl@example.org"};
    m.Subject = "Plain";
    m.Body = {"just text", "..two dots"};
    smtp.Send();
    smtp.Disconnect();

    const auto got = sink.messages();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].mailFrom, "ann@example.org");
    EXPECT_EQ(got[0].rcptTos,
              (std::vector<std::string>{"bob@example.org", "carl@example.org", "dan@example.org", "eve@example.org"}));
    EXPECT_EQ(got[1].rcptTos, (std::vector<std::string>{"carl@example.org"}));

    TempFolder out;
    const InspectedMessage first = inspectMessage(got[0].file, out.path());
    EXPECT_TRUE(first.defects.empty());
    EXPECT_EQ(first.header("From"), "Ann Sender <ann@example.org>");
    EXPECT_EQ(first.header("To"), "Bob <bob@example.org>,carl@example.org");
    EXPECT_EQ(first.header("CC"), "Dan <dan@example.org>");
    EXPECT_EQ(first.header("Subject"), "Integration");
    EXPECT_EQ(first.header("X-Mailer"), "Brevicor test");
    EXPECT_EQ(first.headerCount("Bcc"), 0);
    EXPECT_EQ(got[0].content.find("eve@"), std::string::npos);
    EXPECT_TRUE(first.isMultipart);
    ASSERT_EQ(first.parts.size(), 5u);
    EXPECT_EQ(first.parts[0].contentType, "text/plain");
    EXPECT_EQ(first.parts[0].payload, "line one\n.\n.starts with a dot\n\nend");
    const std::pair<std::string, std::string> files[] = {
        {"notes.txt", text}, {"data.bin", binary}, {"empty.dat", ""}, {"big.bin", big}};
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(files[i].first);
        EXPECT_EQ(first.parts[i + 1].contentType, "application/octet-stream");
        EXPECT_EQ(first.parts[i + 1].transferEncoding, "base64");
        EXPECT_EQ(first.parts[i + 1].filename, files[i].first);
        EXPECT_TRUE(first.parts[i + 1].payload == files[i].second);
    }

    TempFolder out2;
    const InspectedMessage second = inspectMessage(got[1].file, out2.path());
    EXPECT_FALSE(second.isMultipart);
    EXPECT_EQ(second.header("Subject"), "Plain");
    EXPECT_EQ(second.headerCount("CC"), 0);
    ASSERT_EQ(second.parts.size(), 1u);
    EXPECT_EQ(second.parts[0].payload, "\njust text\n..two dots\n");  // the body starts with an empty line
}

// Messages as French users write them, read back by a modern mail program: the same subject,
// names, text and attachment bytes, and a date and identifier of their own.
TEST(MailIntegration, FrenchMessagesReadBackAsWritten)
{
    using Mailboxes = std::vector<ReadBackMessage::Mailbox>;
    struct Case {
        const char* name;
        std::string fromName, subject;
        std::vector<std::string> to, cc, bcc, body;
        std::vector<std::pair<std::string, std::string>> files;  // name, bytes
        std::string inReplyTo, references;
        Mailboxes wantFrom, wantTo, wantCc;
        std::vector<std::string> envelope;
    };
    const std::string longLine = "Très longue ligne : " + std::string(1200, 'x') + " fin";
    const Case cases[] = {
        {"French subject, names, text and attachments",
         "Élodie Müller",
         "Réunion de lundi : ordre du jour élargi, très long sujet pour que la ligne d'en-tête soit pliée « vraiment »",
         {"\"Dupont, Émile\" <emile@example.org>; bob@example.org", "Zoë SStraße <zoe@example.org>"},
         {"Françoise <francoise@example.org>"},
         {"cache@example.org"},
         {"Chère Élodie,", ".ligne qui commence par un point", "", "Voilà le résumé — 100 € ; a=b   ", longLine, "Fin."},
         {{"résumé été 2026.pdf", RandomBytes(70000, 11)}, {"notes.txt", "plain\r\ntext\r\n"}, {"dit \"oui\".bin", RandomBytes(46, 12)}},
         "", "",
         {{"Élodie Müller", "ann@example.org"}},
         {{"Dupont, Émile", "emile@example.org"}, {"", "bob@example.org"}, {"Zoë SStraße", "zoe@example.org"}},
         {{"Françoise", "francoise@example.org"}},
         {"emile@example.org", "bob@example.org", "zoe@example.org", "francoise@example.org", "cache@example.org"}},
        {"answer in plain ASCII",
         "Ann Sender",
         "Re: Integration",
         {"Bob <bob@example.org>"}, {}, {},
         {"> quoted", "answer"},
         {},
         "<orig.1@example.net>", "<first@example.net> <orig.1@example.net>",
         {{"Ann Sender", "ann@example.org"}}, {{"Bob", "bob@example.org"}}, {},
         {"bob@example.org"}},
        {"text beyond ASCII without attachments",
         "", "Été", {"carl@example.org"}, {}, {}, {"Ça marche très bien.", ".", "  espaces en fin  "}, {}, "", "",
         {{"", "ann@example.org"}}, {{"", "carl@example.org"}}, {}, {"carl@example.org"}},
    };

    SmtpFixture sink;
    sink.start();
    TKTSMTP smtp;
    smtp.Host = "127.0.0.1";
    smtp.Port = sink.port();
    smtp.UserID = "brevicor.test";
    smtp.IdleTimeOut = 30000;
    smtp.Connect();
    TempFolder dir;
    std::vector<std::string> ids;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TPostMessage& m = smtp.PostMessage;
        m.FromName = c.fromName;
        m.FromAddress = "ann@example.org";
        m.Subject = c.subject;
        m.ToAddress.Clear();
        m.ToCarbonCopy.Clear();
        m.ToBlindCarbonCopy.Clear();
        m.Body.Clear();
        m.Attachments.Clear();
        for (const std::string& e : c.to)
            m.ToAddress.Add(e);
        for (const std::string& e : c.cc)
            m.ToCarbonCopy.Add(e);
        for (const std::string& e : c.bcc)
            m.ToBlindCarbonCopy.Add(e);
        for (const std::string& l : c.body)
            m.Body.Add(l);
        for (const auto& [name, bytes] : c.files) {
            const QString path = dir.file(QString::fromStdString(name));
            writeFileBytes(path, bytes);
            m.Attachments.Add(path.toStdString());
        }
        m.InReplyTo = c.inReplyTo;
        m.References = c.references;
        const size_t before = sink.messages().size();
        smtp.Send();
        EXPECT_TRUE(m.InReplyTo.empty() && m.References.empty());

        const auto got = sink.messages();
        ASSERT_EQ(got.size(), before + 1);
        EXPECT_EQ(got.back().rcptTos, c.envelope);
        // Every line the server took is 7-bit and within the SMTP line limit.
        const std::string& raw = got.back().content;
        for (size_t at = 0, next; at < raw.size(); at = next + 1) {
            next = raw.find('\n', at);
            if (next == std::string::npos)
                next = raw.size();
            EXPECT_LE(next - at, 999u);
        }
        EXPECT_TRUE(std::all_of(raw.begin(), raw.end(), [](char ch) { return (unsigned char)ch < 0x80; }));

        TempFolder out;
        const ReadBackMessage r = readBackMessage(got.back().file, out.path());
        EXPECT_EQ(r.defects, std::vector<std::string>{});
        EXPECT_EQ(r.subject, c.subject);
        EXPECT_EQ(r.from, c.wantFrom);
        EXPECT_EQ(r.to, c.wantTo);
        EXPECT_EQ(r.cc, c.wantCc);
        EXPECT_TRUE(r.dateOk);
        EXPECT_EQ(r.inReplyTo, c.inReplyTo);
        EXPECT_EQ(r.references, c.references);
        ids.push_back(r.messageId);
        std::string text = c.files.empty() ? "\n" : "";
        for (size_t i = 0; i < c.body.size(); ++i)
            text += c.body[i] + (i + 1 < c.body.size() || c.files.empty() ? "\n" : "");
        ASSERT_TRUE(r.hasBody);
        EXPECT_EQ(r.body, text);
        ASSERT_EQ(r.attachments.size(), c.files.size());
        for (size_t i = 0; i < c.files.size(); ++i) {
            EXPECT_EQ(r.attachments[i].first, c.files[i].first);
            EXPECT_TRUE(r.attachments[i].second == c.files[i].second) << c.files[i].first;
        }
    }
    smtp.Disconnect();
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_NE(ids[0], ids[1]);
    EXPECT_NE(ids[1], ids[2]);
    EXPECT_EQ(ids[0].front(), '<');
}

TEST(MailIntegration, UuencodedAttachmentSurvivesTheServer)
{
    SmtpFixture sink;
    sink.start();
    TempFolder dir;
    const std::string data = RandomBytes(45 * 3 + 14, 3);  // the last line counts 14 bytes: "."
    writeFileBytes(dir.file("u.bin"), data);
    TKTSMTP smtp;
    smtp.Host = "127.0.0.1";
    smtp.Port = sink.port();
    smtp.UserID = "me";
    smtp.EncodeType = uuCode;
    smtp.PostMessage.FromAddress = "a@example.org";
    smtp.PostMessage.ToAddress = {"b@example.org"};
    smtp.PostMessage.Attachments = {dir.file("u.bin").toStdString()};
    smtp.Connect();
    smtp.Send();
    smtp.Disconnect();

    const auto got = sink.messages();
    ASSERT_EQ(got.size(), 1u);
    // The encoded lines of the part, as the server stored them.
    const std::string& c = got[0].content;
    const size_t start = c.find("\r\n\r\n", c.find("filename=\"u.bin\"")) + 4;
    const size_t end = c.find("--" + smtp.Boundary() + "--", start);
    ASSERT_NE(end, std::string::npos);
    QByteArray encoded = QByteArray::fromStdString(c.substr(start, end - start)), decoded;
    QBuffer in(&encoded), outBuf(&decoded);
    in.open(QIODevice::ReadOnly);
    outBuf.open(QIODevice::WriteOnly);
    TKTUUProcessor codec;
    codec.Method = uuCode;
    codec.InputStream = &in;
    codec.OutputStream = &outBuf;
    codec.Decode();
    EXPECT_TRUE(decoded.toStdString() == data);
}

} // namespace
