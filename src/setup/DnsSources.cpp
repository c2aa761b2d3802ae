// DnsSources: the domain's SRV records for mail services (RFC 6186, RFC 8314) and its MX hosts,
// through Qt's DNS look-up.
#include "setup/DnsSources.h"

#include <QDnsLookup>
#include <algorithm>
#include <memory>
#include <vector>

namespace {

struct TSrvService {
    const char* Prefix;
    TFoundServer::TProtocol Protocol;
    TSecurity Security;
};

// In order of preference within each protocol: TLS from the first byte, then STARTTLS.
const TSrvService kServices[] = {
    {"_imaps._tcp.", TFoundServer::Imap, secTls},
    {"_imap._tcp.", TFoundServer::Imap, secStartTls},
    {"_pop3s._tcp.", TFoundServer::Pop3, secTls},
    {"_pop3._tcp.", TFoundServer::Pop3, secStartTls},
    {"_submissions._tcp.", TFoundServer::Smtp, secTls},
    {"_submission._tcp.", TFoundServer::Smtp, secStartTls},
};

// Starts look-ups of one type for several names and waits for all (or the limit).
std::vector<std::unique_ptr<QDnsLookup>> LookUp(TSetupControl& Control, QDnsLookup::Type Type,
                                                const QStringList& Names, const QHostAddress& Nameserver, int LimitMs)
{
    std::vector<std::unique_ptr<QDnsLookup>> lookups;
    for (const QString& n : Names) {
        auto l = std::make_unique<QDnsLookup>(Type, n);
        if (!Nameserver.isNull())
            l->setNameserver(Nameserver);
        l->lookup();
        lookups.push_back(std::move(l));
    }
    const bool all = Control.WaitFor([&] {
        return std::all_of(lookups.begin(), lookups.end(), [](const auto& l) { return l->isFinished(); });
    }, LimitMs);
    if (!all)
        for (auto& l : lookups)
            if (!l->isFinished())
                l->abort();
    return lookups;
}

QString NoDot(QString Name)
{
    if (Name.endsWith('.'))
        Name.chop(1);
    return Name;
}

} // namespace

std::optional<TFoundAccount> TDnsSources::FindSrv(const QString& Domain, const QString& Address, QStringList& Tried)
{
    QStringList names;
    for (const TSrvService& s : kServices)
        names << QString::fromLatin1(s.Prefix) + Domain;
    const auto lookups = LookUp(FControl, QDnsLookup::SRV, names, Nameserver, LimitMs);
    TFoundServer imap, pop3, smtp;
    QStringList found;
    for (size_t i = 0; i < lookups.size(); ++i) {
        const QDnsLookup& l = *lookups[i];
        if (!l.isFinished() || l.error() != QDnsLookup::NoError || l.serviceRecords().isEmpty())
            continue;
        // The lowest priority, then the highest weight.
        QList<QDnsServiceRecord> records = l.serviceRecords();
        std::stable_sort(records.begin(), records.end(), [](const QDnsServiceRecord& a, const QDnsServiceRecord& b) {
            return a.priority() != b.priority() ? a.priority() < b.priority() : a.weight() > b.weight();
        });
        const QDnsServiceRecord& r = records.front();
        const QString target = NoDot(r.target());
        if (target.isEmpty() || r.port() == 0)
            continue; // "." : the service is explicitly not offered
        TFoundServer s;
        s.Protocol = kServices[i].Protocol;
        s.Security = kServices[i].Security;
        s.Host = target;
        s.Port = r.port();
        s.UserName = Address.trimmed();
        found << names[int(i)];
        TFoundServer& slot = s.Protocol == TFoundServer::Imap ? imap : s.Protocol == TFoundServer::Pop3 ? pop3 : smtp;
        if (!slot.Valid())
            slot = s;
    }
    Tried << QStringLiteral("enregistrements SRV de %1 : %2")
                 .arg(Domain, found.isEmpty() ? QStringLiteral("aucun") : found.join(", "));
    if (!smtp.Valid() || !(imap.Valid() || pop3.Valid()))
        return std::nullopt;
    TFoundAccount a;
    a.Address = Address.trimmed();
    a.Source = TFoundSource::DnsSrv;
    a.Incoming = imap.Valid() ? imap : pop3;
    a.Alternative = imap.Valid() ? pop3 : TFoundServer();
    a.Outgoing = smtp;
    return a;
}

QStringList TDnsSources::MxHosts(const QString& Domain, QStringList& Tried)
{
    const auto lookups = LookUp(FControl, QDnsLookup::MX, {Domain}, Nameserver, LimitMs);
    QList<QDnsMailExchangeRecord> records;
    if (lookups.front()->isFinished() && lookups.front()->error() == QDnsLookup::NoError)
        records = lookups.front()->mailExchangeRecords();
    std::stable_sort(records.begin(), records.end(), [](const QDnsMailExchangeRecord& a, const QDnsMailExchangeRecord& b) {
        return a.preference() < b.preference();
    });
    QStringList hosts;
    for (const QDnsMailExchangeRecord& r : records)
        if (!NoDot(r.exchange()).isEmpty() && !hosts.contains(NoDot(r.exchange()).toLower()))
            hosts << NoDot(r.exchange()).toLower();
    Tried << QStringLiteral("serveurs MX de %1 : %2").arg(Domain, hosts.isEmpty() ? QStringLiteral("aucun") : hosts.join(", "));
    return hosts;
}
