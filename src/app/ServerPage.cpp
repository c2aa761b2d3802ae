// ServerPage: TServerPage, the "Serveur" page: the mail account (host list, port, user, password,
// protocol, security, sign-in, sending server), the session buttons, the dial-up connection, help
// and start-up options. It turns its fields into an account and an account back into its fields.
#include "app/ServerPage.h"

#include "app/AccountStore.h"
#include "app/Finally.h"
#include "app/PageWidgets.h"
#include "app/SecurityPorts.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

// The security modes, in TSecurity order.
QStringList SecurityModes()
{
    return {QStringLiteral("Aucune"), QStringLiteral("SSL/TLS"), QStringLiteral("STARTTLS")};
}

TProtocol protocolOf(const QComboBox* combo) { return TProtocol(std::max(0, combo->currentIndex())); }
TSecurity securityOf(const QComboBox* combo) { return TSecurity(std::max(0, combo->currentIndex())); }

} // namespace

TServerPage::TServerPage(std::function<TAccountStore()> accounts, QWidget* parent)
    : QWidget(parent), accounts_(std::move(accounts))
{
    setObjectName(QStringLiteral("TabSheet1"));
    CreateControls();
    WatchTyping();
}

void TServerPage::CreateControls()
{
    auto* grid = new QGridLayout(this);

    auto* account = new QGroupBox(QStringLiteral("Compte de messagerie"), this);
    auto* a = new QGridLayout(account);
    HostCombo = editableCombo("HostCombo", account);
    Edit2 = make<QLineEdit>("Edit2", account);
    Edit3 = make<QLineEdit>("Edit3", account);
    Edit4 = make<QLineEdit>("Edit4", account);
    Edit4->setEchoMode(QLineEdit::Password);
    Poubelle6 = glyphButton("Poubelle6", QStyle::SP_TrashIcon, QStringLiteral("Supprime l'entrée courante"), true,
                            account);
    a->addWidget(label("Label1", QStringLiteral("Messagerie :"), account), 0, 0);
    a->addWidget(HostCombo, 0, 1);
    a->addWidget(Poubelle6, 0, 2);
    a->addWidget(label("Label2", QStringLiteral("Protocole, port :"), account), 1, 0);
    // The protocol shares the port's row and its label: the page keeps its height and width.
    ProtocolCombo = make<QComboBox>("ProtocolCombo", account);
    ProtocolCombo->addItems({QStringLiteral("POP3"), QStringLiteral("IMAP")}); // in TProtocol order
    ProtocolCombo->setToolTip(QStringLiteral("IMAP : la boîte de réception (INBOX) et ses messages non lus"));
    auto* portRow = new QHBoxLayout;
    portRow->setContentsMargins(0, 0, 0, 0);
    portRow->addWidget(ProtocolCombo);
    portRow->addWidget(Edit2, 1);
    a->addLayout(portRow, 1, 1);
    // Waiting for new mail is an IMAP matter: it stands under the protocol, on a row of its own
    // across the labels' column too, so the page keeps its width.
    IdleCheck = make<QCheckBox>("IdleCheck", account, QStringLiteral("Nouveau courrier immédiat (IDLE)"));
    IdleCheck->setToolTip(QStringLiteral("IMAP : la connexion reste ouverte et annonce le nouveau courrier dès "
                                         "son arrivée, sans attendre la prochaine vérification"));
    a->addWidget(IdleCheck, 2, 0, 1, 2);
    a->addWidget(label("Label3", QStringLiteral("User ID :"), account), 3, 0);
    a->addWidget(Edit3, 3, 1);
    a->addWidget(label("Label4", QStringLiteral("Password :"), account), 4, 0);
    a->addWidget(Edit4, 4, 1);
    SecurityCombo = make<QComboBox>("SecurityCombo", account);
    SecurityCombo->addItems(SecurityModes());
    AuthCombo = make<QComboBox>("AuthCombo", account);
    AuthCombo->addItems({QStringLiteral("Mot de passe"), QStringLiteral("Automatique"), QStringLiteral("APOP"),
                         QStringLiteral("CRAM-MD5"), QStringLiteral("SCRAM-SHA-256"), QStringLiteral("SCRAM-SHA-1"),
                         QStringLiteral("OAuth 2 (jeton)")});
    PasswordCommandEdit = make<QLineEdit>("PasswordCommandEdit", account);
    PasswordCommandEdit->setToolTip(QStringLiteral(
        "Facultatif : commande dont la première ligne affichée sert de mot de passe ou de jeton OAuth 2 "
        "(lancée sans shell ; les guillemets doubles regroupent les mots)"));
    a->addWidget(label("SecurityLabel", QStringLiteral("Sécurité :"), account), 5, 0);
    a->addWidget(SecurityCombo, 5, 1);
    a->addWidget(label("AuthLabel", QStringLiteral("Authentification :"), account), 6, 0);
    a->addWidget(AuthCombo, 6, 1);
    a->addWidget(label("PasswordCommandLabel", QStringLiteral("Commande du mot de passe :"), account), 7, 0);
    a->addWidget(PasswordCommandEdit, 7, 1);
    a->setColumnStretch(1, 1);

    auto* sending = new QGroupBox(QStringLiteral("Envoi"), this);
    sending->setObjectName(QStringLiteral("SendingGroup"));
    auto* e = new QGridLayout(sending);
    SmtpHostEdit = make<QLineEdit>("SmtpHostEdit", sending);
    SmtpHostEdit->setPlaceholderText(QStringLiteral("serveur de réception"));
    SmtpPortEdit = make<QLineEdit>("SmtpPortEdit", sending);
    SmtpPortEdit->setText(QStringLiteral("25"));
    SmtpPortEdit->setMaximumWidth(60);
    SmtpSecurityCombo = make<QComboBox>("SmtpSecurityCombo", sending);
    SmtpSecurityCombo->addItems(SecurityModes());
    SmtpSignInCombo = make<QComboBox>("SmtpSignInCombo", sending);
    SmtpSignInCombo->addItems({QStringLiteral("Aucune"), QStringLiteral("Identique à la réception"),
                               QStringLiteral("Identifiant propre")});
    SmtpUserEdit = make<QLineEdit>("SmtpUserEdit", sending);
    SmtpPasswordEdit = make<QLineEdit>("SmtpPasswordEdit", sending);
    SmtpPasswordEdit->setEchoMode(QLineEdit::Password);
    SmtpUserEdit->setEnabled(false);
    SmtpPasswordEdit->setEnabled(false);
    e->addWidget(label("SmtpHostLabel", QStringLiteral("Serveur SMTP :"), sending), 0, 0);
    e->addWidget(SmtpHostEdit, 0, 1);
    e->addWidget(label("SmtpPortLabel", QStringLiteral("Port :"), sending), 0, 2);
    e->addWidget(SmtpPortEdit, 0, 3);
    e->addWidget(label("SmtpSecurityLabel", QStringLiteral("Sécurité :"), sending), 1, 0);
    e->addWidget(SmtpSecurityCombo, 1, 1, 1, 3);
    e->addWidget(label("SmtpSignInLabel", QStringLiteral("Identification :"), sending), 2, 0);
    e->addWidget(SmtpSignInCombo, 2, 1, 1, 3);
    e->addWidget(label("SmtpUserLabel", QStringLiteral("User ID :"), sending), 3, 0);
    e->addWidget(SmtpUserEdit, 3, 1, 1, 3);
    e->addWidget(label("SmtpPasswordLabel", QStringLiteral("Password :"), sending), 4, 0);
    e->addWidget(SmtpPasswordEdit, 4, 1, 1, 3);
    e->setColumnStretch(1, 1);

    auto* help = new QHBoxLayout;
    HelpBtn = speedButton("HelpBtn", QStyle::SP_DialogHelpButton, QStringLiteral("Aide"), QStringLiteral("Aide"), this);
    AboutBtn = speedButton("AboutBtn", QStyle::SP_MessageBoxInformation, QStringLiteral("A propos"),
                           QStringLiteral("A propos|"), this);
    KatalBtn = speedButton("KatalBtn", QStyle::SP_FileDialogContentsView, QStringLiteral("Du même auteur"),
                           QStringLiteral("Du même auteur"), this);
    WebBtn = speedButton("WebBtn", QStyle::SP_DriveNetIcon, QStringLiteral("Site Web"),
                         QStringLiteral("Connexion à mon site web"), this);
    for (QToolButton* b : {HelpBtn, AboutBtn, KatalBtn, WebBtn})
        help->addWidget(b);
    help->addStretch(1);

    // The start-up options share the row of the window's buttons: the page keeps its height.
    auto* bottom = new QHBoxLayout;
    WinStart = make<QCheckBox>("WinStart", this, QStringLiteral("Démarrer avec la session"));
    ShowOnStart = make<QCheckBox>("ShowOnStart", this, QStringLiteral("Montrer la fenêtre au démarrage"));
    bottom->addWidget(WinStart);
    bottom->addWidget(ShowOnStart);
    bottom->addStretch(1);
    Button12 = button("Button12", QStringLiteral("Fermer la fenêtre"), this);
    Button11 = button("Button11", QStringLiteral("Quitter Brevicor"), this);
    bottom->addWidget(Button12);
    bottom->addWidget(Button11);

    auto* accountAndSending = new QHBoxLayout;
    accountAndSending->addWidget(account, 3);
    accountAndSending->addWidget(sending, 2);
    grid->addLayout(accountAndSending, 0, 0);
    grid->addLayout(CreateActions(), 0, 1);
    grid->addWidget(CreateDialGroup(), 1, 0, 1, 2);
    grid->addLayout(help, 2, 0, 1, 2);
    grid->addLayout(bottom, 3, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(4, 1);
    UpdateProtocolFields();
}

QLayout* TServerPage::CreateActions()
{
    auto* actions = new QVBoxLayout;
    Button1 = button("Button1", QStringLiteral("Connecter à POP3"), this);
    Button2 = button("Button2", QStringLiteral("Déconnecter de POP3"), this);
    Button10 = button("Button10", QStringLiteral("Aller voir maintenant"), this);
    CancelBtn = button("CancelBtn", QStringLiteral("Annuler"), this);
    CancelBtn->setEnabled(false);
    AddAccountBtn = button("AddAccountBtn", QStringLiteral("Ajouter un compte"), this);
    for (QPushButton* b : {AddAccountBtn, Button1, Button2, Button10, CancelBtn})
        actions->addWidget(b);
    actions->addStretch(1);
    return actions;
}

QWidget* TServerPage::CreateDialGroup()
{
    auto* dial = new QGroupBox(QStringLiteral("Connexion réseau"), this);
    auto* d = new QGridLayout(dial);
    Label7 = label("Label7", QStringLiteral("Connexion :"), dial);
    ComboBox1 = make<QComboBox>("ComboBox1", dial);
    Poubelle7 = glyphButton("Poubelle7", QStyle::SP_TrashIcon, QStringLiteral("Supprime la connexion courante"), true,
                            dial);
    Button13 = button("Button13", QStringLiteral("Propriétés"), dial);
    RenameBtn = button("RenameBtn", QStringLiteral("Renommer"), dial);
    CreateBtn = button("CreateBtn", QStringLiteral("Créer"), dial);
    UserBtn = button("UserBtn", QStringLiteral("Nom utilisateur"), dial);
    PWBtn = button("PWBtn", QStringLiteral("Mot de passe"), dial);
    d->addWidget(Label7, 0, 0);
    d->addWidget(ComboBox1, 0, 1, 1, 3);
    d->addWidget(Poubelle7, 0, 4);
    auto* dialButtons = new QHBoxLayout;
    for (QPushButton* b : {CreateBtn, Button13, RenameBtn, UserBtn, PWBtn})
        dialButtons->addWidget(b);
    d->addLayout(dialButtons, 1, 0, 1, 5);
    d->setColumnStretch(1, 1);
    return dial;
}

const QList<TAuthMethod>& TServerPage::AuthComboMethods()
{
    static const QList<TAuthMethod> methods{TAuthMethod::Password,    TAuthMethod::Automatic, TAuthMethod::Apop,
                                            TAuthMethod::CramMd5,     TAuthMethod::ScramSha256,
                                            TAuthMethod::ScramSha1,   TAuthMethod::OAuth2};
    return methods;
}

QStringList TServerPage::Listed() const
{
    QStringList listed;
    for (int i = 0; i < HostCombo->count(); ++i)
        listed << HostCombo->itemText(i);
    return listed;
}

TAccount TServerPage::AccountFromFields() const
{
    TAccount account;
    const QString text = HostCombo->currentText();
    account.Host = TAccountStore::HostOf(text);
    account.Port = Edit2->text();
    account.UserID = Edit3->text();
    account.Password = Edit4->text();
    account.Security = securityOf(SecurityCombo);
    account.Protocol = protocolOf(ProtocolCombo);
    account.Idle = IdleCheck->isChecked();
    account.Auth = AuthComboMethods().value(AuthCombo->currentIndex(), TAuthMethod::Password);
    account.PasswordCommand = PasswordCommandEdit->text();
    account.SmtpHost = SmtpHostEdit->text();
    account.SmtpPort = SmtpPortEdit->text();
    account.SmtpSecurity = securityOf(SmtpSecurityCombo);
    account.SmtpSignIn = TSmtpSignIn(std::max(0, SmtpSignInCombo->currentIndex()));
    account.SmtpUserID = SmtpUserEdit->text();
    account.SmtpPassword = SmtpPasswordEdit->text();
    const TAccountStore store = accounts_();
    account.Section = store.SectionFor(text, account.UserID, Listed());
    // The certificates trusted belong to the account they were trusted for: the one the page
    // loaded, or the stored one the fields now name.
    const TAccount kept = account.Section.compare(editing_.Section, Qt::CaseInsensitive) == 0
                              ? editing_
                              : store.Read(account.Section);
    account.TrustedFingerprints = kept.TrustedFingerprints;
    // The browser sign-in made for the account has no field of its own.
    account.OAuth2 = kept.OAuth2;
    return account;
}

void TServerPage::WatchTyping()
{
    auto typed = [this](QWidget* w) {
        if (!Loading && !typed_.contains(w))
            typed_ << w;
    };
    for (QLineEdit* e : {Edit2, Edit3, Edit4, PasswordCommandEdit, SmtpHostEdit, SmtpPortEdit, SmtpUserEdit, SmtpPasswordEdit})
        connect(e, &QLineEdit::textChanged, this, [typed, e] { typed(e); });
    for (QComboBox* c : {ProtocolCombo, SecurityCombo, AuthCombo, SmtpSecurityCombo, SmtpSignInCombo})
        connect(c, qOverload<int>(&QComboBox::currentIndexChanged), this, [typed, c] { typed(c); });
    connect(IdleCheck, &QCheckBox::toggled, this, [typed, this] { typed(IdleCheck); });
    // The IMAP-only settings follow the protocol however it changes (typed, loaded or reset).
    connect(ProtocolCombo, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { UpdateProtocolFields(); });
    connect(SmtpSignInCombo, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { SmtpSignInComboChange(); });
}

void TServerPage::HostComboTextChange(const QString& text)
{
    if (Loading)
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
    Loading = true;
    const auto unlessTyped = [this](QWidget* w, const std::function<void()>& reset) {
        if (!typed_.contains(w))
            reset();
    };
    unlessTyped(Edit3, [&] { Edit3->setText(fresh.UserID); });
    unlessTyped(Edit4, [&] { Edit4->setText(fresh.Password); });
    unlessTyped(SecurityCombo, [&] { SecurityCombo->setCurrentIndex(int(fresh.Security)); });
    unlessTyped(ProtocolCombo, [&] { ProtocolCombo->setCurrentIndex(int(fresh.Protocol)); });
    unlessTyped(IdleCheck, [&] { IdleCheck->setChecked(fresh.Idle); });
    unlessTyped(Edit2, [&] {
        Edit2->setText(PortForService(TService::Pop3, IncomingService(protocolOf(ProtocolCombo)), fresh.Port,
                                      securityOf(SecurityCombo)));
    });
    unlessTyped(AuthCombo, [&] { AuthCombo->setCurrentIndex(0); });
    unlessTyped(PasswordCommandEdit, [&] { PasswordCommandEdit->clear(); });
    unlessTyped(SmtpHostEdit, [&] { SmtpHostEdit->clear(); });
    unlessTyped(SmtpSecurityCombo, [&] { SmtpSecurityCombo->setCurrentIndex(int(fresh.SmtpSecurity)); });
    unlessTyped(SmtpPortEdit, [&] { SmtpPortEdit->setText(fresh.SmtpPort); });
    unlessTyped(SmtpSignInCombo, [&] { SmtpSignInCombo->setCurrentIndex(int(fresh.SmtpSignIn)); });
    unlessTyped(SmtpUserEdit, [&] { SmtpUserEdit->clear(); });
    unlessTyped(SmtpPasswordEdit, [&] { SmtpPasswordEdit->clear(); });
    Loading = false;
    SmtpSignInComboChange();
    editing_ = fresh;
}

void TServerPage::LoadAccount()
{
    ShowAccount(accounts_().Read(HostCombo->currentText()));
}

void TServerPage::ShowAccount(const TAccount& account)
{
    Loading = true;
    const Finally loaded([this] { Loading = false; });
    typed_.clear();
    editing_ = account;
    if (editing_.Section.isEmpty())
        editing_.Section = HostCombo->currentText();
    Edit2->setText(account.Port);
    Edit3->setText(account.UserID);
    Edit4->setText(account.Password);
    SecurityCombo->setCurrentIndex(int(account.Security));
    ProtocolCombo->setCurrentIndex(int(account.Protocol));
    IdleCheck->setChecked(account.Idle);
    AuthCombo->setCurrentIndex(std::max(0, int(AuthComboMethods().indexOf(account.Auth))));
    PasswordCommandEdit->setText(account.PasswordCommand);
    SmtpHostEdit->setText(account.SmtpHost);
    SmtpPortEdit->setText(account.SmtpPort);
    SmtpSecurityCombo->setCurrentIndex(int(account.SmtpSecurity));
    SmtpSignInCombo->setCurrentIndex(int(account.SmtpSignIn));
    SmtpUserEdit->setText(account.SmtpUserID);
    SmtpPasswordEdit->setText(account.SmtpPassword);
    SmtpSignInComboChange();
    UpdateProtocolFields();
}

void TServerPage::ShowStored(const TAccount& account)
{
    {
        Loading = true;
        const Finally shown([this] { Loading = false; });
        if (HostCombo->findText(account.Section, Qt::MatchFixedString) < 0)
            HostCombo->addItem(account.Section);
        HostCombo->setEditText(account.Section);
    }
    editing_ = account;
    typed_.clear();
}

void TServerPage::Forget(const QString& host)
{
    const int index = HostCombo->findText(host, Qt::MatchFixedString);
    if (index >= 0)
        HostCombo->removeItem(index);
    {
        Loading = true;
        const Finally cleared([this] { Loading = false; });
        HostCombo->setEditText(QString());
    }
    TAccount none;
    none.Port.clear();
    ShowAccount(none);
}

bool TServerPage::AccountComplete() const
{
    return !HostCombo->currentText().isEmpty() && !Edit2->text().isEmpty() && !Edit3->text().isEmpty()
           && (!Edit4->text().isEmpty() || !PasswordCommandEdit->text().trimmed().isEmpty());
}

void TServerPage::FocusMissingField()
{
    if (HostCombo->currentText().isEmpty())
        HostCombo->setFocus();
    else if (Edit2->text().isEmpty())
        Edit2->setFocus();
    else if (Edit3->text().isEmpty())
        Edit3->setFocus();
    else if (Edit4->text().isEmpty() && PasswordCommandEdit->text().trimmed().isEmpty())
        Edit4->setFocus();
}

void TServerPage::KeepStored(const TAccount& account)
{
    if (account.Section.compare(AccountFromFields().Section, Qt::CaseInsensitive) != 0)
        return;
    editing_.Section = account.Section;
    editing_.TrustedFingerprints = account.TrustedFingerprints;
    if (account.Password != editing_.Password) {
        // Shown as loaded, not as typed: the field holds what is stored.
        editing_.Password = account.Password;
        const bool was = Loading;
        Loading = true;
        Edit4->setText(account.Password);
        Loading = was;
    }
}

void TServerPage::SecurityComboChange()
{
    Edit2->setText(PortForSecurity(IncomingService(protocolOf(ProtocolCombo)), Edit2->text(), securityOf(SecurityCombo)));
}

void TServerPage::ProtocolComboChange()
{
    // The usual port of the protocol left gives way to that of the one chosen; a typed port stays.
    const TProtocol now = protocolOf(ProtocolCombo);
    const TService was = now == TProtocol::Imap ? TService::Pop3 : TService::Imap;
    Edit2->setText(PortForService(was, IncomingService(now), Edit2->text(), securityOf(SecurityCombo)));
}

void TServerPage::SmtpSecurityComboChange()
{
    SmtpPortEdit->setText(PortForSecurity(TService::Smtp, SmtpPortEdit->text(), securityOf(SmtpSecurityCombo)));
}

void TServerPage::SmtpSignInComboChange()
{
    const bool own = SmtpSignInCombo->currentIndex() == int(TSmtpSignIn::Own);
    SmtpUserEdit->setEnabled(own);
    SmtpPasswordEdit->setEnabled(own);
}

void TServerPage::UpdateProtocolFields()
{
    IdleCheck->setEnabled(protocolOf(ProtocolCombo) == TProtocol::Imap);
}
