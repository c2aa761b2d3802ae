// ServerPage: TServerPage, the "Serveur" page: the mail account (host list, port, user, password,
// protocol, security, sign-in, sending server), the session buttons, the dial-up connection, help
// and start-up options. It turns its fields into an account and an account back into its fields.
#pragma once
#include "app/Account.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class TAccountStore;

class TServerPage : public QWidget {
    Q_OBJECT
public:
    // accounts: the store of the settings file, read when an account is loaded or named.
    explicit TServerPage(std::function<TAccountStore()> accounts, QWidget* parent = nullptr);

    // Account
    QComboBox* HostCombo = nullptr;
    QLineEdit* Edit2 = nullptr; // port
    QLineEdit* Edit3 = nullptr; // user
    QLineEdit* Edit4 = nullptr; // password
    QToolButton* Poubelle6 = nullptr;
    QComboBox* ProtocolCombo = nullptr;       // "Protocole, port :" (TProtocol order)
    QCheckBox* IdleCheck = nullptr;           // "Nouveau courrier immédiat (IDLE)", IMAP only
    QComboBox* SecurityCombo = nullptr;       // "Sécurité :" (TSecurity order)
    QComboBox* AuthCombo = nullptr;           // "Authentification :" (AuthComboMethods order)
    QLineEdit* PasswordCommandEdit = nullptr; // "Commande du mot de passe :"
    // "Envoi" (the account's SMTP server)
    QLineEdit* SmtpHostEdit = nullptr; // empty: the incoming host
    QLineEdit* SmtpPortEdit = nullptr;
    QComboBox* SmtpSecurityCombo = nullptr;
    QComboBox* SmtpSignInCombo = nullptr; // TSmtpSignIn order
    QLineEdit* SmtpUserEdit = nullptr;
    QLineEdit* SmtpPasswordEdit = nullptr;
    // Session buttons
    QPushButton* Button1 = nullptr;       // "Connecter à POP3"
    QPushButton* Button2 = nullptr;       // "Déconnecter de POP3"
    QPushButton* Button10 = nullptr;      // "Aller voir maintenant"
    QPushButton* CancelBtn = nullptr;     // "Annuler"
    QPushButton* AddAccountBtn = nullptr; // "Ajouter un compte"
    // Dial-up connection
    QLabel* Label7 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QToolButton* Poubelle7 = nullptr;
    QPushButton* Button13 = nullptr;  // "Propriétés"
    QPushButton* RenameBtn = nullptr; // "Renommer"
    QPushButton* CreateBtn = nullptr; // "Créer"
    QPushButton* UserBtn = nullptr;   // "Nom utilisateur"
    QPushButton* PWBtn = nullptr;     // "Mot de passe"
    // Help, About, start with the session, window
    QToolButton* HelpBtn = nullptr;
    QToolButton* AboutBtn = nullptr;
    QToolButton* KatalBtn = nullptr;
    QToolButton* WebBtn = nullptr;
    QCheckBox* WinStart = nullptr;
    QCheckBox* ShowOnStart = nullptr;
    QPushButton* Button11 = nullptr; // "Quitter Brevicor"
    QPushButton* Button12 = nullptr; // "Fermer la fenêtre"

    // The page is filling its fields itself: what changes is not the user's typing.
    bool Loading = false;
    // The methods of AuthCombo, in its order.
    static const QList<TAuthMethod>& AuthComboMethods();

    // The host list, as shown.
    QStringList Listed() const;
    // The account the fields hold, with the section it is stored in.
    TAccount AccountFromFields() const;
    // Shows an account in every field; the page then edits it.
    void ShowAccount(const TAccount& account);
    // Loads the stored account the host field names.
    void LoadAccount();
    // The host list holds the section and the host field shows it: the page edits that account.
    void ShowStored(const TAccount& account);
    // The account named is gone: out of the list, the fields emptied.
    void Forget(const QString& host);
    // Every field a session needs is filled (the password, or a command that gives it).
    bool AccountComplete() const;
    // The first field still empty takes the focus.
    void FocusMissingField();
    // What was stored for the account edited without the page (a certificate trusted, a new
    // password the server accepted) stays with it.
    void KeepStored(const TAccount& account);

    // The port fields follow a change of security mode or protocol (a typed port is kept).
    void SecurityComboChange();
    void ProtocolComboChange();
    void SmtpSecurityComboChange();
    // The SMTP user and password fields are used only with a sign-in of their own.
    void SmtpSignInComboChange();
    // The host field now names another account: a stored one is loaded, a text not stored starts
    // a new account with default settings, keeping only what the user typed since.
    void HostComboTextChange(const QString& text);

private:
    void CreateControls();
    QLayout* CreateActions();
    QWidget* CreateDialGroup();
    void WatchTyping();
    // The IMAP-only settings are offered with IMAP only.
    void UpdateProtocolFields();

    std::function<TAccountStore()> accounts_;
    // The account the page edits: what no field shows (its trusted certificates) comes from here;
    // a new account starts from the defaults.
    TAccount editing_;
    // Fields the user has typed into since the page last loaded an account.
    QList<QWidget*> typed_;
};
