// Tests of the received message decoder of TKTPOP3: each message is played by a scripted
// server after RETR, and a DELE must follow cleanly (the reply was read to its "." and no further).
#include "mail/KTpop3.h"
#include "StringListPrint.h"
#include "ScriptedServer.h"
#include "TestDirs.h"

#include <QDir>
#include <dirent.h>
#include <gtest/gtest.h>
#include <map>

using testsupport::ScriptedServer;
using testsupport::TempFolder;

namespace {

// "\n" line ends to the wire's CR LF.
std::string Crlf(const std::string& Text)
{
    std::string out;
    for (char c : Text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

// Files of a folder by their byte names, with their contents.
std::map<std::string, std::string> FilesIn(const std::string& Folder)
{
    std::map<std::string, std::string> files;
    if (DIR* d = ::opendir(Folder.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..")
                files[name] = testsupport::readFileBytes(QFile::decodeName((Folder + "/" + name).c_str()));
        }
        ::closedir(d);
    }
    return files;
}

struct Decoded {
    TMailMessage msg;
    std::string boundary;
    std::string error;                          // empty when RetrieveMessage succeeded
    std::map<std::string, std::string> files;   // what the decoder left in the folder
    bool nextCommandOk = false;                 // the DELE after it got its own reply
};

const std::string kLogin = "USER u\r\nPASS p\r\nSTAT\r\n";

// Plays Wire (the message as the server sends it, without the final ".") after RETR 1.
// Attachments go to a subfolder of a temporary folder, created unless told otherwise.
Decoded Retrieve(const std::string& Wire, const std::string& AttachSubfolder = "", bool CreateSubfolder = true)
{
    TempFolder dir;
    const std::string folder = dir.path().toStdString() + AttachSubfolder;
    if (CreateSubfolder)
        QDir().mkpath(QString::fromStdString(folder));
    ScriptedServer server;
    server.reply("+OK").expect("USER u").reply("+OK").expect("PASS p").reply("+OK").expect("STAT").reply("+OK 1 1")
        .expect("RETR 1").reply("+OK message follows").send(Wire).reply(".")
        .expect("DELE 1").reply("+OK deleted");
    server.start();
    TKTPOP3 pop;
    pop.Host = server.host();
    pop.Port = server.port();
    pop.UserID = "u";
    pop.Password = "p";
    pop.IdleTimeOut = 10000;
    pop.AttachFilePath = folder + "/";
    pop.Connect();
    Decoded d;
    try {
        pop.RetrieveMessage(1);
    } catch (const std::exception& e) {
        d.error = e.what();
    }
    try {
        pop.DeleteMessage(1);
        d.nextCommandOk = true;
    } catch (const std::exception& e) {
        ADD_FAILURE() << "DELE after the message failed: " << e.what();
    }
    d.msg = pop.MailMessage();
    d.boundary = pop.Boundary();
    d.files = FilesIn(folder);
    pop.Abort();
    EXPECT_TRUE(server.waitFinished());
    EXPECT_TRUE(server.failures().empty()) << server.failures().front();
    EXPECT_EQ(server.received(), kLogin + "RETR 1\r\nDELE 1\r\n");
    return d;
}

TEST(KTpop3Decoder, PlainMessageGoesToBody)
{
    const Decoded d = Retrieve(Crlf("From: Ann <ann@x>\nSubject: Hi there\nMessage-ID: <1@x>\nX-Other: y\n\n"
                                    "line one\n..dotted, one dot removed\n\nlast\n"));
    EXPECT_EQ(d.error, "");
    EXPECT_EQ(d.msg.Header, (TExStringList{"From: Ann <ann@x>", "Subject: Hi there", "Message-ID: <1@x>", "X-Other: y", ""}));
    EXPECT_EQ(d.msg.Body, (TStringList{"line one", ".dotted, one dot removed", "", "last"}));
    EXPECT_EQ(d.msg.From, "Ann <ann@x>");
    EXPECT_EQ(d.msg.Subject, " Hi there");
    EXPECT_EQ(d.msg.MessageId, "<1@x>");
    EXPECT_TRUE(d.msg.Attachments.Empty());
    EXPECT_TRUE(d.files.empty());
}

TEST(KTpop3Decoder, EmptyBody)
{
    const Decoded d = Retrieve(Crlf("Subject: nothing\n\n"));
    EXPECT_EQ(d.error, "");
    EXPECT_TRUE(d.msg.Body.Empty());
    EXPECT_EQ(d.msg.Header, (TExStringList{"Subject: nothing", ""}));
}

TEST(KTpop3Decoder, MultipartWithTwoAttachmentsNamedAlike)
{
    const Decoded d = Retrieve(Crlf("Content-Type: multipart/mixed; boundary=\"XX\"\n\npreamble\n"
                                    "--XX\nContent-Type: text/plain\n\nHello\n"
                                    "--XX\nContent-Type: application/octet-stream; name=\"a.txt\"\n"
                                    "Content-Transfer-Encoding: base64\n\nYWJj\n"
                                    "--XX\nContent-Type: application/octet-stream; name=\"a.txt\"\n\nZGVm\n"
                                    "--XX--\nepilogue\n"));
    EXPECT_EQ(d.error, "");
    EXPECT_EQ(d.boundary, "XX");
    EXPECT_EQ(BodyAndFiles(d.msg), (TStringList{"Hello", FileEntry("a.txt"), FileEntry("a_1.txt")}));
    EXPECT_EQ(d.msg.Attachments, (TStringList{"a.txt", "a_1.txt"}));
    EXPECT_EQ(d.files.at("a.txt"), "abc");
    EXPECT_EQ(d.files.at("a_1.txt"), "ZGVm\r\n");  // no encoding line: 7bit, whatever came before
    EXPECT_EQ(d.files.size(), 2u);                // no scratch file left behind
}

TEST(KTpop3Decoder, SinglePartBase64BecomesFileAndBody)
{
    const Decoded d = Retrieve(Crlf("Content-Type: text/plain;\n name=\"note.txt\"\nContent-Transfer-Encoding: base64\n\n"
                                    "bGluZTEKbGluZTIK\n"));
    EXPECT_EQ(d.error, "");
    EXPECT_EQ(d.msg.Attachments, (TStringList{"note.txt"}));
    EXPECT_EQ(d.files.at("note.txt"), "line1\nline2\n");
    EXPECT_EQ(BodyAndFiles(d.msg), (TStringList{"line1", "line2", FileEntry("note.txt")}));
}

TEST(KTpop3Decoder, BoundaryParameterForms)
{
    struct Case {
        std::string header;
        std::string boundary;
    };
    const Case cases[] = {
        {"Content-Type: multipart/mixed; boundary=\"b1\"", "b1"},
        {"Content-Type: multipart/mixed; boundary=\"b1\"; charset=x", "b1"},
        {"Content-Type: multipart/mixed; boundary=\"b1\" ; x=\"y\"", "b1"},
        {"Content-Type: multipart/mixed; boundary=b1", "b1"},
        {"Content-Type: multipart/mixed; boundary=b1; x=y", "b1"},
        {"Content-Type: multipart/mixed; boundary=b1 ", "b1"},
        {"Content-Type: multipart/mixed; boundary=  \"b1\"", "b1"},
        {"Content-Type: multipart/mixed; BOUNDARY= b1;x", "b1"},
        {"Content-Type: multipart/mixed;\n\tboundary=\"b 1\"", "b 1"},
        {"Content-Type: multipart/mixed; boundary=\"b1", "b1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        const Decoded d = Retrieve(Crlf(c.header + "\n\n--" + c.boundary + "\n\ntext\n--" + c.boundary + "--\n"));
        EXPECT_EQ(d.error, "");
        EXPECT_EQ(d.boundary, c.boundary);
        EXPECT_EQ(d.msg.Body, (TStringList{"text"}));
    }
}

TEST(KTpop3Decoder, NestedAlternativeAfterTheShownText)
{
    const std::string wire = testsupport::readFileBytes(testsupport::testDataDir() + "/mail/en-parts-similar-boundary.eml");
    const Decoded d = Retrieve(wire);
    EXPECT_EQ(d.error, "");
    EXPECT_EQ(d.boundary, "Enmime-Test-100_alt");
    // The inner boundary extends the outer one and is told apart from it. The first text is
    // shown; the alternative after it keeps its first version as a file, not its HTML copy.
    EXPECT_EQ(BodyAndFiles(d.msg), (TStringList{"Section one", "", FileEntry("text.tmp")}));
    EXPECT_EQ(d.msg.Attachments, (TStringList{"text.tmp"}));
    EXPECT_EQ(d.files.at("text.tmp"), "A text section\r\n");
    EXPECT_EQ(d.files.size(), 1u);
}

TEST(KTpop3Decoder, UuencodedPartHasNoJunkAroundTheData)
{
    const std::string head = "Content-Type: multipart/mixed; boundary=\"U\"\n\n--U\nContent-Type: text/plain\n\nsee file\n"
                             "--U\nContent-Type: application/octet-stream; name=\"c.bin\"\nContent-Transfer-Encoding: ";
    const std::string data = "\n\nbegin 644 c.bin\n#86)C\n`\nend\n--U--\n";
    for (const char* encoding : {"X-UUENCODE", "x-uuencode", "x-uue"}) {
        SCOPED_TRACE(encoding);
        const Decoded d = Retrieve(Crlf(head + encoding + data));
        EXPECT_EQ(d.error, "");
        EXPECT_EQ(d.files.at("c.bin"), "abc");
    }
}

struct EndCase {
    const char* name;
    std::string wire;
    TStringList body;
    TStringList attachments;
};

TEST(KTpop3Decoder, TerminatorEndsTheMessageWherever)
{
    const EndCase cases[] = {
        {"dot inside the top header", Crlf("Subject: x\nContent-Type: multipart/mixed; boundary=Q\n"), {}, {}},
        {"dot before the first delimiter", Crlf("Content-Type: multipart/mixed; boundary=Q\n\npreamble only\n"), {}, {}},
        {"dot inside a part header", Crlf("Content-Type: multipart/mixed; boundary=Q\n\n--Q\nContent-Type: text/plain\n"),
         {}, {}},
        {"last part without closing delimiter",
         Crlf("Content-Type: multipart/mixed; boundary=Q\n\n--Q\n\ntext\n--Q\nContent-Transfer-Encoding: base64\n"
              "Content-Type: application/octet-stream; name=\"d.bin\"\n\nZGVm\n"),
         {"text", FileEntry("d.bin")}, {"d.bin"}},
        {"boundary parameter without multipart",
         Crlf("Content-Type: text/plain; boundary=zz\n\nline zz one\n--zz\nline three\n"),
         {"line zz one", "--zz", "line three"}, {}},
        {"empty boundary: shown as text", Crlf("Content-Type: multipart/mixed; boundary=\"\"\n\n--\ntext\n"),
         {"--", "text"}, {}},
    };
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded d = Retrieve(c.wire);
        EXPECT_EQ(d.error, "");
        EXPECT_EQ(BodyAndFiles(d.msg), c.body);
        EXPECT_EQ(d.msg.Attachments, c.attachments);
        EXPECT_TRUE(d.nextCommandOk);
    }
    const Decoded d = Retrieve(cases[3].wire);
    EXPECT_EQ(d.files.at("d.bin"), "def");
}

TEST(KTpop3Decoder, FileFailureStillReadsTheWholeReply)
{
    const Decoded d = Retrieve(Crlf("Content-Type: multipart/mixed; boundary=Q\n\n--Q\n\ntext\n"
                                    "--Q\nContent-Transfer-Encoding: base64\n\nYWJj\n--Q--\n"),
                               "/missing-folder", false);
    EXPECT_NE(d.error.find("Impossible de créer le fichier"), std::string::npos) << d.error;
    EXPECT_TRUE(d.nextCommandOk);
}

TEST(KTpop3Decoder, AnnouncedNamesStayInsideTheFolder)
{
    struct Case {
        std::string announced, stored;
    };
    // A quoted name takes a backslash as an escape.
    const Case cases[] = {
        {"../../evil.txt", "evil.txt"}, {"..\\..\\win.ini", "win.ini"}, {"/etc/passwd", "passwd"},
        {".", "text.tmp"},              {"..", "text.tmp"},                  {"dir/", "text.tmp"},
        {"sub/..", "text.tmp"},         {"plain.doc", "plain.doc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.announced);
        const Decoded d = Retrieve(Crlf("Content-Type: multipart/mixed; boundary=Q\n\n--Q\n\nsee\n--Q\n"
                                        "Content-Type: text/plain; name=\"" + c.announced + "\"\n"
                                        "Content-Transfer-Encoding: base64\n\nYWJj\n--Q--\n"),
                                   "/box");
        EXPECT_EQ(d.msg.Attachments, (TStringList{c.stored}));
        EXPECT_EQ(BodyAndFiles(d.msg), (TStringList{"see", FileEntry(c.stored)}));
        EXPECT_EQ(d.files.at(c.stored), "abc");
        EXPECT_EQ(d.files.size(), 1u);  // the file, nothing elsewhere
    }
}

TEST(KTpop3Decoder, UniqueNamesFollowTheStemRule)
{
    const std::string part = "--Q\nContent-Type: application/octet-stream; name=\"%\"\nContent-Transfer-Encoding: base64\n\nYWJj\n";
    auto twoParts = [&](const std::string& name) {
        std::string p = part;
        p.replace(p.find('%'), 1, name);
        return Crlf("Content-Type: multipart/mixed; boundary=Q\n\n--Q\n\nsee\n" + p + p + "--Q--\n");
    };
    EXPECT_EQ(Retrieve(twoParts("noext")).msg.Attachments, (TStringList{"noext", "noext_1"}));
    EXPECT_EQ(Retrieve(twoParts("a.b.c")).msg.Attachments, (TStringList{"a.b.c", "a.b_1.c"}));
}

TEST(KTpop3Decoder, EachMessageStartsFromEmptyFields)
{
    TempFolder dir;
    ScriptedServer server;
    server.reply("+OK").expect("USER u").reply("+OK").expect("PASS p").reply("+OK").expect("STAT").reply("+OK 2 2")
        .expect("RETR 1").reply("+OK").send(Crlf("From: a@x\nSubject: first\nMessage-ID: <1@x>\n\nbody\n")).reply(".")
        .expect("RETR 2").reply("+OK").send(Crlf("X-Nothing: here\n\nbody two\n")).reply(".")
        .expect("DELE 2").reply("+OK deleted");
    server.start();
    TKTPOP3 pop;
    pop.Host = server.host();
    pop.Port = server.port();
    pop.UserID = "u";
    pop.Password = "p";
    pop.IdleTimeOut = 10000;
    pop.AttachFilePath = dir.path().toStdString() + "/";
    pop.DeleteOnRead = false;
    pop.Connect();
    pop.RetrieveMessage(1);
    EXPECT_EQ(pop.MailMessage().Subject, " first");
    pop.DeleteOnRead = true;  // DELE follows the second RETR
    pop.RetrieveMessage(2);
    EXPECT_EQ(pop.MailMessage().From, "");
    EXPECT_EQ(pop.MailMessage().Subject, "");
    EXPECT_EQ(pop.MailMessage().MessageId, "");
    EXPECT_EQ(pop.MailMessage().Body, (TStringList{"body two"}));
    pop.Abort();
    EXPECT_TRUE(server.waitFinished());
    EXPECT_TRUE(server.failures().empty());
}

TEST(KTpop3Decoder, RetrRefusedKeepsThePreviousMessage)
{
    ScriptedServer server;
    server.reply("+OK").expect("USER u").reply("+OK").expect("PASS p").reply("+OK").expect("STAT").reply("+OK 2 2")
        .expect("RETR 1").reply("+OK").send(Crlf("Subject: kept\n\nbody\n")).reply(".")
        .expect("RETR 2").reply("-ERR no such message");
    server.start();
    TKTPOP3 pop;
    pop.Host = server.host();
    pop.Port = server.port();
    pop.UserID = "u";
    pop.Password = "p";
    int ends = 0;
    pop.OnRetrieveEnd = [&](QObject*) { ++ends; };
    pop.Connect();
    pop.RetrieveMessage(1);
    EXPECT_THROW(pop.RetrieveMessage(2), std::runtime_error);
    EXPECT_EQ(ends, 2);
    EXPECT_EQ(pop.MailMessage().Subject, " kept");
    EXPECT_FALSE(pop.Busy());
    pop.Abort();
    EXPECT_TRUE(server.waitFinished());
}

} // namespace
