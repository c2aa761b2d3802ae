// MailController: the program's mail work without any window: the POP3 and SMTP components, the
// dial-up line, the check run, the mailbox session and how long it stays open, and what is new.
// Windows (or the command line) observe it through its events and answer its questions through
// TMailUser.
#pragma once
#include "app/AccountTokens.h"
#include "app/CheckRun.h"
#include "app/Mailbox.h"
#include "app/SendRun.h"
#include "platform/WakeEvents.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class DialService;
class SecretStore;
class QTimer;
class TDialUp;
class TKTIMAP;
class TKTPOP3;
class TKTSMTP;
class TSeenMail;
class TPushWatch;

// What the controller asks of the person using the program.
class TMailUser {
public:
    virtual ~TMailUser() = default;
    // A yes/no question (a certificate to trust); true for yes.
    virtual bool Confirm(const QString& Question) = 0;
    // No line was up and no dial-up entry is defined.
    virtual void NoDialEntry() = 0;
    // A server refused the stored password of a session the user opened by hand: the new
    // password, empty for none. Checks that run on their own never ask.
    virtual QString NewPassword(const QString& Question)
    {
        (void)Question;
        return QString();
    }
};

enum class TCheckKind {
    ByHand,      // "Aller voir maintenant", the tray menu: every result is told
    Scheduled,   // the scheduler: quiet unless there is news (or the settings ask otherwise)
    CommandLine, // "brevicor --check": nothing remembered as seen, no question asked
};

struct TCheckReport {
    QList<TAccountResult> Results;
    int Total = 0;          // messages waiting on all the accounts counted
    int Fresh = 0;          // of them, new since the accounts' last checks
    bool Cancelled = false;
    bool Announce = false;  // the user is to be told (sound, alert window)
    bool LineWasUp = false; // a connection was up when the check began
    bool LineUp = false;    // a connection is up after it
    bool SessionKept = false; // the last account's session stays open (see TMailController::THold)
};

class TMailController : public QObject {
    Q_OBJECT
public:
    // iniPath: the settings file (pinned certificates are stored there); seenFolder: where what
    // each mailbox held at its last check is remembered.
    TMailController(std::unique_ptr<DialService> Dial, QString IniPath, QString SeenFolder, SecretStore* Secrets,
                    QObject* Parent = nullptr);
    ~TMailController() override;

    TKTPOP3* Pop3() const { return pop3_; }
    TKTIMAP* Imap() const { return imap_; }
    TKTSMTP* Smtp() const { return smtp_; }
    TDialUp* DialUp() const { return dialUp_; }
    TMailbox& Mailbox() { return *mailbox_; }
    // The OAuth 2 tokens of the accounts that sign in through the browser, for every session.
    TAccountTokens& Tokens() { return *tokens_; }

    TMailUser* User = nullptr;
    // The dial-up entry dialed when no line is up; empty when none is defined.
    QString Entry;

    // ---- checks
    // Checks the accounts. KeepLast: the last account's session stays open when it has mail, for
    // its listing (held until ReleaseCheckSession, HandToUser or CheckHoldMs of idleness). A
    // scheduled check keeps nothing open. SayWhenEmpty: a check that finds nothing is announced.
    TCheckReport Check(const QList<TAccount>& Accounts, TCheckKind Kind, bool KeepLast, bool SayWhenEmpty);
    bool CheckRunning() const { return running_ != nullptr; }
    // Whether a check reads the sender and subject of new messages (TAccountResult::Newest) for
    // the desktop notification; a check with nobody to notify spares the server those requests.
    bool ReadNewest = true;

    // ---- the mailbox session
    // Who keeps the session open: nobody (closed), a check (until its alert window closes), or
    // the user ("Connecter à POP3", a listing: until "Déconnecter de POP3" or UserIdleMs idle).
    enum class THold { None, Check, User };
    int CheckHoldMs = 60 * 1000;
    int UserIdleMs = 10 * 60 * 1000;
    THold Hold() const { return mailbox_->IsOpen() ? hold_ : THold::None; }
    // The account of the open session.
    const TAccount& SessionAccount() const { return sessionAccount_; }
    bool SessionOpenFor(const QString& Name) const;
    // Opens the user's session on the account (dialing as a connection by hand does); a session
    // already open on it is kept.
    TAccountResult Connect(const TAccount& Account);
    // Logs out: the server carries deletions out and releases the mailbox. Not Polite: the
    // connection is dropped without a word (no line to say it on).
    void Disconnect(bool Polite = true);
    // The last Connect found a line up or brought one up.
    bool ConnectLineUp() const { return connectLineUp_; }
    // The session a check kept becomes the user's / is no longer needed.
    void HandToUser();
    void ReleaseCheckSession();
    // Something was done with the session: its idle limit starts again.
    void Touch();
    // The session was closed by its idle limit (text for the status bar).
    std::function<void(const QString& Why)> OnSessionClosed;

    // ---- operations on the open session (each restarts the idle limit)
    // Lists the summaries; a cancel stops the listing after the summary being read and keeps the
    // session. Returns how many were listed.
    int List(int First, int Last, const TMailbox::TEachSummary& Each);
    bool ListingCancelled() const { return listingCancelled_; }

    // ---- cancel
    // While one lives, "Annuler" is offered (OnBusyChanged); operations that may take long hold one.
    class TBusy {
    public:
        explicit TBusy(TMailController& Controller);
        ~TBusy();
        TBusy(const TBusy&) = delete;
        TBusy& operator=(const TBusy&) = delete;
    private:
        TMailController& c_;
    };
    bool Busy() const { return busy_ > 0; }
    // Stops the running check, listing or transfer. A listing is asked to stop first (asked again,
    // it is dropped as any other transfer).
    void Cancel();
    bool CancelRequested() const { return cancelRequested_; }
    std::function<void(bool Busy)> OnBusyChanged;

    // ---- certificates
    // Asks the user whether to trust a certificate that failed the checks for the account; on yes
    // the fingerprint is added to the account and stored in its own section (OnAccountStored).
    bool OfferTrust(TAccount& Account, const std::string& Host, const std::string& Reasons,
                    const std::string& Fingerprint);
    std::function<void(const TAccount&)> OnAccountStored;
    // The question OfferTrust asks.
    static QString TrustQuestion(const QString& Host, const QString& Reasons, const QString& Fingerprint);

    // ---- results
    std::function<void(const TAccountResult&)> OnAccountDone;

    // ---- sending; a refused password asked again
    // Sends Message with the account's SMTP settings (TSendRun): the line brought up as for a
    // connection by hand, a refused certificate offered for trust (OfferTrust).
    TSendResult Send(const TAccount& Account, const TOutgoingMessage& Message);
    // Connect and Send: when the server refuses the account's stored password (neither a
    // password command nor OAuth 2), the user is asked for a new one (TMailUser::NewPassword),
    // the sign-in is tried once more with it, and once accepted it is stored with the account
    // (OnAccountStored).
    static QString PasswordQuestion(const QString& Host, const QString& User);

    // ---- new mail the moment it arrives: IMAP accounts waiting in IDLE
    // The accounts to watch (those TPushWatch::Wanted); the first call starts the push and listens
    // for network changes and resumes from suspend. Called again whenever accounts were saved or
    // deleted. (A check from the command line never calls it.)
    void FollowAccounts(const QList<TAccount>& Accounts);
    // Ends every push connection (LOGOUT); done as well when the controller goes.
    void StopPush();
    // The account's new mail reaches the program without a check: a scheduled check skips it.
    bool Pushed(const TAccount& Account) const;
    TPushWatch* Push() const { return push_.get(); }
    // New mail push brought, as a check would report it for the account (Count unread, Fresh,
    // Newest), remembered already as seen by a check. Never fired while a check runs, nor from
    // inside the push connection's exchange.
    std::function<void(const TAccountResult&)> OnPushMail;
    // What went wrong with an account's push that the user is to hear of, once: a refused sign-in
    // or certificate (its connection stops until a check by hand lets the account in or the
    // account changes), or new mail that could not be remembered.
    std::function<void(const TAccount&, const QString& Why)> OnPushProblem;

private:
    // The new password for an account whose stored password Host refused; empty when there is
    // none to ask for or the user gave none.
    QString AskPassword(const TAccount& Account, const QString& Host);
    void StorePassword(const TAccount& Account);

    void LookForNewMail(TAccountResult& Result, bool Remember);
    void CloseSession(bool Polite);
    void StartIdle(int Ms);
    void IdleExpired();
    TCheckRun* PrepareRun(TCheckRun& Run, bool Interactive);

    TKTPOP3* pop3_ = nullptr;
    TKTIMAP* imap_ = nullptr;
    TKTSMTP* smtp_ = nullptr;
    TDialUp* dialUp_ = nullptr;
    std::unique_ptr<TAccountTokens> tokens_;
    std::unique_ptr<TPop3Mailbox> pop3Box_;
    std::unique_ptr<TImapInbox> imapBox_;
    std::unique_ptr<TAccountMailbox> mailbox_;
    QString iniPath_;
    QString seenFolder_;
    SecretStore* secrets_ = nullptr;
    QTimer* idle_ = nullptr;
    THold hold_ = THold::None;
    TAccount sessionAccount_;
    TCheckRun* running_ = nullptr;
    int busy_ = 0;
    bool connectLineUp_ = false;
    bool cancelRequested_ = false;
    bool listing_ = false;
    bool listingCancelled_ = false;

    // ---- push
    void DeliverPushMail();
    std::unique_ptr<TWakeEvents> wake_;
    QList<TAccountResult> pushMail_;
    std::unique_ptr<TPushWatch> push_;
};
