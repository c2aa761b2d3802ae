// MIME header fields of a received part: structured values with parameters, encoded names
// (parameter continuations and encoded words) and file names made safe for the attachments folder.
#include "mail/PartHeader.h"

#include <QByteArray>
#include <QStringDecoder>
#include <algorithm>
#include <vector>

namespace mimepart {

int HexValue(char C)
{
    if (C >= '0' && C <= '9')
        return C - '0';
    if (C >= 'A' && C <= 'F')
        return C - 'A' + 10;
    if (C >= 'a' && C <= 'f')
        return C - 'a' + 10;
    return -1;
}

namespace {

std::string Lower(std::string_view S)
{
    std::string r(S);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return r;
}

bool IsBlank(char C) { return C == ' ' || C == '\t' || C == '\r' || C == '\n'; }

std::string_view Trim(std::string_view S)
{
    while (!S.empty() && IsBlank(S.front()))
        S.remove_prefix(1);
    while (!S.empty() && IsBlank(S.back()))
        S.remove_suffix(1);
    return S;
}

// %XX sequences to bytes; a "%" without two hex digits stays.
std::string PercentDecode(std::string_view S)
{
    std::string out;
    for (size_t i = 0; i < S.size(); ++i) {
        if (S[i] == '%' && i + 2 < S.size() && HexValue(S[i + 1]) >= 0 && HexValue(S[i + 2]) >= 0) {
            out += char(HexValue(S[i + 1]) * 16 + HexValue(S[i + 2]));
            i += 2;
        } else {
            out += S[i];
        }
    }
    return out;
}

bool DecodesAs(QStringDecoder& Decoder, std::string_view Bytes, std::string& Out)
{
    if (!Decoder.isValid())
        return false;
    const QString text = Decoder.decode(QByteArrayView(Bytes.data(), qsizetype(Bytes.size())));
    if (Decoder.hasError())
        return false;
    Out = text.toUtf8().toStdString();
    return true;
}

// One numbered or encoded piece of a parameter value.
struct TPiece {
    bool Encoded = false;
    std::string Text;
};

} // namespace

std::string TFieldValue::Param(const std::string& Name) const
{
    const auto it = Params.find(Name);
    return it == Params.end() ? std::string() : it->second;
}

std::string ToUtf8(std::string_view Charset, std::string_view Bytes)
{
    std::string out;
    const std::string name = Lower(Trim(Charset));
    if (!name.empty() && name != "us-ascii" && name != "utf-8" && name != "utf8") {
        QStringDecoder decoder(name.c_str(), QStringConverter::Flag::Stateless);
        if (DecodesAs(decoder, Bytes, out))
            return out;
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    if (DecodesAs(utf8, Bytes, out))
        return out;
    QStringDecoder cp1252("windows-1252", QStringConverter::Flag::Stateless);
    if (DecodesAs(cp1252, Bytes, out))
        return out;
    return QString::fromLatin1(Bytes.data(), qsizetype(Bytes.size())).toUtf8().toStdString();
}

TFieldValue ParseField(std::string_view Field)
{
    TFieldValue result;
    size_t i = Field.find(';');
    result.Value = Lower(Trim(Field.substr(0, i)));
    std::map<std::string, std::map<int, TPiece>> pieces;
    while (i != std::string_view::npos && i < Field.size()) {
        ++i;  // past ";"
        while (i < Field.size() && IsBlank(Field[i]))
            ++i;
        const size_t eq = Field.find_first_of("=;", i);
        if (eq == std::string_view::npos)
            break;
        if (Field[eq] == ';') {
            i = eq;
            continue;
        }
        std::string name = Lower(Trim(Field.substr(i, eq - i)));
        i = eq + 1;
        while (i < Field.size() && IsBlank(Field[i]))
            ++i;
        std::string value;
        if (i < Field.size() && Field[i] == '"') {
            ++i;
            while (i < Field.size() && Field[i] != '"') {
                if (Field[i] == '\\' && i + 1 < Field.size())
                    ++i;
                value += Field[i++];
            }
            i = Field.find(';', i);
        } else {
            const size_t end = Field.find(';', i);
            value = std::string(Trim(Field.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i)));
            i = end;
        }
        if (name.empty())
            continue;
        // name, name*, name*N, name*N*
        bool encoded = false;
        if (name.back() == '*') {
            encoded = true;
            name.pop_back();
        }
        int index = -1;
        const size_t star = name.find('*');
        if (star != std::string::npos) {
            const std::string digits = name.substr(star + 1);
            if (digits.empty() || digits.size() > 4 || !std::all_of(digits.begin(), digits.end(), ::isdigit))
                continue;
            index = std::stoi(digits);
            name.erase(star);
        }
        if (index < 0 && !encoded) {
            result.Params.emplace(name, value);  // the first occurrence counts
            continue;
        }
        pieces[name].emplace(std::max(index, 0), TPiece{encoded, value});
    }
    // Joined pieces, decoded from the charset the first one names; they win over a plain value.
    for (const auto& [name, parts] : pieces) {
        std::string charset, bytes;
        int expected = 0;
        for (const auto& [index, piece] : parts) {
            if (index != expected++)
                break;
            std::string_view text = piece.Text;
            if (piece.Encoded && index == 0) {
                const size_t q1 = text.find('\'');
                const size_t q2 = q1 == std::string_view::npos ? q1 : text.find('\'', q1 + 1);
                if (q2 != std::string_view::npos) {
                    charset = std::string(text.substr(0, q1));
                    text = text.substr(q2 + 1);
                }
            }
            bytes += piece.Encoded ? PercentDecode(text) : std::string(text);
        }
        result.Params[name] = ToUtf8(charset, bytes);
    }
    return result;
}

std::string DecodeWords(std::string_view Text)
{
    std::string out;
    std::string plain;          // bytes outside encoded words, not yet converted
    std::string pendingBlank;   // blanks after an encoded word, dropped when another word follows
    bool afterWord = false;
    auto flushPlain = [&] {
        if (!plain.empty())
            out += ToUtf8("", plain);
        plain.clear();
    };
    size_t i = 0;
    while (i < Text.size()) {
        bool decoded = false;
        if (Text[i] == '=' && i + 1 < Text.size() && Text[i + 1] == '?') {
            const size_t q1 = Text.find('?', i + 2);
            const size_t q2 = q1 == std::string_view::npos ? q1 : Text.find('?', q1 + 1);
            const size_t end = q2 == std::string_view::npos ? q2 : Text.find("?=", q2 + 1);
            if (end != std::string_view::npos && q2 == q1 + 2) {
                std::string charset(Text.substr(i + 2, q1 - i - 2));
                charset = charset.substr(0, charset.find('*'));  // a language suffix
                const char kind = Text[q1 + 1];
                const std::string_view data = Text.substr(q2 + 1, end - q2 - 1);
                std::string bytes;
                bool ok = !charset.empty() && data.find_first_of(" \t") == std::string_view::npos;
                if (ok && (kind == 'B' || kind == 'b')) {
                    const auto r = QByteArray::fromBase64Encoding(QByteArray(data.data(), qsizetype(data.size())),
                                                                  QByteArray::AbortOnBase64DecodingErrors);
                    ok = r.decodingStatus == QByteArray::Base64DecodingStatus::Ok;
                    bytes = r.decoded.toStdString();
                } else if (ok && (kind == 'Q' || kind == 'q')) {
                    for (size_t k = 0; k < data.size() && ok; ++k) {
                        if (data[k] == '_') {
                            bytes += ' ';
                        } else if (data[k] == '=') {
                            ok = k + 2 < data.size() && HexValue(data[k + 1]) >= 0 && HexValue(data[k + 2]) >= 0;
                            if (ok)
                                bytes += char(HexValue(data[k + 1]) * 16 + HexValue(data[k + 2]));
                            k += 2;
                        } else {
                            bytes += data[k];
                        }
                    }
                } else {
                    ok = false;
                }
                if (ok) {
                    if (!afterWord)
                        plain += pendingBlank;
                    pendingBlank.clear();
                    flushPlain();
                    out += ToUtf8(charset, bytes);
                    afterWord = true;
                    i = end + 2;
                    decoded = true;
                }
            }
        }
        if (decoded)
            continue;
        if (afterWord && (Text[i] == ' ' || Text[i] == '\t')) {
            pendingBlank += Text[i++];
            continue;
        }
        plain += pendingBlank;
        pendingBlank.clear();
        afterWord = false;
        plain += Text[i++];
    }
    plain += pendingBlank;
    flushPlain();
    return out;
}

std::string SafeFileName(std::string_view Name)
{
    const size_t sep = Name.find_last_of("/\\");
    if (sep != std::string_view::npos)
        Name.remove_prefix(sep + 1);
    std::string name;
    for (char c : Name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7F)
            name += c;
    }
    size_t b = 0;
    while (b < name.size() && (name[b] == ' ' || name[b] == '.'))
        ++b;
    size_t e = name.size();
    while (e > b && name[e - 1] == ' ')
        --e;
    return name.substr(b, e - b);
}

void SplitName(const std::string& Name, std::string& Stem, std::string& Ext)
{
    const size_t dot = Name.find_last_of('.');
    if (dot == std::string::npos || dot == 0) {
        Stem = Name;
        Ext.clear();
    } else {
        Stem = Name.substr(0, dot);
        Ext = Name.substr(dot);
    }
}

std::string CutName(const std::string& Name, std::size_t MaxBytes)
{
    if (Name.size() <= MaxBytes)
        return Name;
    std::string stem, ext;
    SplitName(Name, stem, ext);
    if (ext.size() > 16 || ext.size() > MaxBytes / 2) {  // not an extension worth keeping
        stem = Name;
        ext.clear();
    }
    return CutBytes(stem, MaxBytes - ext.size()) + ext;
}

std::string CutBytes(const std::string& Text, std::size_t MaxBytes)
{
    if (Text.size() <= MaxBytes)
        return Text;
    size_t keep = MaxBytes;
    // Back to the start of a UTF-8 character.
    while (keep > 0 && (static_cast<unsigned char>(Text[keep]) & 0xC0) == 0x80)
        --keep;
    return Text.substr(0, keep);
}

} // namespace mimepart
