// ImapNewMail: which messages of an IMAP mailbox are new since the last look at it, from what
// STATUS reports (UIDVALIDITY, UIDNEXT), and the check's alert line for an IMAP account.
#pragma once

#include "mail/KTimap.h"

#include <QString>
#include <cstdint>

// What the last check of a mailbox saw: enough to tell new messages at the next one.
struct TImapMark {
    std::uint64_t UidValidity = 0;   // 0: never checked
    std::uint64_t UidNext = 0;
    std::uint64_t Messages = 0;

    bool Known() const { return UidValidity != 0; }
    static TImapMark From(const TImapStatus& Status) { return {Status.UidValidity, Status.UidNext, Status.Messages}; }
};

// How many of the unread messages Now reports arrived after Last: messages get rising UIDs, so
// the new ones are those at or above the UIDNEXT seen last time (counted among the unread, as
// mail read elsewhere meanwhile is not news). The first check finds every unread message new.
// A changed UIDVALIDITY means the server renumbered the mailbox: UIDs cannot be compared, so the
// growth of the message count is taken instead of announcing every message again.
std::uint64_t ImapNewCount(const TImapMark& Last, const TImapStatus& Now);

// "Vous avez 3 messages non lus sur imap.example.com (1 nouveau)"; "Vous n'avez aucun message
// non lu sur …" when there are none (SayWhenEmpty; else empty).
QString ImapResultLine(const QString& Name, std::uint64_t Unseen, std::uint64_t Fresh, bool SayWhenEmpty);
