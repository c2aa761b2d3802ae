// CheckRun: the mail check, without any window: for each account, make sure a line is up, sign
// in to its mailbox and read how many messages wait there; one result per account.
#pragma once
#include "app/Account.h"
#include "app/DialLine.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class TDialUp;
class TMailbox;

enum class TCheckOutcome {
    Counted,     // signed in; Count messages wait
    Unreachable, // the server could not be reached, or the session failed
    Refused,     // the server refused the user name or the password
    LineDown,    // no line was up and none could be brought up
    Cancelled,   // the user cancelled before the account's count was read
    CertificateRefused, // the server's certificate failed the checks and was not trusted
    WrongSecurity,      // the server speaks TLS where the account expects clear text, or the reverse
};

struct TAccountResult {
    TAccount Account;
    TCheckOutcome Outcome = TCheckOutcome::Unreachable;
    int Count = 0;  // Counted only (for an IMAP account: its unread messages)
    int Fresh = 0;  // Counted only: messages new since the account's last check
    QStringList Newest; // "sender — subject" of up to three of the new messages, newest first
    QString Error;  // what went wrong, as the component or the run said it (for a refused
                    // certificate: its problems)
    QString Fingerprint; // CertificateRefused: the certificate's SHA-256 fingerprint
};

// The alert line of one result ("" for none). An account without messages gets a line only when
// SayWhenEmpty. A count line ends with the new messages when there are ("(2 nouveaux)").
QString ResultLine(const TAccountResult& Result, bool SayWhenEmpty);

class TCheckRun {
public:
    // The mailbox and the dial-up component are the program's; the run opens the mailbox with each
    // account's settings.
    TCheckRun(TMailbox& Mailbox, TDialUp& DialUp);

    // The dial-up entry dialed when no line is up; empty when none is defined.
    QString Entry;
    // The session of the last account stays open when it signed in (the mailbox pages use it);
    // otherwise every session is closed after its count is read.
    bool KeepLastSession = false;
    // A failed dial does not stop the connection attempt (a connection made by hand: the server
    // may be reachable another way). In a check run, the account is reported with its line down.
    bool ConnectAfterFailedDial = false;

    // No line was up and no entry is defined: told once per run.
    std::function<void()> OnNoEntry;
    // One account's result, as soon as it is known.
    std::function<void(const TAccountResult&)> OnAccountDone;
    // The server's certificate failed the checks: true when the user now trusts it (the handler
    // adds it to the account, and stores it); the account is then tried once more.
    std::function<bool(TAccount& Account, const std::string& Host, const std::string& Reasons,
                       const std::string& Fingerprint)>
        OnUntrustedCertificate;
    // A session that failed after the server was reached: what the server speaks on that port
    // (see SecurityMismatch); empty when nothing is wrong with the account's security choice.
    std::function<QString(const TAccount& Account)> OnSecurityDoubt;
    // An account was counted and its session is still open: what else to learn from it (what is
    // new). A failure there leaves the count standing.
    std::function<void(TAccountResult&)> OnCounted;

    // Notes whether a line is already up; a run that finds nothing hangs up only a line it
    // brought up itself.
    bool Begin();
    bool LineWasUp() const { return lineWasUp_; }
    // A line is up as far as the run knows: found at the start or brought up since.
    bool LineUp() const { return lineUp_; }

    // Checks the accounts in order.
    QList<TAccountResult> Run(const QList<TAccount>& Accounts);
    // Checks one account and leaves its session open when it signed in.
    TAccountResult Check(const TAccount& Account);
    // Ends the run: hangs up the line it brought up when no message was found.
    void Finish(int Total);

    // Stops the run at once: the operation under way ends, the accounts not yet checked are
    // reported as cancelled, and the session is left closed.
    void Cancel();
    bool Cancelled() const { return cancelled_; }

    static int Total(const QList<TAccountResult>& Results);

private:
    TAccountResult Outcome(const TAccount& Account, TCheckOutcome Kind, const QString& Error = QString());
    void CloseSession();
    void DropSession();

    TMailbox& mailbox_;
    TDialLine line_;
    bool lineWasUp_ = false;
    bool lineUp_ = false;
    // Begin has just seen a line up: the first account needs no second look.
    bool lineJustSeen_ = false;
    bool noEntryTold_ = false;
    bool cancelled_ = false;
};
