// TMailSession: what the POP3, IMAP and SMTP sessions share: the busy guard, the session's opening
// (connection, greeting, security, sign-in with its one retry), SASL over the protocol's lines,
// operation limits and the wiping of secrets.
#pragma once

#include "mail/Sasl.h"
#include "net/SockSession.h"

#include <functional>
#include <string>

// Overwrites a secret's bytes before the text is dropped (the compiler may not skip it).
void WipeSecret(std::string& Text);

// A secret held for one scope: wiped when it ends.
class TSecretText {
public:
    explicit TSecretText(std::string Text = {}) : FText(std::move(Text)) {}
    ~TSecretText() { WipeSecret(FText); }
    TSecretText(const TSecretText&) = delete;
    TSecretText& operator=(const TSecretText&) = delete;
    const std::string& Text() const { return FText; }

private:
    std::string FText;
};

// The skeleton of a mail protocol session. Connect runs, under one operation limit:
// the connection, ReadGreeting, StartSecurity, the sign-in (TrySignIn; a refusal gets
// OnAuthenticationFailed as its one chance to repair, then one more try), then AfterSignIn. A
// failure after the connection was made logs out briefly (Logout) when the connection is still
// sound, else closes it at once; the first failure is the one the caller hears of. The secret
// given by PasswordSource is fetched before the connection opens and wiped once the session is
// open or has failed.
//
// Limits: every short exchange runs under OperationTimeOut (a default is set here, since a
// server that drips bytes must not hold a step for ever); transfers of legitimate size run under a
// TRateLimit (MinRateBytes per RateWindowMs); reply lines are bounded by MaxLineLength and
// multi-line replies by a TReplyLimit.
class TMailSession : public TSocketSession {
    Q_OBJECT
public:
    explicit TMailSession(QObject* Owner = nullptr);

    // Default of OperationTimeOut for mail sessions (ms).
    static constexpr int DefaultOperationTimeOut = 60000;

    // When assigned, gives the password (or OAuth 2 token) each time a sign-in needs one, in place
    // of the stored password (the account's password command). Its exceptions reach the caller of
    // Connect.
    std::function<std::string()> PasswordSource;
    // Asked once when a sign-in was refused; Handled = true tries once more (the handler may have
    // changed the credentials).
    THandlerEvent OnAuthenticationFailed;

    // Connects and opens the session as described above.
    void Connect() override;
    // Cancels the running operation, or drops the connection without a goodbye.
    void Abort() override;

    bool Busy() const { return FBusy; }
    // The mechanism of the last sign-in ("USER", "APOP" or a SASL name), empty when none was made.
    const std::string& SignInMechanism() const { return FMechanism; }
    // Longest wait for the reply to the goodbye after another failure of Connect (ms).
    static constexpr int QuitAfterFailureMs = 3000;

protected:
    // Sets Busy for its lifetime unless it was already set; Entered() tells which.
    class TBusyGuard {
    public:
        explicit TBusyGuard(TMailSession& Session) : FSession(Session), FEntered(!Session.FBusy) { Session.FBusy = true; }
        ~TBusyGuard()
        {
            if (FEntered)
                FSession.FBusy = false;
        }
        TBusyGuard(const TBusyGuard&) = delete;
        TBusyGuard& operator=(const TBusyGuard&) = delete;
        bool Entered() const { return FEntered; }
        // Clears Busy now (before the operation's last events fire).
        void Leave()
        {
            if (FEntered)
                FSession.FBusy = false;
            FEntered = false;
        }

    private:
        TMailSession& FSession;
        bool FEntered;
    };

    // ---- Steps of Connect, given by each protocol ----
    // Before anything is opened: credentials present and clean (may ask the user).
    virtual void CheckCredentials() {}
    // Reads the greeting; raises when the server does not welcome the client.
    virtual void ReadGreeting() = 0;
    // Protocol steps between the greeting and the sign-in (capabilities, STLS/STARTTLS, HELO).
    virtual void StartSecurity() = 0;
    // Whether this session signs in at all.
    virtual bool SignInWanted() const { return true; }
    // One sign-in attempt with Secret(): true when accepted; else Refusal gets the server's answer.
    // A refusal that is the server's own fault raises instead.
    virtual bool TrySignIn(std::string& Refusal) = 0;
    // After an accepted sign-in (POP3: STAT).
    virtual void AfterSignIn() {}
    // Says goodbye within LimitMs and closes in every case.
    virtual void Logout(int LimitMs) = 0;
    // Fired once the session is open (the protocol's OnConnect).
    virtual void Opened() {}
    // The stored password, used when PasswordSource is not assigned.
    virtual std::string StoredSecret() const = 0;

    // The password or token for this attempt.
    std::string Secret() const { return PasswordSource ? FSecret : StoredSecret(); }
    // Fetches the secret from PasswordSource (nothing when it is not assigned).
    void FetchSecret();
    void ForgetSecret() { WipeSecret(FSecret); }

    // One SASL exchange with FMechanism and Secret(): SendLine is Writeln; Wire gives the
    // protocol's reading and sorting of lines, and its command ("AUTH" when left empty). True when
    // accepted; Final gets the server's last line, reported at level 1 unless the protocol's own
    // reading already reports it (ReportFinal = false).
    bool SaslSignIn(const std::string& User, TSaslWire Wire, std::string& Final, bool ReportFinal = true);

    // Closes without a goodbye and drops what was received: after a failure of the connection
    // itself (time-out, loss, cancel) the rest of a reply may still be on its way.
    void CloseQuietly();

    std::string FMechanism;

private:
    void SignIn();

    std::string FSecret;  // from PasswordSource, for the connection being opened
    bool FBusy = false;
};
