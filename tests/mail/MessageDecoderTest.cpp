// Tests of TMessageDecoder fed directly with message lines: the MIME walk, the shown text, the
// files written and their names, and the limits that keep memory bounded.
#include "mail/KTpop3.h"
#include "mail/MessageDecoder.h"
#include "StringListPrint.h"
#include "TestDirs.h"

#include <csignal>
#include <dirent.h>
#include <gtest/gtest.h>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::TempFolder;

namespace {

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

// Feeds Wire line by line (pieces of at most Piece bytes) and finishes.
void FeedAll(TMessageDecoder& Decoder, const std::string& Wire, size_t Piece = 64 * 1024)
{
    size_t at = 0;
    bool lineStart = true;
    while (at < Wire.size()) {
        const size_t lf = Wire.find('\n', at);
        const size_t lineEnd = lf == std::string::npos ? Wire.size() : lf + 1;
        const size_t end = std::min(lineEnd, at + Piece);
        const bool complete = end == lineEnd;
        Decoder.Feed(std::string_view(Wire).substr(at, end - at), lineStart, complete);
        lineStart = complete;
        at = end;
    }
    Decoder.Finish();
}

struct Result {
    TMailMessage msg;
    std::map<std::string, std::string> files;
    std::vector<std::string> reports;
};

Result Decode(const std::string& Wire, size_t Piece = 64 * 1024)
{
    TempFolder dir;
    Result r;
    TMessageDecoder decoder(r.msg, dir.path().toStdString() + "/", [&](const std::string& s) { r.reports.push_back(s); });
    FeedAll(decoder, Wire, Piece);
    r.files = FilesIn(dir.path().toStdString());
    return r;
}

struct WalkCase {
    const char* name;
    std::string wire;
    TStringList body;
    std::map<std::string, std::string> files;
    std::string charset = "";
    bool html = false;
    bool flowed = false;
};

TEST(MessageDecoder, WalkTable)
{
    const std::string inner = "From: a@x\r\nSubject: inner\r\n\r\ninner text\r\n";
    const std::string longName = "a." + std::string(253, 'n');
    const std::string longPart = "--L\nContent-Type: application/octet-stream; name=\"" + longName
                                 + "\"\nContent-Transfer-Encoding: base64\n\n";
    const std::string longNames = Crlf("Content-Type: multipart/mixed; boundary=L\n\n--L\n\nx\n" + longPart + "YWJj\n"
                                       + longPart + "ZGVm\n--L\nContent-Type: text/plain; name=fin.txt\n\nfin\n--L--\n");
    const WalkCase cases[] = {
        {"fresh state per part: no inherited encoding or name",
         Crlf("Content-Type: multipart/mixed; boundary=B\n\n--B\n\nhello\n"
              "--B\nContent-Type: application/octet-stream; name=\"a.bin\"\nContent-Transfer-Encoding: base64\n\nYWJj\n"
              "--B\nContent-Type: text/csv\n\nx,y\n--B--\n"),
         {"hello", FileEntry("a.bin"), FileEntry("text.tmp")},
         {{"a.bin", "abc"}, {"text.tmp", "x,y\r\n"}}},
        {"HTML only, quoted-printable",
         Crlf("Content-Type: text/html; charset=\"UTF-8\"\nContent-Transfer-Encoding: quoted-printable\n\n"
              "<p>Ch=C3=A8re=\n cliente</p>\n"),
         {"<p>Ch\xC3\xA8re cliente</p>"}, {}, "utf-8", true},
        {"quoted-printable ISO-8859-1, flowed",
         Crlf("Content-Type: text/plain; charset=ISO-8859-1; format=flowed\nContent-Transfer-Encoding: quoted-printable\n\n"
              "Ch=E8re cliente,=20\nbonne journ=E9e   \n=ZZ reste\n"),
         {"Ch\xE8re cliente, ", "bonne journ\xE9" "e", "=ZZ reste"}, {}, "iso-8859-1", false, true},
        {"base64 text body",
         Crlf("Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: base64\n\nbGlnbmUgMQpsaWdu\nZSAyCg==\n"),
         {"ligne 1", "ligne 2"}, {}, "utf-8"},
        {"alternative with HTML first: the text version is shown, the HTML is not kept",
         Crlf("Content-Type: multipart/alternative; boundary=A\n\n--A\nContent-Type: text/html\n\n<b>x</b>\n"
              "--A\nContent-Type: text/plain\n\nx\n--A--\n"),
         {"x"}, {}},
        {"text and HTML alternatives then two attachments, nothing after the inner part lost",
         Crlf("Content-Type: multipart/mixed; boundary=M\n\n--M\nContent-Type: multipart/alternative; boundary=A\n\n"
              "--A\nContent-Type: text/plain\n\nplain\n--A\nContent-Type: text/html\n\n<p>html</p>\n--A--\n"
              "--M\nContent-Type: image/png; name=\"p.png\"\nContent-Transfer-Encoding: base64\n\nYWJj\n"
              "--M\nContent-Disposition: attachment; filename=\"n.txt\"\n\nnote\n--M--\n"),
         {"plain", FileEntry("p.png"), FileEntry("n.txt")},
         {{"p.png", "abc"}, {"n.txt", "note\r\n"}}},
        {"forwarded message kept whole as .eml, the part after it kept too",
         Crlf("Content-Type: multipart/mixed; boundary=F\n\n--F\n\nsee below\n--F\nContent-Type: message/rfc822\n\n") + inner
             + Crlf("--F\nContent-Type: text/plain; name=after.txt\n\nafter\n--F--\n"),
         {"see below", FileEntry("message.eml"), FileEntry("after.txt")},
         {{"message.eml", inner}, {"after.txt", "after\r\n"}}},
        {"names from parameter pieces and encoded words, decoded to UTF-8",
         Crlf("Content-Type: multipart/mixed; boundary=N\n\n--N\n\nx\n--N\nContent-Type: application/pdf\n"
              "Content-Disposition: attachment; filename*0*=ISO-8859-1''r%E9sum;\n filename*1=\"e.pdf\"\n\nA\n"
              "--N\nContent-Type: image/png; name=\"=?UTF-8?B?w6l0w6k=?= =?UTF-8?Q?_2026.png?=\"\n\nB\n"
              "--N\nContent-Type: text/plain; name=\"=?x-inconnu?Q?caf=C3?= =?x-inconnu?Q?=A9.txt?=\"\n\nC\n--N--\n"),
         {"x", FileEntry("r\xC3\xA9sume.pdf"), FileEntry("\xC3\xA9t\xC3\xA9 2026.png"), FileEntry("caf\xC3\xA9.txt")},
         {{"r\xC3\xA9sume.pdf", "A\r\n"}, {"\xC3\xA9t\xC3\xA9 2026.png", "B\r\n"}, {"caf\xC3\xA9.txt", "C\r\n"}}},
        // A header block also ends at a line of blanks or at a line that is not a field.
        {"first line not a field: all of it is text", Crlf("Bonjour Anne,\nSubject: pas un champ\n\nfin\n"),
         {"Bonjour Anne,", "Subject: pas un champ", "", "fin"}, {}},
        {"a mailbox envelope line before the fields", Crlf("From a@x Mon Jan  1 10:00:00 2024\nSubject: s\n\ntexte\n"),
         {"texte"}, {}},
        {"header ended by a line of blanks", Crlf("Subject: x\n \t \nligne 1\nX-Pas: un champ\n"),
         {"ligne 1", "X-Pas: un champ"}, {}},
        {"text right after the last field", Crlf("Subject: x\nPremi\xC3\xA8re ligne\ndeuxi\xC3\xA8me\n"),
         {"Premi\xC3\xA8re ligne", "deuxi\xC3\xA8me"}, {}},
        {"parts whose content follows their fields",
         Crlf("Content-Type: multipart/mixed; boundary=P\n\n--P\nContent-Type: text/plain\nTexte de la partie\n"
              "--P\nContent-Type: application/octet-stream; name=a.bin\nContent-Transfer-Encoding: base64\nYWJj\n--P--\n"),
         {"Texte de la partie", FileEntry("a.bin")}, {{"a.bin", "abc"}}},
        {"two 255-byte names whose last dot is near the start, then a later part", longNames,
         {"x", FileEntry(longName), FileEntry(longName.substr(0, 253) + "_1"), FileEntry("fin.txt")},
         {{longName, "abc"}, {longName.substr(0, 253) + "_1", "def"}, {"fin.txt", "fin\r\n"}}},
        {"uuencoded part",
         Crlf("Content-Type: multipart/mixed; boundary=U\n\n--U\n\nx\n--U\nContent-Type: application/octet-stream; "
              "name=c.bin\nContent-Transfer-Encoding: x-uuencode\n\nbegin 644 c.bin\n#86)C\n`\nend\n--U--\n"),
         {"x", FileEntry("c.bin")}, {{"c.bin", "abc"}}},
        {"a delimiter before the part's blank line ends an empty part",
         Crlf("Content-Type: multipart/mixed; boundary=E\n\n--E\n\nx\n--E\nContent-Type: text/plain; name=e.txt\n"
              "--E\nContent-Type: text/plain; name=f.txt\n\nf\n--E--\n"),
         {"x", FileEntry("e.txt"), FileEntry("f.txt")}, {{"e.txt", ""}, {"f.txt", "f\r\n"}}},
    };
    for (const WalkCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Result r = Decode(c.wire);
        EXPECT_EQ(BodyAndFiles(r.msg), c.body);
        EXPECT_EQ(r.files, c.files);
        EXPECT_EQ(r.msg.Attachments.Count(), int(c.files.size()));
        EXPECT_EQ(r.msg.BodyCharset, c.charset);
        EXPECT_EQ(r.msg.BodyIsHtml, c.html);
        EXPECT_EQ(r.msg.BodyFlowed, c.flowed);
        // The same message cut into 7-byte pieces gives the same result.
        const Result small = Decode(c.wire, 7);
        EXPECT_EQ(BodyAndFiles(small.msg), c.body);
        EXPECT_EQ(small.files, c.files);
    }
}

TEST(MessageDecoder, ReadingAgainReusesIdenticalFiles)
{
    const auto wire = [](const std::string& Data) {
        return Crlf("Content-Type: multipart/mixed; boundary=R\n\n--R\n\nvoir\n--R\nContent-Type: application/pdf; "
                    "name=a.pdf\n\n" + Data + "\n--R\nContent-Type: application/pdf; name=a.pdf\n\n" + Data + "\n--R--\n");
    };
    TempFolder dir;
    const std::string path = dir.path().toStdString() + "/";
    const auto read = [&](const std::string& Wire) {
        TMailMessage msg;
        TMessageDecoder decoder(msg, path, [](const std::string&) {});
        FeedAll(decoder, Wire);
        return BodyAndFiles(msg);
    };
    const TStringList first = read(wire("un"));
    EXPECT_EQ(first, (TStringList{"voir", FileEntry("a.pdf"), FileEntry("a_1.pdf")}));  // one file per part
    EXPECT_EQ(read(wire("un")), first);
    EXPECT_EQ(FilesIn(path).size(), 2u);
    // Other bytes under the same name still get a numbered name of their own.
    EXPECT_EQ(read(wire("deux")), (TStringList{"voir", FileEntry("a_2.pdf"), FileEntry("a_3.pdf")}));
    EXPECT_EQ(FilesIn(path).size(), 4u);
}

TEST(MessageDecoder, NestingPastTheLimitIsKeptAsAFile)
{
    std::string wire;
    const int levels = TMessageDecoder::kMaxDepth + 3;
    for (int i = 0; i < levels; ++i)
        wire += "Content-Type: multipart/mixed; boundary=L" + std::to_string(i) + "\n\n--L" + std::to_string(i) + "\n";
    wire += "\ndeep text\n";
    for (int i = levels - 1; i >= 0; --i)
        wire += "--L" + std::to_string(i) + "--\n";
    wire += "";
    const Result r = Decode(Crlf(wire));
    ASSERT_EQ(r.files.size(), 1u);
    EXPECT_NE(r.files.begin()->second.find("deep text"), std::string::npos);
}

TEST(MessageDecoder, FileThatCannotBeWrittenIsAnErrorAndNotListed)
{
    TempFolder dir;
    TMailMessage msg;
    std::string error;
    {
        TMessageDecoder decoder(msg, dir.path().toStdString() + "/", [](const std::string&) {});
        // A file size limit makes the write fail as a full disk would.
        struct rlimit old;
        ::getrlimit(RLIMIT_FSIZE, &old);
        auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 1000;
        ::setrlimit(RLIMIT_FSIZE, &small);
        try {
            FeedAll(decoder, "Content-Type: application/octet-stream; name=big.bin\r\n\r\n" + std::string(5000, 'x') + "\r\n");
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }
    EXPECT_NE(error.find("Erreur d'écriture du fichier"), std::string::npos) << error;
    EXPECT_TRUE(msg.Attachments.Empty());
    EXPECT_TRUE(FilesIn(dir.path().toStdString()).empty());
}

TEST(MessageDecoder, LongLinesStayBounded)
{
    // A header line of 3 MB is cut; a body line of 20 MB is written whole, in pieces.
    std::string wire = "Subject: short\r\nX-Long: " + std::string(3 << 20, 'h') + "\r\nContent-Type: application/octet-stream; "
                       "name=line.bin\r\n\r\n" + std::string(20 << 20, 'b') + "\r\n";
    const Result r = Decode(wire);
    ASSERT_EQ(r.msg.Header.Count(), 4);
    EXPECT_EQ(r.msg.Header[1].size(), TMessageDecoder::kHeaderLineCap);
    EXPECT_EQ(r.msg.Subject, " short");
    EXPECT_EQ(r.msg.Attachments, (TStringList{"line.bin"}));
    EXPECT_EQ(r.files.at("line.bin").size(), (20u << 20) + 2);
}

TEST(MessageDecoder, OverlongTextIsAlsoKeptAsAFile)
{
    const std::string line(1000, 't');
    std::string text;
    while (text.size() <= TMessageDecoder::kBodyCap)
        text += line + "\r\n";
    const Result r = Decode("Subject: big\r\n\r\n" + text);
    ASSERT_EQ(r.msg.Attachments, (TStringList{"text.tmp"}));
    EXPECT_TRUE(r.files.at("text.tmp") == text);
    EXPECT_LE(size_t(r.msg.Body.Count()) * 1000, TMessageDecoder::kBodyCap + 1000);
}

} // namespace
