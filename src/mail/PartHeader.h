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

// An announced name as a plain file name: the text after the last "/" or "\", without control
// characters, blanks at both ends or leading dots; empty when nothing is left.
std::string SafeFileName(std::string_view Name);

// Name shortened to at most MaxBytes bytes: the extension (from the last dot, when short) is
// kept and the stem is cut at a UTF-8 character boundary.
std::string CutName(const std::string& Name, std::size_t MaxBytes);

// The Number-th other name for Name ("stem_N.ext"; Name itself, cut, for 0), never longer than
// MaxBytes: the stem is cut to make room for the counter and the extension.
std::string NumberedName(const std::string& Name, int Number, std::size_t MaxBytes);

// The first bytes of Text, at most MaxBytes, ending at a UTF-8 character boundary.
std::string CutBytes(const std::string& Text, std::size_t MaxBytes);

// An extension longer than this (dot included) is taken as part of the stem.
constexpr std::size_t kMaxExtension = 16;

// Stem and extension (from the last dot, dot included; empty when there is no dot after the
// first character or when what follows it is too long to be an extension).
void SplitName(const std::string& Name, std::string& Stem, std::string& Ext);

} // namespace mimepart
