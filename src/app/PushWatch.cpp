// PushWatch: one push connection in IDLE for each IMAP account that waits for new mail.
#include "app/PushWatch.h"

#include "app/NewMail.h"
#include "app/SessionSettings.h"
#include "mail/ImapIdle.h"
#include "mail/KTimap.h"

#include <QSet>
#include <QTimer>
#include <algorithm>
#include <climits>

namespace {

// A connection whose exchange is under way may be stopped from an event handler that runs inside
// that very exchange: it is deleted once the exchange has given up.
void DeleteWhenDone(TImapIdle* Idle)
{
    if (!Idle->Session()->Busy()) {
        delete Idle;
        return;
    }
    QTimer::singleShot(100, [Idle] { DeleteWhenDone(Idle); });
}

} // namespace

TPushWatch::TPushWatch(TAccountTokens* Tokens, QString SeenFolder, QObject* Parent)
    : QObject(Parent), tokens_(Tokens), seenFolder_(std::move(SeenFolder))
{
}

TPushWatch::~TPushWatch()
{
    StopAll();
}

bool TPushWatch::Wanted(const TAccount& Account)
{
    return Account.Protocol == TProtocol::Imap && Account.Idle && Account.Complete() && Account.PortNumber().has_value();
}

QString TPushWatch::KeyOf(const TAccount& Account)
{
    return Account.Name().toLower();
}

bool TPushWatch::SameServer(const TAccount& A, const TAccount& B)
{
    return A.Host == B.Host && A.Port.trimmed() == B.Port.trimmed() && A.UserID == B.UserID && A.Password == B.Password
           && A.Security == B.Security && A.Auth == B.Auth && A.PasswordCommand == B.PasswordCommand
           && A.TrustedFingerprints == B.TrustedFingerprints && A.OAuth2 == B.OAuth2;
}

void TPushWatch::Follow(const QList<TAccount>& Accounts)
{
    QSet<QString> listed;
    for (const TAccount& account : Accounts) {
        if (!Wanted(account))
            continue;
        const QString key = KeyOf(account);
        listed.insert(key);
        auto found = watches_.find(key);
        if (found == watches_.end()) {
            TWatch& watch = watches_[key];
            watch.Account = account;
            Start(watch);
        } else if (!SameServer(found->second.Account, account)) {
            found->second.Account = account;
            Restart(found->second);
        }
    }
    for (auto it = watches_.begin(); it != watches_.end();) {
        if (listed.contains(it->first)) {
            ++it;
            continue;
        }
        Stop(it->second);
        it = watches_.erase(it);
    }
}

void TPushWatch::Retry(const TAccount& Account)
{
    const auto found = watches_.find(KeyOf(Account));
    if (found == watches_.end() || !found->second.Refused || !Wanted(Account))
        return;
    found->second.Account = Account;
    Restart(found->second);
}

void TPushWatch::StopAll()
{
    for (auto& [key, watch] : watches_)
        Stop(watch);
    watches_.clear();
    SaveMarks();
}

bool TPushWatch::Watching(const TAccount& Account) const
{
    const auto found = watches_.find(KeyOf(Account));
    if (found == watches_.end() || !SameServer(found->second.Account, Account))
        return false;
    const TWatch& watch = found->second;
    return watch.InIdle && watch.Idle && watch.Idle->Running() && watch.Idle->Session()->Connected();
}

bool TPushWatch::Busy() const
{
    return std::any_of(watches_.begin(), watches_.end(),
                       [](const auto& w) { return w.second.Idle && w.second.Idle->Session()->Busy(); });
}

int TPushWatch::Running() const
{
    int running = 0;
    for (const auto& [key, watch] : watches_)
        running += watch.Idle && watch.Idle->Running();
    return running;
}

TImapIdle* TPushWatch::Connection(const TAccount& Account) const
{
    const auto found = watches_.find(KeyOf(Account));
    return found == watches_.end() ? nullptr : found->second.Idle.get();
}

void TPushWatch::NetworkChanged()
{
    for (auto& [key, watch] : watches_) {
        if (!watch.Idle || !watch.Idle->Running())
            continue;
        watch.InIdle = false;
        watch.Idle->NetworkChanged();
    }
}

void TPushWatch::Resumed()
{
    for (auto& [key, watch] : watches_) {
        if (!watch.Idle || !watch.Idle->Running())
            continue;
        watch.InIdle = false;
        watch.Idle->Resumed();
    }
}

void TPushWatch::Start(TWatch& Watch)
{
    Watch.Refused = false;
    Watch.InIdle = false;
    Watch.Idle = std::make_unique<TImapIdle>();
    TImapIdle* const idle = Watch.Idle.get();
    ConfigureSession(*idle->Session(), Watch.Account, tokens_);
    idle->Session()->Port = Watch.Account.PortNumber().value_or(0);
    // The handlers find their account by name: a connection replaced meanwhile is no longer heard.
    const QString key = KeyOf(Watch.Account);
    auto current = [this, key, idle]() -> TWatch* {
        const auto found = watches_.find(key);
        return found != watches_.end() && found->second.Idle.get() == idle ? &found->second : nullptr;
    };
    idle->OnIdle = [this, current](QObject*) {
        if (TWatch* w = current()) {
            w->InIdle = true;
            Tell(*w);
        }
    };
    idle->OnError = [this, current](const std::string&, int) {
        if (TWatch* w = current()) {
            w->InIdle = false;
            Tell(*w);
        }
    };
    idle->OnUnsupported = [current](QObject*) {
        // Polled by the schedule from now on.
        if (TWatch* w = current())
            w->InIdle = false;
    };
    idle->OnRefused = [this, current](const std::string& Error) {
        TWatch* w = current();
        if (!w)
            return;
        w->InIdle = false;
        w->Refused = true;
        Problem(w->Account, QStringLiteral("Attente des nouveaux messages de %1 arrêtée : %2")
                                .arg(w->Account.Name(), QString::fromStdString(Error)));
    };
    idle->OnNewMail = [this, current, idle](const std::vector<TImapSummary>& Messages) {
        Arrived(current, *idle->Session(), Messages);
    };
    idle->Start();
}

void TPushWatch::Stop(TWatch& Watch)
{
    Watch.InIdle = false;
    if (!Watch.Idle)
        return;
    TImapIdle* const idle = Watch.Idle.release();
    idle->OnNewMail = nullptr;
    idle->OnRefused = nullptr;
    idle->OnIdle = nullptr;
    idle->OnError = nullptr;
    idle->OnUnsupported = nullptr;
    idle->Stop();
    DeleteWhenDone(idle);
}

void TPushWatch::Restart(TWatch& Watch)
{
    Stop(Watch);
    Start(Watch);
}

void TPushWatch::Arrived(const std::function<TWatch*()>& Current, TKTIMAP& Session, const std::vector<TImapSummary>& Messages)
{
    // The INBOX as a check reads it, asked on the same connection before it goes back to IDLE.
    TImapStatus now;
    try {
        now = Session.Status("INBOX");
    } catch (const std::exception&) {
        if (!Session.Connected())
            throw;
        // A server that refuses STATUS on the open mailbox: what SELECT and the fetch told.
        now.Messages = Session.Selected().Exists;
        now.UidValidity = Session.Selected().UidValidity;
        now.UidNext = Session.Selected().UidNext;
        now.Unseen = std::count_if(Messages.begin(), Messages.end(), [](const TImapSummary& s) { return !s.Seen; });
    }
    // (The account may have changed or gone while the server answered.)
    TWatch* const watch = Current();
    if (!watch)
        return;
    const TAccount& Account = watch->Account;
    const QString file = ImapMarkFileFor(seenFolder_, Account.Host, Account.UserID);
    const TImapMark last = ReadImapMark(file);
    const bool sameNumbers = last.Known() && last.UidValidity == now.UidValidity;
    TImapMark mark = TImapMark::From(now);
    if (sameNumbers)
        mark.UidNext = std::max(mark.UidNext, last.UidNext);
    std::vector<const TImapSummary*> fresh;
    for (const TImapSummary& s : Messages) {
        mark.UidNext = std::max(mark.UidNext, s.Uid + 1);
        // Mail a check told of already, or read elsewhere meanwhile, is no news.
        if (!s.Seen && !(sameNumbers && s.Uid < last.UidNext))
            fresh.push_back(&s);
    }
    // Remembered as a check remembers it, so the next check does not tell of this mail again;
    // written once the news is told (the file is synced to disk, which may take a while).
    watch->Marks.push_back({file, mark});
    if (fresh.empty())
        return;
    TAccountResult r;
    r.Account = Account;
    r.Outcome = TCheckOutcome::Counted;
    r.Count = int(std::min<std::uint64_t>(std::max<std::uint64_t>(now.Unseen, fresh.size()), INT_MAX));
    r.Fresh = int(fresh.size());
    for (auto it = fresh.rbegin(); it != fresh.rend() && r.Newest.size() < 3; ++it)
        r.Newest << NewestLine((*it)->Summary);
    watch->Ready << r;
}

void TPushWatch::Tell(TWatch& Watch)
{
    QList<TAccountResult> ready;
    ready.swap(Watch.Ready);
    for (const TAccountResult& r : ready)
        if (OnNewMail)
            OnNewMail(r);
    if (Watch.Marks.empty())
        return;
    for (auto& [file, mark] : Watch.Marks)
        marks_.push_back({Watch.Account, file, mark});
    Watch.Marks.clear();
    QTimer::singleShot(0, this, [this] { SaveMarks(); });
}

void TPushWatch::SaveMarks()
{
    std::vector<TMarkToSave> marks;
    marks.swap(marks_);
    for (const TMarkToSave& m : marks) {
        try {
            SaveImapMark(m.File, m.Mark);
        } catch (const std::exception& e) {
            Problem(m.Account, QStringLiteral("Les nouveaux messages de %1 n'ont pas pu être retenus : %2")
                                   .arg(m.Account.Name(), QString::fromUtf8(e.what())));
        }
    }
}

void TPushWatch::Problem(const TAccount& Account, const QString& Why)
{
    if (OnProblem)
        OnProblem(Account, Why);
}

// The meta-object code is built into this object, not with the library's others: the check from
// the command line links this class, and must not pull in the windows (and the desktop libraries)
// with them.
#include "moc_PushWatch.cpp"
