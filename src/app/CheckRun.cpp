// CheckRun: the mail check, without any window: for each account, make sure a line is up, sign
// in to its mailbox and read how many messages wait there; one result per account.
#include "app/CheckRun.h"
#include "app/SessionSettings.h"
#include "net/TlsTransport.h"

#include "app/NewMail.h"
#include "app/WireText.h"
#include "dialup/DialUp.h"
#include "app/Mailbox.h"
#include "mail/ImapNewMail.h"
#include "mail/MailErrors.h"

QString ResultLine(const TAccountResult& Result, bool SayWhenEmpty)
{
    const QString name = Result.Account.Name();
    switch (Result.Outcome) {
    case TCheckOutcome::LineDown:
    case TCheckOutcome::Unreachable:
        return QStringLiteral("Connexion impossible à ") + name;
    case TCheckOutcome::Refused:
        // A browser sign-in says why: a connection to make again, a missing client identifier.
        if (Result.Account.UsesBrowserSignIn() && !Result.Error.isEmpty())
            return Result.Error;
        return QStringLiteral("Identifiant ou mot de passe refusé par ") + name;
    case TCheckOutcome::Cancelled:
        return QString();
    case TCheckOutcome::CertificateRefused:
        return QStringLiteral("Certificat de ") + name + QStringLiteral(" refusé : ") + Result.Error;
    case TCheckOutcome::WrongSecurity:
        return QStringLiteral("Connexion impossible à ") + name + QStringLiteral(" : ") + Result.Error;
    case TCheckOutcome::Counted:
        break;
    }
    // An IMAP account's count is of its unread messages.
    if (Result.Account.Protocol == TProtocol::Imap)
        return ImapResultLine(name, std::uint64_t(std::max(0, Result.Count)), std::uint64_t(std::max(0, Result.Fresh)),
                              SayWhenEmpty);
    // Joined piece by piece: a "%1" in an account name is text.
    if (Result.Count <= 0)
        return SayWhenEmpty ? QStringLiteral("Vous n'avez aucun message sur ") + name : QString();
    return QStringLiteral("Vous avez ") + QString::number(Result.Count)
           + (Result.Count == 1 ? QStringLiteral(" message sur ") : QStringLiteral(" messages sur ")) + name
           + NewMailSuffix(Result.Fresh);
}

namespace {

// Whether a failure came after the server was reached. One never reached (no address, refused,
// no answer in time) says nothing of what the server speaks, and probing it again would only
// make the user wait as long a second time.
bool Reached(const std::exception& Error)
{
    const auto* Sock = dynamic_cast<const ESockError*>(&Error);
    if (!Sock)
        return true;
    switch (Sock->Kind()) {
    case seLookupTimedOut:
    case seLookupCanceled:
    case seLookupFailed:
    case seNoAddress:
    case seConnectTimedOut:
    case seConnectCanceled:
    case seConnectFailed:
        return false;
    default:
        return true;
    }
}

} // namespace

TCheckRun::TCheckRun(TMailbox& Mailbox, TDialUp& DialUp) : mailbox_(Mailbox), line_(DialUp) {}

bool TCheckRun::Begin()
{
    lineWasUp_ = line_.ActiveConnections();
    lineUp_ = lineWasUp_;
    lineJustSeen_ = lineWasUp_;
    return lineWasUp_;
}

int TCheckRun::Total(const QList<TAccountResult>& Results)
{
    int total = 0;
    for (const TAccountResult& r : Results)
        if (r.Outcome == TCheckOutcome::Counted && r.Count > 0)
            total += r.Count;
    return total;
}

TAccountResult TCheckRun::Outcome(const TAccount& Account, TCheckOutcome Kind, const QString& Error)
{
    TAccountResult r;
    r.Account = Account;
    r.Outcome = Kind;
    r.Error = Error;
    return r;
}

QList<TAccountResult> TCheckRun::Run(const QList<TAccount>& Accounts)
{
    QList<TAccountResult> results;
    for (int i = 0; i < Accounts.size(); ++i) {
        TAccountResult r = Check(Accounts[i]);
        const bool keep = KeepLastSession && i == Accounts.size() - 1 && r.Outcome == TCheckOutcome::Counted;
        if (!keep)
            CloseSession();
        results << r;
        if (OnAccountDone)
            OnAccountDone(r);
    }
    return results;
}

TAccountResult TCheckRun::Check(const TAccount& Account)
{
    if (cancelled_)
        return Outcome(Account, TCheckOutcome::Cancelled);
    // A session left open by an earlier connection belongs to another account, or is stale.
    CloseSession();

    const TDialLine::TResult line = lineJustSeen_ ? TDialLine::TResult::AlreadyUp : line_.BringUp(Entry);
    lineJustSeen_ = false;
    if (line == TDialLine::TResult::AlreadyUp || line == TDialLine::TResult::Dialed)
        lineUp_ = true;
    if (cancelled_)
        return Outcome(Account, TCheckOutcome::Cancelled);
    if (line == TDialLine::TResult::NoEntry) {
        if (!noEntryTold_ && OnNoEntry)
            OnNoEntry();
        noEntryTold_ = true;
        return Outcome(Account, TCheckOutcome::LineDown);
    }
    if (line == TDialLine::TResult::DialFailed && !ConnectAfterFailedDial)
        return Outcome(Account, TCheckOutcome::LineDown);

    if (!Account.PortNumber())
        return Outcome(Account, TCheckOutcome::Unreachable,
                       QStringLiteral("'%1' n'est pas un numéro de port valide").arg(Account.Port));
    TAccount account = Account;
    try {
        try {
            mailbox_.Open(account);
        } catch (const ECertificateError& e) {
            const std::string reasons = ECertificateError::Reasons(e.Problems());
            // Once trusted, the very same certificate is accepted on the next try.
            if (cancelled_ || !OnUntrustedCertificate
                || !OnUntrustedCertificate(account, Account.Host.toStdString(), reasons, e.Fingerprint())) {
                DropSession();
                if (cancelled_)
                    return Outcome(Account, TCheckOutcome::Cancelled);
                TAccountResult r = Outcome(Account, TCheckOutcome::CertificateRefused, QString::fromStdString(reasons));
                r.Fingerprint = QString::fromStdString(e.Fingerprint());
                return r;
            }
            DropSession();
            mailbox_.Open(account);
        }
    } catch (const EAuthError& e) {
        DropSession();
        return Outcome(Account, cancelled_ ? TCheckOutcome::Cancelled : TCheckOutcome::Refused, QString::fromUtf8(e.what()));
    } catch (const std::exception& e) {
        DropSession();
        if (cancelled_)
            return Outcome(Account, TCheckOutcome::Cancelled, QString::fromUtf8(e.what()));
        if (OnSecurityDoubt && Reached(e)) {
            const QString mismatch = OnSecurityDoubt(account);
            if (!mismatch.isEmpty())
                return Outcome(Account, TCheckOutcome::WrongSecurity, mismatch);
        }
        // The server was not reached at all, or was reached over a line that then failed.
        return Outcome(Account, line == TDialLine::TResult::DialFailed ? TCheckOutcome::LineDown : TCheckOutcome::Unreachable,
                       QString::fromUtf8(e.what()));
    }
    TAccountResult r = Outcome(Account, TCheckOutcome::Counted);
    r.Count = mailbox_.Count();
    if (OnCounted && !cancelled_) {
        try {
            OnCounted(r);
        } catch (const std::exception&) {
            // The count stands; what is new is not known this time.
            r.Fresh = 0;
            r.Newest.clear();
        }
    }
    return r;
}

void TCheckRun::CloseSession()
{
    if (!mailbox_.IsOpen())
        return;
    if (cancelled_) {
        DropSession();
        return;
    }
    // The logout makes the server release the mailbox; a failure here reaches the caller, unless
    // it is the user's cancel that ended it.
    try {
        mailbox_.Close();
    } catch (...) {
        if (!cancelled_)
            throw;
    }
}

void TCheckRun::DropSession()
{
    // Without a logout: the connection is given up (cancelled, or failed half way).
    mailbox_.Drop();
}

void TCheckRun::Finish(int Total)
{
    if (Total == 0 && !lineWasUp_) {
        line_.HangUp();
        lineUp_ = false;
    }
}

void TCheckRun::Cancel()
{
    cancelled_ = true;
    // Every wait of the session ends within one pass of its loop.
    mailbox_.Cancel();
}
