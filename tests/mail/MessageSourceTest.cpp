// Tests of TMessageSource: the streamed encoding of attachment files gives the same bytes as the
// buffered codec, its announced size is exact, and a file that changes while it is read is an
// error, never a shorter message.
#include "mail/MessageSource.h"
#include "TestDirs.h"

#include <QBuffer>
#include <gtest/gtest.h>
#include <istream>
#include <random>

using testsupport::TempFolder;

namespace {

std::string RandomBytes(size_t N, unsigned Seed)
{
    std::mt19937 rng(Seed);
    std::string s(N, '\0');
    for (char& c : s)
        c = char(rng() & 0xFF);
    return s;
}

// What the buffered codec writes for Data, with the dot-stuffing a message body needs.
std::string CodecText(const std::string& Data, UUMethods Method)
{
    QByteArray in = QByteArray::fromStdString(Data), out;
    QBuffer input(&in), output(&out);
    input.open(QIODevice::ReadOnly);
    output.open(QIODevice::WriteOnly);
    TKTUUProcessor codec;
    codec.Method = Method;
    codec.InputStream = &input;
    codec.OutputStream = &output;
    codec.Encode();
    std::string stuffed;
    for (qsizetype at = 0; at < out.size();) {
        const qsizetype end = out.indexOf('\n', at) + 1;
        if (out[at] == '.')
            stuffed += '.';
        stuffed.append(out.constData() + at, size_t(end - at));
        at = end;
    }
    return stuffed;
}

std::unique_ptr<QFile> Open(const QString& Path)
{
    auto f = std::make_unique<QFile>(Path);
    EXPECT_TRUE(f->open(QIODevice::ReadOnly));
    return f;
}

TEST(MessageSource, StreamedEncodingEqualsTheBufferedCodec)
{
    // Line and block edges: 45 bytes a line, 65520 bytes a block; 14 bytes make a uuencode line
    // that begins with ".".
    const size_t sizes[] = {0, 1, 2, 3, 14, 44, 45, 46, 59, 90, 65519, 65520, 65521, 65520 * 2 + 14, 300001};
    TempFolder dir;
    for (UUMethods method : {uuMime, uuCode}) {
        for (size_t size : sizes) {
            SCOPED_TRACE(std::to_string(size) + (method == uuMime ? " base64" : " uuencode"));
            const std::string data = RandomBytes(size, unsigned(size) + 1);
            const QString path = dir.file("f" + QString::number(size));
            testsupport::writeFileBytes(path, data);
            TMessageSource source;
            source.AddText("head\r\n");
            source.AddFile(path.toStdString(), Open(path), std::int64_t(size), method);
            source.AddText("tail\r\n");
            const std::string expected = "head\r\n" + CodecText(data, method) + "tail\r\n";
            EXPECT_EQ(source.Size(), std::int64_t(expected.size()));
            EXPECT_TRUE(source.ReadAll() == expected);
            // Measured and rewound as the sender does, then read in odd pieces: the same bytes.
            std::istream in(&source);
            in.seekg(0, std::ios::end);
            EXPECT_EQ(std::int64_t(in.tellg()), std::int64_t(expected.size()));
            in.seekg(0, std::ios::beg);
            std::string got;
            char piece[7777];
            while (in.read(piece, sizeof piece) || in.gcount() > 0)
                got.append(piece, size_t(in.gcount()));
            EXPECT_TRUE(got == expected);
        }
    }
}

TEST(MessageSource, FileEventsAndPrependedText)
{
    TempFolder dir;
    testsupport::writeFileBytes(dir.file("a"), "abc");
    testsupport::writeFileBytes(dir.file("b"), "");
    TMessageSource source;
    std::vector<std::string> events;
    source.OnFileStart = [&](const std::string& p) { events.push_back("start " + p.substr(p.size() - 1)); };
    source.OnFileEnd = [&](const std::string& p) { events.push_back("end " + p.substr(p.size() - 1)); };
    source.AddText("body\r\n");
    source.AddFile(dir.file("a").toStdString(), Open(dir.file("a")), 3, uuMime);
    source.AddFile(dir.file("b").toStdString(), Open(dir.file("b")), 0, uuCode);
    source.PrependText("header\r\n\r\n");
    EXPECT_EQ(source.ReadAll(), "header\r\n\r\nbody\r\nYWJj\r\n`\r\n");
    EXPECT_EQ(events, (std::vector<std::string>{"start a", "end a", "start b", "end b"}));
    source.Clear();
    EXPECT_EQ(source.Size(), 0);
    EXPECT_EQ(source.ReadAll(), "");
}

TEST(MessageSource, AFileThatChangesWhileReadIsAnError)
{
    TempFolder dir;
    const QString path = dir.file("shrinks");
    testsupport::writeFileBytes(path, RandomBytes(200000, 5));
    TMessageSource source;
    source.AddFile(path.toStdString(), Open(path), 200000, uuMime);
    // Cut after it was measured: the stream ends early and says why.
    source.OnFileStart = [&](const std::string&) { QFile::resize(path, 1000); };
    std::istream in(&source);
    std::string got(300000, '\0');
    in.read(got.data(), std::streamsize(got.size()));
    EXPECT_LT(in.gcount(), source.Size());
    ASSERT_TRUE(source.Failure());
    try {
        std::rethrow_exception(source.Failure());
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()), "Le fichier " + path.toStdString() + " a changé pendant l'envoi");
    }
    // A file that grew is sent as it was measured.
    testsupport::writeFileBytes(path, "abc");
    TMessageSource grown;
    grown.AddFile(path.toStdString(), Open(path), 3, uuMime);
    grown.OnFileStart = [&](const std::string&) { testsupport::writeFileBytes(path, "abcdef"); };
    EXPECT_EQ(grown.ReadAll(), "YWJj\r\n");
}

} // namespace
