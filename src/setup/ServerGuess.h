// ServerGuess: the last resort of the search, the usual server names of a domain (imap., pop.,
// pop3., mail., smtp.) on the usual ports, TLS first, kept when a connection is accepted.
#pragma once

#include "setup/FoundAccount.h"
#include "setup/SetupNet.h"

#include <optional>
#include <vector>

class TServerGuess {
public:
    explicit TServerGuess(TSetupControl& Control) : FControl(Control) {}
    // Longest wait for all the connections together (ms).
    int LimitMs = 5000;
    // Every name and port tried for Domain, in order of preference within each protocol.
    static std::vector<TFoundServer> Candidates(const QString& Domain);
    std::optional<TFoundAccount> Find(const QString& Domain, const QString& Address, QStringList& Tried);

private:
    TSetupControl& FControl;
};
