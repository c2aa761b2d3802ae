// Autoconfig: the domain's own autoconfiguration file (the common config-v1.1 XML format),
// fetched over HTTPS from autoconfig.<domain> or <domain>/.well-known.
#include "setup/Autoconfig.h"
#include "setup/ProviderTable.h"

#include <QUrlQuery>
#include <QXmlStreamReader>

namespace {

// One <incomingServer> or <outgoingServer>; Usable is false for a kind or method the program
// does not handle.
struct TXmlServer {
    TFoundServer Server;
    bool Usable = true;
};

TXmlServer ReadServer(QXmlStreamReader& Xml, const QString& Address)
{
    TXmlServer out;
    const QString type = Xml.attributes().value("type").toString();
    out.Usable = ProtocolFromWord(type, out.Server.Protocol);
    bool authKnown = false;
    while (Xml.readNextStartElement()) {
        const QString name = Xml.name().toString();
        const QString text = Xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        if (name == "hostname")
            out.Server.Host = ExpandUserName(text, Address);
        else if (name == "port")
            out.Server.Port = text.toInt();
        else if (name == "socketType")
            out.Usable = SecurityFromWord(text, out.Server.Security) && out.Usable;
        else if (name == "username")
            out.Server.UserName = ExpandUserName(text, Address);
        else if (name == "authentication" && !authKnown) {
            // The first method the program can use; OAuth 2 needs a provider it knows, so a
            // password method listed beside it is preferred.
            TAuthMethod m;
            if (AuthMethodFromWord(text, m) && m != TAuthMethod::OAuth2) {
                out.Server.AuthMethod = m;
                authKnown = true;
            }
        }
    }
    out.Usable = out.Usable && out.Server.Valid();
    if (out.Server.UserName.isEmpty())
        out.Server.UserName = Address.trimmed();
    return out;
}

// Keeps the first server of each protocol, an encrypted one replacing a plain one.
void Keep(TFoundServer& Slot, const TFoundServer& Server)
{
    if (!Slot.Valid() || (Slot.Security == secNone && Server.Security != secNone))
        Slot = Server;
}

} // namespace

std::optional<TFoundAccount> ParseAutoconfig(const QByteArray& Xml, const QString& Address)
{
    QXmlStreamReader xml(Xml);
    TFoundServer imap, pop3, smtp;
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("clientConfig"))
        return std::nullopt;
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("emailProvider")) {
            xml.skipCurrentElement();
            continue;
        }
        while (xml.readNextStartElement()) {
            const bool incoming = xml.name() == QLatin1String("incomingServer");
            if (!incoming && xml.name() != QLatin1String("outgoingServer")) {
                xml.skipCurrentElement();
                continue;
            }
            const TXmlServer s = ReadServer(xml, Address);
            if (!s.Usable)
                continue;
            if (incoming && s.Server.Protocol == TFoundServer::Imap)
                Keep(imap, s.Server);
            else if (incoming && s.Server.Protocol == TFoundServer::Pop3)
                Keep(pop3, s.Server);
            else if (!incoming && s.Server.Protocol == TFoundServer::Smtp)
                Keep(smtp, s.Server);
        }
    }
    if (xml.hasError() || !smtp.Valid() || !(imap.Valid() || pop3.Valid()))
        return std::nullopt;
    TFoundAccount a;
    a.Address = Address.trimmed();
    a.Source = TFoundSource::Autoconfig;
    a.Incoming = imap.Valid() ? imap : pop3;
    a.Alternative = imap.Valid() ? pop3 : TFoundServer();
    a.Outgoing = smtp;
    return a;
}

QList<QUrl> TAutoconfigSource::Urls(const QString& Domain, const QString& Address)
{
    QUrlQuery q;
    q.addQueryItem("emailaddress", QString::fromLatin1(QUrl::toPercentEncoding(Address.trimmed())));
    QUrl first(QStringLiteral("https://autoconfig.%1/mail/config-v1.1.xml").arg(Domain));
    first.setQuery(q);
    QUrl second(QStringLiteral("https://%1/.well-known/autoconfig/mail/config-v1.1.xml").arg(Domain));
    return {first, second};
}

std::optional<TFoundAccount> TAutoconfigSource::Find(const QString& Domain, const QString& Address, QStringList& Tried)
{
    THttpsClient http(FControl);
    for (const QUrl& url : Urls(Domain, Address)) {
        const THttpReply reply = http.Get(url, LimitMs);
        const QString shown = url.toString(QUrl::RemoveQuery);
        if (reply.Status == 200) {
            if (auto found = ParseAutoconfig(reply.Body, Address)) {
                Tried << QStringLiteral("fichier de configuration %1 : trouvé").arg(shown);
                return found;
            }
            Tried << QStringLiteral("fichier de configuration %1 : illisible").arg(shown);
        } else if (reply.Status) {
            Tried << QStringLiteral("fichier de configuration %1 : réponse %2").arg(shown).arg(reply.Status);
        } else {
            Tried << QStringLiteral("fichier de configuration %1 : %2").arg(shown, reply.Error);
        }
    }
    return std::nullopt;
}
