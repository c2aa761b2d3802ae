// Unit1Accounts: the mail accounts of the "Serveur" page, stored one section per host name.
#include "app/Unit1.h"

#include "platform/Dialogs.h"
#include "platform/IniProfile.h"

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

void TForm1::LoadAccount()
{
    const IniProfile ini = Profile();
    const QString host = HostCombo->currentText();
    const QString user = ini.ReadString(host, QStringLiteral("UserName"), QString());
    const QString password = LoadPassword(ini, host, host, user);
    const QString port = ini.ReadString(host, QStringLiteral("Port"), QStringLiteral("110"));
    Edit2->setText(port);
    Edit3->setText(user);
    Edit4->setText(password);
}

void TForm1::SaveAccount()
{
    const QString host = HostCombo->currentText();
    if (!host.isEmpty() && HostCombo->findText(host, Qt::MatchFixedString) < 0)
        HostCombo->addItem(host);
    if (host.isEmpty())
        return;
    HostCombo->setEditText(host);
    IniProfile ini = Profile();
    ini.WriteString(host, QStringLiteral("UserName"), Edit3->text());
    StorePassword(ini, host, host, Edit3->text(), Edit4->text());
    ini.WriteString(host, QStringLiteral("Port"), Edit2->text());
}

void TForm1::Poubelle6Click()
{
    const QString host = HostCombo->currentText();
    if (host.isEmpty())
        return;
    if (!context_.dialogs->ConfirmYesNo(
            QStringLiteral("Voulez-vous vraiment supprimer les coordonnées relatives à %1 ?").arg(host)))
        return;
    IniProfile ini = Profile();
    ForgetPassword(host, ini.ReadString(host, QStringLiteral("UserName"), QString()));
    ini.EraseSection(host);
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
