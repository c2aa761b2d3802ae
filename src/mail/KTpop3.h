// TKTPOP3: the POP3 client session; TSummary and TMailMessage.
#pragma once

#include "mail/Capabilities.h"
#include "mail/KTExtstr.h"
#include "mail/KTUUE.h"
#include "mail/MailSession.h"
#include "mail/Sasl.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The header summary of one message (RetrieveSummary).
class TSummary {
public:
    std::string Subject;   // from "Subject:", the blank after the colon kept
    std::string From;      // from "From:", the blank after the colon kept
    int Bytes = 0;         // size announced by LIST
    std::string MessageId; // from "Message-ID:", at most 256 characters
    TExStringList Header;  // the header lines as received, ending with the entry "."
    bool Unread = false;   // not yet read (IMAP: no \Seen flag); POP3 cannot tell, so never
};

// One file the decoder wrote for a received message.
struct TReceivedFile {
    std::string Name;        // its name in the attachments folder (AttachFilePath + Name), UTF-8
    std::uint64_t Size = 0;  // bytes in the file
    std::string Type;        // the part's MIME type, lower-cased ("application/pdf", "message/rfc822")
    bool operator==(const TReceivedFile&) const = default;
};

// One fetched message (RetrieveMessage).
class TMailMessage {
public:
    TExStringList Header;     // the raw lines of the top-level header, the empty line included
    TStringList Body;         // the lines of the shown text part only
    TStringList Attachments;  // names of the files written, without the AttachFilePath prefix
    std::vector<TReceivedFile> Files;  // the files written, in the order of their parts
    std::string From;
    std::string Subject;
    std::string MessageId;
    // How to show Body: the declared charset of the text part it holds (lower-cased, empty when
    // none was declared), whether that part is HTML, and its format=flowed parameters. Body holds
    // the part's bytes after transfer decoding, in that charset; turning them into display text
    // is the reader's job.
    std::string BodyCharset;
    bool BodyIsHtml = false;
    bool BodyFlowed = false;
    bool BodyDelSp = false;
};

using TListEvent = std::function<void(int Msg, int Size)>;
// One summary of a listing; returning false stops the listing after it.
using TSummaryEvent = std::function<bool(int MsgNum, const TSummary& Summary)>;

class TKTPOP3 : public TMailSession {
    Q_OBJECT
public:
    // What the next message lines are for.
    enum TPartMode : int { AttachmentPart = 0, BodyText = 1, TopHeader = 2 };

    explicit TKTPOP3(QObject* Owner = nullptr);
    ~TKTPOP3() override;

    // ---- Published properties ----
    std::string UserID;
    std::string Password;
    // How to sign in; Password is the original USER/PASS. PasswordSource (TMailSession) stands in
    // for Password when assigned.
    TAuthMethod AuthMethod = TAuthMethod::Password;
    bool DeleteOnRead = false;     // RetrieveMessage deletes the message after fetching it
    // Prefix of every file the decoder writes; a folder must end with "/". Empty = working folder.
    std::string AttachFilePath;

    // ---- Events (fired only when assigned) ----
    TNotifyEvent OnConnect;        // after a login, also when STAT then failed
    THandlerEvent OnAuthenticationNeeded;
    TNotifyEvent OnReset;          // published; nothing fires it
    TListEvent OnList;             // published; nothing fires it
    TNotifyEvent OnRetrieveStart;
    TNotifyEvent OnRetrieveEnd;
    TNotifyEvent OnSuccess;        // DeleteMessage only
    TNotifyEvent OnFailure;        // DeleteMessage only

    // ---- Operations ----
    // Connect (TMailSession): connects, signs in and reads the message count with STAT. A refused
    // sign-in raises EAuthError (mail/MailErrors.h); other failures raise ESockError or
    // std::runtime_error. OnConnect fires after a sign-in, also when STAT then failed.
    // Sends QUIT, then closes in every case.
    void Disconnect() override;
    // TOP n 0 and LIST n: fills Summary. Does nothing while Busy.
    void RetrieveSummary(int MsgNum);
    // RETR n: fills MailMessage and writes the attachment files. Does nothing while Busy. The
    // message is read under a TRateLimit, not an operation limit (its size has no bound); its
    // lines reach the decoder in pieces of at most 64 KiB, whatever their length.
    void RetrieveMessage(int MsgNum);
    // DELE n. Does nothing while Busy.
    void DeleteMessage(int MsgNum);
    // UIDL: the unique id of every message, Ids[n - 1] for message n (empty for a number the
    // server did not list). Returns false, with Ids empty, when the server refuses the command
    // (it does not keep ids) or while Busy; a broken connection raises. The list is read under a
    // TRateLimit and bounded to what the message count allows.
    bool UIDL(std::vector<std::string>& Ids);
    // Reads the summaries of messages First to Last in order (TOP n 0 and LIST n each, as
    // RetrieveSummary) and hands each to Each. Where the server announces PIPELINING (and
    // AllowPipelining is set) the commands go out in batches and the replies are read in order;
    // otherwise one exchange at a time. When Each returns false, or a reply is refused, the
    // replies of the commands already sent are read and dropped first, so the session stays
    // usable. Fires no retrieve events. Returns how many summaries were handed over; does
    // nothing (returns 0) while Busy.
    int ListSummaries(int First, int Last, const TSummaryEvent& Each);
    bool AllowPipelining = true;
    // CAPA: fills Capabilities (left empty and not Known when the server has no CAPA).
    void ReadCapabilities();

    // ---- Read-only state ----
    const TSummary& Summary() const { return FSummary; }
    // What the server announced to the last CAPA of this connection.
    const TCapabilities& Capabilities() const { return FCapabilities; }
    const TMailMessage& MailMessage() const { return FMailMessage; }
    int MessageCount() const { return FMessageCount; }
    TKTUUProcessor* Codec() const { return FCodec; }
    // Decoder state of the last message.
    const std::string& PartFileName() const { return FPartFileName; }
    const std::string& Boundary() const { return FBoundary; }
    const std::string& ContentType() const { return FContentType; }
    const std::string& TransferEncoding() const { return FTransferEncoding; }
    int PartMode() const { return FPartMode; }
    // Most bytes a TOP header or a CAPA list may hold.
    static constexpr std::size_t MaxHeaderReply = 4 * 1024 * 1024;

protected:
    void CheckCredentials() override;
    void ReadGreeting() override;
    bool TrySignIn(std::string& Refusal) override;
    void AfterSignIn() override;
    // Sends QUIT within LimitMs and closes in every case.
    void Logout(int LimitMs) override;
    void Opened() override;
    std::string StoredSecret() const override { return Password; }

private:
    // ReadCapabilities unless CAPA was already sent on this connection.
    void LearnCapabilities();
    // The TOP and LIST exchanges of one message, one command at a time; fills FSummary.
    void ReadOneSummary(int MsgNum);
    // The header lines of a positive TOP reply, up to and including "."; fills FSummary.
    void ReadSummaryHeader();
    // The message size from a LIST reply.
    static int ListedSize(const std::string& Reply);
    // Reads and drops the TOP and LIST replies of one pipelined message.
    void SkipSummaryReplies();
    int ListPipelined(int First, int Last, const TSummaryEvent& Each);
    // Run by Connect after the greeting. With Security other than secNone: CAPA, and for
    // secStartTls the STLS command and the TLS handshake, then CAPA again (what a server
    // announces in clear is not trusted). A server without STLS ends the connection before any
    // credential is sent. With secNone nothing is sent.
    void StartSecurity() override;

    // Reads the RETR reply through the message decoder.
    void ReadMessage();

    TKTUUProcessor* FCodec;
    TCapabilities FCapabilities;
    std::string FPartFileName;
    std::string FBoundary;
    std::string FContentType;
    std::string FTransferEncoding;
    TSummary FSummary;
    TMailMessage FMailMessage;
    int FMessageCount = 0;
    int FPartMode = TopHeader;
    std::string FGreeting;
    bool FCapaAsked = false;     // CAPA was sent in this session
};
