// AddAccountDialog: "Ajouter un compte" — the user types an address (and a password unless the
// provider signs in through the browser); the servers found are shown, can be changed, and are
// checked by signing in before the account is handed back.
#pragma once

#include "app/Account.h"
#include "setup/Discovery.h"
#include "setup/OAuth2.h"
#include "setup/Verifier.h"

#include <QDialog>
#include <functional>
#include <optional>

class IniProfile;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
struct AppContext;

// What the dialog hands back: the servers as checked, and the password (empty for OAuth 2,
// whose refresh token is already in the keyring under RefreshTokenKey(OAuth.Id, Address)).
struct TAddedAccount {
    TFoundAccount Account;
    QString Password;
};

// The account of what the dialog checked: POP3 or IMAP as its incoming server (its host empty when
// none was found).
TAccount AccountFromFound(const TAddedAccount& added);

class TAddAccountDialog : public QDialog {
    Q_OBJECT
public:
    TAddAccountDialog(AppContext& Context, IniProfile& Settings, TProviderTable Table, QWidget* Parent = nullptr);
    ~TAddAccountDialog() override;

    // Whether IMAP servers found are offered first (else the POP3 server found beside them).
    bool ImapSupported = true;
    // Lets the owner complete each verifier before use (its limits).
    std::function<void(TVerifier&)> PrepareVerifier;
    // The authorities trusted instead of the system's (tests).
    QString CaFile;
    // Called with the checked account just before the dialog closes with Accepted.
    std::function<void(const TAddedAccount&)> OnAccountAdded;
    // The account once the dialog was accepted.
    const std::optional<TAddedAccount>& Result() const { return FResult; }

    // The controls, named as their objectName.
    QLineEdit* AddressEdit;
    QLineEdit* PasswordEdit;
    QPushButton* FindButton;
    QLabel* StatusLabel;
    QComboBox* IncomingProtocolCombo;
    QLineEdit* IncomingHostEdit;
    QSpinBox* IncomingPortSpin;
    QComboBox* IncomingSecurityCombo;
    QLineEdit* IncomingUserEdit;
    QLineEdit* OutgoingHostEdit;
    QSpinBox* OutgoingPortSpin;
    QComboBox* OutgoingSecurityCombo;
    QLineEdit* OutgoingUserEdit;
    QPushButton* AddButton;
    QPushButton* CancelButton;

    // The handlers (public so tests can drive them like a click).
    void FindButtonClick();
    void AddButtonClick();
    void CancelButtonClick();
    void reject() override;

private:
    void ShowFound(const TFoundAccount& Found);
    TFoundAccount FromFields() const;
    void SetBusy(bool Busy);
    void ShowError(const QString& Text);
    void Verify(TFoundAccount& Account, TVerifier& Verifier);

    AppContext& FContext;
    IniProfile& FSettings;
    TProviderTable FTable;
    TSetupControl FControl;
    std::optional<TFoundAccount> FFound;
    std::optional<TAddedAccount> FResult;
    bool FBusy = false;
};
