// Unit1Accounts: the mail accounts of the "Serveur" page: the fields turned into an account and
// back, switching, saving and deleting accounts.
#include "app/Unit1.h"

#include "app/AccountStore.h"
#include "app/SecurityPorts.h"
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
    return TAccountStore(IniPath, context_.secrets);
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
    account.Security = TSecurity(std::max(0, SecurityCombo->currentIndex()));
    account.Auth = AuthComboMethods().value(AuthCombo->currentIndex(), TAuthMethod::Password);
    account.PasswordCommand = PasswordCommandEdit->text();
    account.SmtpHost = SmtpHostEdit->text();
    account.SmtpPort = SmtpPortEdit->text();
    account.SmtpSecurity = TSecurity(std::max(0, SmtpSecurityCombo->currentIndex()));
    account.SmtpSignIn = TSmtpSignIn(std::max(0, SmtpSignInCombo->currentIndex()));
    account.SmtpUserID = SmtpUserEdit->text();
    account.SmtpPassword = SmtpPasswordEdit->text();
    account.TrustedFingerprints = trustedFingerprints_;
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
    ShowAccountSettings(account);
}

const QList<TAuthMethod>& TForm1::AuthComboMethods()
{
    static const QList<TAuthMethod> methods{TAuthMethod::Password,    TAuthMethod::Automatic, TAuthMethod::Apop,
                                            TAuthMethod::CramMd5,     TAuthMethod::ScramSha256,
                                            TAuthMethod::ScramSha1,   TAuthMethod::OAuth2};
    return methods;
}

void TForm1::ShowAccountSettings(const TAccount& account)
{
    SecurityCombo->setCurrentIndex(int(account.Security));
    AuthCombo->setCurrentIndex(std::max(0, int(AuthComboMethods().indexOf(account.Auth))));
    PasswordCommandEdit->setText(account.PasswordCommand);
    SmtpHostEdit->setText(account.SmtpHost);
    SmtpPortEdit->setText(account.SmtpPort);
    SmtpSecurityCombo->setCurrentIndex(int(account.SmtpSecurity));
    SmtpSignInCombo->setCurrentIndex(int(account.SmtpSignIn));
    SmtpUserEdit->setText(account.SmtpUserID);
    SmtpPasswordEdit->setText(account.SmtpPassword);
    trustedFingerprints_ = account.TrustedFingerprints;
    SmtpSignInComboChange();
}

void TForm1::SecurityComboChange()
{
    Edit2->setText(PortForSecurity(TService::Pop3, Edit2->text(), TSecurity(SecurityCombo->currentIndex())));
}

void TForm1::SmtpSecurityComboChange()
{
    SmtpPortEdit->setText(
        PortForSecurity(TService::Smtp, SmtpPortEdit->text(), TSecurity(SmtpSecurityCombo->currentIndex())));
}

void TForm1::SmtpSignInComboChange()
{
    const bool own = SmtpSignInCombo->currentIndex() == int(TSmtpSignIn::Own);
    SmtpUserEdit->setEnabled(own);
    SmtpPasswordEdit->setEnabled(own);
}

bool TForm1::OfferToTrustCertificate(TAccount& account, const std::string& host, const std::string& reasons,
                                     const std::string& fingerprint)
{
    if (fingerprint.empty())
        return false;
    const QString question =
        QStringLiteral("Le certificat présenté par %1 a été refusé (%2).\n\nEmpreinte SHA-256 :\n%3\n\n"
                       "Vérifiez cette empreinte auprès de votre fournisseur. Faire confiance à ce certificat "
                       "pour ce compte ?")
            .arg(QString::fromStdString(host), QString::fromStdString(reasons), QString::fromStdString(fingerprint));
    if (!context_.dialogs->ConfirmYesNo(question))
        return false;
    const QString print = QString::fromStdString(fingerprint);
    QStringList prints = account.TrustedFingerprints.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (!prints.contains(print, Qt::CaseInsensitive))
        prints << print;
    account.TrustedFingerprints = prints.join(QLatin1Char(','));
    // The account on the page, when it is this one, keeps the certificate too.
    if (account.Section.isEmpty() || account.Section == AccountFromFields().Section)
        trustedFingerprints_ = account.TrustedFingerprints;
    if (!account.Section.isEmpty())
        Accounts().Write(account);
    return true;
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
    ShowAccountSettings(TAccount());
}

bool TForm1::AccountComplete() const
{
    return !HostCombo->currentText().isEmpty() && !Edit2->text().isEmpty() && !Edit3->text().isEmpty()
           && (!Edit4->text().isEmpty() || !PasswordCommandEdit->text().trimmed().isEmpty());
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
    else if (Edit4->text().isEmpty() && PasswordCommandEdit->text().trimmed().isEmpty())
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
