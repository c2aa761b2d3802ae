// AccountsPanel: TAccountsPanel, the mail accounts of the "Serveur" page as the window uses them:
// the store of the settings file, saving and deleting the account shown, adding one found for an
// address, asking for what is missing, and saying where the passwords are kept.
#pragma once
#include "app/Account.h"

#include <QList>
#include <QString>

class QWidget;
class TAccountStore;
class TMailController;
class TServerPage;
class TStatusLine;
struct AppContext;
struct TAddedAccount;

class TAccountsPanel {
public:
    // window: brought forward when details are missing, and the parent of the dialog of "Ajouter
    // un compte". Every change of the accounts is followed by the mail work's waiting for news.
    TAccountsPanel(AppContext& context, TServerPage& page, TMailController& mail, TStatusLine& status, QWidget& window);

    // The stored accounts of the settings file.
    TAccountStore Store() const;
    // Every account of the host list, as stored.
    QList<TAccount> ListedAccounts() const;
    // The place of an account in the host list (the case counts), -1 when it is not there.
    int FindAccount(const QString& host) const;
    int CurrentAccountIndex() const;

    // Stores the account the fields hold.
    void SaveAccount();
    // Deletes the account the host field names, once the user agrees.
    void Poubelle6Click();
    // Asks for the missing details; the first empty field takes the focus.
    void RequestAccountDetails();
    // "Ajouter un compte": the dialog that finds an address's servers; what it checked is added.
    void AddAccountBtnClick();
    // Stores the account found and checked for an address and shows it on the page.
    void AddFoundAccount(const TAddedAccount& added);

    // The mail work waits for the news of the accounts as now listed.
    void FollowListed();

    // Without a secret store: says once, in the status bar, that the passwords stay in the file.
    void TellWherePasswordsAre();
    bool PasswordPlaceToldOnce = false;

private:

    AppContext& context_;
    TServerPage& page_;
    TMailController& mail_;
    TStatusLine& status_;
    QWidget& window_;
};
