// TWakeWatcher: network changes (NetworkManager) and resume from suspend (logind) on the system bus.
#include "platform/WakeWatcher.h"

TWakeWatcher::TWakeWatcher(QObject* Owner) : TWakeWatcher(QDBusConnection::systemBus(), Owner) {}

TWakeWatcher::TWakeWatcher(const QDBusConnection& Bus, QObject* Owner) : QObject(Owner), FBus(Bus)
{
    Subscribe();
}

void TWakeWatcher::Subscribe()
{
    if (!FBus.isConnected())
        return;
    // Only the services' own names may send these (the bus checks who owns a name).
    const bool Network = FBus.connect("org.freedesktop.NetworkManager", "/org/freedesktop/NetworkManager",
                                      "org.freedesktop.NetworkManager", "StateChanged", this,
                                      SLOT(NetworkStateChanged(uint)));
    const bool Sleep = FBus.connect("org.freedesktop.login1", "/org/freedesktop/login1",
                                    "org.freedesktop.login1.Manager", "PrepareForSleep", this,
                                    SLOT(PrepareForSleep(bool)));
    FListening = Network && Sleep;
}

void TWakeWatcher::NetworkStateChanged(uint State)
{
    if (OnNetworkChanged)
        OnNetworkChanged(State);
}

void TWakeWatcher::PrepareForSleep(bool Sleeping)
{
    if (!Sleeping && OnResumed)
        OnResumed();
}

// The meta-object code is built into this object, not with the library's others: the check from
// the command line links this class, and must not pull in the windows (and the desktop libraries)
// with them.
std::unique_ptr<TWakeEvents> NewWakeWatcher()
{
    return std::make_unique<TWakeWatcher>();
}

#include "moc_WakeWatcher.cpp"
