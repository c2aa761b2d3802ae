// Verifier: connects and signs in to each server found (POP3, IMAP or SMTP) before the account is
// kept.
#include "setup/Verifier.h"

#include "mail/KTimap.h"
#include "mail/KTpop3.h"
#include "mail/KTsmtp.h"
#include "mail/MailErrors.h"
#include "net/TlsTransport.h"

#include <memory>

namespace {

// The sessions' text when a server asked for STLS or STARTTLS does not offer it.
bool OffersNoEncryption(const std::exception& Error)
{
    return std::string(Error.what()).find("ne propose pas de connexion chiffrée") != std::string::npos;
}

template <class TSession>
void Configure(TSession& Session, const TFoundServer& Server, const TSetupControl& Control, int ConnectMs, int ExchangeMs)
{
    Session.Host = Server.Host.toStdString();
    Session.Port = Server.Port;
    Session.Security = Server.Security;
    Session.CaFile = Control.CaFile.toStdString();
    Session.TrustedFingerprint = Server.TrustedFingerprint.toStdString();
    Session.TimeOut = ConnectMs;
    Session.OperationTimeOut = ExchangeMs;
    Session.IdleTimeOut = ExchangeMs;
    Session.AuthMethod = Server.AuthMethod;
}

} // namespace

void TVerifier::SignIn(const TFoundServer& Server)
{
    FControl.ThrowIfCanceled();
    auto secret = [this] { return SecretSource ? SecretSource() : std::string(); };
    auto refused = [this](bool& Handled) { Handled = OnRefused && OnRefused(); };
    struct TForget {
        TSetupControl& Control;
        ~TForget() { Control.CancelCurrent = nullptr; }
    } forget{FControl};
    // The incoming servers sign in with the user's name and log out.
    const auto signInAndOut = [&](auto& Session) {
        FControl.CancelCurrent = [&Session] { Session.Cancel(); };
        Configure(Session, Server, FControl, ConnectLimitMs, ExchangeLimitMs);
        Session.UserID = Server.UserName.toStdString();
        Session.PasswordSource = secret;
        Session.OnAuthenticationFailed = refused;
        Session.Connect();
        Session.Disconnect();
    };
    if (Server.Protocol == TFoundServer::Imap) {
        TKTIMAP imap;
        signInAndOut(imap);
    } else if (Server.Protocol == TFoundServer::Pop3) {
        TKTPOP3 pop;
        signInAndOut(pop);
    } else {
        TKTSMTP smtp;
        FControl.CancelCurrent = [&smtp] { smtp.Cancel(); };
        Configure(smtp, Server, FControl, ConnectLimitMs, ExchangeLimitMs);
        smtp.SignInRequired = true;
        smtp.UserID = TKTSMTP::EhloName();
        smtp.AuthUserID = Server.UserName.toStdString();
        smtp.PasswordSource = secret;
        smtp.OnAuthenticationFailed = refused;
        smtp.Connect();
        smtp.Disconnect();
    }
}

void TVerifier::Check(TFoundServer& Server)
{
    TFoundServer tried = Server;
    // Never in clear when the server can do better: STARTTLS on the same port first.
    if (tried.Security == secNone)
        tried.Security = secStartTls;
    try {
        try {
            SignIn(tried);
        } catch (const ESetupError&) {
            throw;
        } catch (const EAuthError&) {
            throw;
        } catch (const std::exception& e) {
            if (Server.Security != secNone || !OffersNoEncryption(e))
                throw;
            if (!AllowPlainText)
                throw ESetupError(ESetupError::PlainTextOnly,
                                  QStringLiteral("Le serveur %1 n'offre aucune connexion chiffrée : le mot de passe "
                                                 "y passerait en clair.").arg(Server.Describe()));
            tried.Security = secNone;
            SignIn(tried);
        }
    } catch (const ESetupError&) {
        throw;
    } catch (const EAuthError& e) {
        throw ESetupError(ESetupError::SignInRefused, QString::fromStdString(e.what()));
    } catch (const ECertificateError& e) {
        throw ESetupError(ESetupError::CertificateRefused,
                          QStringLiteral("Le certificat du serveur %1 est refusé (%2). Empreinte SHA-256 : %3")
                              .arg(Server.Describe(), QString::fromStdString(ECertificateError::Reasons(e.Problems())),
                                   QString::fromStdString(e.Fingerprint())),
                          QString::fromStdString(e.Fingerprint()));
    } catch (const EAbortError&) {
        throw ESetupError(ESetupError::Canceled, QStringLiteral("Vérification annulée."));
    } catch (const std::exception& e) {
        FControl.ThrowIfCanceled();
        throw ESetupError(ESetupError::Unreachable,
                          QStringLiteral("%1 : %2").arg(Server.Describe(), QString::fromStdString(e.what())));
    }
    Server.Security = tried.Security;
}

void TVerifier::CheckAccount(TFoundAccount& Account)
{
    Check(Account.Incoming);
    Check(Account.Outgoing);
}
