// MIME header fields of a received part: structured values with parameters, encoded names
// (parameter continuations and encoded words) and file names made safe for the attachments folder.
#include "mail/PartHeader.h"

#include "mail/MailCharset.h"
#include "net/TextHelpers.h"

#include <algorithm>
#include <vector>

namespace mimepart {

namespace {

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

TFieldValue ParseField(std::string_view Field)
{
    TFieldValue result;
    size_t i = Field.find(';');
    result.Value = LowerAscii(TrimBlanks(Field.substr(0, i)));
    std::map<std::string, std::map<int, TPiece>> pieces;
    while (i != std::string_view::npos && i < Field.size()) {
        ++i;  // past ";"
        while (i < Field.size() && IsBlankByte(Field[i]))
            ++i;
        const size_t eq = Field.find_first_of("=;", i);
        if (eq == std::string_view::npos)
            break;
        if (Field[eq] == ';') {
            i = eq;
            continue;
        }
        std::string name = LowerAscii(TrimBlanks(Field.substr(i, eq - i)));
        i = eq + 1;
        while (i < Field.size() && IsBlankByte(Field[i]))
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
            value = std::string(TrimBlanks(Field.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i)));
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
        result.Params[name] = DecodeCharset(bytes, charset).toUtf8().toStdString();
    }
    return result;
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
    if (dot == std::string::npos || dot == 0 || Name.size() - dot > kMaxExtension) {
        Stem = Name;
        Ext.clear();
    } else {
        Stem = Name.substr(0, dot);
        Ext = Name.substr(dot);
    }
}

std::string CutName(const std::string& Name, std::size_t MaxBytes)
{
    return NumberedName(Name, 0, MaxBytes);
}

std::string NumberedName(const std::string& Name, int Number, std::size_t MaxBytes)
{
    const std::string suffix = Number > 0 ? "_" + std::to_string(Number) : std::string();
    if (Number <= 0 && Name.size() <= MaxBytes)
        return Name;
    std::string stem, ext;
    SplitName(Name, stem, ext);
    if (ext.size() > MaxBytes / 2) {  // not an extension worth keeping
        stem = Name;
        ext.clear();
    }
    const std::size_t tail = suffix.size() + ext.size();
    return CutBytes(stem, MaxBytes > tail ? MaxBytes - tail : 0) + suffix + ext;
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
