// TImapIdle: keeps one IMAP connection of an account in IDLE on its INBOX and reports new mail
// the moment the server announces it; reconnects with back-off when the connection is lost.
#pragma once

#include "mail/KTimap.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Delay before reconnection attempt Attempt (0 = the first after a loss): 1 s doubling up to
// 5 min, spread by ±20 % with Random01 (in [0, 1)) so that many accounts do not retry together.
int ImapBackoffMs(int Attempt, double Random01);

// One account's push connection. Session() is configured by the owner (host, port, security,
// credentials, limits) before Start. Everything runs on the event loop: between events nothing
// waits and nothing polls. The supervisor never holds more than one connection: a new attempt
// always drops the previous one first.
//
// The owner tells it of a network change (NetworkChanged) and of a resume from suspend (Resumed),
// whatever the source of those events; after either, the connection is made anew at once (a link
// that changed under a TCP connection usually leaves it dead without a word).
class TImapIdle : public QObject {
    Q_OBJECT
public:
    explicit TImapIdle(QObject* Owner = nullptr);
    ~TImapIdle() override;

    TKTIMAP* Session() const { return FSession; }
    std::string Mailbox = "INBOX";
    // IDLE is ended and started again this often; servers drop an IDLE after 30 minutes.
    int RenewMs = 28 * 60 * 1000;

    // ---- Events (fired only when assigned) ----
    // New messages (UID at or above the UIDNEXT known before), with their summaries.
    std::function<void(const std::vector<TImapSummary>& Messages)> OnNewMail;
    // The connection failed or was lost; another attempt follows after DelayMs.
    std::function<void(const std::string& Error, int DelayMs)> OnError;
    // The server does not offer IDLE: the supervisor stopped, the account is to be polled.
    TNotifyEvent OnUnsupported;
    // The server refused the sign-in or its certificate failed the checks: when assigned, the
    // supervisor stops instead of trying again (another try would only be refused again until
    // the user changes something); otherwise it goes the way of OnError.
    std::function<void(const std::string& Error)> OnRefused;
    // The connection is in IDLE (after each connection and each renewal).
    TNotifyEvent OnIdle;

    // Connects at once and keeps the connection until Stop.
    void Start();
    // Logs out (briefly) and stops every retry.
    void Stop();
    void NetworkChanged();
    void Resumed();

    bool Running() const { return FRunning; }
    bool Idling() const { return FSession->Idling(); }
    // Connections made since Start (each successful sign-in counts).
    int Connections() const { return FConnections; }
    // UIDNEXT as last known (0 before the first connection).
    std::uint64_t UidNext() const { return FUidNext; }

private:
    void Attempt();
    void Activity();
    void Renew();
    // Back into IDLE, with the renewal timer started again.
    void IdleAgain();
    void Lost(const std::string& Error);
    void Reconnect(int DelayMs);
    // Fetches the summaries of the messages at or above FUidNext and announces them.
    void FetchNew();
    // Runs Work unless another step runs; a failure becomes Lost.
    template <typename F>
    void Step(F Work);

    TKTIMAP* FSession;
    QTimer FRetry;
    QTimer FRenew;
    bool FRunning = false;
    bool FWorking = false;
    bool FExistsSeen = false;
    int FAttempt = 0;
    int FConnections = 0;
    std::uint64_t FUidNext = 0;
    std::uint64_t FUidValidity = 0;
};
