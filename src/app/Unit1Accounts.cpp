// Unit1Accounts: the mail accounts of the "Serveur" page as the window uses them: switching,
// saving and deleting accounts, asking for what is missing.
#include "app/Unit1.h"

#include "app/AccountStore.h"
#include "platform/Dialogs.h"

#include <QComboBox>
#include <QPushButton>

void TForm1::HostComboClick()
{
    if (Server->Button2->isEnabled())
        ClosePopSession();
    LoadAccount();
}

TAccountStore TForm1::Accounts() const
{
    return TAccountStore(IniPath, context_.secrets);
}

QList<TAccount> TForm1::ListedAccounts() const
{
    const TAccountStore store = Accounts();
    QList<TAccount> accounts;
    for (const QString& name : Server->Listed())
        accounts << store.Read(name);
    return accounts;
}

TAccount TForm1::AccountFromFields() const
{
    return Server->AccountFromFields();
}

void TForm1::LoadAccount()
{
    Server->LoadAccount();
}

void TForm1::SaveAccount()
{
    // A further user on a host that has an account already gets an account of its own, named
    // "user@host"; the host field then shows that name.
    const TAccount account = AccountFromFields();
    if (account.Section.isEmpty())
        return;
    Server->ShowStored(account);
    Accounts().Write(account);
    Mail->FollowAccounts(ListedAccounts());
}

void TForm1::Poubelle6Click()
{
    const QString host = Server->HostCombo->currentText();
    if (host.isEmpty())
        return;
    if (!context_.dialogs->ConfirmYesNo(
            QStringLiteral("Voulez-vous vraiment supprimer les coordonnées relatives à %1 ?").arg(host)))
        return;
    Accounts().Erase(host);
    Server->Forget(host);
    Mail->FollowAccounts(ListedAccounts());
}

bool TForm1::AccountComplete() const
{
    return Server->AccountComplete();
}

void TForm1::RequestAccountDetails()
{
    show();
    raise();
    activateWindow();
    context_.dialogs->Message(QStringLiteral("Veuillez d'abord saisir vos coordonnées complètes de messagerie."),
                              MessageIcon::Information, QStringLiteral("Information"));
    Server->FocusMissingField();
}

int TForm1::CurrentAccountIndex() const
{
    return FindAccount(Server->HostCombo->currentText());
}

int TForm1::FindAccount(const QString& host) const
{
    return int(Server->Listed().indexOf(host));
}
