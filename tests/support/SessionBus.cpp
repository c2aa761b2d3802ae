// SessionBus: a private D-Bus session bus for one test, with a recording fake of the desktop's
// notification service and a real secret store (gnome-keyring-daemon) when asked for.
#include "SessionBus.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QThread>
#include <stdexcept>

namespace testsupport {

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

SessionBus::SessionBus()
{
    // A bus that starts no service by itself: what runs on it is what the test starts.
    writeFileBytes(dir_.file(QStringLiteral("bus.conf")),
                   "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                   " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                   "<busconfig>\n  <type>session</type>\n  <listen>unix:path="
                       + dir_.file(QStringLiteral("bus")).toStdString()
                       + "</listen>\n"
                         "  <policy context=\"default\">\n"
                         "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                         "    <allow eavesdrop=\"true\"/>\n"
                         "    <allow own=\"*\"/>\n"
                         "  </policy>\n</busconfig>\n");
    daemon_.setProgram(QStringLiteral("dbus-daemon"));
    daemon_.setArguments({QStringLiteral("--config-file=") + dir_.file(QStringLiteral("bus.conf")),
                          QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    daemon_.start();
    if (!daemon_.waitForStarted(5000) || !daemon_.waitForReadyRead(5000))
        throw std::runtime_error("dbus-daemon did not start");
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    if (address_.isEmpty())
        throw std::runtime_error("dbus-daemon gave no address");
}

SessionBus::~SessionBus()
{
    for (const QString& name : names_)
        QDBusConnection::disconnectFromBus(name);
    for (QProcess* p : {&keyring_, &daemon_}) {
        if (p->state() != QProcess::NotRunning) {
            p->terminate();
            if (!p->waitForFinished(3000)) {
                p->kill();
                p->waitForFinished(3000);
            }
        }
    }
}

QDBusConnection SessionBus::connect(const QString& name) const
{
    const_cast<SessionBus*>(this)->names_ << name;
    return QDBusConnection::connectToBus(address_, name);
}

void SessionBus::becomeSessionBus() const
{
    qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
}

bool SessionBus::startKeyring()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
    env.insert(QStringLiteral("HOME"), dir_.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir_.file(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.path());
    keyring_.setProcessEnvironment(env);
    keyring_.setProgram(QStringLiteral("gnome-keyring-daemon"));
    keyring_.setArguments({QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                           QStringLiteral("--components=secrets"),
                           QStringLiteral("--control-directory=") + dir_.file(QStringLiteral("keyring"))});
    keyring_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    keyring_.start();
    if (!keyring_.waitForStarted(5000))
        return false;
    // The password of the login keyring it creates, on its standard input.
    keyring_.write("test-keyring-password");
    keyring_.closeWriteChannel();
    QDBusConnection bus = connect(QStringLiteral("keyring-watch"));
    return waitUntil([&] {
        return bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")).value();
    }, 10000);
}

FakeNotificationService::FakeNotificationService(const QDBusConnection& bus) : bus_(bus)
{
    bus_.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this, QDBusConnection::ExportAllSlots);
    if (!bus_.registerService(QStringLiteral("org.freedesktop.Notifications")))
        throw std::runtime_error("cannot register the notification service");
}

FakeNotificationService::~FakeNotificationService()
{
    bus_.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    bus_.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
}

uint FakeNotificationService::Notify(const QString& app_name, uint, const QString& app_icon, const QString& summary,
                                     const QString& body, const QStringList& actions, const QVariantMap&, int)
{
    shown.push_back({app_name, app_icon, summary, body, actions, next_});
    return next_++;
}

QStringList FakeNotificationService::GetCapabilities()
{
    return {QStringLiteral("body"), QStringLiteral("actions"), QStringLiteral("body-markup")};
}

void FakeNotificationService::CloseNotification(uint) {}

void FakeNotificationService::click(uint id)
{
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                     QStringLiteral("org.freedesktop.Notifications"),
                                                     QStringLiteral("ActionInvoked"));
    signal << id << QStringLiteral("default");
    bus_.send(signal);
    QDBusMessage closed = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                     QStringLiteral("org.freedesktop.Notifications"),
                                                     QStringLiteral("NotificationClosed"));
    closed << id << uint(2);
    bus_.send(closed);
}

} // namespace testsupport
