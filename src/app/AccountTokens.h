// AccountTokens: the OAuth 2 tokens of the accounts that sign in through the browser, kept while
// the program runs and handed to their POP3, IMAP and SMTP sessions.
#pragma once
#include "app/Account.h"
#include "net/SockSession.h"
#include "setup/SetupNet.h"

#include <QString>
#include <functional>
#include <map>
#include <memory>

class SecretStore;
class TMailSession;
class TTokenSource;

class TAccountTokens {
public:
    // IniPath: the settings file (the client identifiers); Secrets: the keyring holding the
    // refresh tokens (null: none, and no browser sign-in can be used).
    TAccountTokens(QString IniPath, SecretStore* Secrets);
    ~TAccountTokens();
    TAccountTokens(const TAccountTokens&) = delete;
    TAccountTokens& operator=(const TAccountTokens&) = delete;

    // The table of providers, read when a keeper is first made.
    QString ProvidersPath;
    // The token requests' HTTPS settings (authorities).
    TSetupControl& Control() { return control_; }

    // For an account that signs in through the browser: the session's password source gives a
    // fresh access token, and a refused sign-in refreshes it for one more try. A refresh token the
    // provider no longer accepts raises EAuthError asking the user to sign in again. Other
    // accounts' sessions are left as they are.
    void Attach(TMailSession& Session, const TAccount& Account);

    // The text of a refresh token no longer accepted.
    static QString SignInAgainText(const TAccount& Account);

private:
    TTokenSource& KeeperFor(const TAccount& Account);
    std::string AccessToken(const TAccount& Account);

    QString iniPath_;
    SecretStore* secrets_ = nullptr;
    TSetupControl control_;
    // By account name, provider and address: a changed account gets a keeper of its own.
    std::map<QString, std::unique_ptr<TTokenSource>> keepers_;
};
