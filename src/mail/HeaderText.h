// HeaderText: header lines of received mail as readable text: unfolding, encoded words
// (RFC 2047), raw 8-bit bytes, and the addresses of an address field.
#pragma once

#include "mail/KTExtstr.h"
#include "mail/MailCharset.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <string>
#include <string_view>
#include <vector>

// A header value with its encoded words ("=?charset?B?...?=", "=?charset?Q?...?=") decoded: the one
// decoder of encoded words, for display and for file names. Words separated only by blanks and
// folds are joined, and the bytes of adjacent words of the same charset are joined before they
// are converted (a character may be cut between two words). A word that is not well formed stays
// as it was written; a word whose charset is unknown is decoded and its bytes read as undeclared
// text (UTF-8, else Windows-1252), as DecodeCharset does. Folds (a line break followed by a blank) are removed, the
// other bytes read as UTF-8 or else Windows-1252. Control characters that a word decodes to
// become blanks, so a value always stays on one line.
QString DecodeHeaderText(const std::string& value);

// What a line of a header block is (the line without its line end). A header block ends at an
// empty line or a line of blanks only (End), or at the first line that is neither a field nor a
// continuation (Text): that line is the first line of the content. A field is a name of printable
// ASCII characters without blanks followed by ":" (blanks before the colon allowed, as in the
// old syntax); a continuation starts with a blank or a tab.
// With Partial, Line is only the start of a longer line: Undecided when the rest could still
// make it a field or a line of blanks.
enum class THeaderLine { Field, Continuation, End, Text, Undecided };
THeaderLine HeaderLineKind(std::string_view Line, bool Partial = false);
// A mailbox file's envelope line ("From sender date"): before the first field of a message it is
// neither a field nor the start of the content, and is passed over.
bool IsEnvelopeLine(std::string_view Line);

// The logical lines of a header block: a line that starts with a blank or a tab continues the line
// before it (the fold is removed, the blank kept). Reading stops where the block ends
// (HeaderLineKind) and at a "." line; line ends left on an entry are dropped.
std::vector<std::string> UnfoldHeader(const TStringList& lines);

// The value of the first field of that name (letter case ignored) in unfolded header lines: the
// text after the colon, as written (the blank after the colon kept). Found tells whether the field
// is there at all.
std::string HeaderValue(const std::vector<std::string>& unfolded, const std::string& name, bool* found = nullptr);

// The addresses of an address field ("Jean <j@x.fr>, \"Dupont, M.\" <m@y.fr>, k@z.fr"): the address
// in angle brackets of each entry, or the entry itself when it has none; quoted text, comments and
// group names are not taken for addresses. Empty entries are left out.
QStringList AddressesOf(const std::string& value);

// The moment a Date field value names; invalid when it is not an RFC 5322 date.
QDateTime MailDate(const std::string& value);
// A Date field value as the reader shows it: the date in local time, written the French way
// ("lundi 6 mai 2024 à 10:00"); a value that is not a valid date is shown as written.
QString DisplayDate(const std::string& value);
