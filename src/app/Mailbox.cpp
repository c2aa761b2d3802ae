// Mailbox: the POP3 and IMAP implementations of an account's mailbox.
#include "app/Mailbox.h"

#include "app/AccountTokens.h"
#include "app/NewMail.h"
#include "app/SessionSettings.h"
#include "app/WireText.h"

#include <QFile>
#include <algorithm>
#include <climits>

namespace {

// The prefix of the files the decoder writes into Folder.
std::string FilePrefix(const QString& Folder)
{
    return std::string(QFile::encodeName(Folder.endsWith(QLatin1Char('/')) ? Folder : Folder + QLatin1Char('/')));
}

} // namespace

void TPop3Mailbox::Open(const TAccount& Account)
{
    const std::optional<int> port = Account.PortNumber();
    if (!port)
        throw std::runtime_error(
            QStringLiteral("'%1' n'est pas un numéro de port valide").arg(Account.Port).toStdString());
    ConfigureSession(pop3_, Account, Tokens);
    pop3_.Port = *port;
    pop3_.Connect();
}

bool TPop3Mailbox::IsOpen() const { return pop3_.Connected(); }

void TPop3Mailbox::Close()
{
    if (pop3_.Connected())
        pop3_.Disconnect();
}

void TPop3Mailbox::Drop()
{
    if (pop3_.Connected())
        pop3_.TSocketSession::Disconnect();
}

void TPop3Mailbox::Cancel() { pop3_.Cancel(); }

int TPop3Mailbox::Count() const { return pop3_.MessageCount(); }

std::vector<int> TPop3Mailbox::NewMessages(TSeenMail& Seen)
{
    std::vector<std::string> ids;
    return pop3_.UIDL(ids) ? Seen.NewByIds(ids) : Seen.NewByCount(pop3_.MessageCount());
}

const TSummary& TPop3Mailbox::Summary(int Number)
{
    pop3_.RetrieveSummary(Number);
    return pop3_.Summary();
}

int TPop3Mailbox::List(int First, int Last, const TEachSummary& Each)
{
    return pop3_.ListSummaries(First, Last, Each);
}

const TMailMessage& TPop3Mailbox::Read(int Number, const QString& Folder)
{
    pop3_.AttachFilePath = FilePrefix(Folder);
    pop3_.RetrieveMessage(Number);
    return pop3_.MailMessage();
}

void TPop3Mailbox::Delete(int Number) { pop3_.DeleteMessage(Number); }

void TImapInbox::Open(const TAccount& Account)
{
    const std::optional<int> port = Account.PortNumber();
    if (!port)
        throw std::runtime_error(
            QStringLiteral("'%1' n'est pas un numéro de port valide").arg(Account.Port).toStdString());
    status_ = TImapStatus();
    Forget();
    ConfigureSession(imap_, Account, Tokens);
    imap_.Port = *port;
    imap_.Connect();
    status_ = imap_.Status("INBOX");
}

bool TImapInbox::IsOpen() const { return imap_.Connected(); }

void TImapInbox::Close()
{
    Forget();
    if (imap_.Connected())
        imap_.Disconnect();
}

void TImapInbox::Drop()
{
    Forget();
    if (imap_.Connected())
        imap_.TSocketSession::Disconnect();
}

void TImapInbox::Cancel() { imap_.Cancel(); }

void TImapInbox::Forget()
{
    selected_ = false;
    uids_.clear();
    deleted_.clear();
}

int TImapInbox::Count() const
{
    return selected_ ? int(uids_.size()) : int(std::min<std::uint64_t>(status_.Unseen, INT_MAX));
}

int TImapInbox::Browse()
{
    if (!selected_) {
        const TImapMailbox box = imap_.Select("INBOX");
        uids_.assign(std::size_t(std::min<std::uint64_t>(box.Exists, INT_MAX)), 0);
        deleted_.clear();
        selected_ = true;
    }
    return Count();
}

void TImapInbox::EnsureSelected()
{
    if (!selected_)
        Browse();
}

std::vector<int> TImapInbox::NewMessages(TSeenMail&) { return {}; }

std::uint64_t TImapInbox::SequenceOf(int Number) const
{
    // Every message deleted before it moved it one place up.
    return std::uint64_t(Number) - std::uint64_t(std::lower_bound(deleted_.begin(), deleted_.end(), Number) - deleted_.begin());
}

int TImapInbox::NumberOf(std::uint64_t Sequence) const
{
    std::uint64_t number = Sequence;
    for (const int gone : deleted_)
        if (std::uint64_t(gone) <= number)
            ++number;
    return number > uids_.size() ? 0 : int(number);
}

void TImapInbox::RequireNumber(int Number) const
{
    if (Number < 1 || Number > int(uids_.size()))
        throw std::runtime_error(QStringLiteral("Il n'y a pas de message n° %1 sur le serveur").arg(Number).toStdString());
    if (std::binary_search(deleted_.begin(), deleted_.end(), Number))
        throw std::runtime_error(QStringLiteral("Le message n° %1 a été supprimé du serveur").arg(Number).toStdString());
}

const TSummary& TImapInbox::Take(int Number, const TImapSummary& Fetched)
{
    uids_[std::size_t(Number - 1)] = Fetched.Uid;
    summary_ = Fetched.Summary;
    summary_.Unread = !Fetched.Seen;
    return summary_;
}

const TSummary& TImapInbox::Summary(int Number)
{
    EnsureSelected();
    RequireNumber(Number);
    TImapSummary fetched;
    const auto keep = [&fetched](const TImapSummary& s) {
        fetched = s;
        return false;
    };
    const std::uint64_t uid = uids_[std::size_t(Number - 1)];
    if (uid != 0)
        imap_.FetchSummaries(std::to_string(uid), keep);
    else
        imap_.ListSummaries(SequenceOf(Number), SequenceOf(Number), keep);
    if (fetched.Uid == 0 || (uid != 0 && fetched.Uid != uid))
        throw std::runtime_error(QStringLiteral("Le message n° %1 n'est plus sur le serveur").arg(Number).toStdString());
    return Take(Number, fetched);
}

int TImapInbox::List(int First, int Last, const TEachSummary& Each)
{
    EnsureSelected();
    const auto gone = [this](int n) { return std::binary_search(deleted_.begin(), deleted_.end(), n); };
    First = std::max(First, 1);
    Last = std::min(Last, int(uids_.size()));
    while (First <= Last && gone(First))
        ++First;
    while (Last >= First && gone(Last))
        --Last;
    if (First > Last)
        return 0;
    return imap_.ListSummaries(SequenceOf(First), SequenceOf(Last), [&](const TImapSummary& s) {
        const int n = NumberOf(s.MsgNum);
        // Not one of the messages numbered when INBOX was opened: left for the next listing.
        if (n == 0)
            return true;
        return Each(n, Take(n, s));
    });
}

std::uint64_t TImapInbox::UidOf(int Number)
{
    EnsureSelected();
    RequireNumber(Number);
    if (uids_[std::size_t(Number - 1)] == 0)
        Summary(Number);
    return uids_[std::size_t(Number - 1)];
}

const TMailMessage& TImapInbox::Read(int Number, const QString& Folder)
{
    const std::uint64_t uid = UidOf(Number);
    imap_.AttachFilePath = FilePrefix(Folder);
    imap_.RetrieveMessage(uid);
    return imap_.MailMessage();
}

void TImapInbox::Delete(int Number)
{
    const std::uint64_t uid = UidOf(Number);
    imap_.DeleteMessage(uid);
    deleted_.insert(std::lower_bound(deleted_.begin(), deleted_.end(), Number), Number);
}

void TAccountMailbox::Open(const TAccount& Account)
{
    TMailbox* const chosen = Account.Protocol == TProtocol::Imap ? static_cast<TMailbox*>(&imap_) : &pop3_;
    // A session of the other protocol is given up: only one account's session is open at a time.
    if (chosen != current_ && current_->IsOpen())
        current_->Drop();
    current_ = chosen;
    current_->Open(Account);
}
