// HeaderText: header lines of received mail as readable text: unfolding, encoded words
// (RFC 2047), raw 8-bit bytes, and the addresses of an address field.
#include "mail/HeaderText.h"

#include "mail/KTUUE.h"
#include "mail/MailCharset.h"
#include "net/TextHelpers.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// One piece of a header value: literal bytes, or the bytes an encoded word stands for.
struct Piece {
    bool word = false;
    std::string charset; // of a word, lower-cased, language suffix removed
    std::string bytes;
};

// The bytes of the text of a "B" word, false when it is not base64.
bool decodeB(const std::string& text, std::string& out)
{
    if (text.size() % 4 == 1)
        return false;
    const auto result = QByteArray::fromBase64Encoding(QByteArray::fromStdString(text),
                                                       QByteArray::AbortOnBase64DecodingErrors);
    if (!result)
        return false;
    out = result.decoded.toStdString();
    return true;
}

// Reads the encoded word that starts at value[at] ("=?"); on success fills the piece and returns
// the index after its "?=", else returns 0.
size_t readWord(const std::string& value, size_t at, Piece& piece)
{
    const size_t charsetEnd = value.find('?', at + 2);
    if (charsetEnd == std::string::npos || charsetEnd == at + 2 || charsetEnd + 3 > value.size())
        return 0;
    std::string charset = value.substr(at + 2, charsetEnd - at - 2);
    for (char c : charset)
        if (isBlank(c) || c == '=' || c == '"')
            return 0;
    const char encoding = value[charsetEnd + 1];
    if (value[charsetEnd + 2] != '?')
        return 0;
    const size_t textStart = charsetEnd + 3;
    const size_t textEnd = value.find('?', textStart);
    if (textEnd == std::string::npos || textEnd + 1 >= value.size() || value[textEnd + 1] != '=')
        return 0;
    const std::string text = value.substr(textStart, textEnd - textStart);
    for (char c : text)
        if (isBlank(c))
            return 0;

    // RFC 2231 lets a language follow the charset: "utf-8*fr". A charset that is not known is
    // read as undeclared text (DecodeCharset), as in a body.
    charset = LowerAscii(charset.substr(0, charset.find('*')));
    std::string bytes;
    const bool ok = (encoding == 'Q' || encoding == 'q') ? DecodeQuotedPrintable(text, bytes, true)
                    : (encoding == 'B' || encoding == 'b') ? decodeB(text, bytes)
                                                           : false;
    if (!ok)
        return 0;
    piece.word = true;
    piece.charset = charset;
    piece.bytes = std::move(bytes);
    return textEnd + 2;
}

// Literal header bytes: folds removed, any other line break made a blank.
QString literalText(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            size_t next = i + 1;
            if (c == '\r' && next < bytes.size() && bytes[next] == '\n')
                ++next;
            if (next < bytes.size() && (bytes[next] == ' ' || bytes[next] == '\t')) {
                i = next - 1; // a fold: the line break goes, the blank stays
                continue;
            }
            out += ' ';
            i = next - 1;
            continue;
        }
        out += c;
    }
    return TextFromBytes(out);
}

// The text of joined words: control characters become blanks.
QString wordText(const std::string& bytes, const std::string& charset)
{
    QString text = DecodeCharset(bytes, charset);
    for (QChar& c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    return text;
}

} // namespace

QString DecodeHeaderText(const std::string& value)
{
    std::vector<Piece> pieces;
    std::string literal;
    for (size_t i = 0; i < value.size();) {
        Piece word;
        const size_t end = value[i] == '=' && i + 1 < value.size() && value[i + 1] == '?' ? readWord(value, i, word) : 0;
        if (end == 0) {
            literal += value[i++];
            continue;
        }
        // Blanks and folds between two words are not part of the text.
        const bool onlyBlanks = literal.find_first_not_of(" \t\r\n") == std::string::npos;
        if (!literal.empty() && !(onlyBlanks && !pieces.empty() && pieces.back().word))
            pieces.push_back(Piece{false, {}, literal});
        literal.clear();
        // A word next to a word of the same charset continues its bytes: a character may be cut
        // between two words.
        if (!pieces.empty() && pieces.back().word && pieces.back().charset == word.charset)
            pieces.back().bytes += word.bytes;
        else
            pieces.push_back(std::move(word));
        i = end;
    }
    if (!literal.empty())
        pieces.push_back(Piece{false, {}, literal});

    QString out;
    for (const Piece& p : pieces)
        out += p.word ? wordText(p.bytes, p.charset) : literalText(p.bytes);
    return out;
}

THeaderLine HeaderLineKind(std::string_view Line, bool Partial)
{
    if (Line.find_first_not_of(" \t") == std::string_view::npos)
        return Partial ? THeaderLine::Undecided : THeaderLine::End;
    if (Line[0] == ' ' || Line[0] == '\t')
        return THeaderLine::Continuation;
    std::size_t i = 0;
    while (i < Line.size() && Line[i] != ':' && static_cast<unsigned char>(Line[i]) >= 33
           && static_cast<unsigned char>(Line[i]) <= 126)
        ++i;
    while (i < Line.size() && (Line[i] == ' ' || Line[i] == '\t'))  // the old form "Name :"
        ++i;
    if (i < Line.size())
        return Line[i] == ':' ? THeaderLine::Field : THeaderLine::Text;
    return Partial ? THeaderLine::Undecided : THeaderLine::Text;
}

bool IsEnvelopeLine(std::string_view Line) { return Line.substr(0, 5) == "From "; }

std::vector<std::string> UnfoldHeader(const TStringList& lines)
{
    std::vector<std::string> out;
    for (const std::string& entry : lines) {
        const std::string line = mailtext::StripLineEnd(entry);
        if (line == ".")
            break;
        const THeaderLine kind = HeaderLineKind(line);
        if (kind == THeaderLine::Text && out.empty() && IsEnvelopeLine(line))
            continue;
        if (kind == THeaderLine::End || kind == THeaderLine::Text)
            break;
        if (kind == THeaderLine::Continuation && !out.empty())
            out.back() += line;
        else if (kind == THeaderLine::Field)
            out.push_back(line);
    }
    return out;
}

std::string HeaderValue(const std::vector<std::string>& unfolded, const std::string& name, bool* found)
{
    const std::string wanted = LowerAscii(name);
    for (const std::string& line : unfolded) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string field = line.substr(0, colon);
        while (!field.empty() && (field.back() == ' ' || field.back() == '\t'))
            field.pop_back();
        if (LowerAscii(field) != wanted)
            continue;
        if (found)
            *found = true;
        return line.substr(colon + 1);
    }
    if (found)
        *found = false;
    return std::string();
}

QStringList AddressesOf(const std::string& value)
{
    QStringList out;
    std::string plain;   // the entry without quoted text and comments
    std::string angle;   // the text in the entry's first angle brackets
    bool hasAngle = false;
    bool inAngle = false;
    bool inQuotes = false;
    int commentDepth = 0;

    const auto endEntry = [&] {
        std::string address = hasAngle ? angle : plain;
        const size_t first = address.find_first_not_of(" \t\r\n");
        const size_t last = address.find_last_not_of(" \t\r\n");
        if (first != std::string::npos)
            out << TextFromBytes(address.substr(first, last - first + 1));
        plain.clear();
        angle.clear();
        hasAngle = inAngle = false;
    };

    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (inQuotes) {
            if (c == '\\' && i + 1 < value.size())
                ++i;
            else if (c == '"')
                inQuotes = false;
        } else if (commentDepth > 0) {
            if (c == '\\' && i + 1 < value.size())
                ++i;
            else if (c == '(')
                ++commentDepth;
            else if (c == ')')
                --commentDepth;
        } else if (inAngle) {
            if (c == '>')
                inAngle = false;
            else
                angle += c;
        } else if (c == '"') {
            inQuotes = true;
        } else if (c == '(') {
            commentDepth = 1;
        } else if (c == '<') {
            if (hasAngle)
                continue; // only the first bracketed address of an entry counts
            hasAngle = inAngle = true;
        } else if (c == ',' || c == ';') {
            endEntry();
        } else if (c == ':') {
            plain.clear(); // a group name
        } else {
            plain += c;
        }
    }
    endEntry();
    return out;
}

QDateTime MailDate(const std::string& value)
{
    QString text = DecodeHeaderText(value).trimmed();
    // A trailing comment names the zone ("+0200 (CEST)"); the offset before it is what counts.
    if (text.endsWith(QLatin1Char(')'))) {
        const qsizetype open = text.lastIndexOf(QLatin1Char('('));
        if (open > 0)
            text = text.left(open).trimmed();
    }
    return QDateTime::fromString(text, Qt::RFC2822Date);
}

QString DisplayDate(const std::string& value)
{
    const QDateTime when = MailDate(value);
    if (!when.isValid())
        return DecodeHeaderText(value).trimmed();
    return QLocale(QLocale::French, QLocale::France).toString(when.toLocalTime(), QStringLiteral("dddd d MMMM yyyy 'à' HH:mm"));
}
