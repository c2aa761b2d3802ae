// AccountsPanel: the mail accounts of the "Serveur" page as the window uses them: saving and
// deleting accounts, asking for what is missing, "Ajouter un compte" (the servers found and checked
// for an address become an account), and where the passwords are kept (see AccountStore).
#include "app/AccountsPanel.h"

#include "app/AccountStore.h"
#include "app/AddAccountDialog.h"
#include "app/AppContext.h"
#include "app/MailController.h"
#include "app/ServerPage.h"
#include "app/StatusLine.h"
#include "platform/Dialogs.h"
#include "platform/IniProfile.h"
#include "platform/SecretStore.h"
#include "setup/OAuth2.h"

#include <QComboBox>

TAccountsPanel::TAccountsPanel(AppContext& context, TServerPage& page, TMailController& mail, TStatusLine& status,
                               QWidget& window)
    : context_(context), page_(page), mail_(mail), status_(status), window_(window)
{
}

TAccountStore TAccountsPanel::Store() const
{
    return TAccountStore(context_.paths.iniPath(), context_.secrets);
}

QList<TAccount> TAccountsPanel::ListedAccounts() const
{
    const TAccountStore store = Store();
    QList<TAccount> accounts;
    for (const QString& name : page_.Listed())
        accounts << store.Read(name);
    return accounts;
}

void TAccountsPanel::FollowListed()
{
    mail_.FollowAccounts(ListedAccounts());
}

int TAccountsPanel::CurrentAccountIndex() const
{
    return FindAccount(page_.HostCombo->currentText());
}

int TAccountsPanel::FindAccount(const QString& host) const
{
    return int(page_.Listed().indexOf(host));
}

void TAccountsPanel::SaveAccount()
{
    // A further user on a host that has an account already gets an account of its own, named
    // "user@host"; the host field then shows that name.
    const TAccount account = page_.AccountFromFields();
    if (account.Section.isEmpty())
        return;
    page_.ShowStored(account);
    Store().Write(account);
    FollowListed();
}

void TAccountsPanel::Poubelle6Click()
{
    const QString host = page_.HostCombo->currentText();
    if (host.isEmpty())
        return;
    if (!context_.dialogs->ConfirmYesNo(
            QStringLiteral("Voulez-vous vraiment supprimer les coordonnées relatives à %1 ?").arg(host)))
        return;
    Store().Erase(host);
    page_.Forget(host);
    FollowListed();
}

void TAccountsPanel::RequestAccountDetails()
{
    window_.show();
    window_.raise();
    window_.activateWindow();
    context_.dialogs->Message(QStringLiteral("Veuillez d'abord saisir vos coordonnées complètes de messagerie."),
                              MessageIcon::Information, QStringLiteral("Information"));
    page_.FocusMissingField();
}

void TAccountsPanel::AddAccountBtnClick()
{
    TProviderTable table;
    try {
        table = TProviderTable::Load(context_.paths.dataDir + QStringLiteral("providers.json"));
    } catch (const std::exception&) {
        // Without the shipped table the other sources still work.
    }
    IniProfile settings(context_.paths.iniPath());
    TAddAccountDialog dialog(context_, settings, std::move(table), &window_);
    if (dialog.exec() != QDialog::Accepted || !dialog.Result())
        return;
    AddFoundAccount(*dialog.Result());
}

void TAccountsPanel::AddFoundAccount(const TAddedAccount& added)
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
    for (int i = 0; i < page_.HostCombo->count(); ++i)
        listed << page_.HostCombo->itemText(i);
    TAccountStore store = Store();
    account.Section = store.SectionFor(account.Host, account.UserID, listed);
    store.Write(account);
    if (!listed.contains(account.Section, Qt::CaseInsensitive)) {
        listed << account.Section;
        store.WriteList(listed);
    }
    page_.ShowStored(account);
    page_.LoadAccount();
    FollowListed();
}

void TAccountsPanel::TellWherePasswordsAre()
{
    if (PasswordPlaceToldOnce || !context_.secrets || context_.secrets->Available())
        return;
    PasswordPlaceToldOnce = true;
    status_.setText(QStringLiteral("Aucun trousseau de mots de passe disponible : les mots de passe restent dans %1 "
                                   "(lisible par vous seul)")
                        .arg(context_.paths.iniPath()));
}
