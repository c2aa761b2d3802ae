// TWakeWatcher: tells when the network changed (NetworkManager's state) or the machine woke from
// suspend (logind), the moments a long-lived connection is likely to have died unnoticed.
#pragma once

#include <QDBusConnection>
#include <QObject>

#include <functional>

// Listens on the system bus (or the bus given) for NetworkManager's StateChanged and logind's
// PrepareForSleep(false). The handlers are the seam: whoever keeps connections open assigns them
// (the push connections of IMAP accounts restart on either). Without a bus, or without those
// services, nothing ever fires and nothing fails.
class TWakeWatcher : public QObject {
    Q_OBJECT
public:
    explicit TWakeWatcher(QObject* Owner = nullptr);
    TWakeWatcher(const QDBusConnection& Bus, QObject* Owner);

    // NetworkManager's new state (its own numbering: 70 = connected to the internet).
    std::function<void(unsigned State)> OnNetworkChanged;
    // The machine has just woken up.
    std::function<void()> OnResumed;

    // True when the watcher is subscribed to the bus's signals.
    bool Listening() const { return FListening; }

private slots:
    void NetworkStateChanged(uint State);
    void PrepareForSleep(bool Sleeping);

private:
    void Subscribe();
    QDBusConnection FBus;
    bool FListening = false;
};
