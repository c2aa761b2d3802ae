// TWakeEvents: the moments a long-lived connection is likely to have died unnoticed (the network
// changed, the machine woke from suspend), as handlers that whoever keeps connections open assigns.
#pragma once

#include <functional>
#include <memory>

class TWakeEvents {
public:
    virtual ~TWakeEvents() = default;
    // NetworkManager's new state (its own numbering: 70 = connected to the internet).
    std::function<void(unsigned State)> OnNetworkChanged;
    // The machine has just woken up.
    std::function<void()> OnResumed;
};

// The watcher on the system bus (TWakeWatcher). Only the programs and modules that hold this
// function link the desktop bus library.
std::unique_ptr<TWakeEvents> NewWakeWatcher();
