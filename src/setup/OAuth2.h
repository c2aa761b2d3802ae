// OAuth2: sign-in through the browser for providers that want it (authorization code with PKCE
// S256, RFC 7636, and a loopback redirect on 127.0.0.1, RFC 8252), and the keeping of the tokens:
// the refresh token in the keyring, the access token in memory, renewed before it expires.
#pragma once

#include "setup/FoundAccount.h"
#include "setup/SetupNet.h"

#include <QDateTime>
#include <QString>
#include <memory>
#include <string>

class IniProfile;
class Launcher;
class SecretStore;

// A PKCE pair: a random verifier and its S256 challenge.
struct TPkce {
    QString Verifier;   // 64 characters of the unreserved set
    QString Challenge;  // base64url(SHA-256(Verifier)) without padding
    static TPkce Make();
    static QString ChallengeFor(const QString& Verifier);
};

// The client registration the program uses with a provider: settings, never another program's.
struct TOAuthClient {
    QString ClientId;
    QString ClientSecret; // some providers give installed programs a non-secret "secret"
    bool Valid() const { return !ClientId.isEmpty(); }
};

// The settings of the OAuth 2 client registrations: section [OAuth2], keys <provider>ClientId and
// <provider>ClientSecret. Read only; written only when the user sets one.
class TOAuthSettings {
public:
    explicit TOAuthSettings(IniProfile& Profile) : FProfile(Profile) {}
    // The client for a provider: the settings, else the table's default (none today). Raises
    // ESetupError NoClientId with the French explanation when there is none.
    TOAuthClient ClientFor(const TOAuthProvider& Provider) const;
    void SetClient(const QString& ProviderId, const TOAuthClient& Client);
    // The explanation shown when a provider has no client identifier.
    static QString NoClientText(const TOAuthProvider& Provider);

private:
    IniProfile& FProfile;
};

struct TOAuthTokens {
    QString AccessToken;
    QString RefreshToken;  // empty when the server did not renew it
    QDateTime ExpiresAt;   // UTC; invalid when the server gave no lifetime
};

// The keyring entry of an account's refresh token.
QString RefreshTokenKey(const QString& ProviderId, const QString& Address);

// One browser sign-in: opens the authorization page, waits for the redirect to the loopback
// listener, then exchanges the code for tokens.
class TOAuthFlow {
public:
    TOAuthFlow(TSetupControl& Control, Launcher& Launch) : FControl(Control), FLauncher(Launch) {}
    // How long the user has to answer in the browser, and the limit of the token request (ms).
    int BrowserLimitMs = 300000;
    int TokenLimitMs = 15000;
    // Told of the address opened, so the user can copy it when no browser starts.
    std::function<void(const QString& Url)> OnBrowserOpened;

    // Raises ESetupError: OAuthFailed (refused, wrong state, no browser, token error), Canceled.
    TOAuthTokens Authorize(const TOAuthProvider& Provider, const TOAuthClient& Client, const QString& LoginHint);

private:
    void OpenBrowser(const QString& Url);
    TSetupControl& FControl;
    Launcher& FLauncher;
};

// The POST to the token endpoint shared by the code exchange and the refresh.
TOAuthTokens RequestTokens(TSetupControl& Control, const TOAuthProvider& Provider,
                           const QList<std::pair<QString, QString>>& Fields, int LimitMs);

// The access tokens of one browser sign-in, for the sessions.
class TTokenSource {
public:
    virtual ~TTokenSource() = default;
    // A valid access token for the sign-in.
    virtual std::string AccessToken() = 0;
    // After a refused sign-in: true when one more try is worth it with the next token.
    virtual bool Refused() = 0;
};

// An account's tokens while the program runs: gives an access token valid for at least a minute,
// refreshing it with the refresh token from the keyring, and refreshes once more after a refused
// sign-in. When the provider no longer accepts the refresh token, the token is forgotten and
// ESetupError SignInAgain asks the user to sign in in the browser again.
class TTokenKeeper : public TTokenSource {
public:
    TTokenKeeper(TSetupControl& Control, SecretStore& Secrets, TOAuthProvider Provider, TOAuthClient Client,
                 QString Address);
    int LimitMs = 15000;

    // Keeps the tokens of a browser sign-in (the refresh token in the keyring).
    void Keep(const TOAuthTokens& Tokens);
    // A valid access token for the sign-in.
    std::string AccessToken() override;
    // After a refused sign-in: forgets the access token, so the next AccessToken refreshes it;
    // true, the refreshed token being worth the sessions' one more try.
    bool Refused() override;
    // Hooks made for the sessions' PasswordSource and OnAuthenticationFailed.
    std::function<std::string()> Source() { return [this] { return AccessToken(); }; }
    std::function<bool()> RetryAfterRefusal() { return [this] { return Refused(); }; }

private:
    TSetupControl& FControl;
    SecretStore& FSecrets;
    TOAuthProvider FProvider;
    TOAuthClient FClient;
    QString FAddress;
    QString FAccess;
    QDateTime FExpiresAt;
};

// A TTokenKeeper. Only the programs and modules that hold this function link Qt Network; the
// program loads it when an account that signs in through the browser first needs a token.
std::unique_ptr<TTokenSource> NewTokenSource(TSetupControl& Control, SecretStore& Secrets, const TOAuthProvider& Provider,
                                             const TOAuthClient& Client, const QString& Address);
