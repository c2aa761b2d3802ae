// Mailbox: what the program asks of an account's mailbox, whatever protocol the server speaks,
// and its POP3 implementation over the POP3 component.
#pragma once
#include "app/Account.h"
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

    // Messages waiting, as counted at sign-in.
    virtual int Count() const = 0;
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
    std::vector<int> NewMessages(TSeenMail& Seen) override;
    const TSummary& Summary(int Number) override;
    int List(int First, int Last, const TEachSummary& Each) override;
    const TMailMessage& Read(int Number, const QString& Folder) override;
    void Delete(int Number) override;

private:
    TKTPOP3& pop3_;
};
