// TImapIdle: one IMAP connection per account in IDLE on INBOX, with reconnection and back-off.
#include "mail/ImapIdle.h"

#include "mail/MailErrors.h"
#include "net/TlsTransport.h"

#include <QMetaObject>
#include <QRandomGenerator>

#include <algorithm>
#include <exception>

int ImapBackoffMs(int Attempt, double Random01)
{
    constexpr int First = 1000;
    constexpr int Longest = 5 * 60 * 1000;
    const int Base = Attempt >= 9 ? Longest : std::min(Longest, First << std::max(Attempt, 0));
    const double Spread = 0.8 + 0.4 * std::clamp(Random01, 0.0, 1.0);
    return std::min(Longest, int(Base * Spread));
}

TImapIdle::TImapIdle(QObject* Owner) : QObject(Owner), FSession(new TKTIMAP(this))
{
    // A silent dead link must not hold an exchange for ever.
    FSession->TimeOut = 30000;
    FSession->OperationTimeOut = 30000;
    FRetry.setSingleShot(true);
    FRenew.setSingleShot(true);
    connect(&FRetry, &QTimer::timeout, this, [this] { Attempt(); });
    connect(&FRenew, &QTimer::timeout, this, [this] { Renew(); });
    FSession->OnIdleActivity = [this](QObject*) { Activity(); };
    FSession->OnExists = [this](std::uint64_t) { FExistsSeen = true; };
    // A connection the server closed while idling: found out from the event loop.
    FSession->TSocketSession::OnDisconnect = [this](QObject*) {
        QMetaObject::invokeMethod(this, [this] {
            if (FRunning && !FWorking && !FRetry.isActive() && !FSession->Connected())
                Lost("Connexion perdue");
        }, Qt::QueuedConnection);
    };
}

TImapIdle::~TImapIdle()
{
    FRunning = false;
    FSession->OnIdleActivity = nullptr;
    FSession->TSocketSession::OnDisconnect = nullptr;
}

void TImapIdle::Start()
{
    if (FRunning)
        return;
    FRunning = true;
    FAttempt = 0;
    FConnections = 0;
    Reconnect(0);
}

void TImapIdle::Stop()
{
    FRunning = false;
    FRetry.stop();
    FRenew.stop();
    if (FWorking) {
        FSession->Cancel();
        return;
    }
    if (FSession->Connected()) {
        try {
            FSession->Disconnect();
        } catch (...) {
            // Stopping: a server that does not answer LOGOUT is left behind.
        }
    }
}

void TImapIdle::NetworkChanged()
{
    if (!FRunning)
        return;
    FAttempt = 0;
    if (FWorking) {
        FSession->Cancel();  // the running step fails and schedules the next attempt
        return;
    }
    FRenew.stop();
    FSession->Abort();
    Reconnect(0);
}

void TImapIdle::Resumed()
{
    NetworkChanged();
}

void TImapIdle::Reconnect(int DelayMs)
{
    FRetry.start(std::max(DelayMs, 0));
}

template <typename F>
void TImapIdle::Step(F Work)
{
    if (!FRunning || FWorking)
        return;
    FWorking = true;
    std::string Error;
    bool Refused = false;
    try {
        Work();
    } catch (const EAuthError& E) {
        Error = E.what();
        Refused = true;
    } catch (const ECertificateError& E) {
        Error = E.what();
        Refused = true;
    } catch (const std::exception& E) {
        Error = E.what();
        if (Error.empty())
            Error = "Erreur inconnue";
    }
    FWorking = false;
    if (!FRunning) {
        if (FSession->Connected())
            FSession->Abort();  // stopped meanwhile
    } else if (Refused && OnRefused) {
        FRunning = false;
        FRetry.stop();
        FRenew.stop();
        FSession->Abort();
        OnRefused(Error.empty() ? std::string("Connexion refusée") : Error);
    } else if (!Error.empty()) {
        Lost(Error);
    } else if (FSession->Idling() && (!FSession->Connected() || !FSession->Buffered().empty())) {
        // What came with the server's last answer, or the end of the connection, arrived while
        // the step ran: no later event will tell of it.
        QMetaObject::invokeMethod(this, [this] { Activity(); }, Qt::QueuedConnection);
    }
}

void TImapIdle::Attempt()
{
    Step([this] {
        FRenew.stop();
        if (FSession->Connected())
            FSession->Abort();
        FSession->Connect();
        ++FConnections;
        const TImapMailbox Box = FSession->Select(Mailbox, true);
        if (!FSession->Capabilities().Has("IDLE")) {
            FRunning = false;
            FSession->Disconnect();
            if (OnUnsupported)
                OnUnsupported(this);
            return;
        }
        FAttempt = 0;
        // Mail that came while there was no connection is news as well; a renumbered mailbox
        // is taken as it is.
        if (FUidValidity == Box.UidValidity && FUidNext != 0 && Box.UidNext > FUidNext) {
            FetchNew();
        } else {
            FUidValidity = Box.UidValidity;
            FUidNext = Box.UidNext;
        }
        FExistsSeen = false;
        IdleAgain();
    });
}

void TImapIdle::IdleAgain()
{
    FSession->StartIdle();
    FRenew.start(RenewMs);
    // Mail announced before the server took IDLE, or while the last fetch ran, is fetched now.
    if (FExistsSeen)
        QMetaObject::invokeMethod(this, [this] { Activity(); }, Qt::QueuedConnection);
    if (OnIdle)
        OnIdle(this);
}

void TImapIdle::Activity()
{
    Step([this] {
        if (FSession->Idling())
            FSession->PollIdle();
        if (!FExistsSeen)
            return;
        FExistsSeen = false;
        FSession->StopIdle();
        FetchNew();
        IdleAgain();
    });
}

void TImapIdle::Renew()
{
    if (FWorking) {
        FRenew.start(1000);
        return;
    }
    Step([this] {
        FSession->StopIdle();
        // EXISTS that came with the end of IDLE.
        if (FExistsSeen) {
            FExistsSeen = false;
            FetchNew();
        }
        IdleAgain();
    });
}

void TImapIdle::FetchNew()
{
    std::vector<TImapSummary> Fresh;
    const std::uint64_t From = std::max<std::uint64_t>(FUidNext, 1);
    // "n:*" also gives the last message when it is below n: only UIDs from n on are new.
    FSession->FetchSummaries(std::to_string(From) + ":*", [&](const TImapSummary& S) {
        if (S.Uid >= From)
            Fresh.push_back(S);
        return true;
    });
    for (const TImapSummary& S : Fresh)
        FUidNext = std::max(FUidNext, S.Uid + 1);
    FUidNext = std::max(FUidNext, FSession->Selected().UidNext);
    // A failure of the owner's handler goes the way of any failure of the step.
    if (!Fresh.empty() && OnNewMail)
        OnNewMail(Fresh);
}

void TImapIdle::Lost(const std::string& Error)
{
    FRenew.stop();
    FSession->Abort();
    if (!FRunning)
        return;
    const int Delay = ImapBackoffMs(FAttempt++, QRandomGenerator::global()->generateDouble());
    Reconnect(Delay);
    if (OnError)
        OnError(Error, Delay);
}
