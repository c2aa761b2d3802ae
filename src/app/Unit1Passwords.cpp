// Unit1Passwords: where the account passwords are kept, told to the user when it is not the
// desktop's secret store (the account store keeps them; see AccountStore).
#include "app/Unit1.h"

#include "platform/Dialogs.h"
#include "platform/SecretStore.h"

void TForm1::TellWherePasswordsAre()
{
    if (PasswordPlaceToldOnce || !context_.secrets || context_.secrets->Available())
        return;
    PasswordPlaceToldOnce = true;
    SetStatusText(QStringLiteral("Aucun trousseau de mots de passe disponible : les mots de passe restent dans %1 "
                                 "(lisible par vous seul)")
                      .arg(IniPath));
}

QString TForm1::NewPassword(const QString& question)
{
    return context_.dialogs->InputSecret(QStringLiteral("Mot de passe refusé"), question, QString()).value_or(QString());
}
