// Verifier: connects and signs in to each server found (POP3, IMAP or SMTP) before the account is
// kept.
#pragma once

#include "setup/FoundAccount.h"
#include "setup/SetupNet.h"

#include <functional>
#include <string>

class TVerifier {
public:
    explicit TVerifier(TSetupControl& Control) : FControl(Control) {}

    // Limits of each connection (ms): name look-up and connection, then each exchange.
    int ConnectLimitMs = 8000;
    int ExchangeLimitMs = 10000;
    // A server that offers no encryption is refused (PlainTextOnly) unless the user accepted it.
    bool AllowPlainText = false;
    // Gives the password, or the OAuth 2 access token, for each sign-in.
    std::function<std::string()> SecretSource;
    // Called after a refused sign-in; true when a new secret is worth one more try (a refreshed
    // OAuth 2 token).
    std::function<bool()> OnRefused;

    // Signs in to Server and logs out. A server asked for without encryption is first tried with
    // STARTTLS (STLS for POP3); Server's Security is set to what worked. Raises ESetupError:
    // Unreachable, PlainTextOnly, CertificateRefused, SignInRefused, Canceled.
    void Check(TFoundServer& Server);
    // Checks the incoming and the outgoing server.
    void CheckAccount(TFoundAccount& Account);

private:
    void SignIn(const TFoundServer& Server);
    TSetupControl& FControl;
};
