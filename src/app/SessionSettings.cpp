// SessionSettings: an account's server, security and sign-in settings given to the POP3, IMAP and
// SMTP sessions.
#include "app/SessionSettings.h"

#include "app/AccountTokens.h"
#include "app/WireText.h"
#include "mail/KTimap.h"
#include "mail/KTpop3.h"
#include "mail/KTsmtp.h"
#include "platform/PasswordCommand.h"

#include <stdexcept>

std::function<std::string()> PasswordSourceFor(const TAccount& Account)
{
    const QString command = Account.PasswordCommand.trimmed();
    if (command.isEmpty())
        return nullptr;
    return [command] { return TPasswordCommand(command).Run(); };
}

void ConfigureSession(TKTPOP3& Pop3, const TAccount& Account, TAccountTokens* Tokens)
{
    Pop3.Host = ToWire(Account.Host);
    Pop3.UserID = ToWire(Account.UserID);
    Pop3.Password = ToWire(Account.Password);
    Pop3.Security = Account.Security;
    Pop3.AuthMethod = Account.Auth;
    Pop3.PasswordSource = PasswordSourceFor(Account);
    Pop3.OnAuthenticationFailed = nullptr;
    if (Tokens)
        Tokens->Attach(Pop3, Account);
    Pop3.TrustedFingerprint = ToWire(Account.TrustedFingerprints);
}

void ConfigureSession(TKTIMAP& Imap, const TAccount& Account, TAccountTokens* Tokens)
{
    Imap.Host = ToWire(Account.Host);
    Imap.UserID = ToWire(Account.UserID);
    Imap.Password = ToWire(Account.Password);
    Imap.Security = Account.Security;
    Imap.AuthMethod = Account.Auth;
    Imap.PasswordSource = PasswordSourceFor(Account);
    Imap.OnAuthenticationFailed = nullptr;
    if (Tokens)
        Tokens->Attach(Imap, Account);
    Imap.TrustedFingerprint = ToWire(Account.TrustedFingerprints);
}

void ConfigureSession(TKTSMTP& Smtp, const TAccount& Account, TAccountTokens* Tokens)
{
    bool ok = false;
    const int port = Account.SmtpPort.trimmed().toInt(&ok, 10);
    if (!ok || port < 1 || port > 65535)
        throw std::runtime_error(
            QStringLiteral("'%1' n'est pas un numéro de port SMTP valide").arg(Account.SmtpPort).toStdString());
    Smtp.Host = ToWire(Account.SmtpServer());
    Smtp.Port = port;
    Smtp.UserID = ToWire(Account.UserID);
    Smtp.Security = Account.SmtpSecurity;
    Smtp.TrustedFingerprint = ToWire(Account.TrustedFingerprints);
    Smtp.SignInRequired = Account.SmtpSignIn != TSmtpSignIn::None;
    Smtp.AuthMethod = Account.Auth;
    if (Account.SmtpSignIn == TSmtpSignIn::Own) {
        Smtp.AuthUserID = ToWire(Account.SmtpUserID);
        Smtp.AuthPassword = ToWire(Account.SmtpPassword);
        Smtp.PasswordSource = nullptr;
    } else {
        Smtp.AuthUserID = ToWire(Account.UserID);
        Smtp.AuthPassword = ToWire(Account.Password);
        Smtp.PasswordSource = Smtp.SignInRequired ? PasswordSourceFor(Account) : nullptr;
    }
    Smtp.OnAuthenticationFailed = nullptr;
    if (Tokens && Account.SmtpSignIn == TSmtpSignIn::SameAsPop3)
        Tokens->Attach(Smtp, Account);
}
