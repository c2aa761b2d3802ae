// MailController: the program's mail work without any window: the POP3 and SMTP components, the
// dial-up line, the check run, the mailbox session and how long it stays open, and what is new.
#include "app/MailController.h"

#include "app/AccountStore.h"
#include "app/NewMail.h"
#include "app/PushWatch.h"
#include "app/SecurityMismatch.h"
#include "app/WireText.h"
#include "dialup/DialUp.h"
#include "mail/KTUUE.h"
#include "mail/KTimap.h"
#include "mail/KTpop3.h"
#include "mail/KTsmtp.h"
#include "net/TextHelpers.h"
#include "platform/DialService.h"

#include <QTimer>
#include <algorithm>
#include <climits>

TMailController::TMailController(std::unique_ptr<DialService> Dial, QString IniPath, QString SeenFolder,
                                 SecretStore* Secrets, QObject* Parent)
    : QObject(Parent), iniPath_(std::move(IniPath)), seenFolder_(std::move(SeenFolder)), secrets_(Secrets)
{
    pop3_ = new TKTPOP3(this);
    pop3_->setObjectName(QStringLiteral("KTPOP31"));
    pop3_->Port = 110;
    pop3_->ReportLevel = 2;
    // Nothing is deleted on reading: deleting is the user's own act.
    pop3_->DeleteOnRead = false;
    // A silent server ends in an error instead of a frozen program.
    pop3_->TimeOut = 60000;
    pop3_->IdleTimeOut = 120000;
    // The whole sign-in and each short exchange have their own limit, so a check gives up a
    // silent or dripping server well within half a minute.
    pop3_->OperationTimeOut = 25000;
    tokens_ = std::make_unique<TAccountTokens>(iniPath_, secrets_);
    pop3Box_ = std::make_unique<TPop3Mailbox>(*pop3_);
    pop3Box_->Tokens = tokens_.get();

    // IMAP accounts are checked with the same limits.
    imap_ = new TKTIMAP(this);
    imap_->setObjectName(QStringLiteral("KTIMAP1"));
    imap_->TimeOut = pop3_->TimeOut;
    imap_->IdleTimeOut = pop3_->IdleTimeOut;
    imap_->OperationTimeOut = pop3_->OperationTimeOut;
    imapBox_ = std::make_unique<TImapInbox>(*imap_);
    imapBox_->Tokens = tokens_.get();
    mailbox_ = std::make_unique<TAccountMailbox>(*pop3Box_, *imapBox_);

    smtp_ = new TKTSMTP(this);
    smtp_->setObjectName(QStringLiteral("KTSMTP1"));
    smtp_->Port = 25;
    smtp_->ReportLevel = 0;
    smtp_->EncodeType = uuMime;
    smtp_->ClearParams = true;
    smtp_->SubType = mtPlain;
    smtp_->PostMessage.LocalProgram = "Kestrune SMTP Demo";
    smtp_->TimeOut = 60000;
    smtp_->IdleTimeOut = 120000;

    dialUp_ = new TDialUp(this, std::move(Dial));
    dialUp_->setObjectName(QStringLiteral("DialUp"));
    dialUp_->DialMode = dmSync;
    dialUp_->Language = English;

    idle_ = new QTimer(this);
    idle_->setSingleShot(true);
    connect(idle_, &QTimer::timeout, this, [this] { IdleExpired(); });
}

TMailController::~TMailController()
{
    StopPush();
    // The components may report while they are torn down; nobody listens any more.
    pop3_->OnDisconnect = nullptr;
    pop3_->OnStatus = nullptr;
    imap_->OnDisconnect = nullptr;
    imap_->OnStatus = nullptr;
    smtp_->OnDisconnect = nullptr;
    smtp_->OnStatus = nullptr;
    try {
        CloseSession(true);
    } catch (const std::exception&) {
        // The program ends: a server that does not say goodbye is left as it is.
    }
}

TCheckRun* TMailController::PrepareRun(TCheckRun& Run, bool Interactive)
{
    Run.Entry = Entry;
    Run.OnNoEntry = [this] {
        if (User)
            User->NoDialEntry();
    };
    if (Interactive)
        Run.OnUntrustedCertificate = [this](TAccount& account, const std::string& host, const std::string& reasons,
                                            const std::string& fingerprint) {
            return OfferTrust(account, host, reasons, fingerprint);
        };
    Run.OnSecurityDoubt = [](const TAccount& account) {
        const int port = account.PortNumber().value_or(0);
        return SecurityMismatchText(account.Security, ProbePortTalk(account.Host, port), port);
    };
    return &Run;
}

TCheckReport TMailController::Check(const QList<TAccount>& Accounts, TCheckKind Kind, bool KeepLast,
                                    bool SayWhenEmpty)
{
    // A session left open belongs to another account, or is stale.
    CloseSession(true);
    // Accounts waiting in IDLE are watched already: the scheduler leaves them out.
    QList<TAccount> accounts = Accounts;
    if (Kind == TCheckKind::Scheduled)
        accounts.removeIf([this](const TAccount& a) { return Pushed(a); });
    TCheckRun run(*mailbox_, *dialUp_);
    PrepareRun(run, Kind != TCheckKind::CommandLine);
    run.KeepLastSession = KeepLast && Kind != TCheckKind::CommandLine;
    const bool remember = Kind != TCheckKind::CommandLine;
    run.OnCounted = [this, remember](TAccountResult& r) { LookForNewMail(r, remember); };
    TCheckReport report;
    run.OnAccountDone = [this, &report](const TAccountResult& r) {
        if (r.Outcome == TCheckOutcome::Counted)
            report.Fresh += r.Fresh;
        if (OnAccountDone)
            OnAccountDone(r);
    };
    {
        TCheckRun* const outer = running_;
        running_ = &run;
        const TFinally restore([this, outer] { running_ = outer; });
        const TBusy busy(*this);
        report.LineWasUp = run.Begin();
        report.Results = run.Run(accounts);
        report.Total = TCheckRun::Total(report.Results);
        // A check started by the scheduler speaks only of new mail unless the settings say
        // otherwise; the line the program dialed stays up only for mail the user is told about.
        report.Announce = (SayWhenEmpty && !accounts.isEmpty()) || Kind == TCheckKind::ByHand || report.Fresh > 0;
        run.Finish(report.Announce ? report.Total : 0);
        report.LineUp = run.LineUp();
        report.Cancelled = run.Cancelled();
    }
    // The last account's session stays open only for mail to list, and only a short while.
    if (mailbox_->IsOpen() && !report.Results.isEmpty()) {
        const TAccountResult& last = report.Results.last();
        // (Not for an IMAP account: its listing opens INBOX on a session of its own.)
        if (last.Outcome == TCheckOutcome::Counted && last.Count > 0 && !report.Cancelled
            && last.Account.Protocol == TProtocol::Pop3) {
            sessionAccount_ = last.Account;
            hold_ = THold::Check;
            report.SessionKept = true;
            StartIdle(CheckHoldMs);
        } else {
            CloseSession(true);
        }
    }
    // A push connection stopped on a refusal starts again once the user got in by hand; news it
    // brought during the check are told now.
    if (push_ && Kind == TCheckKind::ByHand)
        for (const TAccountResult& r : report.Results)
            if (r.Outcome == TCheckOutcome::Counted)
                push_->Retry(r.Account);
    if (!pushMail_.isEmpty())
        QTimer::singleShot(0, this, [this] { DeliverPushMail(); });
    return report;
}

bool TMailController::SessionOpenFor(const QString& Name) const
{
    return mailbox_->IsOpen() && hold_ != THold::None && sessionAccount_.Name().compare(Name, Qt::CaseInsensitive) == 0;
}

TAccountResult TMailController::Connect(const TAccount& Account)
{
    if (mailbox_->IsOpen() && hold_ != THold::None && sessionAccount_.Section == Account.Section
        && sessionAccount_.Host == Account.Host && sessionAccount_.UserID == Account.UserID) {
        HandToUser();
        TAccountResult r;
        r.Account = sessionAccount_;
        r.Outcome = TCheckOutcome::Counted;
        r.Count = mailbox_->Count();
        return r;
    }
    CloseSession(true);
    TCheckRun run(*mailbox_, *dialUp_);
    PrepareRun(run, true);
    // Connecting by hand: after a failed dial the server is still tried, it may be reachable
    // another way.
    run.ConnectAfterFailedDial = true;
    TCheckRun* const outer = running_;
    running_ = &run;
    TAccountResult r;
    TAccount account = Account;
    {
        const TFinally restore([this, outer] { running_ = outer; });
        const TBusy busy(*this);
        run.Begin();
        r = run.Check(account);
        // A refused stored password: asked again, tried once more.
        if (r.Outcome == TCheckOutcome::Refused && !run.Cancelled()) {
            const QString password = AskPassword(account, account.Host);
            if (!password.isEmpty()) {
                account.Password = password;
                r = run.Check(account);
                if (r.Outcome == TCheckOutcome::Counted)
                    StorePassword(account);
            }
        }
        connectLineUp_ = run.LineUp();
    }
    if (r.Outcome == TCheckOutcome::Counted && mailbox_->IsOpen()) {
        sessionAccount_ = account;
        HandToUser();
        // The user's session lists the whole mailbox (an IMAP INBOX, not only its unread mail).
        r.Count = mailbox_->Browse();
    }
    return r;
}

void TMailController::Disconnect(bool Polite)
{
    CloseSession(Polite);
}

void TMailController::HandToUser()
{
    if (!mailbox_->IsOpen())
        return;
    hold_ = THold::User;
    StartIdle(UserIdleMs);
}

void TMailController::ReleaseCheckSession()
{
    if (hold_ == THold::Check && busy_ == 0)
        CloseSession(true);
}

void TMailController::Touch()
{
    if (mailbox_->IsOpen() && hold_ != THold::None)
        StartIdle(hold_ == THold::User ? UserIdleMs : CheckHoldMs);
}

void TMailController::StartIdle(int Ms)
{
    idle_->start(Ms);
}

void TMailController::IdleExpired()
{
    if (!mailbox_->IsOpen() || hold_ == THold::None)
        return;
    // An operation under way is activity: the limit counts from its end.
    if (busy_ > 0) {
        Touch();
        return;
    }
    const QString name = sessionAccount_.Name();
    try {
        CloseSession(true);
    } catch (const std::exception&) {
        // A server that lost the session already: it is closed either way.
    }
    if (OnSessionClosed)
        OnSessionClosed(QStringLiteral("Session fermée après un moment sans activité sur ") + name);
}

void TMailController::CloseSession(bool Polite)
{
    idle_->stop();
    hold_ = THold::None;
    if (!mailbox_->IsOpen())
        return;
    if (!Polite) {
        mailbox_->Drop();
        return;
    }
    try {
        mailbox_->Close();
    } catch (...) {
        mailbox_->Drop();
        throw;
    }
}

int TMailController::List(int First, int Last, const TMailbox::TEachSummary& Each)
{
    const TBusy busy(*this);
    listing_ = true;
    listingCancelled_ = false;
    struct Done {
        TMailController* c;
        ~Done()
        {
            c->listing_ = false;
            c->Touch();
        }
    } done{this};
    return mailbox_->List(First, Last, [&](int n, const TSummary& s) { return Each(n, s) && !listingCancelled_; });
}

TMailController::TBusy::TBusy(TMailController& Controller) : c_(Controller)
{
    if (c_.busy_++ == 0) {
        c_.cancelRequested_ = false;
        if (c_.OnBusyChanged)
            c_.OnBusyChanged(true);
    }
}

TMailController::TBusy::~TBusy()
{
    if (--c_.busy_ > 0)
        return;
    if (c_.cancelRequested_) {
        // A cancelled transfer leaves the session in the middle of a reply: it is dropped without
        // a logout, so the next operation starts on a fresh connection.
        c_.idle_->stop();
        c_.hold_ = THold::None;
        try {
            c_.mailbox_->Drop();
        } catch (const std::exception&) {
            // Closing a connection given up on: nothing is left to tell.
        }
    }
    if (c_.OnBusyChanged)
        c_.OnBusyChanged(false);
}

void TMailController::Cancel()
{
    // Nothing runs: a cancel now would only spoil the session's next operation.
    if (busy_ == 0)
        return;
    if (listing_ && !running_ && !listingCancelled_) {
        listingCancelled_ = true;
        return;
    }
    cancelRequested_ = true;
    if (running_)
        running_->Cancel();
    else
        mailbox_->Cancel();
}

QString TMailController::TrustQuestion(const QString& Host, const QString& Reasons, const QString& Fingerprint)
{
    return QStringLiteral("Le certificat présenté par %1 a été refusé (%2).\n\nEmpreinte SHA-256 :\n%3\n\n"
                          "Vérifiez cette empreinte auprès de votre fournisseur. Faire confiance à ce certificat "
                          "pour ce compte ?")
        .arg(Host, Reasons, Fingerprint);
}

bool TMailController::OfferTrust(TAccount& Account, const std::string& Host, const std::string& Reasons,
                                 const std::string& Fingerprint)
{
    if (Fingerprint.empty() || !User)
        return false;
    if (!User->Confirm(TrustQuestion(QString::fromStdString(Host), QString::fromStdString(Reasons),
                                     QString::fromStdString(Fingerprint))))
        return false;
    const QString print = QString::fromStdString(Fingerprint);
    QStringList prints = Account.TrustedFingerprints.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (!prints.contains(print, Qt::CaseInsensitive))
        prints << print;
    Account.TrustedFingerprints = prints.join(QLatin1Char(','));
    // Only this account's certificates are written: its other settings are the page's to save.
    TAccountStore(iniPath_, secrets_).WriteTrustedFingerprints(Account);
    if (OnAccountStored)
        OnAccountStored(Account);
    if (push_)
        push_->Retry(Account);
    return true;
}

void TMailController::LookForNewMail(TAccountResult& Result, bool Remember)
{
    const TAccount& account = Result.Account;
    if (const TImapInbox* imap = mailbox_->Imap()) {
        // New: the unread messages that arrived after the last check's UIDNEXT.
        const QString file = ImapMarkFileFor(seenFolder_, account.Host, account.UserID);
        const TImapStatus& now = imap->Status();
        Result.Fresh = int(std::min<std::uint64_t>(ImapNewCount(ReadImapMark(file), now), INT_MAX));
        if (Remember)
            SaveImapMark(file, TImapMark::From(now));
        return;
    }
    TSeenMail seen(TSeenMail::StateFileFor(seenFolder_, account.Host, account.UserID,
                                           account.PortNumber().value_or(0)));
    const std::vector<int> fresh = mailbox_->NewMessages(seen);
    if (Remember)
        seen.Save();
    Result.Fresh = int(fresh.size());
    // The newest first: they are the last numbers.
    for (auto it = fresh.rbegin(); ReadNewest && it != fresh.rend() && Result.Newest.size() < 3; ++it)
        Result.Newest << NewestLine(mailbox_->Summary(*it));
}

// ---------------------------------------------------------------------------------------------
// Sending; a refused password asked again

TSendResult TMailController::Send(const TAccount& Account, const TOutgoingMessage& Message)
{
    TAccount account = Account;
    TSendRun run(*smtp_, *dialUp_, tokens_.get());
    run.Entry = Entry;
    run.OnNoEntry = [this] {
        if (User)
            User->NoDialEntry();
    };
    run.OnUntrustedCertificate = [this](TAccount& a, const std::string& host, const std::string& reasons,
                                        const std::string& fingerprint) {
        return OfferTrust(a, host, reasons, fingerprint);
    };
    run.OnPasswordRefused = [this](const TAccount& a) { return AskPassword(a, WireText(smtp_->Host)); };
    TSendResult result = run.Run(account, Message);
    if (result.PasswordChanged)
        StorePassword(account);
    return result;
}

QString TMailController::PasswordQuestion(const QString& Host, const QString& User)
{
    return QStringLiteral("Le serveur %1 a refusé le mot de passe de %2. Nouveau mot de passe :").arg(Host, User);
}

QString TMailController::AskPassword(const TAccount& Account, const QString& Host)
{
    // A password command or a browser sign-in gives what the user would type: nothing to ask.
    if (!User || Account.Auth == TAuthMethod::OAuth2 || !Account.PasswordCommand.trimmed().isEmpty())
        return QString();
    return User->NewPassword(PasswordQuestion(Host, Account.UserID));
}

void TMailController::StorePassword(const TAccount& Account)
{
    TAccountStore(iniPath_, secrets_).WritePassword(Account);
    if (OnAccountStored)
        OnAccountStored(Account);
}

// The meta-object code is built into this object, not with the library's others: the check from
// the command line links this class, and must not pull in the windows (and the desktop libraries)
// with them.
#include "moc_MailController.cpp"
