// CheckRun: the mail check, without any window: for each account, make sure a line is up, sign
// in to its POP3 server and read how many messages wait there; one result per account.
#pragma once
#include "app/Account.h"
#include "app/DialLine.h"

#include <QList>
#include <QString>
#include <functional>

class TDialUp;
class TKTPOP3;

enum class TCheckOutcome {
    Counted,     // signed in; Count messages wait
    Unreachable, // the server could not be reached, or the session failed
    Refused,     // the server refused the user name or the password
    LineDown,    // no line was up and none could be brought up
    Cancelled,   // the user cancelled before the account's count was read
};

struct TAccountResult {
    TAccount Account;
    TCheckOutcome Outcome = TCheckOutcome::Unreachable;
    int Count = 0;  // Counted only
    QString Error;  // what went wrong, as the component or the run said it
};

// The alert line of one result ("" for none). An account without messages gets a line only when
// SayWhenEmpty. Every line that gives a count ends with " sur " and the account's name: the alert
// window finds the account from it.
QString ResultLine(const TAccountResult& Result, bool SayWhenEmpty);

class TCheckRun {
public:
    // The session and the dial-up component are the program's; the run configures the session's
    // host, port and credentials for each account and leaves the rest of its settings alone.
    TCheckRun(TKTPOP3& Pop3, TDialUp& DialUp);

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

    TKTPOP3& pop3_;
    TDialLine line_;
    bool lineWasUp_ = false;
    bool lineUp_ = false;
    bool noEntryTold_ = false;
    bool cancelled_ = false;
};
