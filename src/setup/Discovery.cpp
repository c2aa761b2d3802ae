// Discovery: finds an address's servers by asking the sources in order (provider table, the
// domain's autoconfiguration file, SRV records, the provider of the MX hosts, guesses) and
// stopping at the first that gives settings.
#include "setup/Discovery.h"

TDiscovery::TDiscovery(TSetupControl& Control, TProviderTable Table)
    : Autoconfig(Control), Dns(Control), Guess(Control), FControl(Control), FTable(std::move(Table))
{
}

void TDiscovery::Step(const QString& Text)
{
    FControl.ThrowIfCanceled();
    if (OnStep)
        OnStep(Text);
}

TFoundAccount TDiscovery::Finish(TFoundAccount Account) const
{
    if (!ImapSupported && Account.Incoming.Protocol == TFoundServer::Imap) {
        if (!Account.Alternative.Valid())
            throw ESetupError(ESetupError::NothingFound,
                              QStringLiteral("Seul un serveur IMAP a été trouvé (%1), et ce programme relève "
                                             "le courrier en POP3.").arg(Account.Incoming.Describe()));
        std::swap(Account.Incoming, Account.Alternative);
    }
    return Account;
}

TFoundAccount TDiscovery::Find(const QString& Address)
{
    FTried.clear();
    QString local, domain;
    if (!SplitAddress(Address, local, domain))
        throw ESetupError(ESetupError::InvalidAddress,
                          QStringLiteral("« %1 » n'est pas une adresse électronique.").arg(Address.trimmed()));

    Step(QStringLiteral("Recherche de %1 dans la liste des fournisseurs…").arg(domain));
    if (auto entry = FTable.ForDomain(domain)) {
        FTried << QStringLiteral("liste des fournisseurs : %1").arg(entry->Name);
        return Finish(TProviderTable::Apply(*entry, Address, TFoundSource::ProviderTable));
    }
    FTried << QStringLiteral("liste des fournisseurs : %1 n'y figure pas").arg(domain);

    Step(QStringLiteral("Recherche du fichier de configuration de %1…").arg(domain));
    if (auto found = Autoconfig.Find(domain, Address, FTried))
        return Finish(*found);

    Step(QStringLiteral("Recherche des enregistrements SRV de %1…").arg(domain));
    if (auto found = Dns.FindSrv(domain, Address, FTried))
        return Finish(*found);

    Step(QStringLiteral("Recherche des serveurs MX de %1…").arg(domain));
    // The two most preferred hosts are enough: the others are the same provider's backups.
    const QStringList mxHosts = Dns.MxHosts(domain, FTried).mid(0, 2);
    for (const QString& mx : mxHosts) {
        if (auto entry = FTable.ForMxHost(mx)) {
            FTried << QStringLiteral("liste des fournisseurs pour %1 : %2").arg(mx, entry->Name);
            return Finish(TProviderTable::Apply(*entry, Address, TFoundSource::MxProvider));
        }
        // The MX host's own domain and its parents, down to two labels.
        QStringList labels = mx.split('.');
        for (labels.removeFirst(); labels.size() >= 2; labels.removeFirst()) {
            const QString parent = labels.join('.');
            if (parent == domain)
                continue;
            if (auto found = Autoconfig.Find(parent, Address, FTried)) {
                found->Source = TFoundSource::MxProvider;
                return Finish(*found);
            }
        }
    }

    Step(QStringLiteral("Essai des noms de serveurs habituels de %1…").arg(domain));
    if (auto found = Guess.Find(domain, Address, FTried))
        return Finish(*found);

    throw ESetupError(ESetupError::NothingFound,
                      QStringLiteral("Aucun serveur de messagerie n'a été trouvé pour %1. Essais :\n- %2")
                          .arg(domain, FTried.join("\n- ")));
}
