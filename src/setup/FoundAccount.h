// FoundAccount: what the account set-up found for an address (servers, ports, security, sign-in,
// user names) and the errors it raises.
#pragma once

#include "mail/Sasl.h"
#include "net/SockSession.h"

#include <QString>
#include <QStringList>
#include <stdexcept>

// One server found for the account.
struct TFoundServer {
    enum TProtocol { Pop3, Imap, Smtp };
    TProtocol Protocol = Pop3;
    QString Host;
    int Port = 0;
    TSecurity Security = secTls;
    TAuthMethod AuthMethod = TAuthMethod::Password;
    QString UserName;
    // The SHA-256 fingerprint of a certificate the user chose to trust although it fails the
    // checks (a local bridge's own certificate); empty for none.
    QString TrustedFingerprint;

    bool Valid() const { return !Host.isEmpty() && Port > 0 && Port < 65536; }
    // "imap.example.org:993 (IMAP, TLS)" for the lists of what was tried.
    QString Describe() const;
    bool operator==(const TFoundServer&) const = default;
};

// Where the settings came from, in the order the sources are tried.
enum class TFoundSource { ProviderTable, Autoconfig, DnsSrv, MxProvider, Guess };

// The OAuth 2 endpoints of a provider that signs in through the browser.
struct TOAuthProvider {
    QString Id;                    // the provider's key in the table ("google"), used in settings
    QString Name;                  // shown to the user
    QString AuthorizationEndpoint; // https URL
    QString TokenEndpoint;         // https URL
    QString Scope;                 // space-separated
    QString DefaultClientId;       // only where the program has its own registration

    bool Valid() const { return !Id.isEmpty() && !AuthorizationEndpoint.isEmpty() && !TokenEndpoint.isEmpty(); }
};

// The result of a search: an incoming server (IMAP preferred when present), the submission
// server, and how they were found.
struct TFoundAccount {
    QString Address;
    TFoundServer Incoming;    // POP3 or IMAP
    TFoundServer Alternative; // the other incoming protocol when the source also gave one
    TFoundServer Outgoing;    // SMTP submission
    TFoundSource Source = TFoundSource::ProviderTable;
    QString ProviderName;     // from the table, empty otherwise
    TOAuthProvider OAuth;     // valid when the provider signs in with OAuth 2
    QString Note;             // the table's advice to the user (application password, bridge)

    bool UsesOAuth() const { return OAuth.Valid(); }
};

// A failure of the set-up: a kind the code can test and a French text for the user.
class ESetupError : public std::runtime_error {
public:
    enum TKind {
        InvalidAddress,   // not an address
        NothingFound,     // no source gave settings; the text lists what was tried
        Canceled,         // the user stopped the search or the sign-in
        Unreachable,      // a found server did not answer
        PlainTextOnly,    // the server offers no encryption and the user did not accept that
        SignInRefused,    // the server refused the user name or password
        CertificateRefused, // the server's certificate failed the checks; Fingerprint() says which
        NoClientId,       // OAuth 2 without a client identifier in the settings
        OAuthFailed,      // the authorization server refused or failed
        SignInAgain,      // the refresh token is no longer accepted: the user must sign in again
    };
    ESetupError(TKind Kind, const QString& Text, QString Fingerprint = {})
        : std::runtime_error(Text.toStdString()), FKind(Kind), FFingerprint(std::move(Fingerprint)) {}
    TKind Kind() const { return FKind; }
    const QString& Fingerprint() const { return FFingerprint; }
    QString Text() const { return QString::fromStdString(what()); }

private:
    TKind FKind;
    QString FFingerprint;
};

// The local part and the domain of an address (the domain lower-cased); false when Address is
// not of the form local@domain.
bool SplitAddress(const QString& Address, QString& LocalPart, QString& Domain);
// A user name pattern with %EMAILADDRESS%, %EMAILLOCALPART% and %EMAILDOMAIN% filled in.
QString ExpandUserName(const QString& Pattern, const QString& Address);
