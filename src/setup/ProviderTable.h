// ProviderTable: the common providers' server settings, read from a JSON file shipped beside the
// program (providers.json), looked up by the domain of an address or of its MX host.
#pragma once

#include "setup/FoundAccount.h"

#include <QString>
#include <optional>
#include <vector>

struct TProviderEntry {
    QString Id;
    QString Name;
    QStringList Domains;           // address domains, lower case
    QStringList MxDomains;         // domains whose MX hosts mean this provider
    std::vector<TFoundServer> Incoming; // in order of preference; UserName holds the pattern
    std::vector<TFoundServer> Outgoing;
    TOAuthProvider OAuth;
    QString Note;
};

class TProviderTable {
public:
    // Reads the table; raises std::runtime_error (English, for the log) when the file is missing
    // or not a valid table, since it ships with the program.
    static TProviderTable Load(const QString& Path);
    // Reads a table from JSON text.
    static TProviderTable Parse(const QByteArray& Json);
    // The table beside the program (or in its install data folder).
    static QString DefaultPath();

    // The entry for an address domain.
    std::optional<TProviderEntry> ForDomain(const QString& Domain) const;
    // The entry whose MX domains hold the host name (itself or one of its parent domains).
    std::optional<TProviderEntry> ForMxHost(const QString& Host) const;
    // The entry with that id (the OAuth 2 provider of a stored account).
    std::optional<TProviderEntry> ForId(const QString& Id) const;
    const std::vector<TProviderEntry>& Entries() const { return FEntries; }

    // The found account an entry gives for Address (user names expanded, IMAP preferred).
    static TFoundAccount Apply(const TProviderEntry& Entry, const QString& Address, TFoundSource Source);

private:
    std::vector<TProviderEntry> FEntries;
};

// Words shared by the table and the autoconfiguration files; false for a word not known.
bool ProtocolFromWord(const QString& Word, TFoundServer::TProtocol& Protocol);
bool SecurityFromWord(const QString& Word, TSecurity& Security);
bool AuthMethodFromWord(const QString& Word, TAuthMethod& Method);
