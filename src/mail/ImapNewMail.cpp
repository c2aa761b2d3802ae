// ImapNewMail: new messages of an IMAP mailbox from STATUS, and the check's alert line.
#include "mail/ImapNewMail.h"

#include <algorithm>

std::uint64_t ImapNewCount(const TImapMark& Last, const TImapStatus& Now)
{
    if (!Last.Known())
        return Now.Unseen;
    std::uint64_t Arrived = 0;
    if (Now.UidValidity == Last.UidValidity)
        Arrived = Now.UidNext > Last.UidNext ? Now.UidNext - Last.UidNext : 0;
    else
        Arrived = Now.Messages > Last.Messages ? Now.Messages - Last.Messages : 0;
    // UIDs of messages that came and went meanwhile were counted too.
    return std::min({Arrived, Now.Unseen, Now.Messages});
}

QString ImapResultLine(const QString& Name, std::uint64_t Unseen, std::uint64_t Fresh, bool SayWhenEmpty)
{
    // Joined piece by piece: a "%1" in an account name is text.
    if (Unseen == 0)
        return SayWhenEmpty ? QStringLiteral("Vous n'avez aucun message non lu sur ") + Name : QString();
    QString Line = QStringLiteral("Vous avez ") + QString::number(Unseen)
                   + (Unseen == 1 ? QStringLiteral(" message non lu sur ") : QStringLiteral(" messages non lus sur ")) + Name;
    if (Fresh > 0)
        Line += Fresh == 1 ? QStringLiteral(" (1 nouveau)") : QStringLiteral(" (%1 nouveaux)").arg(Fresh);
    return Line;
}
