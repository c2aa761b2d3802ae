// ProviderTable: the common providers' server settings, read from a JSON file shipped beside the
// program (providers.json), looked up by the domain of an address or of its MX host.
#include "setup/ProviderTable.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <stdexcept>

bool ProtocolFromWord(const QString& Word, TFoundServer::TProtocol& Protocol)
{
    const QString w = Word.trimmed().toLower();
    if (w == "pop3" || w == "pop")
        Protocol = TFoundServer::Pop3;
    else if (w == "imap")
        Protocol = TFoundServer::Imap;
    else if (w == "smtp")
        Protocol = TFoundServer::Smtp;
    else
        return false;
    return true;
}

bool SecurityFromWord(const QString& Word, TSecurity& Security)
{
    const QString w = Word.trimmed().toLower();
    if (w == "ssl" || w == "tls")
        Security = secTls;
    else if (w == "starttls")
        Security = secStartTls;
    else if (w == "plain" || w == "none")
        Security = secNone;
    else
        return false;
    return true;
}

bool AuthMethodFromWord(const QString& Word, TAuthMethod& Method)
{
    const QString w = Word.trimmed().toLower();
    if (w == "password" || w == "password-cleartext" || w == "plain")
        Method = TAuthMethod::Password;
    else if (w == "password-encrypted" || w == "secure")
        Method = TAuthMethod::CramMd5;
    else if (w == "oauth2" || w == "xoauth2")
        Method = TAuthMethod::OAuth2;
    else if (w == "automatic")
        Method = TAuthMethod::Automatic;
    else
        return false;
    return true;
}

namespace {

QStringList LowerStrings(const QJsonValue& Value)
{
    QStringList out;
    for (const QJsonValue& v : Value.toArray())
        out << v.toString().trimmed().toLower();
    return out;
}

TFoundServer ServerFrom(const QJsonObject& o, const QString& Where)
{
    TFoundServer s;
    if (!ProtocolFromWord(o.value("protocol").toString(), s.Protocol)
        || !SecurityFromWord(o.value("security").toString(), s.Security)
        || !AuthMethodFromWord(o.value("auth").toString("password"), s.AuthMethod))
        throw std::runtime_error("provider table: bad server in " + Where.toStdString());
    s.Host = o.value("host").toString().trimmed();
    s.Port = o.value("port").toInt();
    s.UserName = o.value("username").toString("%EMAILADDRESS%");
    if (!s.Valid())
        throw std::runtime_error("provider table: bad host or port in " + Where.toStdString());
    return s;
}

} // namespace

TProviderTable TProviderTable::Parse(const QByteArray& Json)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(Json, &error);
    if (doc.isNull())
        throw std::runtime_error("provider table: " + error.errorString().toStdString());
    TProviderTable table;
    for (const QJsonValue& v : doc.object().value("providers").toArray()) {
        const QJsonObject o = v.toObject();
        TProviderEntry e;
        e.Id = o.value("id").toString();
        e.Name = o.value("name").toString(e.Id);
        e.Domains = LowerStrings(o.value("domains"));
        e.MxDomains = LowerStrings(o.value("mxDomains"));
        e.Note = o.value("note").toString();
        for (const QJsonValue& s : o.value("incoming").toArray())
            e.Incoming.push_back(ServerFrom(s.toObject(), e.Id));
        for (const QJsonValue& s : o.value("outgoing").toArray())
            e.Outgoing.push_back(ServerFrom(s.toObject(), e.Id));
        const QJsonObject oauth = o.value("oauth2").toObject();
        if (!oauth.isEmpty()) {
            e.OAuth.Id = e.Id;
            e.OAuth.Name = e.Name;
            e.OAuth.AuthorizationEndpoint = oauth.value("authorizationEndpoint").toString();
            e.OAuth.TokenEndpoint = oauth.value("tokenEndpoint").toString();
            e.OAuth.Scope = oauth.value("scope").toString();
            e.OAuth.DefaultClientId = oauth.value("clientId").toString();
        }
        if (e.Id.isEmpty() || e.Incoming.empty() || e.Outgoing.empty())
            throw std::runtime_error("provider table: an entry lacks its id or its servers");
        table.FEntries.push_back(std::move(e));
    }
    return table;
}

TProviderTable TProviderTable::Load(const QString& Path)
{
    QFile f(Path);
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("provider table not found: " + Path.toStdString());
    return Parse(f.readAll());
}

QString TProviderTable::DefaultPath()
{
    const QString beside = QCoreApplication::applicationDirPath() + "/providers.json";
    if (QFile::exists(beside))
        return beside;
    const QString installed = QStandardPaths::locate(QStandardPaths::AppDataLocation, "providers.json");
    return installed.isEmpty() ? beside : installed;
}

std::optional<TProviderEntry> TProviderTable::ForDomain(const QString& Domain) const
{
    const QString d = Domain.toLower();
    for (const TProviderEntry& e : FEntries)
        if (e.Domains.contains(d))
            return e;
    return std::nullopt;
}

std::optional<TProviderEntry> TProviderTable::ForMxHost(const QString& Host) const
{
    QString h = Host.toLower();
    if (h.endsWith('.'))
        h.chop(1);
    for (const TProviderEntry& e : FEntries)
        for (const QString& m : e.MxDomains)
            if (h == m || h.endsWith("." + m))
                return e;
    return std::nullopt;
}

std::optional<TProviderEntry> TProviderTable::ForId(const QString& Id) const
{
    for (const TProviderEntry& e : FEntries)
        if (e.Id == Id)
            return e;
    return std::nullopt;
}

TFoundAccount TProviderTable::Apply(const TProviderEntry& Entry, const QString& Address, TFoundSource Source)
{
    TFoundAccount a;
    a.Address = Address;
    a.Source = Source;
    a.ProviderName = Entry.Name;
    a.OAuth = Entry.OAuth;
    a.Note = Entry.Note;
    auto expanded = [&](TFoundServer s) {
        s.UserName = ExpandUserName(s.UserName, Address);
        return s;
    };
    // IMAP first when the entry has it; the other protocol stays as the alternative.
    for (const TFoundServer& s : Entry.Incoming)
        if (s.Protocol == TFoundServer::Imap && !a.Incoming.Valid())
            a.Incoming = expanded(s);
    for (const TFoundServer& s : Entry.Incoming)
        if (s.Protocol == TFoundServer::Pop3 && !a.Alternative.Valid())
            a.Alternative = expanded(s);
    if (!a.Incoming.Valid())
        std::swap(a.Incoming, a.Alternative);
    a.Outgoing = expanded(Entry.Outgoing.front());
    return a;
}
