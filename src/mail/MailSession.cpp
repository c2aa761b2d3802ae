// TMailSession: what the POP3, IMAP and SMTP sessions share: the busy guard, the session's opening
// (connection, greeting, security, sign-in with its one retry), SASL over the protocol's lines,
// operation limits and the wiping of secrets.
#include "mail/MailSession.h"

#include "mail/MailErrors.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

void WipeSecret(std::string& Text)
{
    if (!Text.empty())
        ::explicit_bzero(Text.data(), Text.size());
    Text.clear();
}

TMailSession::TMailSession(QObject* Owner) : TSocketSession(Owner)
{
    OperationTimeOut = DefaultOperationTimeOut;
    // A cancel that arrives with data drops the connection: the rest of the reply is not wanted.
    CancelHook = [this](QObject*) {
        TSocketSession::Disconnect();
        ReceiveBuffer.Clear();
    };
}

void TMailSession::FetchSecret()
{
    WipeSecret(FSecret);
    if (PasswordSource && SignInWanted())
        FSecret = PasswordSource();
}

void TMailSession::Connect()
{
    // The secret is fetched before the connection opens (a password command may take a while,
    // and the server must not be kept waiting), and wiped however the opening ends.
    struct TWipe {
        TMailSession& S;
        ~TWipe() { S.ForgetSecret(); }
    } wipe{*this};
    FetchSecret();
    CheckCredentials();

    TBusyGuard busy(*this);
    bool opened = false;
    FMechanism.clear();
    try {
        // Greeting, security, sign-in and what follows share one limit: a server that drips a
        // byte now and then is given up as surely as a silent one.
        TOperationLimit limit(*this, OperationTimeOut);
        TSocketSession::Connect();
        try {
            ReadGreeting();
            StartSecurity();
            if (SignInWanted())
                SignIn();
            opened = true;
            AfterSignIn();
        } catch (...) {
            // A time-out, a lost connection or a cancel has already ended the session: a goodbye
            // would only wait a second time. After a refusal, log out briefly. The first failure
            // is the one the caller hears of.
            if (!Connected() || Canceled()) {
                CloseQuietly();
            } else {
                try {
                    Logout(OperationTimeOut > 0 ? std::min(OperationTimeOut, QuitAfterFailureMs) : QuitAfterFailureMs);
                } catch (...) {
                }
            }
            throw;
        }
    } catch (...) {
        // The sign-in was accepted before the failure: the protocol still reports the opening.
        if (opened) {
            try {
                Opened();
            } catch (...) {
            }
        }
        throw;
    }
    Opened();
}

void TMailSession::SignIn()
{
    int retries = 0;
    for (;;) {
        std::string refusal;
        if (TrySignIn(refusal))
            return;
        const std::size_t b = refusal.find_first_not_of(" \t\r\n");
        const std::string shown = b == std::string::npos ? std::string() : refusal.substr(b, refusal.find_last_not_of(" \t\r\n") - b + 1);
        const std::string text = "Identifiant ou mot de passe refusé par " + Host + (shown.empty() ? std::string() : " : " + shown);
        if (retries > 0 || !OnAuthenticationFailed)
            throw EAuthError(text);
        bool handled = false;
        OnAuthenticationFailed(handled);
        if (!handled)
            throw EAuthError(text);
        ++retries;
        FetchSecret();
    }
}

bool TMailSession::SaslSignIn(const std::string& User, TSaslWire Wire, std::string& Final, bool ReportFinal)
{
    TSecretText secret(Secret());
    TSaslClient client(FMechanism, User, secret.Text(), Host, Port);
    if (Wire.Command.empty())
        Wire.Command = "AUTH";
    Wire.SendLine = [this](const std::string& Line) { Writeln(Line); };
    const bool accepted = RunSaslExchange(client, Wire, Final);
    if (ReportFinal)
        ReportStatus(1, Final);
    return accepted;
}

void TMailSession::CloseQuietly()
{
    if (Connected())
        TSocketSession::Disconnect();
    else
        ReceiveBuffer.Clear();
}

void TMailSession::Abort()
{
    if (Canceled() || !Connected())
        return;
    if (FBusy) {
        Cancel();
    } else {
        TSocketSession::Disconnect();
        ReceiveBuffer.Clear();
    }
}
