// AccountStore: the mail accounts in the settings file: the host list, one section per account,
// and the current account of the "Serveur" page.
#include "app/AccountStore.h"

#include "platform/SecretStore.h"

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
// Keys added with secure connections and sign-in; each is written only when it differs from its
// default (or the file holds it already), so untouched files stay as they were.
const QString kSecurity = QStringLiteral("Securite");
const QString kAuth = QStringLiteral("Authentification");
const QString kSmtpHost = QStringLiteral("SmtpHost");
const QString kSmtpPort = QStringLiteral("SmtpPort");
const QString kSmtpSecurity = QStringLiteral("SmtpSecurite");
const QString kSmtpSignIn = QStringLiteral("SmtpIdentification");
const QString kSmtpUserName = QStringLiteral("SmtpUserName");
const QString kSmtpPassword = QStringLiteral("SmtpPassword");
const QString kPasswordCommand = QStringLiteral("CommandeMotDePasse");
const QString kOAuth2 = QStringLiteral("OAuth2");
const QString kFingerprints = QStringLiteral("Certificats");
const QString kProtocol = QStringLiteral("Protocole");
const QString kIdle = QStringLiteral("Attente");
const QString kDefaultSmtpPort = QStringLiteral("25");

QString SecurityKey(TSecurity Security)
{
    switch (Security) {
    case secTls:
        return QStringLiteral("ssl");
    case secStartTls:
        return QStringLiteral("starttls");
    case secNone:
        break;
    }
    return QStringLiteral("aucune");
}

TSecurity SecurityFromKey(const QString& Key)
{
    const QString k = Key.trimmed().toLower();
    if (k == QLatin1String("ssl"))
        return secTls;
    if (k == QLatin1String("starttls"))
        return secStartTls;
    return secNone;
}

QString SmtpSignInKey(TSmtpSignIn SignIn)
{
    switch (SignIn) {
    case TSmtpSignIn::SameAsPop3:
        return QStringLiteral("reception");
    case TSmtpSignIn::Own:
        return QStringLiteral("propre");
    case TSmtpSignIn::None:
        break;
    }
    return QStringLiteral("aucune");
}

TSmtpSignIn SmtpSignInFromKey(const QString& Key)
{
    const QString k = Key.trimmed().toLower();
    if (k == QLatin1String("reception"))
        return TSmtpSignIn::SameAsPop3;
    if (k == QLatin1String("propre"))
        return TSmtpSignIn::Own;
    return TSmtpSignIn::None;
}

QString ProtocolKey(TProtocol Protocol) { return Protocol == TProtocol::Imap ? QStringLiteral("imap") : QStringLiteral("pop3"); }

TProtocol ProtocolFromKey(const QString& Key)
{
    return Key.trimmed().toLower() == QLatin1String("imap") ? TProtocol::Imap : TProtocol::Pop3;
}

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
    const IniProfile::Pin pin(ini_);
    account.Port = ini_.ReadString(section, kPort, kDefaultPort);
    account.UserID = ini_.ReadString(section, place == Place::Current ? kUserID : kUserName, QString());
    account.Password = ini_.ReadString(section, kPassword, QString());
    if (account.Password.isEmpty() && secrets_ && !HostOf(account.Name()).isEmpty())
        account.Password = secrets_->Read(SecretKey(account)).value_or(QString());
    // Keys added later: one line here and one in WriteKeys, both places alike.
    account.Security = SecurityFromKey(ini_.ReadString(section, kSecurity, SecurityKey(secNone)));
    account.Auth = AuthMethodFromKey(ini_.ReadString(section, kAuth, QString()).toStdString());
    account.SmtpHost = ini_.ReadString(section, kSmtpHost, QString());
    account.SmtpPort = ini_.ReadString(section, kSmtpPort, kDefaultSmtpPort);
    account.SmtpSecurity = SecurityFromKey(ini_.ReadString(section, kSmtpSecurity, SecurityKey(secNone)));
    account.SmtpSignIn = SmtpSignInFromKey(ini_.ReadString(section, kSmtpSignIn, SmtpSignInKey(TSmtpSignIn::None)));
    account.SmtpUserID = ini_.ReadString(section, kSmtpUserName, QString());
    account.SmtpPassword = ini_.ReadString(section, kSmtpPassword, QString());
    account.PasswordCommand = ini_.ReadString(section, kPasswordCommand, QString());
    account.TrustedFingerprints = ini_.ReadString(section, kFingerprints, QString());
    account.OAuth2 = ini_.ReadString(section, kOAuth2, QString());
    account.Protocol = ProtocolFromKey(ini_.ReadString(section, kProtocol, ProtocolKey(TProtocol::Pop3)));
    account.Idle = ini_.ReadString(section, kIdle, QStringLiteral("1")).trimmed() != QLatin1String("0");
}

QString TAccountStore::PasswordForFile(const TAccount& account) const
{
    if (!secrets_ || HostOf(account.Name()).isEmpty())
        return account.Password;
    if (account.Password.isEmpty()) {
        secrets_->Remove(SecretKey(account));
        return QString();
    }
    return secrets_->Write(SecretKey(account), account.Password) ? QString() : account.Password;
}

void TAccountStore::WriteKeys(const QString& section, Place place, const TAccount& account)
{
    if (place == Place::Current) {
        ini_.WriteString(section, kHost, account.Name());
        ini_.WriteString(section, kPort, account.Port);
        ini_.WriteString(section, kUserID, account.UserID);
        ini_.WriteString(section, kPassword, PasswordForFile(account));
    } else {
        ini_.WriteString(section, kUserName, account.UserID);
        ini_.WriteString(section, kPassword, PasswordForFile(account));
        ini_.WriteString(section, kPort, account.Port);
    }
    // Keys added later go here through WriteOptional, so files of users who never changed them
    // stay as they were.
    WriteOptional(section, kSecurity, SecurityKey(account.Security), SecurityKey(secNone));
    WriteOptional(section, kAuth, QString::fromStdString(AuthMethodKey(account.Auth)),
                  QString::fromStdString(AuthMethodKey(TAuthMethod::Password)));
    WriteOptional(section, kSmtpHost, account.SmtpHost, QString());
    WriteOptional(section, kSmtpPort, account.SmtpPort, kDefaultSmtpPort);
    WriteOptional(section, kSmtpSecurity, SecurityKey(account.SmtpSecurity), SecurityKey(secNone));
    WriteOptional(section, kSmtpSignIn, SmtpSignInKey(account.SmtpSignIn), SmtpSignInKey(TSmtpSignIn::None));
    WriteOptional(section, kSmtpUserName, account.SmtpUserID, QString());
    WriteOptional(section, kSmtpPassword, account.SmtpPassword, QString());
    WriteOptional(section, kPasswordCommand, account.PasswordCommand, QString());
    WriteOptional(section, kFingerprints, account.TrustedFingerprints, QString());
    WriteOptional(section, kOAuth2, account.OAuth2, QString());
    WriteOptional(section, kProtocol, ProtocolKey(account.Protocol), ProtocolKey(TProtocol::Pop3));
    WriteOptional(section, kIdle, account.Idle ? QStringLiteral("1") : QStringLiteral("0"), QStringLiteral("1"));
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
    const IniProfile::Pin pin(ini_);
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

void TAccountStore::WriteTrustedFingerprints(const TAccount& account)
{
    if (!account.Section.isEmpty())
        WriteOptional(account.Section, kFingerprints, account.TrustedFingerprints, QString());
}

void TAccountStore::WritePassword(const TAccount& account)
{
    if (!account.Section.isEmpty())
        ini_.WriteString(account.Section, kPassword, PasswordForFile(account));
}

void TAccountStore::Write(const TAccount& account)
{
    if (account.Section.isEmpty())
        return;
    WriteKeys(account.Section, Place::Own, account);
}

void TAccountStore::Erase(const QString& name)
{
    if (secrets_) {
        const TAccount gone = Read(name);
        if (!gone.UserID.isEmpty())
            secrets_->Remove(SecretKey(gone));
    }
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
