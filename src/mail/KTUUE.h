// TKTUUProcessor: base64 and uuencode encoding and decoding between two streams.
#pragma once

#include <QObject>
#include <functional>
#include <string>

class QIODevice;

enum UUMethods { uuMime = 0, uuCode = 1 };

// Shows a short notice to the user. The application connects it to its message box; with
// nothing connected the text goes to the Qt warning log. The mail layer knows no widgets.
using TShowMessageHook = std::function<void(const std::string& Text)>;
void SetShowMessageHook(TShowMessageHook Hook);
void ShowMessage(const std::string& Text);

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
    // Decodes CR LF text lines. Base64 stops at a line that begins with "=" or after a line that
    // held padding; uuencode passes over a "begin " line and stops at the "end" line.
    void Decode();

private:
    void CheckStreams() const;
    void EncodeLines();
    void DecodeMime();
    void DecodeUU();
};
