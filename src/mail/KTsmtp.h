// TKTSMTP: the SMTP client session and its outgoing message composer; TPostMessage.
#pragma once

#include "mail/Capabilities.h"
#include "mail/KTExtstr.h"
#include "mail/KTUUE.h"
#include "mail/MailSession.h"
#include "mail/MessageSource.h"
#include "mail/Sasl.h"

#include <functional>
#include <string>
#include <vector>

// The outgoing message. Assigning a list copies its entries into the record's own list.
class TPostMessage {
public:
    std::string FromName;          // display name of the sender
    std::string FromAddress;       // also used for MAIL FROM
    std::string Subject;
    std::string LocalProgram;      // text of the X-Mailer line
    std::string Date;              // text of the Date line, used unchanged; empty: the time of sending
    std::string ReplyTo;
    std::string InReplyTo;         // Message-ID of the message answered, with its angle brackets
    std::string References;        // the answered message's References followed by its Message-ID
    TStringList Attachments;       // full paths of the files to attach
    // Recipient entries; each may hold several addresses separated by "," or ";".
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

// One complete server reply: every continuation line ("250-...") up to the last line.
struct TSmtpReply {
    int Code = 0;                    // the last line's three digits; 0 when it has none
    std::string Text;                // every line, line ends included
    std::vector<std::string> Lines;  // every line without its line end
    // True when the code is in [First, Last].
    bool In(int First, int Last) const { return Code >= First && Code <= Last; }
};

class TKTSMTP : public TMailSession {
    Q_OBJECT
public:
    explicit TKTSMTP(QObject* Owner = nullptr);
    ~TKTSMTP() override;

    // ---- Published properties ----
    TNotifyEvent OnConnect;        // after the HELO was accepted
    std::string UserID;            // the name sent with HELO
    // Sign-in after EHLO. Off: the original session (HELO, no AUTH).
    bool SignInRequired = false;
    std::string AuthUserID;
    std::string AuthPassword;
    // PasswordSource (TMailSession) stands in for AuthPassword when assigned.
    TAuthMethod AuthMethod = TAuthMethod::Password;
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
    // OnAuthenticationFailed (TMailSession) is asked once after a refused HELO or sign-in.

    // ---- Operations ----
    // Connect (TMailSession): connects, reads the greeting and greets with HELO; with sign-in,
    // greets with EHLO and signs in.
    // Sends QUIT, then closes in every case.
    void Disconnect() override;
    // Composes PostMessage and sends it to every recipient. Does nothing while Busy. When the
    // server refuses any recipient the message is sent to nobody. Each command's reply runs under
    // OperationTimeOut, the message itself under a TRateLimit, and the reply to its final dot
    // under DataEndTimeOut.
    void Send();
    // ms allowed for the reply to the message's final dot (RFC 5321 asks clients to wait 10
    // minutes: the server may check the whole message first); 0 = none.
    int DataEndTimeOut = 600000;
    // Most bytes one reply may hold, every line included.
    static constexpr std::size_t MaxReply = 1024 * 1024;

    // Fills FinalHeader and Boundary from PostMessage and prepares the body (run by Send):
    // attachment files are opened here, and encoded only while the message is sent.
    void BuildHeader();
    // The address of a recipient entry: between "<" and ">", else after the first ":", else
    // the entry whole.
    static std::string ExtractAddress(const std::string& Entry);

    // Reads one complete reply (every continuation line); its first line is reported at level 1
    // unless Report is false.
    TSmtpReply ReadReply(bool Report = true);
    // Sends Command with CR LF and reads its complete reply.
    TSmtpReply Command(const std::string& Line);
    // Command, then a failure carrying the server's text unless the code is in [First, Last].
    TSmtpReply Require(const std::string& Line, int First, int Last);

    // The name this machine gives in EHLO: its host name, or "localhost" when it has none fit for
    // the command.
    static std::string EhloName();

    // ---- Read-only state ----
    // What the server announced in its last EHLO reply (empty after a HELO).
    const TCapabilities& Capabilities() const { return FCapabilities; }
    const std::string& Boundary() const { return FBoundary; }
    const TSmtpReply& LastSmtpReply() const { return FReply; }
    // Everything sent after the header block (the body, dot-stuffed, and the encoded parts), read
    // whole: for small messages, between BuildHeader and the end of Send.
    std::string BodyText() { return FBody.ReadAll(); }

protected:
    void CheckCredentials() override;
    void ReadGreeting() override;
    // When the session needs EHLO (UsesEhlo): EHLO, and for secStartTls the STARTTLS command,
    // the TLS handshake and EHLO again (what a server announces in clear is not trusted); a
    // server without STARTTLS ends the connection before anything else is sent. Otherwise HELO,
    // as always.
    void StartSecurity() override;
    bool SignInWanted() const override { return SignInRequired; }
    // AUTH with the mechanism AuthMethod chooses; 535 is a refusal, another failure the server's.
    bool TrySignIn(std::string& Refusal) override;
    void Logout(int LimitMs) override;
    void Opened() override;
    std::string StoredSecret() const override { return AuthPassword; }

private:
    // EHLO is needed for TLS (and for sign-in); otherwise the session greets with HELO.
    bool UsesEhlo() const { return Security != secNone || SignInRequired; }
    // EHLO; fills Capabilities from the lines after the first of the reply.
    void Ehlo();
    // HELO with UserID, sent once more when OnAuthenticationFailed accepts a refusal.
    void Helo();
    void AddAttachment(int I);
    void AddBodyLines(bool Encoded);
    // Raises the reply's text; a reply without a code leaves the dialogue out of step, so the
    // connection is dropped first.
    [[noreturn]] void Fail(const TSmtpReply& Reply);
    // Closes without QUIT and forgets unread lines.
    void DropConnection();

    TCapabilities FCapabilities;
    TMessageSource FBody;
    TSmtpReply FReply;
    std::string FBoundary;
};
