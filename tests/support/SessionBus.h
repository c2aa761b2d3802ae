// SessionBus: a private D-Bus session bus for one test, with a recording fake of the desktop's
// notification service and a real secret store (gnome-keyring-daemon) when asked for.
#pragma once
#include "TestDirs.h"

#include <QDBusConnection>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QVariantMap>
#include <memory>

namespace testsupport {

class SessionBus {
public:
    // Starts dbus-daemon; throws std::runtime_error when it does not come up.
    SessionBus();
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    QString address() const { return address_; }
    // A new connection to the bus, under its own name.
    QDBusConnection connect(const QString& name) const;
    // Makes this bus the process's session bus for libraries that read the environment.
    void becomeSessionBus() const;

    // Starts gnome-keyring-daemon on the bus with its secrets component, its keyrings in a
    // private folder, the login keyring created and unlocked; returns false when it does not
    // appear on the bus.
    bool startKeyring();

private:
    TempFolder dir_;
    QProcess daemon_;
    QProcess keyring_;
    QString address_;
    QStringList names_;
};

// The notification service, as a fake that records what it is asked to show.
class FakeNotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown {
        QString appName, icon, summary, body;
        QStringList actions;
        uint id;
    };
    // Registers on the bus as org.freedesktop.Notifications.
    explicit FakeNotificationService(const QDBusConnection& bus);
    ~FakeNotificationService() override;

    std::vector<Shown> shown;
    // Sends the signal of a click on notification id.
    void click(uint id);

public slots:
    uint Notify(const QString& app_name, uint replaces_id, const QString& app_icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int expire_timeout);
    QStringList GetCapabilities();
    void CloseNotification(uint id);

private:
    QDBusConnection bus_;
    uint next_ = 1;
};

// Runs the event loop until done() is true or the time is out; returns done().
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10000);

} // namespace testsupport
