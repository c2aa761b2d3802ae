// NetworkManager on a private system bus inside a network namespace, for integration tests.
#pragma once
#include <QDBusConnection>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <memory>

#include "TestDirs.h"

namespace testsupport {

// A named network namespace ("ip netns"), deleted with the object.
class Netns {
public:
    Netns();
    ~Netns();
    Netns(const Netns&) = delete;
    Netns& operator=(const Netns&) = delete;

    // False when the kernel refuses to create network namespaces (then why() says so).
    static bool supported(QString* why = nullptr);

    bool create(QString* error);
    void remove();
    const QString& name() const { return name_; }
    // Runs a command inside the namespace; false (with its output in error) when it fails.
    bool run(const QStringList& command, QString* error = nullptr);

private:
    QString name_;
    bool created_ = false;
};

// Moves the calling thread into a network namespace until destruction.
class EnterNetns {
public:
    explicit EnterNetns(const QString& name);
    ~EnterNetns();
    bool ok() const { return ok_; }

private:
    int home_ = -1;
    bool ok_ = false;
};

class NmFixture {
public:
    enum class Status { Running, NoNamespaces, Failed };
    using Settings = QMap<QString, QVariantMap>;

    NmFixture();
    ~NmFixture();
    NmFixture(const NmFixture&) = delete;
    NmFixture& operator=(const NmFixture&) = delete;

    // Starts dbus-daemon and NetworkManager and waits until NetworkManager has started up.
    Status start();
    void stop();
    // Ends NetworkManager only, leaving the bus: the service is then unreachable.
    void stopNetworkManager();
    // Processes events until done() holds or NetworkManager has had ample time (a cap, not a
    // measured time); returns done().
    static bool waitUntil(const std::function<bool()>& done, int capMs = 20000);
    // Why start() did not give Running, with the end of NetworkManager's log.
    QString message() const { return message_; }

    QDBusConnection bus() const;        // the test's connection to the private system bus
    QString busAddress() const { return busAddress_; }
    Netns& netns() { return netns_; }
    QString profileFolder() const;      // where NetworkManager keeps the profiles (keyfiles)
    QString log() const;                // NetworkManager's output so far
    qint64 networkManagerPid() const { return nm_.processId(); }
    qint64 busPid() const { return bus_.processId(); }

    // Adds a profile through NetworkManager's settings interface; returns its object path, or an
    // empty text (error set) when NetworkManager refuses it.
    QString addProfile(const Settings& settings, QString* error = nullptr);

    // Profiles that activate without hardware in the namespace, and some that cannot.
    static Settings bridgeProfile(const QString& name, const QString& interfaceName);
    static Settings tunProfile(const QString& name, const QString& interfaceName);
    static Settings gsmProfile(const QString& name, const QString& user, const QString& password);
    static Settings pppoeProfile(const QString& name, const QString& user, const QString& password);
    // A tun profile whose IP configuration fails after the activation was accepted.
    static Settings failingTunProfile(const QString& name, const QString& interfaceName);

private:
    bool startBus();
    bool startNetworkManager();
    bool waitUntilReady();

    TempFolder dir_;
    Netns netns_;
    QProcess bus_;
    QProcess nm_;
    QString busAddress_;
    QString busName_;
    QString message_;
};

} // namespace testsupport
