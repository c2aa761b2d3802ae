// AccountTokens: the OAuth 2 tokens of the accounts that sign in through the browser.
#include "app/AccountTokens.h"

#include "mail/KTimap.h"
#include "mail/MailErrors.h"
#include "mail/MailSession.h"
#include "platform/IniProfile.h"
#include "setup/OAuth2.h"
#include "setup/ProviderTable.h"

TAccountTokens::TAccountTokens(QString IniPath, SecretStore* Secrets) : iniPath_(std::move(IniPath)), secrets_(Secrets) {}

TAccountTokens::~TAccountTokens() = default;

QString TAccountTokens::SignInAgainText(const TAccount& Account)
{
    return QStringLiteral("La connexion de %1 par le navigateur a expiré : reconnectez-vous avec "
                          "« Ajouter un compte » sur la page « Serveur ».")
        .arg(Account.Name());
}

TTokenSource& TAccountTokens::KeeperFor(const TAccount& Account)
{
    const QString key = Account.Name() + QLatin1Char('\n') + Account.OAuth2 + QLatin1Char('\n') + Account.UserID;
    auto found = keepers_.find(key);
    if (found != keepers_.end())
        return *found->second;
    if (!secrets_)
        throw EAuthError(QStringLiteral("Aucun trousseau ne garde la connexion de %1 par le navigateur.")
                             .arg(Account.Name())
                             .toStdString());
    const TProviderTable table = TProviderTable::Load(ProvidersPath);
    const std::optional<TProviderEntry> entry = table.ForId(Account.OAuth2);
    if (!entry || !entry->OAuth.Valid())
        throw EAuthError(QStringLiteral("Le fournisseur « %1 » du compte %2 n'est pas dans la table des fournisseurs.")
                             .arg(Account.OAuth2, Account.Name())
                             .toStdString());
    IniProfile settings(iniPath_);
    const TOAuthClient client = TOAuthSettings(settings).ClientFor(entry->OAuth);
    auto keeper = NewTokenSource(control_, *secrets_, entry->OAuth, client, Account.UserID);
    return *keepers_.emplace(key, std::move(keeper)).first->second;
}

std::string TAccountTokens::AccessToken(const TAccount& Account)
{
    try {
        return KeeperFor(Account).AccessToken();
    } catch (const ESetupError& e) {
        // The session's caller reports a sign-in failure; the others stay network failures.
        switch (e.Kind()) {
        case ESetupError::SignInAgain:
            throw EAuthError(SignInAgainText(Account).toStdString());
        case ESetupError::NoClientId:
            throw EAuthError(e.what());
        default:
            throw std::runtime_error(e.what());
        }
    }
}

void TAccountTokens::Attach(TMailSession& Session, const TAccount& Account)
{
    if (!Account.UsesBrowserSignIn())
        return;
    Session.PasswordSource = [this, Account] { return AccessToken(Account); };
    Session.OnAuthenticationFailed = [this, Account](bool& Handled) { Handled = KeeperFor(Account).Refused(); };
}
