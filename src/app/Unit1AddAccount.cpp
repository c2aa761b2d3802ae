// Unit1AddAccount: "Ajouter un compte": the servers found and checked for an address become an
// account of the "Serveur" page.
#include "app/Unit1.h"

#include "app/AccountStore.h"
#include "app/AddAccountDialog.h"
#include "platform/Dialogs.h"
#include "platform/IniProfile.h"
#include "platform/SecretStore.h"
#include "setup/OAuth2.h"

#include <QComboBox>

namespace {

// The SMTP sign-in the found servers call for: none without a user name, the incoming one when
// both use the same name, else a name of its own.
TSmtpSignIn SmtpSignInFor(const TFoundServer& in, const TFoundServer& out)
{
    if (out.UserName.isEmpty())
        return TSmtpSignIn::None;
    return out.UserName == in.UserName ? TSmtpSignIn::SameAsPop3 : TSmtpSignIn::Own;
}

} // namespace

TAccount AccountFromFound(const TAddedAccount& added)
{
    const TFoundAccount& found = added.Account;
    // The incoming server as chosen in the dialog, IMAP or POP3.
    const TFoundServer& in = found.Incoming;
    const TFoundServer& out = found.Outgoing;
    TAccount account;
    account.Protocol = in.Protocol == TFoundServer::Imap ? TProtocol::Imap : TProtocol::Pop3;
    account.Host = in.Host;
    account.Port = QString::number(in.Port);
    account.UserID = in.UserName;
    account.Password = added.Password;
    account.Security = in.Security;
    account.Auth = in.AuthMethod;
    QStringList pins;
    for (const QString& pin : {in.TrustedFingerprint, out.TrustedFingerprint})
        if (!pin.isEmpty() && !pins.contains(pin))
            pins << pin;
    account.TrustedFingerprints = pins.join(QLatin1Char(','));
    if (out.Valid()) {
        account.SmtpHost = out.Host.compare(in.Host, Qt::CaseInsensitive) == 0 ? QString() : out.Host;
        account.SmtpPort = QString::number(out.Port);
        account.SmtpSecurity = out.Security;
        account.SmtpSignIn = SmtpSignInFor(in, out);
        if (account.SmtpSignIn == TSmtpSignIn::Own) {
            account.SmtpUserID = out.UserName;
            account.SmtpPassword = added.Password;
        }
    }
    if (found.UsesOAuth()) {
        // The tokens of the browser sign-in stand in for the password on both servers.
        account.OAuth2 = found.OAuth.Id;
        account.Auth = TAuthMethod::OAuth2;
        account.Password.clear();
        if (out.Valid()) {
            account.SmtpSignIn = TSmtpSignIn::SameAsPop3;
            account.SmtpUserID.clear();
            account.SmtpPassword.clear();
        }
    }
    return account;
}

void TForm1::AddAccountBtnClick()
{
    TProviderTable table;
    try {
        table = TProviderTable::Load(ProgramDir + QStringLiteral("providers.json"));
    } catch (const std::exception&) {
        // Without the shipped table the other sources still work.
    }
    IniProfile settings(IniPath);
    TAddAccountDialog dialog(context_, settings, std::move(table), this);
    if (dialog.exec() != QDialog::Accepted || !dialog.Result())
        return;
    AddFoundAccount(*dialog.Result());
}

void TForm1::AddFoundAccount(const TAddedAccount& added)
{
    TAccount account = AccountFromFound(added);
    if (account.Host.isEmpty()) {
        context_.dialogs->Message(QStringLiteral("Aucun serveur de réception n'a été trouvé pour %1.").arg(added.Account.Address),
                                  MessageIcon::Warning, QStringLiteral("Ajouter un compte"));
        return;
    }
    if (!account.OAuth2.isEmpty() && context_.secrets && account.UserID != added.Account.Address) {
        // The sign-in kept the refresh token for the address; the sessions ask for the user name.
        SecretStore& keyring = *context_.secrets;
        const QString kept = RefreshTokenKey(account.OAuth2, added.Account.Address);
        if (const std::optional<QString> token = keyring.Read(kept); token && keyring.Write(RefreshTokenKey(account.OAuth2, account.UserID), *token))
            keyring.Remove(kept);
    }
    QStringList listed;
    for (int i = 0; i < Server->HostCombo->count(); ++i)
        listed << Server->HostCombo->itemText(i);
    TAccountStore store = Accounts();
    account.Section = store.SectionFor(account.Host, account.UserID, listed);
    store.Write(account);
    if (!listed.contains(account.Section, Qt::CaseInsensitive)) {
        listed << account.Section;
        store.WriteList(listed);
    }
    Server->ShowStored(account);
    LoadAccount();
    Mail->FollowAccounts(ListedAccounts());
}
