// AccountStore: the mail accounts in the settings file: the host list, one section per account,
// and the current account of the "Serveur" page.
#include "app/AccountStore.h"

namespace {

const QString kHostList = QStringLiteral("Host");
const QString kCount = QStringLiteral("Nombre");
const QString kMainW = QStringLiteral("MainW");
const QString kHost = QStringLiteral("Host");
const QString kPort = QStringLiteral("Port");
const QString kUserName = QStringLiteral("UserName");
const QString kUserID = QStringLiteral("UserID");
const QString kPassword = QStringLiteral("Password");
const QString kDefaultPort = QStringLiteral("110");

bool sameText(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

} // namespace

QString TAccountStore::HostOf(const QString& name)
{
    const int at = name.lastIndexOf(QLatin1Char('@'));
    return at < 0 ? name : name.mid(at + 1);
}

// Every key of an account is read and written here, and only here. The account's own section and
// "MainW" keep the order in which they were always written.
void TAccountStore::ReadKeys(const QString& section, Place place, TAccount& account) const
{
    account.Port = ini_.ReadString(section, kPort, kDefaultPort);
    account.UserID = ini_.ReadString(section, place == Place::Current ? kUserID : kUserName, QString());
    account.Password = ini_.ReadString(section, kPassword, QString());
    // Keys added later: one line here and one in WriteKeys, both places alike.
}

void TAccountStore::WriteKeys(const QString& section, Place place, const TAccount& account)
{
    if (place == Place::Current) {
        ini_.WriteString(section, kHost, account.Name());
        ini_.WriteString(section, kPort, account.Port);
        ini_.WriteString(section, kUserID, account.UserID);
        ini_.WriteString(section, kPassword, account.Password);
    } else {
        ini_.WriteString(section, kUserName, account.UserID);
        ini_.WriteString(section, kPassword, account.Password);
        ini_.WriteString(section, kPort, account.Port);
    }
    // Keys added later go here through WriteOptional, so files of users who never changed them
    // stay as they were.
}

void TAccountStore::WriteOptional(const QString& section, const QString& key, const QString& value,
                                  const QString& def)
{
    if (value != def || ini_.KeyExists(section, key))
        ini_.WriteString(section, key, value);
}

QStringList TAccountStore::ReadList() const
{
    QStringList names;
    const int n = ini_.ReadInteger(kHostList, kCount, 0);
    for (int i = 1; i <= n; ++i)
        names << ini_.ReadString(kHostList, QString::number(i), QString());
    return names;
}

void TAccountStore::WriteList(const QStringList& names)
{
    ini_.EraseSection(kHostList);
    ini_.WriteInteger(kHostList, kCount, int(names.size()));
    for (int i = 0; i < names.size(); ++i)
        ini_.WriteString(kHostList, QString::number(i + 1), names[i]);
}

TAccount TAccountStore::Read(const QString& name) const
{
    TAccount account;
    account.Section = name;
    account.Host = HostOf(name);
    ReadKeys(name, Place::Own, account);
    return account;
}

QList<TAccount> TAccountStore::ReadAll() const
{
    QList<TAccount> accounts;
    for (const QString& name : ReadList())
        accounts << Read(name);
    return accounts;
}

void TAccountStore::Write(const TAccount& account)
{
    if (account.Section.isEmpty())
        return;
    WriteKeys(account.Section, Place::Own, account);
}

void TAccountStore::Erase(const QString& name)
{
    ini_.EraseSection(name);
}

TAccount TAccountStore::ReadCurrent() const
{
    TAccount account;
    account.Section = ini_.ReadString(kMainW, kHost, QString());
    account.Host = HostOf(account.Section);
    ReadKeys(kMainW, Place::Current, account);
    return account;
}

void TAccountStore::WriteCurrent(const TAccount& account)
{
    WriteKeys(kMainW, Place::Current, account);
}

QString TAccountStore::SectionFor(const QString& hostText, const QString& user, const QStringList& list) const
{
    const QString host = HostOf(hostText);
    if (host.isEmpty())
        return QString();
    // Without a user name there is nothing to tell accounts apart by: the text names it.
    if (user.isEmpty())
        return hostText;
    // A stored section that holds this user, or no user at all, is the account's.
    auto holds = [&](const QString& name) {
        if (!ini_.SectionExists(name))
            return false;
        const QString stored = ini_.ReadString(name, kUserName, QString());
        return stored.isEmpty() || sameText(stored, user);
    };
    if (holds(hostText))
        return hostText;
    for (const QString& name : list)
        if (sameText(HostOf(name), host) && ini_.SectionExists(name)
            && sameText(ini_.ReadString(name, kUserName, QString()), user))
            return name;
    if (!ini_.SectionExists(host) || holds(host))
        return host;
    return user + QLatin1Char('@') + host;
}
