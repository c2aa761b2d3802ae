// NewMail: which messages of a mailbox are new since the last check of the account, by the
// servers' unique ids (UIDL) or, for a server without them, by the message count.
#pragma once
#include "mail/ImapNewMail.h"

#include <QString>

class TSummary;
#include <cstdint>
#include <string>
#include <vector>

class TSeenMail {
public:
    // state: the file that keeps what the account's last check saw (created when first saved).
    explicit TSeenMail(QString stateFile);

    // The message numbers (from 1, ascending) that were not in the mailbox at the last check,
    // given the mailbox's ids by message number; the ids become what was seen. The first check
    // of an account finds every message new.
    std::vector<int> NewByIds(const std::vector<std::string>& ids);
    // The same for a server without ids: the messages beyond the count of the last check (the
    // newest are the last ones); the count becomes what was seen.
    std::vector<int> NewByCount(int count);

    // Writes what was seen (atomically, readable by the user only). Raises on failure.
    void Save() const;

    // Memory the remembered state takes, in bytes (for the cost benchmarks).
    size_t StateBytes() const;

    // The state file of a mailbox: one file per server and user under folder, whatever the port
    // and security used to reach it. A file an earlier version kept for formerPort is taken over.
    static QString StateFileFor(const QString& folder, const QString& host, const QString& user, int formerPort = 0);

private:
    void Load();
    QString file_;
    bool loaded_ = false;
    bool known_ = false;         // a check of the account was remembered
    int count_ = 0;              // messages at the last check
    // 64-bit fingerprints of the ids seen, sorted: 8 bytes a message however long its id.
    std::vector<uint64_t> seen_;
};

// The "(2 nouveaux)" added to a result line; empty for none.
QString NewMailSuffix(int fresh);
// "sender — subject" of a new message for the desktop, encoded words decoded.
QString NewestLine(const TSummary& summary);

// What the last check of an IMAP account's INBOX saw, kept in its own file per server and user
// (beside the POP3 state files, under another name).
QString ImapMarkFileFor(const QString& folder, const QString& host, const QString& user);
// The mark kept in file; an unknown mark (never checked) when there is none or it is not ours.
TImapMark ReadImapMark(const QString& file);
// Writes the mark (atomically, readable by the user only). Raises on failure.
void SaveImapMark(const QString& file, const TImapMark& mark);
