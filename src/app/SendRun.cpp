// SendRun: sending one message by hand, without any window.
#include "app/SendRun.h"

#include "app/DialLine.h"
#include "app/Finally.h"
#include "app/SessionSettings.h"
#include "app/WireText.h"
#include "mail/KTsmtp.h"
#include "mail/MailErrors.h"
#include "net/TlsTransport.h"

#include <exception>

namespace {

// The account's own password signs in to the SMTP server: one a user can type again.
bool SignsInWithStoredPassword(const TAccount& Account)
{
    return Account.SmtpSignIn == TSmtpSignIn::SameAsPop3 && Account.Auth != TAuthMethod::OAuth2
           && Account.PasswordCommand.trimmed().isEmpty();
}

} // namespace

TSendRun::TSendRun(TKTSMTP& Smtp, TDialUp& DialUp, TAccountTokens* Tokens)
    : smtp_(Smtp), dialUp_(DialUp), tokens_(Tokens)
{
}

TSendResult TSendRun::Run(TAccount& Account, const TOutgoingMessage& Message)
{
    TSendResult result;
    // The refused recipients are noted on their way to whoever listens to the component.
    const TRecipientNotFound told = smtp_.OnRecipientNotFound;
    smtp_.OnRecipientNotFound = [&](const std::string& Recipient) {
        result.Refused << WireText(Recipient);
        if (told)
            told(Recipient);
    };
    const Finally restore([&] { smtp_.OnRecipientNotFound = told; });
    try {
        // The account's SMTP server, port, security and sign-in.
        ConfigureSession(smtp_, Account, tokens_);
        // Without any dial-up entry nothing is sent (OnNoEntry says why); a failed dial does not
        // stop the send, the line may be up another way.
        const TDialLine::TResult line = TDialLine(dialUp_).BringUp(Entry);
        // The line the program just brought up counts as up at once, so the goodbye is said.
        result.LineUp = line == TDialLine::TResult::AlreadyUp || line == TDialLine::TResult::Dialed;
        if (line == TDialLine::TResult::NoEntry) {
            if (OnNoEntry)
                OnNoEntry();
            result.Outcome = TSendOutcome::NoLine;
        } else {
            if (!smtp_.Connected())
                Connect(Account, result);
            Fill(Message);
            smtp_.Send();
            result.Outcome = TSendOutcome::Sent;
        }
    } catch (const std::exception& e) {
        result.Outcome = result.Refused.isEmpty() ? TSendOutcome::Failed : TSendOutcome::RecipientsRefused;
        result.Error = QString::fromUtf8(e.what());
    }
    // On every way out: the goodbye while the line is up. Its failure is told unless an earlier
    // one is (a message already sent stays sent).
    try {
        if (smtp_.Connected() && result.LineUp)
            smtp_.Disconnect();
    } catch (const std::exception& e) {
        if (result.Error.isEmpty())
            result.Error = QString::fromUtf8(e.what());
        if (result.Outcome == TSendOutcome::NoLine)
            result.Outcome = TSendOutcome::Failed;
    }
    return result;
}

void TSendRun::Connect(TAccount& Account, TSendResult& Result)
{
    bool trustOffered = false;
    bool passwordAsked = false;
    for (;;) {
        try {
            smtp_.Connect();
            Result.PasswordChanged = passwordAsked;
            return;
        } catch (const ECertificateError& e) {
            // Trusted now: the same certificate is accepted on the next try.
            if (trustOffered || !OnUntrustedCertificate
                || !OnUntrustedCertificate(Account, smtp_.Host, ECertificateError::Reasons(e.Problems()), e.Fingerprint()))
                throw;
            trustOffered = true;
        } catch (const EAuthError&) {
            if (passwordAsked || !OnPasswordRefused || !SignsInWithStoredPassword(Account))
                throw;
            passwordAsked = true;
            const QString password = OnPasswordRefused(Account);
            if (password.isEmpty())
                throw;
            Account.Password = password;
        }
        ConfigureSession(smtp_, Account, tokens_);
    }
}

void TSendRun::Fill(const TOutgoingMessage& Message)
{
    TPostMessage& m = smtp_.PostMessage;
    m.FromAddress = ToWire(Message.FromAddress);
    m.FromName = ToWire(Message.FromName);
    m.Subject = ToWire(Message.Subject);
    // A failed send leaves its recipients and attachments in the record: this message starts from
    // empty lists so a retry goes only where the page says.
    m.ToAddress.Clear();
    m.ToCarbonCopy.Clear();
    m.ToBlindCarbonCopy.Clear();
    m.Attachments.Clear();
    m.ToAddress.Add(ToWire(Message.To));
    m.ToBlindCarbonCopy.Add(ToWire(Message.Bcc));
    m.ToCarbonCopy.Add(ToWire(Message.Cc));
    for (const QString& file : Message.Attachments)
        m.Attachments.Add(ToWire(file));
    // The body's lines as typed; a line break at the very end starts no line.
    m.Body.Clear();
    QStringList body = Message.Body.split(QLatin1Char('\n'));
    if (body.last().isEmpty())
        body.removeLast();
    for (const QString& line : body)
        m.Body.Add(ToWire(line));
}
