// Account: one POP3 mail account as data, without any widget.
#pragma once
#include "mail/Sasl.h"
#include "net/SockSession.h"

#include <QString>
#include <optional>

// Whether and how the account signs in to its SMTP server.
enum class TSmtpSignIn {
    None,            // no sign-in (the original session: HELO)
    SameAsPop3,      // the POP3 user name and password (or password command)
    Own,             // SmtpUserID and SmtpPassword
};

// The protocol the account's incoming server speaks.
enum class TProtocol { Pop3, Imap };

struct TAccount {
    // The account's stored section, also its name in the host list and in the alert lines: the
    // host name as typed, or "user@host" for a further account on a host that already has one.
    // Empty for an account never stored.
    QString Section;
    QString Host;
    QString Port = QStringLiteral("110"); // as typed; see PortNumber
    // An account stored without it is a POP3 one; IMAP reads the INBOX.
    TProtocol Protocol = TProtocol::Pop3;
    QString UserID;
    QString Password;

    // Secure connection and sign-in. An account stored without these keys keeps the original
    // behaviour: no TLS, USER/PASS, SMTP on port 25 of the POP3 host without sign-in.
    TSecurity Security = secNone;
    TAuthMethod Auth = TAuthMethod::Password;
    QString SmtpHost;                      // empty: the POP3 host
    QString SmtpPort = QStringLiteral("25");
    TSecurity SmtpSecurity = secNone;
    TSmtpSignIn SmtpSignIn = TSmtpSignIn::None;
    QString SmtpUserID;
    QString SmtpPassword;
    // Run each time a password (or OAuth 2 token) is needed; its first output line stands in for
    // the password. Empty: the stored password.
    QString PasswordCommand;
    // SHA-256 fingerprints of server certificates the user chose to trust although they failed the
    // checks, separated by commas.
    QString TrustedFingerprints;
    // The provider ("google") whose browser sign-in gives the account's OAuth 2 tokens; empty for
    // none. Used when the sign-in method is OAuth 2 and no password command is set.
    QString OAuth2;
    // An IMAP account whose server offers IDLE keeps a connection waiting for new mail while the
    // program runs (instead of being polled by the schedule).
    bool Idle = true;

    // How the account is named to the user: its section, or its host when it has none.
    QString Name() const { return Section.isEmpty() ? Host : Section; }
    // The tokens of a browser sign-in stand in for the password.
    bool UsesBrowserSignIn() const
    {
        return Auth == TAuthMethod::OAuth2 && !OAuth2.isEmpty() && PasswordCommand.trimmed().isEmpty();
    }
    // Host, port, user and password are all filled in (a password command or a browser sign-in
    // stands in for the password).
    bool Complete() const
    {
        return !Host.isEmpty() && !Port.isEmpty() && !UserID.isEmpty()
               && (!Password.isEmpty() || !PasswordCommand.trimmed().isEmpty() || UsesBrowserSignIn());
    }
    // The SMTP server: its own host, or the POP3 host.
    QString SmtpServer() const { return SmtpHost.trimmed().isEmpty() ? Host : SmtpHost.trimmed(); }
    // The port as a decimal number from 1 to 65535; nothing when the text is not one.
    std::optional<int> PortNumber() const
    {
        bool ok = false;
        const int port = Port.trimmed().toInt(&ok, 10);
        if (!ok || port < 1 || port > 65535)
            return std::nullopt;
        return port;
    }
};
