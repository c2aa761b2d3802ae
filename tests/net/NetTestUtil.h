// Helpers shared by the session layer tests: event pumping, status recording, a test session.
#pragma once

#include "net/SockSession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

namespace nettest {

// Processes events until Done() holds; false when the limit passed first (a hang guard, not a
// measurement).
inline bool PumpUntil(const std::function<bool()>& Done, int LimitMs = 20000)
{
    QElapsedTimer Clock;
    Clock.start();
    while (!Done()) {
        if (Clock.elapsed() > LimitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// Runs Action from the event loop once the current blocking call is waiting.
inline void Later(int Ms, std::function<void()> Action)
{
    QTimer::singleShot(Ms, std::move(Action));
}

// A session that exposes the protected parts the tests need and counts Abort calls.
class TTestSession : public TSocketSession {
public:
    using TSocketSession::CancelHook;
    using TSocketSession::ReceiveBuffer;
    using TSocketSession::TimerFired;
    int Aborts = 0;
    void Abort() override { ++Aborts; }
};

// Records every status and marks the events in the same list, so orders can be compared.
struct TLog {
    std::vector<std::string> Lines;
    void Attach(TSocketSession& S)
    {
        S.OnStatus = [this](QObject*, const std::string& Text) { Lines.push_back(Text); };
        S.OnConnect = [this](QObject*) { Lines.push_back("<OnConnect>"); };
        S.OnHostResolved = [this](QObject*) { Lines.push_back("<OnHostResolved>"); };
        S.OnConnectionFailed = [this](QObject*) { Lines.push_back("<OnConnectionFailed>"); };
        S.OnDisconnect = [this](QObject*) { Lines.push_back("<OnDisconnect>"); };
    }
    bool Has(const std::string& Line) const
    {
        for (const std::string& L : Lines)
            if (L == Line)
                return true;
        return false;
    }
    int Count(const std::string& Line) const
    {
        int N = 0;
        for (const std::string& L : Lines)
            N += L == Line ? 1 : 0;
        return N;
    }
};

// Connects Session to the server's address.
template <typename Server>
void ConnectTo(TSocketSession& Session, Server& S)
{
    Session.Host = S.host();
    Session.Port = S.port();
    Session.Connect();
}

// The message of the exception thrown by Action, with a tag for its class; "" when none.
inline std::string Raised(const std::function<void()>& Action)
{
    try {
        Action();
    } catch (const EAbortError& E) {
        return std::string("EAbortError: ") + E.what();
    } catch (const ESockError& E) {
        return std::string("ESockError: ") + E.what();
    } catch (const std::exception& E) {
        return std::string("Exception: ") + E.what();
    }
    return {};
}

} // namespace nettest
