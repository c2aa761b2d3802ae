// Mailbox: the POP3 and IMAP implementations of an account's mailbox.
#include "app/Mailbox.h"

#include "app/NewMail.h"
#include "app/SessionSettings.h"
#include "app/WireText.h"

#include <QFile>
#include <algorithm>
#include <climits>

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
    pop3_.AttachFilePath = std::string(QFile::encodeName(Folder.endsWith(QLatin1Char('/')) ? Folder : Folder + QLatin1Char('/')));
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
    imap_.Host = ToWire(Account.Host);
    imap_.Port = *port;
    imap_.UserID = ToWire(Account.UserID);
    imap_.Password = ToWire(Account.Password);
    imap_.Security = Account.Security;
    imap_.AuthMethod = Account.Auth;
    imap_.PasswordSource = PasswordSourceFor(Account);
    imap_.TrustedFingerprint = ToWire(Account.TrustedFingerprints);
    imap_.Connect();
    status_ = imap_.Status("INBOX");
}

bool TImapInbox::IsOpen() const { return imap_.Connected(); }

void TImapInbox::Close()
{
    if (imap_.Connected())
        imap_.Disconnect();
}

void TImapInbox::Drop()
{
    if (imap_.Connected())
        imap_.TSocketSession::Disconnect();
}

void TImapInbox::Cancel() { imap_.Cancel(); }

int TImapInbox::Count() const { return int(std::min<std::uint64_t>(status_.Unseen, INT_MAX)); }

std::vector<int> TImapInbox::NewMessages(TSeenMail&) { return {}; }

void TImapInbox::NotOffered()
{
    throw std::runtime_error("La liste, la lecture et la suppression des messages ne sont pas encore "
                             "disponibles pour un compte IMAP");
}

const TSummary& TImapInbox::Summary(int) { NotOffered(); }

int TImapInbox::List(int, int, const TEachSummary&) { NotOffered(); }

const TMailMessage& TImapInbox::Read(int, const QString&) { NotOffered(); }

void TImapInbox::Delete(int) { NotOffered(); }

void TAccountMailbox::Open(const TAccount& Account)
{
    TMailbox* const chosen = Account.Protocol == TProtocol::Imap ? static_cast<TMailbox*>(&imap_) : &pop3_;
    // A session of the other protocol is given up: only one account's session is open at a time.
    if (chosen != current_ && current_->IsOpen())
        current_->Drop();
    current_ = chosen;
    current_->Open(Account);
}
