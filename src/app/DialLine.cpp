// DialLine: the network line a check needs, over the dial-up component: is one up, bring one up,
// hang up the one the program brought up.
#include "app/DialLine.h"

#include "app/Finally.h"
#include "dialup/DialUp.h"

bool TDialLine::ActiveConnections(const TEach& Each)
{
    // The component reports connections through its event: the handler is this call's own, so
    // one enumeration can ask the user about each connection and another only count them.
    bool any = false;
    TOnActiveConn previous = std::move(dialUp_.OnActiveConnection);
    dialUp_.OnActiveConnection = [&](QObject*, uint32_t handle, const TRasConnStatus&, const QString&,
                                     const QString& entry, const QString&, const QString&) {
        any = true;
        if (Each)
            Each(handle, entry);
    };
    const Finally restore([&] { dialUp_.OnActiveConnection = std::move(previous); });
    dialUp_.GetConnections();
    return any;
}

TDialLine::TResult TDialLine::BringUp(const QString& Entry)
{
    if (ActiveConnections())
        return TResult::AlreadyUp;
    if (Entry.isEmpty())
        return TResult::NoEntry;
    dialUp_.Entry = Entry;
    return dialUp_.Dial() == 0 ? TResult::Dialed : TResult::DialFailed;
}

void TDialLine::HangUp()
{
    dialUp_.HangUp();
}
