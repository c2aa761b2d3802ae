// BodyText: the body of a received message as the text the reader shows: converted from its
// charset, format=flowed paragraphs joined, HTML turned into text, extracted files noted.
#pragma once

#include <QString>
#include <functional>

class TMailMessage;
struct TReceivedFile;

// Turns an HTML document into plain text (given by the caller: it needs a text document of the
// user interface toolkit, which this layer does not link).
using THtmlToText = std::function<QString(const QString& html)>;

// Text sent as format=flowed (RFC 3676) with its soft line breaks joined: a line ending with a
// blank continues on the next line of the same quoting depth. With DelSp that blank is removed.
// Space-stuffing is undone; quoted lines are shown with ">" marks and a blank before their text.
QString JoinFlowed(const QString& text, bool delSp);

// The body of a message as display text: Body in BodyCharset (else UTF-8, else Windows-1252),
// flowed text joined, HTML through htmlToText. With fileNotes, the text is followed by the note of
// each file written (FileNote), each after an empty line. Lines are separated by "\n".
QString BodyDisplayText(const TMailMessage& message, const THtmlToText& htmlToText, bool fileNotes = true);

// The line that tells of a file written for a message: Fichier "name" extrait, with the name the
// file has in the attachments folder.
QString FileNote(const TReceivedFile& file);
