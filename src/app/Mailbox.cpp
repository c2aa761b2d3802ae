// Mailbox: the POP3 implementation of an account's mailbox.
#include "app/Mailbox.h"

#include "app/NewMail.h"
#include "app/SessionSettings.h"

#include <QFile>

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
