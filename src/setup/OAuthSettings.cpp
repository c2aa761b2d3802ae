// TOAuthSettings: the OAuth 2 client identifiers kept in the settings file.
#include "setup/FoundAccount.h"
#include "setup/OAuth2.h"

#include "platform/IniProfile.h"

namespace {

const QString kSection = QStringLiteral("OAuth2");

} // namespace

TOAuthClient TOAuthSettings::ClientFor(const TOAuthProvider& Provider) const
{
    TOAuthClient c;
    c.ClientId = FProfile.ReadString(kSection, Provider.Id + "ClientId", Provider.DefaultClientId).trimmed();
    c.ClientSecret = FProfile.ReadString(kSection, Provider.Id + "ClientSecret", QString()).trimmed();
    if (!c.Valid())
        throw ESetupError(ESetupError::NoClientId, NoClientText(Provider));
    return c;
}

void TOAuthSettings::SetClient(const QString& ProviderId, const TOAuthClient& Client)
{
    FProfile.WriteString(kSection, ProviderId + "ClientId", Client.ClientId.trimmed());
    if (!Client.ClientSecret.trimmed().isEmpty() || FProfile.KeyExists(kSection, ProviderId + "ClientSecret"))
        FProfile.WriteString(kSection, ProviderId + "ClientSecret", Client.ClientSecret.trimmed());
}

QString TOAuthSettings::NoClientText(const TOAuthProvider& Provider)
{
    return QStringLiteral("%1 demande une connexion OAuth 2 par le navigateur, et aucun identifiant de client "
                          "OAuth 2 n'est configuré pour %1. Créez-en un (application de bureau) dans la console "
                          "des développeurs de %1, puis indiquez-le dans la section [OAuth2] du fichier de "
                          "réglages (clé %2ClientId). La section « Connexion OAuth 2 » du fichier README "
                          "explique comment faire.").arg(Provider.Name, Provider.Id);
}
