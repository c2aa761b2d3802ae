// SendRun: sending one message by hand, without any window: the line brought up as for a
// connection by hand, the SMTP session configured from the account, a refused certificate offered
// for trust, a refused stored password asked again once, the goodbye said while the line is up.
#pragma once
#include "app/Account.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <string>

class TAccountTokens;
class TDialUp;
class TKTSMTP;

// The message the compose page sends, as the user typed it.
struct TOutgoingMessage {
    QString FromName;
    QString FromAddress;
    QString To;   // each recipient field may hold several addresses separated by "," or ";"
    QString Cc;
    QString Bcc;
    QString Subject;
    QString Body;            // the text as typed; a line break at the very end starts no line
    QStringList Attachments; // full paths
};

enum class TSendOutcome {
    Sent,
    NoLine,            // no line was up and no dial-up entry is defined: nothing tried
    RecipientsRefused, // the server refused recipients: sent to nobody
    Failed,
};

struct TSendResult {
    TSendOutcome Outcome = TSendOutcome::Failed;
    QStringList Refused;  // RecipientsRefused: the refused recipients as written in the message
    QString Error;        // RecipientsRefused, Failed: what went wrong, in French
    bool LineUp = false;  // a line was found up or brought up
    bool PasswordChanged = false; // a new password given to OnPasswordRefused was accepted
};

class TSendRun {
public:
    TSendRun(TKTSMTP& Smtp, TDialUp& DialUp, TAccountTokens* Tokens);

    // The dial-up entry dialed when no line is up; empty when none is defined.
    QString Entry;
    // No line was up and no entry is defined.
    std::function<void()> OnNoEntry;
    // The server's certificate failed the checks: true when the user now trusts it (the handler
    // adds it to the account); the connection is then tried once more.
    std::function<bool(TAccount& Account, const std::string& Host, const std::string& Reasons,
                       const std::string& Fingerprint)>
        OnUntrustedCertificate;
    // The server refused the account's stored password: a new one, empty for none. Asked only for
    // a sign-in with the account's own password (no password command, no browser sign-in).
    std::function<QString(const TAccount& Account)> OnPasswordRefused;

    // Sends Message with Account's SMTP settings. Account gets what changed on the way (a trusted
    // certificate, a new password). A session still open from an earlier send is used as it is.
    TSendResult Run(TAccount& Account, const TOutgoingMessage& Message);

private:
    void Connect(TAccount& Account, TSendResult& Result);
    void Fill(const TOutgoingMessage& Message);

    TKTSMTP& smtp_;
    TDialUp& dialUp_;
    TAccountTokens* tokens_;
};
