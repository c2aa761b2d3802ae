// AddAccountDialog: "Ajouter un compte" — the user types an address (and a password unless the
// provider signs in through the browser); the servers found are shown, can be changed, and are
// checked by signing in before the account is handed back.
#include "app/AddAccountDialog.h"
#include "app/AppContext.h"

#include "platform/Dialogs.h"
#include "platform/IniProfile.h"
#include "platform/SecretStore.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

template <class T>
T* Named(T* Widget, const char* Name)
{
    Widget->setObjectName(QString::fromLatin1(Name));
    return Widget;
}

QComboBox* SecurityCombo(const char* Name)
{
    auto* c = Named(new QComboBox, Name);
    // In the order of TSecurity.
    c->addItems({QStringLiteral("Aucune"), QStringLiteral("TLS"), QStringLiteral("STARTTLS")});
    return c;
}

// The SMTP sign-in the found servers call for: none without a user name, the incoming one when
// both use the same name, else a name of its own.
TSmtpSignIn SmtpSignInFor(const TFoundServer& in, const TFoundServer& out)
{
    if (out.UserName.isEmpty())
        return TSmtpSignIn::None;
    return out.UserName == in.UserName ? TSmtpSignIn::SameAsPop3 : TSmtpSignIn::Own;
}

QSpinBox* PortSpin(const char* Name)
{
    auto* s = Named(new QSpinBox, Name);
    s->setRange(1, 65535);
    return s;
}

} // namespace

TAddAccountDialog::TAddAccountDialog(AppContext& Context, IniProfile& Settings, TProviderTable Table, QWidget* Parent)
    : QDialog(Parent), FContext(Context), FSettings(Settings), FTable(std::move(Table))
{
    setObjectName("AddAccountDialog");
    setWindowTitle(QStringLiteral("Ajouter un compte"));
    AddressEdit = Named(new QLineEdit, "AddressEdit");
    AddressEdit->setPlaceholderText(QStringLiteral("prenom.nom@exemple.fr"));
    PasswordEdit = Named(new QLineEdit, "PasswordEdit");
    PasswordEdit->setEchoMode(QLineEdit::Password);
    FindButton = Named(new QPushButton(QStringLiteral("Rechercher")), "FindButton");
    StatusLabel = Named(new QLabel, "StatusLabel");
    StatusLabel->setWordWrap(true);
    StatusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    IncomingProtocolCombo = Named(new QComboBox, "IncomingProtocolCombo");
    IncomingProtocolCombo->addItems({QStringLiteral("POP3"), QStringLiteral("IMAP")}); // as TFoundServer::TProtocol
    IncomingHostEdit = Named(new QLineEdit, "IncomingHostEdit");
    IncomingPortSpin = PortSpin("IncomingPortSpin");
    IncomingSecurityCombo = SecurityCombo("IncomingSecurityCombo");
    IncomingUserEdit = Named(new QLineEdit, "IncomingUserEdit");
    OutgoingHostEdit = Named(new QLineEdit, "OutgoingHostEdit");
    OutgoingPortSpin = PortSpin("OutgoingPortSpin");
    OutgoingSecurityCombo = SecurityCombo("OutgoingSecurityCombo");
    OutgoingUserEdit = Named(new QLineEdit, "OutgoingUserEdit");
    AddButton = Named(new QPushButton(QStringLiteral("Vérifier et ajouter")), "AddButton");
    CancelButton = Named(new QPushButton(QStringLiteral("Annuler")), "CancelButton");

    auto* top = new QFormLayout;
    top->addRow(QStringLiteral("Adresse électronique :"), AddressEdit);
    top->addRow(QStringLiteral("Mot de passe :"), PasswordEdit);
    auto* incoming = new QGroupBox(QStringLiteral("Serveur de réception"));
    auto* in = new QFormLayout(incoming);
    in->addRow(QStringLiteral("Protocole :"), IncomingProtocolCombo);
    in->addRow(QStringLiteral("Serveur :"), IncomingHostEdit);
    in->addRow(QStringLiteral("Port :"), IncomingPortSpin);
    in->addRow(QStringLiteral("Sécurité :"), IncomingSecurityCombo);
    in->addRow(QStringLiteral("Identifiant :"), IncomingUserEdit);
    auto* outgoing = new QGroupBox(QStringLiteral("Serveur d'envoi (SMTP)"));
    auto* out = new QFormLayout(outgoing);
    out->addRow(QStringLiteral("Serveur :"), OutgoingHostEdit);
    out->addRow(QStringLiteral("Port :"), OutgoingPortSpin);
    out->addRow(QStringLiteral("Sécurité :"), OutgoingSecurityCombo);
    out->addRow(QStringLiteral("Identifiant :"), OutgoingUserEdit);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(FindButton);
    buttons->addStretch();
    buttons->addWidget(AddButton);
    buttons->addWidget(CancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(incoming);
    layout->addWidget(outgoing);
    layout->addWidget(StatusLabel);
    layout->addLayout(buttons);
    AddButton->setEnabled(false);
    FindButton->setDefault(true);

    // Choosing the other incoming protocol shows the server the search found for it, if any.
    connect(IncomingProtocolCombo, &QComboBox::currentIndexChanged, this, [this](int Index) {
        if (!FFound)
            return;
        const TFoundServer::TProtocol wanted = Index == 1 ? TFoundServer::Imap : TFoundServer::Pop3;
        for (const TFoundServer& s : {FFound->Incoming, FFound->Alternative})
            if (s.Valid() && s.Protocol == wanted) {
                IncomingHostEdit->setText(s.Host);
                IncomingPortSpin->setValue(s.Port);
                IncomingSecurityCombo->setCurrentIndex(s.Security);
                IncomingUserEdit->setText(s.UserName);
            }
    });
    connect(FindButton, &QPushButton::clicked, this, [this] { FindButtonClick(); });
    connect(AddButton, &QPushButton::clicked, this, [this] { AddButtonClick(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButtonClick(); });
}

TAddAccountDialog::~TAddAccountDialog()
{
    FControl.Cancel();
}

void TAddAccountDialog::SetBusy(bool Busy)
{
    FBusy = Busy;
    for (QWidget* w : std::initializer_list<QWidget*>{AddressEdit, PasswordEdit, FindButton, AddButton})
        w->setEnabled(!Busy);
    if (!Busy)
        AddButton->setEnabled(FFound.has_value());
}

void TAddAccountDialog::ShowError(const QString& Text)
{
    StatusLabel->setText(Text);
}

void TAddAccountDialog::ShowFound(const TFoundAccount& Found)
{
    IncomingProtocolCombo->setCurrentIndex(Found.Incoming.Protocol == TFoundServer::Imap ? 1 : 0);
    IncomingHostEdit->setText(Found.Incoming.Host);
    IncomingPortSpin->setValue(Found.Incoming.Port);
    IncomingSecurityCombo->setCurrentIndex(Found.Incoming.Security);
    IncomingUserEdit->setText(Found.Incoming.UserName);
    OutgoingHostEdit->setText(Found.Outgoing.Host);
    OutgoingPortSpin->setValue(Found.Outgoing.Port);
    OutgoingSecurityCombo->setCurrentIndex(Found.Outgoing.Security);
    OutgoingUserEdit->setText(Found.Outgoing.UserName);
    static const char* const sources[] = {"la liste des fournisseurs", "le fichier de configuration du domaine",
                                          "les enregistrements SRV du domaine", "le fournisseur des serveurs MX",
                                          "les noms de serveurs habituels"};
    QString text = QStringLiteral("Réglages trouvés par %1%2.")
                       .arg(QString::fromLatin1(sources[int(Found.Source)]),
                            Found.ProviderName.isEmpty() ? QString() : " (" + Found.ProviderName + ")");
    PasswordEdit->setEnabled(!Found.UsesOAuth());
    if (Found.UsesOAuth()) {
        text += QStringLiteral(" %1 se connecte par le navigateur (OAuth 2) : aucun mot de passe n'est demandé.").arg(Found.OAuth.Name);
        try {
            TOAuthSettings(FSettings).ClientFor(Found.OAuth);
        } catch (const ESetupError& e) {
            text += "\n" + e.Text();
        }
    }
    if (!Found.Note.isEmpty())
        text += "\n" + Found.Note;
    StatusLabel->setText(text);
}

TFoundAccount TAddAccountDialog::FromFields() const
{
    TFoundAccount a = *FFound;
    a.Address = AddressEdit->text().trimmed();
    const TFoundServer::TProtocol protocol = IncomingProtocolCombo->currentIndex() == 1 ? TFoundServer::Imap : TFoundServer::Pop3;
    if (protocol != a.Incoming.Protocol && a.Alternative.Valid() && a.Alternative.Protocol == protocol)
        std::swap(a.Incoming, a.Alternative);
    a.Incoming.Protocol = protocol;
    a.Incoming.Host = IncomingHostEdit->text().trimmed();
    a.Incoming.Port = IncomingPortSpin->value();
    a.Incoming.Security = TSecurity(IncomingSecurityCombo->currentIndex());
    a.Incoming.UserName = IncomingUserEdit->text().trimmed();
    a.Outgoing.Host = OutgoingHostEdit->text().trimmed();
    a.Outgoing.Port = OutgoingPortSpin->value();
    a.Outgoing.Security = TSecurity(OutgoingSecurityCombo->currentIndex());
    a.Outgoing.UserName = OutgoingUserEdit->text().trimmed();
    return a;
}

void TAddAccountDialog::FindButtonClick()
{
    if (FBusy)
        return;
    FControl.Reset();
    FControl.CaFile = CaFile;
    FFound.reset();
    SetBusy(true);
    try {
        TDiscovery discovery(FControl, FTable);
        discovery.ImapSupported = ImapSupported;
        discovery.OnStep = [this](const QString& Step) { StatusLabel->setText(Step); };
        FFound = discovery.Find(AddressEdit->text());
        ShowFound(*FFound);
    } catch (const ESetupError& e) {
        ShowError(e.Text());
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    }
    SetBusy(false);
}

void TAddAccountDialog::Verify(TFoundAccount& Account, TVerifier& Verifier)
{
    if (PrepareVerifier)
        PrepareVerifier(Verifier);
    for (TFoundServer* server : {&Account.Incoming, &Account.Outgoing}) {
        StatusLabel->setText(QStringLiteral("Connexion à %1…").arg(server->Describe()));
        // The user may accept a server without encryption, or one certificate the checks refuse;
        // each question is asked once per server.
        for (bool asked = false;;) {
            try {
                Verifier.Check(*server);
                break;
            } catch (const ESetupError& e) {
                const bool plain = e.Kind() == ESetupError::PlainTextOnly;
                const bool certificate = e.Kind() == ESetupError::CertificateRefused && !e.Fingerprint().isEmpty();
                if (asked || !(plain || certificate) || !FContext.dialogs
                    || !FContext.dialogs->ConfirmYesNoDefaultNo(
                        e.Text() + (plain ? QStringLiteral("\nUtiliser ce serveur quand même ?")
                                          : QStringLiteral("\nFaire confiance à ce certificat pour ce compte ?"))))
                    throw;
                asked = true;
                if (plain)
                    Verifier.AllowPlainText = true;
                else
                    server->TrustedFingerprint = e.Fingerprint();
            }
        }
        Verifier.AllowPlainText = false;
    }
}

void TAddAccountDialog::AddButtonClick()
{
    if (FBusy || !FFound)
        return;
    FControl.Reset();
    FControl.CaFile = CaFile;
    TAddedAccount added{FromFields(), PasswordEdit->text()};
    if (!added.Account.Incoming.Valid() || !added.Account.Outgoing.Valid()) {
        ShowError(QStringLiteral("Indiquez le nom et le port des deux serveurs."));
        return;
    }
    SetBusy(true);
    try {
        TVerifier verifier(FControl);
        if (added.Account.UsesOAuth()) {
            added.Password.clear();
            const TOAuthClient client = TOAuthSettings(FSettings).ClientFor(added.Account.OAuth);
            if (!FContext.launcher || !FContext.secrets)
                throw ESetupError(ESetupError::OAuthFailed, QStringLiteral("Ni navigateur ni trousseau pour la connexion OAuth 2."));
            TOAuthFlow flow(FControl, *FContext.launcher);
            flow.OnBrowserOpened = [this](const QString& Url) {
                StatusLabel->setText(QStringLiteral("Connectez-vous dans le navigateur qui vient de s'ouvrir (sinon, ouvrez : %1).").arg(Url));
            };
            TTokenKeeper keeper(FControl, *FContext.secrets, added.Account.OAuth, client, added.Account.Address);
            keeper.Keep(flow.Authorize(added.Account.OAuth, client, added.Account.Address));
            for (TFoundServer* s : {&added.Account.Incoming, &added.Account.Outgoing})
                s->AuthMethod = TAuthMethod::OAuth2;
            verifier.SecretSource = keeper.Source();
            verifier.OnRefused = keeper.RetryAfterRefusal();
            try {
                Verify(added.Account, verifier);
            } catch (...) {
                // Nothing of an account that was not added stays behind.
                FContext.secrets->Remove(RefreshTokenKey(added.Account.OAuth.Id, added.Account.Address));
                throw;
            }
        } else {
            const std::string password = added.Password.toStdString();
            verifier.SecretSource = [password] { return password; };
            Verify(added.Account, verifier);
        }
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
        SetBusy(false);
        return;
    }
    SetBusy(false);
    FResult = added;
    if (OnAccountAdded)
        OnAccountAdded(added);
    accept();
}

void TAddAccountDialog::CancelButtonClick()
{
    reject();
}

void TAddAccountDialog::reject()
{
    // While a search or a check runs, closing stops it first; the dialog stays open to say so.
    if (FBusy) {
        FControl.Cancel();
        return;
    }
    QDialog::reject();
}

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
