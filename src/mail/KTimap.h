// TKTIMAP: the IMAP4rev1 client session (INBOX status, listing, reading, deleting, IDLE);
// TImapStatus, TImapMailbox and TImapSummary.
#pragma once

#include "mail/Capabilities.h"
#include "mail/ImapParser.h"
#include "mail/KTpop3.h"
#include "mail/MailSession.h"
#include "mail/Sasl.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What STATUS tells of a mailbox without opening it.
struct TImapStatus {
    std::uint64_t Messages = 0;
    std::uint64_t Unseen = 0;
    std::uint64_t UidNext = 0;
    std::uint64_t UidValidity = 0;
};

// What SELECT or EXAMINE tells of the mailbox it opened.
struct TImapMailbox {
    std::string Name;
    std::uint64_t Exists = 0;
    std::uint64_t UidNext = 0;
    std::uint64_t UidValidity = 0;
    bool ReadOnly = false;
};

// One message of a listing: its UID, flags and the summary a POP3 listing would give (Subject and
// From with the blank after the colon kept, Bytes = RFC822.SIZE, Header = the fetched header lines
// then ".").
class TImapSummary {
public:
    std::uint64_t Uid = 0;
    std::uint64_t MsgNum = 0;             // sequence number when fetched
    std::vector<std::string> Flags;       // as sent ("\Seen", "$Forwarded")
    bool Seen = false;
    std::string Date;                     // from "Date:", the blank after the colon kept
    TSummary Summary;
};
// One summary of a listing; returning false stops the listing after it.
using TImapSummaryEvent = std::function<bool(const TImapSummary& Summary)>;

// An IMAP session on the mail session skeleton (TMailSession: busy guard, one limit for greeting
// and sign-in, the retry after a refused sign-in, secret wiping): implicit TLS or STARTTLS with the
// session's certificate checks, sign-in through SASL (or LOGIN where a password may travel that
// way), then one operation at a time. Failures: EAuthError for refused credentials, ESockError for the connection (the
// server's BYE included), EImapProtocolError for what cannot be read (the connection is closed),
// std::runtime_error with the server's line (tag removed) for a refused command.
class TKTIMAP : public TMailSession {
    Q_OBJECT
public:
    explicit TKTIMAP(QObject* Owner = nullptr);
    ~TKTIMAP() override;

    // ---- Published properties ----
    std::string UserID;
    std::string Password;
    TAuthMethod AuthMethod = TAuthMethod::Password;
    // PasswordSource and OnAuthenticationFailed (TMailSession) stand in for Password and repair a
    // refused sign-in once.
    // Prefix of every file the decoder writes; a folder must end with "/".
    std::string AttachFilePath;
    // Messages per FETCH command of a listing.
    int ListBatch = 250;

    // ---- Events (fired only when assigned) ----
    THandlerEvent OnAuthenticationNeeded;
    TNotifyEvent OnRetrieveStart;
    TNotifyEvent OnRetrieveEnd;
    // The server reported how many messages the selected mailbox holds (EXISTS).
    std::function<void(std::uint64_t Exists)> OnExists;
    // While in IDLE: bytes arrived or the connection ended. Fired from the event loop, never from
    // inside an operation of this session; PollIdle then reads what came.
    TNotifyEvent OnIdleActivity;

    // ---- Operations ----
    // Connects (TLS as Security says), reads the greeting and capabilities, and signs in
    // (TMailSession::Connect runs the steps below).
    void Connect() override;
    // LOGOUT, then closes in every case.
    void Disconnect() override;
    // Cancels the running operation, or drops the connection without LOGOUT.
    void Abort() override;
    // STATUS of a mailbox (MESSAGES UNSEEN UIDNEXT UIDVALIDITY); no mailbox needs to be open.
    TImapStatus Status(const std::string& Mailbox = "INBOX");
    // SELECT (EXAMINE with ReadOnly) a mailbox.
    TImapMailbox Select(const std::string& Mailbox = "INBOX", bool ReadOnly = false);
    // Summaries of messages First to Last (sequence numbers) of the open mailbox, ListBatch at a
    // time; returns how many were handed to Each.
    int ListSummaries(std::uint64_t First, std::uint64_t Last, const TImapSummaryEvent& Each);
    // Summaries of the messages whose UIDs are in Set ("5:*", "3,7").
    int FetchSummaries(const std::string& Set, const TImapSummaryEvent& Each);
    // The whole message Uid of the open mailbox streamed through the message decoder into
    // MailMessage() and its attachment files, then marked \Seen. The answer's start is read under
    // the operation limit, the body literal under a TRateLimit (its size has no bound).
    void RetrieveMessage(std::uint64_t Uid);
    // Marks Uid \Deleted and expunges it (UID EXPUNGE with UIDPLUS, else EXPUNGE).
    void DeleteMessage(std::uint64_t Uid);
    // Enters IDLE on the open mailbox; returns once the server accepted. Raises when the server
    // does not offer IDLE.
    void StartIdle();
    // Reads what arrived while in IDLE without waiting (EXISTS reaches OnExists). Raises
    // ESockError when the connection ended or the server said BYE.
    void PollIdle();
    // Ends IDLE (DONE) and waits for the server's answer.
    void StopIdle();
    // CAPABILITY: refills Capabilities.
    void ReadCapabilities();

    // ---- Read-only state ----
    const TCapabilities& Capabilities() const { return FCapabilities; }
    const TMailMessage& MailMessage() const { return FMailMessage; }
    const TImapMailbox& Selected() const { return FSelected; }
    bool Idling() const { return FIdling; }
    // Busy() and SignInMechanism() ("LOGIN" or a SASL name) come from TMailSession.

protected:
    void CheckCredentials() override;
    void ReadGreeting() override;
    void StartSecurity() override;
    bool SignInWanted() const override { return !FPreAuthenticated; }
    bool TrySignIn(std::string& Refusal) override;
    void AfterSignIn() override;
    void Logout(int LimitMs) override;
    std::string StoredSecret() const override { return Password; }

private:
    std::string NextTag();
    // Reads one whole response through the parser, feeding it the session's line reader.
    TImapResponse ReadResponse();
    // Sends "<tag> Text" and reads up to its tagged answer; untagged responses go to Untagged,
    // then to Each.
    TImapResponse Command(const std::string& Text, const std::function<void(const TImapResponse&)>& Each = {});
    // Command whose arguments after Verb are strings, sent quoted or as literals.
    TImapResponse CommandStrings(const std::string& Verb, const std::vector<std::string>& Strings);
    TImapResponse WaitTagged(const std::string& Tag, const std::function<void(const TImapResponse&)>& Each);
    // Raises with the server's words unless Reply is OK.
    static void RequireOk(const TImapResponse& Reply);
    // What every untagged response tells the session (capabilities, message count, BYE).
    void Untagged(const TImapResponse& R);
    void NoteCode(const TImapResponse& R);
    void CapabilitiesFrom(const std::string& Words);
    // AUTHENTICATE with FMechanism (TMailSession::SaslSignIn over tagged IMAP lines).
    bool AuthenticateSasl(std::string& Refusal);
    // Leaves IDLE and closes without LOGOUT, dropping what was received.
    void CloseQuietly();
    int FetchSummariesOf(const std::string& Command, const TImapSummaryEvent& Each);
    TImapSummary SummaryFrom(const TImapResponse& R) const;
    // Runs Work as one operation: busy guard, connection required, the connection closed when the
    // connection itself failed or the server could not be read.
    template <typename F>
    auto Operation(F Work) -> decltype(Work());

    TImapParser FParser;
    TCapabilities FCapabilities;
    TMailMessage FMailMessage;
    TImapMailbox FSelected;
    std::string FIdleTag;
    unsigned FTagCount = 0;
    bool FPreAuthenticated = false;  // the greeting was PREAUTH: no sign-in
    bool FIdling = false;
    bool FReading = false;
    bool FLoggingOut = false;
    bool FActivityPosted = false;
};
