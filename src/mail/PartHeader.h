// MIME header fields of a received part: structured values with parameters, encoded names
// (parameter continuations and encoded words) and file names made safe for the attachments folder.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace mimepart {

// A structured field such as Content-Type or Content-Disposition: its value lower-cased
// ("text/plain", "attachment") and its parameters by lower-cased name. Parameters split into
// numbered pieces or given in the charset'language'%XX form are joined and decoded to UTF-8
// under their plain name.
struct TFieldValue {
    std::string Value;
    std::map<std::string, std::string> Params;
    // The parameter's value, or an empty text.
    std::string Param(const std::string& Name) const;
};

TFieldValue ParseField(std::string_view Field);

// Bytes in the named charset as UTF-8. An unknown charset, or bytes that are not valid in it,
// fall back to UTF-8 when the bytes are valid UTF-8, else to Windows-1252.
std::string ToUtf8(std::string_view Charset, std::string_view Bytes);

// Decodes the encoded words (=?charset?B?...?= and =?charset?Q?...?=) of Text into UTF-8;
// whitespace between two adjacent encoded words is dropped; malformed words stay as they are.
// Bytes outside encoded words that are not UTF-8 are read as Windows-1252.
std::string DecodeWords(std::string_view Text);

// An announced name as a plain file name: the text after the last "/" or "\", without control
// characters, blanks at both ends or leading dots; empty when nothing is left.
std::string SafeFileName(std::string_view Name);

// Name shortened to at most MaxBytes bytes: the extension (from the last dot, when short) is
// kept and the stem is cut at a UTF-8 character boundary.
std::string CutName(const std::string& Name, std::size_t MaxBytes);

// The first bytes of Text, at most MaxBytes, ending at a UTF-8 character boundary.
std::string CutBytes(const std::string& Text, std::size_t MaxBytes);

// Stem and extension (from the last dot, dot included; empty when there is no dot after the
// first character).
void SplitName(const std::string& Name, std::string& Stem, std::string& Ext);

// The value of a hexadecimal digit, or -1.
int HexValue(char C);

} // namespace mimepart
