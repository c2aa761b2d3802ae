// Unit1Passwords: account passwords in the desktop's secret store, with the settings file (mode
// 0600) as the place of last resort.
#include "app/Unit1.h"

#include "platform/IniProfile.h"
#include "platform/SecretStore.h"

QString TForm1::LoadPassword(const IniProfile& ini, const QString& section, const QString& host, const QString& user)
{
    // A password still in the file (an older file, or no store) wins; the next save moves it.
    const QString inFile = ini.ReadString(section, QStringLiteral("Password"), QString());
    if (!inFile.isEmpty() || !context_.secrets || host.isEmpty())
        return inFile;
    return context_.secrets->Read(SecretKey(host, user)).value_or(QString());
}

void TForm1::StorePassword(IniProfile& ini, const QString& section, const QString& host, const QString& user,
                           const QString& password)
{
    if (context_.secrets && !host.isEmpty()) {
        const bool kept = password.isEmpty() ? (context_.secrets->Remove(SecretKey(host, user)), true)
                                             : context_.secrets->Write(SecretKey(host, user), password);
        if (kept) {
            ini.WriteString(section, QStringLiteral("Password"), QString());
            return;
        }
    }
    ini.WriteString(section, QStringLiteral("Password"), password);
}

void TForm1::TellWherePasswordsAre()
{
    if (PasswordPlaceToldOnce || !context_.secrets || context_.secrets->Available())
        return;
    PasswordPlaceToldOnce = true;
    SetStatusText(QStringLiteral("Aucun trousseau de mots de passe disponible : les mots de passe restent dans %1 "
                                 "(lisible par vous seul)")
                      .arg(IniPath));
}

void TForm1::ForgetPassword(const QString& host, const QString& user)
{
    if (context_.secrets && !host.isEmpty())
        context_.secrets->Remove(SecretKey(host, user));
}
