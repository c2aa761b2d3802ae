// DnsSources: the domain's SRV records for mail services (RFC 6186, RFC 8314) and its MX hosts,
// through Qt's DNS look-up.
#pragma once

#include "setup/FoundAccount.h"
#include "setup/SetupNet.h"

#include <QHostAddress>
#include <optional>

class TDnsSources {
public:
    explicit TDnsSources(TSetupControl& Control) : FControl(Control) {}
    // Longest wait for the look-ups of one step (ms).
    int LimitMs = 4000;
    // The server asked instead of the system's (tests); null = the system's resolver settings.
    QHostAddress Nameserver;

    // Servers from the SRV records of Domain: TLS services before those started with STARTTLS;
    // a record whose target is "." says the service is not offered. Tried gets one line per step.
    std::optional<TFoundAccount> FindSrv(const QString& Domain, const QString& Address, QStringList& Tried);
    // The MX host names of Domain, most preferred first.
    QStringList MxHosts(const QString& Domain, QStringList& Tried);

private:
    TSetupControl& FControl;
};
