// OutgoingText: the texts of an outgoing message that other mail programs must read back exactly:
// encoded words for header values, address lists, the date and message identifier, file-name
// parameters and quoted-printable body lines.
#pragma once

#include <QDateTime>
#include <string>
#include <vector>

namespace outgoing {

// True when every byte is 7-bit.
bool IsAscii(const std::string& Text);
// The text as UTF-8: unchanged when it is valid UTF-8, else read as Windows-1252.
std::string AsUtf8(const std::string& Text);

// The text as encoded words (UTF-8, "Q" encoding), each at most 75 characters, separated by a
// fold (CR LF and a blank) so that no line passes 78 characters; FirstLineUsed is how much of the
// first line the header name already takes.
std::string EncodedWords(const std::string& Text, size_t FirstLineUsed);
// The text as "B" encoded words separated by blanks, on one line (a file name inside quotes,
// for readers that know no other way).
std::string EncodedWordsB(const std::string& Text);

// The mailboxes of one typed entry: the entry cut at every "," or ";" outside quotes, angle
// brackets and comments, each piece trimmed of blanks, empty pieces left out.
std::vector<std::string> SplitAddressList(const std::string& Entry);
// The text without its comments (parts in parentheses outside quotes).
std::string WithoutComments(const std::string& Text);
// One mailbox as it may stand in a header: unchanged when ASCII, else its display name as
// encoded words before the bracketed address.
std::string HeaderMailbox(const std::string& Mailbox);
// "Name: " and the entries joined by "," exactly as typed when all are ASCII and the line fits
// the 998-character limit; otherwise every mailbox of the entries (display names encoded), joined
// by ", " and folded at those separators.
std::string AddressHeader(const std::string& Name, const std::vector<std::string>& Entries);

// RFC 5322 date with the local offset, "Tue, 8 Dec 2026 11:14:09 +0100" (English names).
std::string MailDate(const QDateTime& When);
// A new unique "<...@Domain>" identifier.
std::string NewMessageId(const std::string& Domain);
// The domain for message identifiers: the host's domain, else the sender address's domain, else
// the host name; only letters, digits, "-" and "." are kept.
std::string MessageIdDomain(const std::string& SenderAddress);

// A file name as the value of a quoted parameter: '"' and '\' escaped.
std::string QuotedParameter(const std::string& Text);
// "filename*=UTF-8''" with the name's bytes percent-encoded where they are not attribute
// characters.
std::string ExtendedFileNameParameter(const std::string& Name);

// True when a body of these lines must be sent as quoted-printable UTF-8: it holds bytes beyond
// ASCII or a line longer than SMTP carries.
bool BodyNeedsEncoding(const std::vector<std::string>& Lines);
// One body line (no line end) as quoted-printable lines of at most 76 characters, each followed
// by CR LF; soft breaks end with "=".
std::string QuotedPrintableLine(const std::string& Line);

} // namespace outgoing
