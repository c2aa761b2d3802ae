// Unit1Accounts: the mail accounts of the "Serveur" page: the fields turned into an account and
// back, switching, saving and deleting accounts.
#include "app/Unit1.h"

#include "app/AccountStore.h"
#include "app/SecurityPorts.h"
#include "app/Finally.h"
#include "platform/Dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <functional>

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
    account.Protocol = TProtocol(std::max(0, ProtocolCombo->currentIndex()));
    account.Auth = AuthComboMethods().value(AuthCombo->currentIndex(), TAuthMethod::Password);
    account.PasswordCommand = PasswordCommandEdit->text();
    account.SmtpHost = SmtpHostEdit->text();
    account.SmtpPort = SmtpPortEdit->text();
    account.SmtpSecurity = TSecurity(std::max(0, SmtpSecurityCombo->currentIndex()));
    account.SmtpSignIn = TSmtpSignIn(std::max(0, SmtpSignInCombo->currentIndex()));
    account.SmtpUserID = SmtpUserEdit->text();
    account.SmtpPassword = SmtpPasswordEdit->text();
    QStringList listed;
    for (int i = 0; i < HostCombo->count(); ++i)
        listed << HostCombo->itemText(i);
    const TAccountStore store = Accounts();
    account.Section = store.SectionFor(text, account.UserID, listed);
    // The certificates trusted belong to the account they were trusted for: the one the page
    // loaded, or the stored one the fields now name.
    const TAccount kept = account.Section.compare(editing_.Section, Qt::CaseInsensitive) == 0
                              ? editing_
                              : store.Read(account.Section);
    account.TrustedFingerprints = kept.TrustedFingerprints;
    // The browser sign-in made for the account has no field of its own.
    account.OAuth2 = kept.OAuth2;
    // Nor has waiting for new mail.
    account.Idle = kept.Idle;
    return account;
}

void TForm1::WatchTyping()
{
    auto typed = [this](QWidget* w) {
        if (!loadingAccount_ && !typed_.contains(w))
            typed_ << w;
    };
    for (QLineEdit* e : {Edit2, Edit3, Edit4, PasswordCommandEdit, SmtpHostEdit, SmtpPortEdit, SmtpUserEdit, SmtpPasswordEdit})
        connect(e, &QLineEdit::textChanged, this, [typed, e] { typed(e); });
    for (QComboBox* c : {ProtocolCombo, SecurityCombo, AuthCombo, SmtpSecurityCombo, SmtpSignInCombo})
        connect(c, qOverload<int>(&QComboBox::currentIndexChanged), this, [typed, c] { typed(c); });
    connect(HostCombo, &QComboBox::editTextChanged, this,
            [this](const QString& text) { Guarded([this, text] { HostComboTextChange(text); }); });
}

void TForm1::HostComboTextChange(const QString& text)
{
    if (loadingAccount_)
        return;
    if (HostCombo->findText(text, Qt::MatchFixedString) >= 0) {
        if (text.compare(editing_.Section, Qt::CaseInsensitive) != 0)
            LoadAccount();
        return;
    }
    // Still typing a new account's host: what was typed stays.
    if (editing_.Section.isEmpty() || HostCombo->findText(editing_.Section, Qt::MatchFixedString) < 0)
        return;
    // Leaving a stored account for a host not stored: a new account, from the defaults, with only
    // what the user typed since the page loaded the other one.
    const TAccount fresh;
    const QSignalBlocker hold(HostCombo);
    loadingAccount_ = true;
    const auto unlessTyped = [this](QWidget* w, const std::function<void()>& reset) {
        if (!typed_.contains(w))
            reset();
    };
    unlessTyped(Edit3, [&] { Edit3->setText(fresh.UserID); });
    unlessTyped(Edit4, [&] { Edit4->setText(fresh.Password); });
    unlessTyped(SecurityCombo, [&] { SecurityCombo->setCurrentIndex(int(fresh.Security)); });
    unlessTyped(ProtocolCombo, [&] { ProtocolCombo->setCurrentIndex(int(fresh.Protocol)); });
    unlessTyped(Edit2, [&] {
        Edit2->setText(PortForService(TService::Pop3, IncomingService(TProtocol(ProtocolCombo->currentIndex())), fresh.Port,
                                      TSecurity(SecurityCombo->currentIndex())));
    });
    unlessTyped(AuthCombo, [&] { AuthCombo->setCurrentIndex(0); });
    unlessTyped(PasswordCommandEdit, [&] { PasswordCommandEdit->clear(); });
    unlessTyped(SmtpHostEdit, [&] { SmtpHostEdit->clear(); });
    unlessTyped(SmtpSecurityCombo, [&] { SmtpSecurityCombo->setCurrentIndex(int(fresh.SmtpSecurity)); });
    unlessTyped(SmtpPortEdit, [&] { SmtpPortEdit->setText(fresh.SmtpPort); });
    unlessTyped(SmtpSignInCombo, [&] { SmtpSignInCombo->setCurrentIndex(int(fresh.SmtpSignIn)); });
    unlessTyped(SmtpUserEdit, [&] { SmtpUserEdit->clear(); });
    unlessTyped(SmtpPasswordEdit, [&] { SmtpPasswordEdit->clear(); });
    loadingAccount_ = false;
    SmtpSignInComboChange();
    editing_ = fresh;
}

void TForm1::LoadAccount()
{
    const TAccount account = Accounts().Read(HostCombo->currentText());
    loadingAccount_ = true;
    Edit2->setText(account.Port);
    Edit3->setText(account.UserID);
    Edit4->setText(account.Password);
    loadingAccount_ = false;
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
    loadingAccount_ = true;
    const Finally loaded([this] { loadingAccount_ = false; });
    typed_.clear();
    editing_ = account;
    if (editing_.Section.isEmpty())
        editing_.Section = HostCombo->currentText();
    SecurityCombo->setCurrentIndex(int(account.Security));
    ProtocolCombo->setCurrentIndex(int(account.Protocol));
    AuthCombo->setCurrentIndex(std::max(0, int(AuthComboMethods().indexOf(account.Auth))));
    PasswordCommandEdit->setText(account.PasswordCommand);
    SmtpHostEdit->setText(account.SmtpHost);
    SmtpPortEdit->setText(account.SmtpPort);
    SmtpSecurityCombo->setCurrentIndex(int(account.SmtpSecurity));
    SmtpSignInCombo->setCurrentIndex(int(account.SmtpSignIn));
    SmtpUserEdit->setText(account.SmtpUserID);
    SmtpPasswordEdit->setText(account.SmtpPassword);
    SmtpSignInComboChange();
}

void TForm1::SecurityComboChange()
{
    Edit2->setText(PortForSecurity(IncomingService(TProtocol(std::max(0, ProtocolCombo->currentIndex()))), Edit2->text(),
                                   TSecurity(SecurityCombo->currentIndex())));
}

void TForm1::ProtocolComboChange()
{
    // The usual port of the protocol left gives way to that of the one chosen; a typed port stays.
    const TProtocol now = TProtocol(std::max(0, ProtocolCombo->currentIndex()));
    const TService was = now == TProtocol::Imap ? TService::Pop3 : TService::Imap;
    Edit2->setText(PortForService(was, IncomingService(now), Edit2->text(), TSecurity(SecurityCombo->currentIndex())));
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

void TForm1::SaveAccount()
{
    // A further user on a host that has an account already gets an account of its own, named
    // "user@host"; the host field then shows that name.
    const TAccount account = AccountFromFields();
    if (account.Section.isEmpty())
        return;
    {
        loadingAccount_ = true;
        const Finally shown([this] { loadingAccount_ = false; });
        if (HostCombo->findText(account.Section, Qt::MatchFixedString) < 0)
            HostCombo->addItem(account.Section);
        HostCombo->setEditText(account.Section);
    }
    Accounts().Write(account);
    // The page now edits the stored account.
    editing_ = account;
    typed_.clear();
    Mail->FollowAccounts(ListedAccounts());
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
    Mail->FollowAccounts(ListedAccounts());
    loadingAccount_ = true;
    HostCombo->setEditText(QString());
    Edit2->clear();
    Edit3->clear();
    Edit4->clear();
    loadingAccount_ = false;
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
