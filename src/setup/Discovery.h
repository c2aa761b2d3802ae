// Discovery: finds an address's servers by asking the sources in order (provider table, the
// domain's autoconfiguration file, SRV records, the provider of the MX hosts, guesses) and
// stopping at the first that gives settings.
#pragma once

#include "setup/Autoconfig.h"
#include "setup/DnsSources.h"
#include "setup/FoundAccount.h"
#include "setup/ProviderTable.h"
#include "setup/ServerGuess.h"
#include "setup/SetupNet.h"

#include <functional>

class TDiscovery {
public:
    TDiscovery(TSetupControl& Control, TProviderTable Table);

    // Whether found IMAP servers are taken (IMAP first where a source gives both); without, a POP3
    // server found beside is taken first.
    bool ImapSupported = true;
    // The sources, reachable to set their limits (and the test resolver of Dns).
    TAutoconfigSource Autoconfig;
    TDnsSources Dns;
    TServerGuess Guess;
    // Told of each step as it starts, for the user to follow ("Recherche des enregistrements SRV…").
    std::function<void(const QString& Step)> OnStep;

    // The settings for Address. Raises ESetupError: InvalidAddress, Canceled, or NothingFound
    // whose text lists everything that was tried.
    TFoundAccount Find(const QString& Address);
    // What the last Find tried, one line per step.
    const QStringList& Tried() const { return FTried; }

private:
    TFoundAccount Finish(TFoundAccount Account) const;
    void Step(const QString& Text);

    TSetupControl& FControl;
    TProviderTable FTable;
    QStringList FTried;
};
