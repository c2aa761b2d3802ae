// Autoconfig: the domain's own autoconfiguration file (the common config-v1.1 XML format),
// fetched over HTTPS from autoconfig.<domain> or <domain>/.well-known.
#pragma once

#include "setup/FoundAccount.h"
#include "setup/SetupNet.h"

#include <optional>

// Reads one configuration file: the first usable IMAP, POP3 and SMTP servers (an encrypted entry
// is taken before a plain one of the same protocol), user names expanded for Address. Nothing
// when the text is not such a file or lacks an incoming or outgoing server.
std::optional<TFoundAccount> ParseAutoconfig(const QByteArray& Xml, const QString& Address);

class TAutoconfigSource {
public:
    explicit TAutoconfigSource(TSetupControl& Control) : FControl(Control) {}
    // Longest wait for one file (ms).
    int LimitMs = 5000;
    // The addresses asked for Domain, in order.
    static QList<QUrl> Urls(const QString& Domain, const QString& Address);
    // The settings for Address from Domain's file; Tried gets one line per address asked.
    std::optional<TFoundAccount> Find(const QString& Domain, const QString& Address, QStringList& Tried);

private:
    TSetupControl& FControl;
};
