// TKTUUProcessor: base64 and uuencode encoding and decoding between two streams.
#pragma once

#include <QObject>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

class QIODevice;

enum UUMethods { uuMime = 0, uuCode = 1 };

// Shows a short notice to the user. The application connects it to its message box; with
// nothing connected the text goes to the Qt warning log. The mail layer knows no widgets.
using TShowMessageHook = std::function<void(const std::string& Text)>;
void SetShowMessageHook(TShowMessageHook Hook);
void ShowMessage(const std::string& Text);

// Base64 decoding as one stream, fed line by line or in pieces of long lines. Groups of four
// characters may run across line ends and characters outside the alphabet are ignored. Line
// rules: a line of two characters or fewer (unless it carries on a group begun on the line
// before) and a line starting with "====" give nothing; at a line's start, the characters
// outside the alphabet are passed over and "=", CR or LF among them ends the decoding. Elsewhere
// "=" ends the data after the whole bytes its group carries; at the end of the text the pending
// characters give their whole bytes.
class TBase64Decoder {
public:
    // Decodes Data (the line end, when present, included) and appends the bytes to Out.
    // LineStart: Data begins a line (false for the next piece of a line longer than one piece);
    // Complete: Data ends the line. The line rules are judged on a line's first piece.
    void Feed(const char* Data, std::size_t Size, bool LineStart, std::string& Out, bool Complete = true);
    // The end of the text: the pending characters give their whole bytes.
    void Finish(std::string& Out);
    // True once "=" (or the line-start rule) ended the decoding; later input gives nothing.
    bool Ended() const { return FEnded; }

private:
    void Flush(std::string& Out);
    unsigned FGroup[4] = {0, 0, 0, 0};
    int FPending = 0;
    bool FEnded = false;
};

// Uuencode decoding line by line: lines of two characters or fewer and a "begin " line give
// nothing, "end" ends; a zero-count line must be followed by "end", else the notice
// " Pas de ligne de fin." is shown and that next line is passed over.
class TUUDecoder {
public:
    // One line, without its line end; the bytes are appended to Out.
    void Feed(const char* Data, std::size_t Size, std::string& Out);
    bool Ended() const { return FEnded; }
    // The end of the text: a zero-count line that was the last one gets its notice.
    void Finish();

private:
    bool FAfterZero = false;
    bool FEnded = false;
};

// Quoted-printable text (RFC 2045) to bytes, appended to Out: "=XX" gives the byte XX (either
// case); with Underscores (the "Q" form of encoded words, RFC 2047) "_" gives a blank. An "=" not
// followed by two hex digits is kept as written, and the result is then false. Soft line breaks
// and line ends are the caller's: Text is the content of one line.
bool DecodeQuotedPrintable(std::string_view Text, std::string& Out, bool Underscores = false);

// Encodes InputStream (from its start) into text lines written to OutputStream, or decodes text
// lines of InputStream (from its current position) into bytes written to OutputStream.
class TKTUUProcessor : public QObject {
    Q_OBJECT
public:
    explicit TKTUUProcessor(QObject* Owner = nullptr);

    std::function<void(QObject* Sender)> OnBeginEncode;
    std::function<void(QObject* Sender)> OnEndEncode;   // also after a failure
    std::function<void(QObject* Sender)> OnBeginDecode;
    std::function<void(QObject* Sender)> OnEndDecode;   // only when decoding finished

    std::string Alphabet;                 // the 64 output characters, loaded by Encode
    QIODevice* InputStream = nullptr;     // not owned
    QIODevice* OutputStream = nullptr;    // not owned
    UUMethods Method = uuMime;

    // One line per 45 input bytes, each ending with CR LF; uuencode adds a last line of a
    // single grave accent. OutputStream is moved to its start afterwards.
    void Encode();
    // Decodes CR LF text lines: base64 as one stream (TBase64Decoder), leaving the input after the
    // line where the data ended; uuencode line by line (TUUDecoder).
    void Decode();

private:
    void CheckStreams() const;
    void EncodeLines();
    void DecodeMime();
    void DecodeUU();
};
