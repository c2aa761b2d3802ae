// TWakeWatcher: tells when the network changed (NetworkManager's state) or the machine woke from
// suspend (logind), the moments a long-lived connection is likely to have died unnoticed.
#pragma once

#include "platform/WakeEvents.h"

#include <QDBusConnection>
#include <QObject>

// Listens on the system bus (or the bus given) for NetworkManager's StateChanged and logind's
// PrepareForSleep(false). The push connections of IMAP accounts restart on either. Without a bus, or without those
// services, nothing ever fires and nothing fails.
class TWakeWatcher : public QObject, public TWakeEvents {
    Q_OBJECT
public:
    explicit TWakeWatcher(QObject* Owner = nullptr);
    TWakeWatcher(const QDBusConnection& Bus, QObject* Owner);

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
