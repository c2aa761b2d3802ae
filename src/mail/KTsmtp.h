// TKTSMTP: the SMTP client session and its outgoing message composer; TPostMessage.
#pragma once

#include "mail/Capabilities.h"
#include "mail/KTExtstr.h"
#include "mail/KTUUE.h"
#include "net/SockSession.h"

#include <QBuffer>
#include <functional>
#include <string>

// The outgoing message. Assigning a list copies its entries into the record's own list.
class TPostMessage {
public:
    std::string FromName;          // display name of the sender
    std::string FromAddress;       // also used for MAIL FROM
    std::string Subject;
    std::string LocalProgram;      // text of the X-Mailer line
    std::string Date;              // text of the Date line, used unchanged; nothing fills it in
    std::string ReplyTo;
    std::string InReplyTo;         // Message-ID of the message answered, with its angle brackets
    std::string References;        // the answered message's References followed by its Message-ID
    TStringList Attachments;       // full paths of the files to attach
    TStringList ToAddress;
    TStringList ToCarbonCopy;
    TStringList ToBlindCarbonCopy; // only in the envelope, never in the header
    TStringList Body;              // one entry per line
};

enum TSubType { mtPlain, mtEnriched, mtSgml, mtTabSeperated, mtHtml };

using TRecipientNotFound = std::function<void(const std::string& Recipient)>;
// hiType: 1 = no sender address, 2 = no recipient.
using THeaderInComplete = std::function<void(bool& handled, int hiType)>;
using TFileItem = std::function<void(const std::string& Filename)>;
using TMailListReturn = std::function<void(const std::string& MailAddress)>;

class TKTSMTP : public TSocketSession {
    Q_OBJECT
public:
    explicit TKTSMTP(QObject* Owner = nullptr);
    ~TKTSMTP() override;

    // ---- Published properties ----
    TNotifyEvent OnConnect;        // after the HELO was accepted
    std::string UserID;            // the name sent with HELO
    TPostMessage PostMessage;
    // The header lines; Send rebuilds them, so after a send they are the header that was sent.
    TExStringList FinalHeader;
    UUMethods EncodeType = uuMime; // how attachments are encoded
    bool ClearParams = true;       // a successful send empties the recipient and attachment lists
    TSubType SubType = mtPlain;    // kept, never read

    // ---- Events (fired only when assigned) ----
    TRecipientNotFound OnRecipientNotFound;
    THeaderInComplete OnHeaderIncomplete;
    TNotifyEvent OnSendStart;
    TNotifyEvent OnSuccess;
    TNotifyEvent OnFailure;
    TFileItem OnEncodeStart;
    TFileItem OnEncodeEnd;
    TMailListReturn OnMailListReturn;   // published; nothing fires it
    TFileItem OnAttachmentNotFound;
    THandlerEvent OnAuthenticationFailed;

    // ---- Operations ----
    // Connects, reads the greeting and greets with HELO.
    void Connect() override;
    // Sends QUIT, then closes in every case.
    void Disconnect() override;
    // Cancels the running operation, or drops the connection without QUIT.
    void Abort() override;
    // Composes PostMessage and sends it to every recipient. Does nothing while Busy.
    void Send();

    // Fills FinalHeader, Boundary and BodyStream from PostMessage (run by Send).
    void BuildHeader();
    // The address of a recipient entry: between "<" and ">", else after the first ":", else
    // the entry whole.
    static std::string ExtractAddress(const std::string& Entry);

    // The name this machine gives in EHLO: its host name, or "localhost" when it has none fit for
    // the command.
    static std::string EhloName();

    // ---- Read-only state ----
    bool Busy() const { return FBusy; }
    // What the server announced in its last EHLO reply (empty after a HELO).
    const TCapabilities& Capabilities() const { return FCapabilities; }
    const std::string& Boundary() const { return FBoundary; }
    // Everything sent after the header block: the body, dot-stuffed, and the encoded parts.
    const QByteArray& BodyStream() const { return FBodyStream.data(); }

private:
    // Run by Connect after the greeting. When the session needs EHLO (UsesEhlo): EHLO, and for
    // secStartTls the STARTTLS command, the TLS handshake and EHLO again (what a server
    // announces in clear is not trusted); a server without STARTTLS ends the connection before
    // anything else is sent. Returns false when nothing was sent (HELO follows, as always).
    bool StartSecurity();
    // EHLO is needed for TLS (and for sign-in); otherwise the session greets with HELO.
    bool UsesEhlo() const { return Security != secNone; }
    // EHLO; fills Capabilities from the lines after the first of the reply.
    void Ehlo();
    void EncodeAttachment(int I);
    void WriteBody(const std::string& Text);
    void WriteBodyLines();
    std::string ReadMultiLineReply(std::string Reply);

    TCapabilities FCapabilities;
    QBuffer FBodyStream;
    std::string FBoundary;
    bool FBusy = false;
};
