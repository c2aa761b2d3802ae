// MailCharset: bytes of received mail as text, in the charset they declare or, when they declare
// none (or one that cannot be right), as UTF-8 or else Windows-1252.
#include "mail/MailCharset.h"

#include "net/TextHelpers.h"

#include <QStringDecoder>

namespace {

// Windows-1252 code points of the bytes 0x80 to 0x9F; the rest is Latin-1.
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Charsets that say nothing useful about 8-bit bytes.
bool isUndeclared(const std::string& name)
{
    return name.empty() || name == "us-ascii" || name == "ascii" || name == "ansi_x3.4-1968" || name == "unknown-8bit"
           || name == "x-unknown";
}

// Charsets read as Windows-1252.
bool isWestern(const std::string& name)
{
    return name == "iso-8859-1" || name == "iso8859-1" || name == "iso_8859-1" || name == "latin1"
           || name == "windows-1252" || name == "cp1252";
}

std::string normalized(const std::string& charset)
{
    std::string name = LowerAscii(charset);
    const size_t first = name.find_first_not_of(" \t\"");
    const size_t last = name.find_last_not_of(" \t\"");
    return first == std::string::npos ? std::string() : name.substr(first, last - first + 1);
}

} // namespace

QString Windows1252Text(const std::string& bytes)
{
    QString out;
    out.reserve(qsizetype(bytes.size()));
    for (unsigned char c : bytes)
        out += (c >= 0x80 && c < 0xA0) ? QChar(kCp1252High[c - 0x80]) : QChar(c);
    return out;
}

QString TextFromBytes(const std::string& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (!utf8.hasError())
        return text;
    return Windows1252Text(bytes);
}

QString DecodeCharset(const std::string& bytes, const std::string& charset)
{
    const std::string name = normalized(charset);
    if (isUndeclared(name))
        return TextFromBytes(bytes);
    if (isWestern(name))
        return Windows1252Text(bytes);
    QStringDecoder decoder(name.c_str(), QStringDecoder::Flag::Stateless);
    if (!decoder.isValid())
        return TextFromBytes(bytes);
    const QString text = decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    return decoder.hasError() ? TextFromBytes(bytes) : text;
}
