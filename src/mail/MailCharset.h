// MailCharset: bytes of received mail as text, in the charset they declare or, when they declare
// none (or one that cannot be right), as UTF-8 or else Windows-1252.
#pragma once

#include <QString>
#include <string>

// Bytes of unknown encoding as text: UTF-8 when they are valid UTF-8, otherwise Windows-1252.
QString TextFromBytes(const std::string& bytes);
// Bytes in Windows-1252 (the bytes 0x80 to 0x9F that it leaves undefined stay as those code points).
QString Windows1252Text(const std::string& bytes);

// Bytes declared in a charset as text: the one charset conversion for bodies, header values and
// file names. An empty, unknown or 7-bit charset ("us-ascii"), or bytes
// that are not valid in the declared charset, are read as UTF-8 or else Windows-1252; ISO-8859-1 is
// read as Windows-1252, its superset, which is what senders that declare it mostly write.
QString DecodeCharset(const std::string& bytes, const std::string& charset);
