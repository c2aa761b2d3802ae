// DialLine: the network line a check needs, over the dial-up component: is one up, bring one up,
// hang up the one the program brought up.
#pragma once
#include <QString>
#include <cstdint>
#include <functional>

class TDialUp;

class TDialLine {
public:
    enum class TResult {
        AlreadyUp,  // a connection was active: nothing dialed
        Dialed,     // the entry was dialed and connected
        DialFailed, // the dial-up component reported the failure (status texts through its events)
        NoEntry,    // no line up and no entry to dial
    };
    using TEach = std::function<void(uint32_t Handle, const QString& EntryName)>;

    explicit TDialLine(TDialUp& dialUp) : dialUp_(dialUp) {}

    // Lists the active connections, handing each to Each when given; true when there is one.
    bool ActiveConnections(const TEach& Each = {});
    // Makes sure a line is up: an active connection is enough, else Entry is dialed (an empty
    // Entry: none is defined).
    TResult BringUp(const QString& Entry);
    // Hangs up the connection the component's own dial opened.
    void HangUp();

private:
    TDialUp& dialUp_;
};
