// AccountStore: the mail accounts in the settings file: the host list, one section per account,
// and the current account of the "Serveur" page.
#pragma once
#include "app/Account.h"
#include "platform/IniProfile.h"

class SecretStore;

#include <QList>
#include <QStringList>

// Layout, as it always was:
//   [Host]   Nombre=N, 1=<name> ... N=<name>     the drop-down list, in its order
//   [<name>] UserName=, Password=, Port=         one section per account
//   [MainW]  Host=, Port=, UserID=, Password=    the four fields of the "Serveur" page
// An account's name is its host name. A further account on a host that already has one (another
// user name) is named "user@host"; host names hold no "@", so the host is what follows the last
// one. Files written before that rule load unchanged.
class TAccountStore {
public:
    // With secrets, passwords are kept in the desktop's secret store and the file's Password
    // keys stay empty; a password still in the file (an older file) is read and moves to the
    // store at its next write. When the store does not take it, the password goes to the file.
    explicit TAccountStore(const QString& iniPath, SecretStore* secrets = nullptr) : ini_(iniPath), secrets_(secrets) {}

    // The secret store's key of an account's password.
    static QString SecretKey(const TAccount& account)
    {
        return account.UserID + QLatin1Char('@') + (account.Host.isEmpty() ? HostOf(account.Section) : account.Host);
    }

    // The host list.
    QStringList ReadList() const;
    // Erases the list section and writes it anew.
    void WriteList(const QStringList& names);

    // The account stored under a name; a name without a section gives port "110", no user and no
    // password.
    TAccount Read(const QString& name) const;
    // Every account of the list, in its order.
    QList<TAccount> ReadAll() const;
    // Writes the account into its section (nothing when it has no section name).
    void Write(const TAccount& account);
    // Writes only the account's trusted certificates into its section.
    void WriteTrustedFingerprints(const TAccount& account);
    // Writes only the account's password into its section (to the secret store when there is one).
    void WritePassword(const TAccount& account);
    void Erase(const QString& name);

    // The four fields of the "Serveur" page; Section holds the host field's text.
    TAccount ReadCurrent() const;
    void WriteCurrent(const TAccount& account);

    // Where the account typed as host field text + user name is stored: the section named by the
    // text when it holds that user (or no user yet), else an account of the list on the same host
    // with that user, else the host's own section when it is free or holds that user, else a new
    // "user@host". Empty when the host is empty.
    QString SectionFor(const QString& hostText, const QString& user, const QStringList& list) const;

    // The host of an account name: what follows the last "@", or the whole name.
    static QString HostOf(const QString& name);

private:
    enum class Place { Own, Current };
    void ReadKeys(const QString& section, Place place, TAccount& account) const;
    void WriteKeys(const QString& section, Place place, const TAccount& account);
    // A key added after the first layout: written only when it differs from its default, or when
    // the file already holds it, so files of users who never changed it stay as they were.
    void WriteOptional(const QString& section, const QString& key, const QString& value, const QString& def);

    // The password as the file keeps it: empty when the secret store took it.
    QString PasswordForFile(const TAccount& account) const;

    IniProfile ini_;
    SecretStore* secrets_ = nullptr;
};
