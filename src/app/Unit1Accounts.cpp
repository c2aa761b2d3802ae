// Unit1Accounts: the mail accounts of the "Serveur" page: the fields turned into an account and
// back, switching, saving and deleting accounts.
#include "app/Unit1.h"

#include "app/AccountStore.h"
#include "platform/Dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

void TForm1::HostComboClick()
{
    if (Button2->isEnabled())
        ClosePopSession();
    LoadAccount();
}

TAccountStore TForm1::Accounts() const
{
    return TAccountStore(IniPath);
}

QList<TAccount> TForm1::ListedAccounts() const
{
    const TAccountStore store = Accounts();
    QList<TAccount> accounts;
    for (int i = 0; i < HostCombo->count(); ++i)
        accounts << store.Read(HostCombo->itemText(i));
    return accounts;
}

TAccount TForm1::AccountFromFields() const
{
    TAccount account;
    const QString text = HostCombo->currentText();
    account.Host = TAccountStore::HostOf(text);
    account.Port = Edit2->text();
    account.UserID = Edit3->text();
    account.Password = Edit4->text();
    QStringList listed;
    for (int i = 0; i < HostCombo->count(); ++i)
        listed << HostCombo->itemText(i);
    account.Section = Accounts().SectionFor(text, account.UserID, listed);
    return account;
}

void TForm1::LoadAccount()
{
    const TAccount account = Accounts().Read(HostCombo->currentText());
    Edit2->setText(account.Port);
    Edit3->setText(account.UserID);
    Edit4->setText(account.Password);
}

void TForm1::SaveAccount()
{
    // A further user on a host that has an account already gets an account of its own, named
    // "user@host"; the host field then shows that name.
    const TAccount account = AccountFromFields();
    if (account.Section.isEmpty())
        return;
    if (HostCombo->findText(account.Section, Qt::MatchFixedString) < 0)
        HostCombo->addItem(account.Section);
    HostCombo->setEditText(account.Section);
    Accounts().Write(account);
}

void TForm1::Poubelle6Click()
{
    const QString host = HostCombo->currentText();
    if (host.isEmpty())
        return;
    if (!context_.dialogs->ConfirmYesNo(
            QStringLiteral("Voulez-vous vraiment supprimer les coordonnées relatives à %1 ?").arg(host)))
        return;
    Accounts().Erase(host);
    const int index = HostCombo->findText(host, Qt::MatchFixedString);
    if (index >= 0)
        HostCombo->removeItem(index);
    HostCombo->setEditText(QString());
    Edit2->clear();
    Edit3->clear();
    Edit4->clear();
}

bool TForm1::AccountComplete() const
{
    return !HostCombo->currentText().isEmpty() && !Edit2->text().isEmpty() && !Edit3->text().isEmpty()
           && !Edit4->text().isEmpty();
}

void TForm1::RequestAccountDetails()
{
    show();
    raise();
    activateWindow();
    context_.dialogs->Message(QStringLiteral("Veuillez d'abord saisir vos coordonnées complètes de messagerie."),
                              MessageIcon::Information, QStringLiteral("Information"));
    if (HostCombo->currentText().isEmpty())
        HostCombo->setFocus();
    else if (Edit2->text().isEmpty())
        Edit2->setFocus();
    else if (Edit3->text().isEmpty())
        Edit3->setFocus();
    else if (Edit4->text().isEmpty())
        Edit4->setFocus();
}

int TForm1::CurrentAccountIndex() const
{
    return FindAccount(HostCombo->currentText());
}

int TForm1::FindAccount(const QString& host) const
{
    for (int i = 0; i < HostCombo->count(); ++i)
        if (HostCombo->itemText(i) == host)
            return i;
    return -1;
}
