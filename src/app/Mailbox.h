// Mailbox: what the program asks of an account's mailbox, whatever protocol the server speaks,
// its POP3 implementation over the POP3 component, its IMAP one over the IMAP component, and the
// mailbox that takes each account's protocol.
#pragma once
#include "app/Account.h"
#include "mail/KTimap.h"
#include "mail/KTpop3.h"

#include <QString>
#include <functional>
#include <string>
#include <vector>

class TAccountTokens;
class TSeenMail;

class TMailbox {
public:
    using TEachSummary = std::function<bool(int Number, const TSummary& Summary)>;
    virtual ~TMailbox() = default;

    // Signs in to the account's server. Raises ECertificateError, EAuthError or another
    // std::exception naming the failure.
    virtual void Open(const TAccount& Account) = 0;
    virtual bool IsOpen() const = 0;
    // Ends the session politely (the server carries deletions out and releases the mailbox).
    virtual void Close() = 0;
    // Gives the connection up without a word (after a cancel or a failure half way).
    virtual void Drop() = 0;
    // Ends the operation under way at once (from an event handler during a wait).
    virtual void Cancel() = 0;

    // Messages waiting, as counted at sign-in (IMAP: the unread ones until Browse).
    virtual int Count() const = 0;
    // Makes the mailbox ready for listing, reading and deleting; returns how many messages it
    // holds, which Count says from then on. Messages keep their numbers until the next sign-in.
    virtual int Browse() = 0;
    // The message numbers that are new since the account's last check, by the server's ids when it
    // has them, else by the count.
    virtual std::vector<int> NewMessages(TSeenMail& Seen) = 0;
    // The summary of one message (header and size).
    virtual const TSummary& Summary(int Number) = 0;
    // Summaries of messages First..Last handed to Each, which returns false to stop; returns how
    // many were handed over.
    virtual int List(int First, int Last, const TEachSummary& Each) = 0;
    // Fetches a message; its files go to Folder.
    virtual const TMailMessage& Read(int Number, const QString& Folder) = 0;
    virtual void Delete(int Number) = 0;
};

class TPop3Mailbox : public TMailbox {
public:
    explicit TPop3Mailbox(TKTPOP3& Pop3) : pop3_(Pop3) {}
    // The access tokens of accounts that sign in through the browser (null: none).
    TAccountTokens* Tokens = nullptr;

    void Open(const TAccount& Account) override;
    bool IsOpen() const override;
    void Close() override;
    void Drop() override;
    void Cancel() override;
    int Count() const override;
    // The mailbox is open from the sign-in on: nothing more to do.
    int Browse() override { return Count(); }
    std::vector<int> NewMessages(TSeenMail& Seen) override;
    const TSummary& Summary(int Number) override;
    int List(int First, int Last, const TEachSummary& Each) override;
    const TMailMessage& Read(int Number, const QString& Folder) override;
    void Delete(int Number) override;

private:
    TKTPOP3& pop3_;
};

// The INBOX of an IMAP account. At sign-in it is read with STATUS only (a check opens no
// mailbox): Count is the number of unread messages. Browse (or the first listing, reading or
// deletion) opens INBOX with SELECT: Count is then every message it held, numbered 1..Count in
// the server's order, and each number keeps its message (by UID) until the next sign-in, a
// deletion included. Other folders are not read.
class TImapInbox : public TMailbox {
public:
    explicit TImapInbox(TKTIMAP& Imap) : imap_(Imap) {}
    // The access tokens of accounts that sign in through the browser (null: none).
    TAccountTokens* Tokens = nullptr;

    void Open(const TAccount& Account) override;
    bool IsOpen() const override;
    void Close() override;
    void Drop() override;
    void Cancel() override;
    int Count() const override;
    int Browse() override;
    // Nothing by number: what is new in an IMAP mailbox follows from its status (ImapNewCount).
    std::vector<int> NewMessages(TSeenMail& Seen) override;
    const TSummary& Summary(int Number) override;
    int List(int First, int Last, const TEachSummary& Each) override;
    // Marks the message \Seen once it was read whole.
    const TMailMessage& Read(int Number, const QString& Folder) override;
    // Marks the message \Deleted and expunges it at once.
    void Delete(int Number) override;

    // What STATUS INBOX said at the last sign-in.
    const TImapStatus& Status() const { return status_; }

private:
    void Forget();
    void EnsureSelected();
    // The message's number now on the server (its sequence number), and back.
    std::uint64_t SequenceOf(int Number) const;
    int NumberOf(std::uint64_t Sequence) const;
    // Takes a summary fetched from the server: its UID is remembered under its number.
    const TSummary& Take(int Number, const TImapSummary& Fetched);
    // The UID of a message still on the server; raises for a number out of range or deleted.
    std::uint64_t UidOf(int Number);
    void RequireNumber(int Number) const;

    TKTIMAP& imap_;
    TImapStatus status_;
    bool selected_ = false;
    std::vector<std::uint64_t> uids_; // by number - 1; 0 while not known
    std::vector<int> deleted_;        // numbers deleted in this session, in increasing order
    TSummary summary_;
};

// The mailbox of each account's protocol: Open chooses it, everything else goes to the one chosen
// last, so one check run goes through POP3 and IMAP accounts alike.
class TAccountMailbox : public TMailbox {
public:
    TAccountMailbox(TPop3Mailbox& Pop3, TImapInbox& Imap) : pop3_(Pop3), imap_(Imap) {}

    void Open(const TAccount& Account) override;
    bool IsOpen() const override { return current_->IsOpen(); }
    void Close() override { current_->Close(); }
    void Drop() override { current_->Drop(); }
    void Cancel() override { current_->Cancel(); }
    int Count() const override { return current_->Count(); }
    int Browse() override { return current_->Browse(); }
    std::vector<int> NewMessages(TSeenMail& Seen) override { return current_->NewMessages(Seen); }
    const TSummary& Summary(int Number) override { return current_->Summary(Number); }
    int List(int First, int Last, const TEachSummary& Each) override { return current_->List(First, Last, Each); }
    const TMailMessage& Read(int Number, const QString& Folder) override { return current_->Read(Number, Folder); }
    void Delete(int Number) override { current_->Delete(Number); }

    // The IMAP inbox when the last account opened is an IMAP one; null otherwise.
    TImapInbox* Imap() { return current_ == &imap_ ? &imap_ : nullptr; }

private:
    TPop3Mailbox& pop3_;
    TImapInbox& imap_;
    TMailbox* current_ = &pop3_;
};
