// PushWatch: the IMAP accounts that wait for new mail in IDLE while the program runs, one push
// connection (TImapIdle) for each, started, changed and stopped as the accounts are.
#pragma once
#include "app/Account.h"
#include "app/CheckRun.h"
#include "mail/ImapNewMail.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

class TAccountTokens;
class TImapIdle;
class TImapSummary;
class TKTIMAP;

class TPushWatch : public QObject {
    Q_OBJECT
public:
    // Tokens: the access tokens of accounts that sign in through the browser (null: none);
    // SeenFolder: where what each mailbox held at its last check is remembered (see NewMail).
    TPushWatch(TAccountTokens* Tokens, QString SeenFolder, QObject* Parent = nullptr);
    // Logs every connection out.
    ~TPushWatch() override;

    // An account that waits in IDLE: IMAP, waiting on, complete and with a valid port.
    static bool Wanted(const TAccount& Account);

    // The accounts to watch from now on: a connection starts for each wanted account not watched
    // yet, starts anew for one whose server or sign-in changed, and ends for one no longer listed
    // or no longer wanted. An account stopped after a refusal stays stopped unless it changed.
    void Follow(const QList<TAccount>& Accounts);
    // Starts again, with the account's settings as given, the account's connection stopped after
    // a refusal (the user checked it by hand and was let in, or trusted its certificate).
    void Retry(const TAccount& Account);
    // Ends every connection (LOGOUT).
    void StopAll();

    // The account's connection is in IDLE: new mail reaches it without a check.
    bool Watching(const TAccount& Account) const;
    // Connections running or waiting to reconnect.
    int Running() const;
    // One of the connections is in the middle of an exchange.
    bool Busy() const;
    // The account's push connection (null when the account is not watched).
    TImapIdle* Connection(const TAccount& Account) const;

    // The network changed or the machine woke up: every connection is made anew at once.
    void NetworkChanged();
    void Resumed();

    // New mail of an account, as a check would report it (Count unread, Fresh, Newest), and
    // remembered as a check remembers it, so that the next check does not tell of it again. Fired
    // once the connection is back in IDLE (or lost), at the end of its exchange, which the handler
    // must not hold up: it must not wait for the user.
    std::function<void(const TAccountResult& Result)> OnNewMail;
    // What the user is to hear of, once: the server refused the sign-in or the certificate (the
    // account's connection stopped, no question asked), or new mail could not be remembered.
    std::function<void(const TAccount& Account, const QString& Why)> OnProblem;

private:
    struct TWatch {
        TAccount Account;
        std::unique_ptr<TImapIdle> Idle;
        bool InIdle = false;   // in IDLE since the last connection
        bool Refused = false;  // stopped after a refusal
        QList<TAccountResult> Ready; // news fetched, told at the end of the exchange
        std::vector<std::pair<QString, TImapMark>> Marks; // what to remember once it is told
    };
    struct TMarkToSave {
        TAccount Account;
        QString File;
        TImapMark Mark;
    };
    static QString KeyOf(const TAccount& Account);
    static bool SameServer(const TAccount& A, const TAccount& B);
    void Start(TWatch& Watch);
    void Stop(TWatch& Watch);
    void Restart(TWatch& Watch);
    // New messages fetched while out of IDLE: what of them is news, told and remembered.
    void Arrived(const std::function<TWatch*()>& Current, TKTIMAP& Session, const std::vector<TImapSummary>& Messages);
    void Problem(const TAccount& Account, const QString& Why);
    void Tell(TWatch& Watch);
    void SaveMarks();

    TAccountTokens* tokens_ = nullptr;
    QString seenFolder_;
    std::vector<TMarkToSave> marks_;
    // By account name (case ignored).
    std::map<QString, TWatch> watches_;
};
