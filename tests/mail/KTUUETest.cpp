// Tests of TKTUUProcessor: base64 and uuencode tables, round trips, line framing and the
// end-line notice.
#include "mail/KTUUE.h"

#include <QBuffer>
#include <QProcess>
#include <gtest/gtest.h>
#include <random>

namespace {

std::string RunCodec(UUMethods Method, const std::string& Input, bool DoEncode, qint64 StartPos = 0,
                qint64* EndPos = nullptr)
{
    QByteArray in(Input.data(), qsizetype(Input.size()));
    QByteArray out;
    QBuffer inBuf(&in), outBuf(&out);
    inBuf.open(QIODevice::ReadOnly);
    outBuf.open(QIODevice::ReadWrite);
    inBuf.seek(StartPos);
    TKTUUProcessor codec;
    codec.Method = Method;
    codec.InputStream = &inBuf;
    codec.OutputStream = &outBuf;
    if (DoEncode)
        codec.Encode();
    else
        codec.Decode();
    if (EndPos)
        *EndPos = inBuf.pos();
    return std::string(out.constData(), size_t(out.size()));
}

std::string Encode(UUMethods M, const std::string& In) { return RunCodec(M, In, true); }
std::string Decode(UUMethods M, const std::string& In) { return RunCodec(M, In, false); }

std::string RandomBytes(size_t N, unsigned Seed)
{
    std::mt19937 rng(Seed);
    std::string s(N, '\0');
    for (auto& c : s)
        c = char(rng() & 0xFF);
    return s;
}

// Collects the notices shown through the message hook during a test.
class MessageHookCapture {
public:
    MessageHookCapture() { SetShowMessageHook([this](const std::string& t) { shown.push_back(t); }); }
    ~MessageHookCapture() { SetShowMessageHook(nullptr); }
    std::vector<std::string> shown;
};

struct EncodeCase {
    UUMethods method;
    std::string input;
    std::string expected;
};

TEST(KTUUE, EncodeTable)
{
    const EncodeCase cases[] = {
        {uuMime, "abc", "YWJj\r\n"},
        {uuMime, "ab", "YWI=\r\n"},
        {uuMime, "a", "YQ==\r\n"},
        {uuMime, "", ""},
        {uuCode, "abc", "#86)C\r\n`\r\n"},
        {uuCode, "Cat", "#0V%T\r\n`\r\n"},
        {uuCode, "", "`\r\n"},
        // Value 0 is written as the grave accent, never as a blank.
        {uuCode, std::string(3, '\0'), "#````\r\n`\r\n"},
        {uuCode, "a", "!80\r\n`\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Encode(c.method, c.input), c.expected) << "method " << c.method << " input '" << c.input << "'";
}

TEST(KTUUE, FortyFiveBytesMakeOneLine)
{
    const std::string b45(45, 'x'), b46(46, 'x');
    const std::string full = QByteArray(b45.data(), 45).toBase64().toStdString();
    ASSERT_EQ(full.size(), 60u);
    EXPECT_EQ(Encode(uuMime, b45), full + "\r\n");
    EXPECT_EQ(Encode(uuMime, b46), full + "\r\neA==\r\n");

    const std::string uu45 = Encode(uuCode, b45);
    EXPECT_EQ(uu45.size(), 61u + 2 + 3);
    EXPECT_EQ(uu45[0], 'M');
    EXPECT_EQ(uu45.substr(61), "\r\n`\r\n");
    const std::string uu46 = Encode(uuCode, b46);
    EXPECT_EQ(uu46.substr(0, 63), uu45.substr(0, 63));
    EXPECT_EQ(uu46.substr(63), "!>`\r\n`\r\n");
}

TEST(KTUUE, RoundTripsOfZeroTo200Bytes)
{
    for (UUMethods m : {uuMime, uuCode}) {
        for (size_t n = 0; n <= 200; ++n) {
            const std::string data = RandomBytes(n, unsigned(n * 7 + m));
            const std::string text = Encode(m, data);
            ASSERT_EQ(Decode(m, text), data) << "method " << m << " size " << n;
            if (m == uuMime) {
                // Line by line, the text is standard base64 of each 45-byte slice.
                std::string expected;
                for (size_t at = 0; at < n; at += 45)
                    expected += QByteArray(data.data() + at, qsizetype(std::min<size_t>(45, n - at))).toBase64().toStdString()
                                + "\r\n";
                ASSERT_EQ(text, expected) << "size " << n;
            }
        }
    }
}

TEST(KTUUE, LargeRoundTripCrossesInternalBlocks)
{
    const std::string data = RandomBytes(3 * 1024 * 1024 + 17, 99);
    for (UUMethods m : {uuMime, uuCode})
        EXPECT_EQ(Decode(m, Encode(m, data)), data) << "method " << m;
}

TEST(KTUUE, EncodeReadsFromStartAndRewindsOutput)
{
    QByteArray in("abcdef"), out;
    QBuffer inBuf(&in), outBuf(&out);
    inBuf.open(QIODevice::ReadOnly);
    outBuf.open(QIODevice::ReadWrite);
    inBuf.seek(3);
    TKTUUProcessor codec;
    std::vector<std::string> events;
    codec.OnBeginEncode = [&](QObject* s) { events.push_back(s == &codec ? "begin" : "?"); };
    codec.OnEndEncode = [&](QObject*) { events.push_back("end:" + std::to_string(outBuf.pos())); };
    codec.InputStream = &inBuf;
    codec.OutputStream = &outBuf;
    codec.Encode();
    EXPECT_EQ(out.toStdString(), "YWJjZGVm\r\n");
    EXPECT_EQ(events, (std::vector<std::string>{"begin", "end:0"}));
    EXPECT_EQ(codec.Alphabet.size(), 64u);
}

TEST(KTUUE, EncodeFailureStillRewindsAndSignalsEnd)
{
    QByteArray in("abc"), out("previous");
    QBuffer inBuf(&in), outBuf(&out);
    inBuf.open(QIODevice::ReadOnly);
    outBuf.open(QIODevice::ReadOnly);  // writing fails
    outBuf.seek(4);
    TKTUUProcessor codec;
    int ends = 0;
    codec.OnEndEncode = [&](QObject*) { ++ends; };
    codec.InputStream = &inBuf;
    codec.OutputStream = &outBuf;
    EXPECT_THROW(codec.Encode(), std::runtime_error);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(outBuf.pos(), 0);
}

struct DecodeCase {
    const char* name;
    UUMethods method;
    std::string input;
    std::string expected;
    qint64 endPos;  // where the input is left; -1 = at its end
};

TEST(KTUUE, DecodeTable)
{
    const DecodeCase cases[] = {
        {"two lines", uuMime, "YWJj\r\nYWI=\r\n", "abcab", -1},
        {"stops after a padded line", uuMime, "YWJj\r\nYWI=\r\nYWJj\r\n", "abcab", 12},
        {"line starting with = ends at once", uuMime, "YWJj\r\n=YWJj\r\nYWJj\r\n", "abc", 13},
        {"==== line passed over", uuMime, "YWJj\r\n====\r\nYWJj\r\n", "abcabc", -1},
        {"short lines give nothing", uuMime, "YW\r\n\r\nYWJj\r\n", "abc", -1},
        {"invalid characters between groups", uuMime, "PGh0*bWw+Cg==\r\n", "<html>\n", -1},
        {"leading blanks", uuMime, "  YWJj\r\n", "abc", -1},
        {"bare line feeds", uuMime, "YWJj\nYWI=\n", "abcab", -1},
        {"last line without line end", uuMime, "YWJj\r\nYWJj", "abcabc", -1},
        {"group across the line end", uuMime, "YWJ\r\njYWI=\r\nYWJj\r\n", "abcab", 12},
        {"short last line carrying on a group", uuMime, "YWJjYW\r\nI=\r\n", "abcab", -1},
        {"pending characters at the end of the text", uuMime, "YWJjYWI\r\n", "abcab", -1},
        {"stray characters inside groups", uuMime, "YW*Jj!YW\r\n~I=\r\n", "abcab", -1},
        {"uu plain lines", uuCode, "#86)C\r\n`\r\n", "abc", -1},
        {"uu begin and end framing", uuCode, "begin 644 abc.txt\r\n#86)C\r\n`\r\nend\r\nM\r\n", "abc", 34},
        {"uu end right after data", uuCode, "#86)C\r\nend\r\n#86)C\r\n", "abc", 12},
        {"uu blank as zero", uuCode, "#86( \r\n", std::string("ab\0", 3), -1},
        {"uu trailing characters cut by a mailer", uuCode, "#86(\r\n", std::string("ab\0", 3), -1},
        {"uu bare line feeds", uuCode, "#86)C\n`\nend\n", "abc", -1},
    };
    MessageHookCapture hook;
    for (const auto& c : cases) {
        qint64 end = 0;
        EXPECT_EQ(RunCodec(c.method, c.input, false, 0, &end), c.expected) << c.name;
        EXPECT_EQ(end, c.endPos < 0 ? qint64(c.input.size()) : c.endPos) << c.name;
    }
    EXPECT_TRUE(hook.shown.empty());
}

// Python's own decoding of each text (characters outside the alphabet discarded).
std::vector<std::string> PythonBase64(const std::vector<std::string>& Texts)
{
    QProcess py;
    py.start("/usr/bin/python3", {"-c", "import sys, base64\n"
                                        "for t in sys.stdin.buffer.read().split(b'\\0'):\n"
                                        "    print(base64.b64decode(t, validate=False).hex())\n"});
    std::string input;
    for (size_t i = 0; i < Texts.size(); ++i)
        input += (i ? std::string(1, '\0') : std::string()) + Texts[i];
    py.write(input.data(), qint64(input.size()));
    py.closeWriteChannel();
    EXPECT_TRUE(py.waitForFinished(60000));
    std::vector<std::string> out;
    for (const QByteArray& line : py.readAllStandardOutput().split('\n'))
        if (out.size() < Texts.size())
            out.push_back(QByteArray::fromHex(line).toStdString());
    return out;
}

TEST(KTUUE, Base64AtEveryLineWidthMatchesPython)
{
    struct Case {
        int width;
        size_t size;
        bool stray;
        std::string data, text;
    };
    std::vector<Case> cases;
    for (int width = 60; width <= 80; ++width)
        for (size_t size : {1022u, 1023u, 1024u})
            for (bool stray : {false, true}) {
                Case c{width, size, stray, RandomBytes(size, unsigned(width * 7 + size)), ""};
                const std::string flat = QByteArray(c.data.data(), qsizetype(size)).toBase64().toStdString();
                for (size_t at = 0; at < flat.size(); at += size_t(width)) {
                    std::string line = flat.substr(at, size_t(width));
                    if (stray) {  // characters outside the alphabet, at the start, inside and at the end
                        line.insert(line.size() / 2, "*");
                        line.insert(0, at % 3 == 0 ? " " : "!");
                        line += "~";
                    }
                    c.text += line + "\r\n";
                }
                cases.push_back(std::move(c));
            }
    std::vector<std::string> texts;
    for (const Case& c : cases)
        texts.push_back(c.text);
    const std::vector<std::string> python = PythonBase64(texts);
    ASSERT_EQ(python.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE("width " + std::to_string(c.width) + ", " + std::to_string(c.size) + " bytes"
                     + (c.stray ? ", stray characters" : ""));
        const std::string mine = Decode(uuMime, c.text);
        EXPECT_TRUE(mine == python[i]) << mine.size() << " bytes against " << python[i].size();
        EXPECT_TRUE(mine == c.data);
    }
}

TEST(KTUUE, DecodeStartsAtCurrentPositionAndAppendsAtOutputPosition)
{
    QByteArray in("junk line\r\nYWJj\r\n"), out("XY");
    QBuffer inBuf(&in), outBuf(&out);
    inBuf.open(QIODevice::ReadOnly);
    outBuf.open(QIODevice::ReadWrite);
    inBuf.seek(11);
    outBuf.seek(2);
    TKTUUProcessor codec;
    std::vector<std::string> events;
    codec.OnBeginDecode = [&](QObject*) { events.push_back("begin"); };
    codec.OnEndDecode = [&](QObject*) { events.push_back("end"); };
    codec.InputStream = &inBuf;
    codec.OutputStream = &outBuf;
    codec.Decode();
    EXPECT_EQ(out.toStdString(), "XYabc");
    EXPECT_EQ(outBuf.pos(), 5);
    EXPECT_EQ(events, (std::vector<std::string>{"begin", "end"}));
}

TEST(KTUUE, ZeroCountLineWithoutEndLineShowsNotice)
{
    {
        MessageHookCapture hook;
        EXPECT_EQ(Decode(uuCode, "#86)C\r\n`  \r\nnot the end\r\n#86)C\r\n"), "abcabc");
        EXPECT_EQ(hook.shown, (std::vector<std::string>{" Pas de ligne de fin."}));
    }
    {
        MessageHookCapture hook;
        EXPECT_EQ(Decode(uuCode, "#86)C\r\n`  \r\n"), "abc");
        EXPECT_EQ(hook.shown, (std::vector<std::string>{" Pas de ligne de fin."}));
    }
    {
        MessageHookCapture hook;
        EXPECT_EQ(Decode(uuCode, "#86)C\r\n`  \r\nend\r\n#86)C\r\n"), "abc");
        EXPECT_TRUE(hook.shown.empty());
    }
}

} // namespace
