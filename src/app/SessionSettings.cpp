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

namespace {

// The incoming server's settings, alike for POP3 and IMAP sessions.
template <typename Session>
void ConfigureIncoming(Session& S, const TAccount& Account, TAccountTokens* Tokens)
{
    S.Host = ToWire(Account.Host);
    S.UserID = ToWire(Account.UserID);
    S.Password = ToWire(Account.Password);
    S.Security = Account.Security;
    S.AuthMethod = Account.Auth;
    S.PasswordSource = PasswordSourceFor(Account);
    S.OnAuthenticationFailed = nullptr;
    if (Tokens)
        Tokens->Attach(S, Account);
    S.TrustedFingerprint = ToWire(Account.TrustedFingerprints);
}

} // namespace

void ConfigureSession(TKTPOP3& Pop3, const TAccount& Account, TAccountTokens* Tokens)
{
    ConfigureIncoming(Pop3, Account, Tokens);
}

void ConfigureSession(TKTIMAP& Imap, const TAccount& Account, TAccountTokens* Tokens)
{
    ConfigureIncoming(Imap, Account, Tokens);
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
