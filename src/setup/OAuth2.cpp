// OAuth2: sign-in through the browser for providers that want it (authorization code with PKCE
// S256, RFC 7636, and a loopback redirect on 127.0.0.1, RFC 8252), and the keeping of the tokens:
// the refresh token in the keyring, the access token in memory, renewed before it expires.
#include "setup/OAuth2.h"

#include "platform/IniProfile.h"
#include "platform/Launcher.h"
#include "platform/SecretStore.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>
#include <memory>

namespace {


QString RandomText(int Length)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
    QString out;
    for (int i = 0; i < Length; ++i)
        out += QChar(alphabet[QRandomGenerator::system()->bounded(int(sizeof alphabet - 1))]);
    return out;
}

// The page the browser shows once the redirect has arrived.
QByteArray HttpPage(int Status, const QString& Text)
{
    const QByteArray body = ("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Brevicor</title></head><body><p>"
                             + Text.toHtmlEscaped() + "</p></body></html>").toUtf8();
    return "HTTP/1.1 " + QByteArray::number(Status) + (Status == 200 ? " OK" : " Not Found")
           + "\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\nContent-Length: "
           + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

} // namespace

TPkce TPkce::Make()
{
    TPkce p;
    p.Verifier = RandomText(64);
    p.Challenge = ChallengeFor(p.Verifier);
    return p;
}

QString TPkce::ChallengeFor(const QString& Verifier)
{
    const QByteArray digest = QCryptographicHash::hash(Verifier.toLatin1(), QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString RefreshTokenKey(const QString& ProviderId, const QString& Address)
{
    return QStringLiteral("oauth2-refresh/%1/%2").arg(ProviderId, Address.trimmed().toLower());
}

TOAuthTokens RequestTokens(TSetupControl& Control, const TOAuthProvider& Provider,
                           const QList<std::pair<QString, QString>>& Fields, int LimitMs)
{
    THttpsClient http(Control);
    const THttpReply reply = http.PostForm(QUrl(Provider.TokenEndpoint), Fields, LimitMs);
    const QJsonObject o = QJsonDocument::fromJson(reply.Body).object();
    if (reply.Status != 200 || o.value("access_token").toString().isEmpty()) {
        const QString error = o.value("error").toString();
        if (error == "invalid_grant")
            throw ESetupError(ESetupError::SignInAgain,
                              QStringLiteral("%1 n'accepte plus l'autorisation donnée à Brevicor : connectez-vous "
                                             "à nouveau dans le navigateur.").arg(Provider.Name));
        const QString why = !error.isEmpty() ? error + (o.value("error_description").toString().isEmpty()
                                                            ? QString() : " (" + o.value("error_description").toString() + ")")
                            : reply.Status ? QStringLiteral("réponse %1").arg(reply.Status) : reply.Error;
        throw ESetupError(ESetupError::OAuthFailed,
                          QStringLiteral("Le serveur d'autorisation de %1 n'a pas donné de jeton : %2").arg(Provider.Name, why));
    }
    TOAuthTokens t;
    t.AccessToken = o.value("access_token").toString();
    t.RefreshToken = o.value("refresh_token").toString();
    if (o.contains("expires_in"))
        t.ExpiresAt = QDateTime::currentDateTimeUtc().addSecs(o.value("expires_in").toVariant().toLongLong());
    return t;
}

void TOAuthFlow::OpenBrowser(const QString& Url)
{
    if (OnBrowserOpened)
        OnBrowserOpened(Url);
    DefaultProgram browser = FLauncher.DefaultProgramFor(QStringLiteral("x-scheme-handler/https"));
    if (!browser.found())
        browser = FLauncher.DefaultProgramFor(QStringLiteral("text/html"));
    if (!browser.found() || !FLauncher.StartDetached(ExpandDesktopExec(browser.exec, Url)))
        throw ESetupError(ESetupError::OAuthFailed,
                          QStringLiteral("Aucun navigateur n'a pu être ouvert pour la connexion. Ouvrez vous-même "
                                         "cette adresse : %1").arg(Url));
}

TOAuthTokens TOAuthFlow::Authorize(const TOAuthProvider& Provider, const TOAuthClient& Client, const QString& LoginHint)
{
    // The redirect comes back to a listener on the loopback address, on a port the system picks.
    QTcpServer listener;
    if (!listener.listen(QHostAddress(QHostAddress::LocalHost), 0))
        throw ESetupError(ESetupError::OAuthFailed,
                          QStringLiteral("Impossible d'attendre la réponse du navigateur : %1").arg(listener.errorString()));
    const QString redirect = QStringLiteral("http://127.0.0.1:%1/").arg(listener.serverPort());
    const TPkce pkce = TPkce::Make();
    const QString state = RandomText(32);

    QUrl url(Provider.AuthorizationEndpoint);
    QUrlQuery q(url);
    q.addQueryItem("response_type", "code");
    q.addQueryItem("client_id", Client.ClientId);
    q.addQueryItem("redirect_uri", redirect);
    q.addQueryItem("scope", Provider.Scope);
    q.addQueryItem("state", state);
    q.addQueryItem("code_challenge", pkce.Challenge);
    q.addQueryItem("code_challenge_method", "S256");
    if (!LoginHint.isEmpty())
        q.addQueryItem("login_hint", LoginHint);
    url.setQuery(QString::fromLatin1(q.toString(QUrl::FullyEncoded).toLatin1().replace("+", "%2B")));

    // Every connection is read until a request for the redirect path arrives with our state.
    QString code, refusal;
    bool answered = false;
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    QObject::connect(&listener, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* s = listener.nextPendingConnection()) {
            clients.emplace_back(s);
            QObject::connect(s, &QTcpSocket::readyRead, [&, s] {
                if (answered || !s->canReadLine())
                    return;
                const QList<QByteArray> words = s->readLine().trimmed().split(' ');
                const QUrl target = words.size() >= 2 ? QUrl(QString::fromLatin1(words[1])) : QUrl();
                const QUrlQuery got(target);
                if (words.value(0) != "GET" || target.path() != "/" || got.queryItemValue("state") != state) {
                    s->write(HttpPage(404, QStringLiteral("Adresse inconnue.")));
                    s->disconnectFromHost();
                    return;
                }
                answered = true;
                code = got.queryItemValue("code", QUrl::FullyDecoded);
                refusal = got.queryItemValue("error", QUrl::FullyDecoded);
                s->write(HttpPage(200, code.isEmpty() ? QStringLiteral("La connexion a été refusée. Vous pouvez fermer cette page.")
                                                      : QStringLiteral("Brevicor a reçu l'autorisation. Vous pouvez fermer cette page.")));
                s->disconnectFromHost();
            });
        }
    });

    OpenBrowser(url.toString(QUrl::FullyEncoded));
    if (!FControl.WaitFor([&] { return answered; }, BrowserLimitMs))
        throw ESetupError(ESetupError::OAuthFailed,
                          QStringLiteral("Le navigateur n'a pas rendu l'autorisation de %1 à temps.").arg(Provider.Name));
    // Lets the page reach the browser before the sockets go.
    FControl.WaitFor([&] {
        for (const auto& c : clients)
            if (c->state() == QAbstractSocket::ConnectedState && c->bytesToWrite() > 0)
                return false;
        return true;
    }, 1000);
    if (code.isEmpty())
        throw ESetupError(ESetupError::OAuthFailed,
                          QStringLiteral("%1 a refusé l'autorisation%2.").arg(Provider.Name, refusal.isEmpty() ? QString() : " (" + refusal + ")"));

    QList<std::pair<QString, QString>> fields{{"grant_type", "authorization_code"}, {"code", code},
                                              {"redirect_uri", redirect}, {"client_id", Client.ClientId},
                                              {"code_verifier", pkce.Verifier}};
    if (!Client.ClientSecret.isEmpty())
        fields.append({"client_secret", Client.ClientSecret});
    TOAuthTokens tokens = RequestTokens(FControl, Provider, fields, TokenLimitMs);
    if (tokens.RefreshToken.isEmpty())
        throw ESetupError(ESetupError::OAuthFailed,
                          QStringLiteral("%1 n'a pas donné de jeton de renouvellement : Brevicor ne pourrait pas "
                                         "relever le courrier au-delà d'une heure.").arg(Provider.Name));
    return tokens;
}

TTokenKeeper::TTokenKeeper(TSetupControl& Control, SecretStore& Secrets, TOAuthProvider Provider, TOAuthClient Client,
                           QString Address)
    : FControl(Control), FSecrets(Secrets), FProvider(std::move(Provider)), FClient(std::move(Client)),
      FAddress(std::move(Address))
{
}

void TTokenKeeper::Keep(const TOAuthTokens& Tokens)
{
    FAccess = Tokens.AccessToken;
    FExpiresAt = Tokens.ExpiresAt;
    if (!Tokens.RefreshToken.isEmpty() && !FSecrets.Write(RefreshTokenKey(FProvider.Id, FAddress), Tokens.RefreshToken))
        throw ESetupError(ESetupError::OAuthFailed,
                          QStringLiteral("Le trousseau n'a pas accepté le jeton de renouvellement de %1.").arg(FAddress));
}

std::string TTokenKeeper::AccessToken()
{
    const bool fresh = !FAccess.isEmpty()
                       && (!FExpiresAt.isValid() || QDateTime::currentDateTimeUtc().secsTo(FExpiresAt) > 60);
    if (!fresh) {
        const QString key = RefreshTokenKey(FProvider.Id, FAddress);
        const std::optional<QString> refresh = FSecrets.Read(key);
        if (!refresh || refresh->isEmpty())
            throw ESetupError(ESetupError::SignInAgain,
                              QStringLiteral("Aucune autorisation de %1 n'est gardée pour %2 : connectez-vous dans "
                                             "le navigateur.").arg(FProvider.Name, FAddress));
        QList<std::pair<QString, QString>> fields{{"grant_type", "refresh_token"}, {"refresh_token", *refresh},
                                                  {"client_id", FClient.ClientId}};
        if (!FClient.ClientSecret.isEmpty())
            fields.append({"client_secret", FClient.ClientSecret});
        TOAuthTokens tokens;
        try {
            tokens = RequestTokens(FControl, FProvider, fields, LimitMs);
        } catch (const ESetupError& e) {
            if (e.Kind() == ESetupError::SignInAgain)
                FSecrets.Remove(key);
            throw;
        }
        Keep(tokens);
    }
    return FAccess.toStdString();
}

bool TTokenKeeper::Refused()
{
    // The sessions try once more at most, so each refusal is worth one refresh.
    FAccess.clear();
    return true;
}

std::unique_ptr<TTokenSource> NewTokenSource(TSetupControl& Control, SecretStore& Secrets, const TOAuthProvider& Provider,
                                             const TOAuthClient& Client, const QString& Address)
{
    return std::make_unique<TTokenKeeper>(Control, Secrets, Provider, Client, Address);
}
