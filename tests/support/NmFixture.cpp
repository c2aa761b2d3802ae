// NetworkManager on a private system bus inside a network namespace, for integration tests.
#include "NmFixture.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>
#include <QUuid>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

namespace {

std::atomic<int> counter{0};

QString uniqueName(const char* prefix)
{
    return QStringLiteral("%1-%2-%3").arg(QLatin1String(prefix)).arg(::getpid()).arg(++counter);
}

bool writeText(const QString& path, const QString& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text.toUtf8()) >= 0;
}

QString tail(const QString& text, int lines)
{
    QStringList all = text.split(QLatin1Char('\n'));
    return all.mid(std::max<qsizetype>(0, all.size() - lines)).join(QLatin1Char('\n'));
}

} // namespace

// ---------------------------------------------------------------- Netns

Netns::Netns() : name_(uniqueName("brevicor-test")) {}

Netns::~Netns() { remove(); }

bool Netns::supported(QString* why)
{
    // Asked in a child so that this process keeps its namespace whatever the answer.
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(::unshare(CLONE_NEWNET) == 0 ? 0 : (errno & 0x7f));
    if (child < 0) {
        if (why)
            *why = QStringLiteral("fork failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    if (why)
        *why = QStringLiteral("the kernel refuses network namespaces (unshare(CLONE_NEWNET): %1)")
                   .arg(QString::fromLocal8Bit(std::strerror(WIFEXITED(status) ? WEXITSTATUS(status) : EPERM)));
    return false;
}

bool Netns::create(QString* error)
{
    QProcess ip;
    ip.setProcessChannelMode(QProcess::MergedChannels);
    ip.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("add"), name_});
    if (!ip.waitForFinished(10000) || ip.exitStatus() != QProcess::NormalExit || ip.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("ip netns add %1 failed: %2").arg(name_, QString::fromLocal8Bit(ip.readAll()));
        return false;
    }
    created_ = true;
    return true;
}

void Netns::remove()
{
    if (!created_)
        return;
    QProcess::execute(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("delete"), name_});
    created_ = false;
}

bool Netns::run(const QStringList& command, QString* error)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("ip"), QStringList{QStringLiteral("netns"), QStringLiteral("exec"), name_} + command);
    const bool ok = p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!ok && error)
        *error = command.join(QLatin1Char(' ')) + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAll());
    return ok;
}

// ---------------------------------------------------------------- EnterNetns

EnterNetns::EnterNetns(const QString& name)
{
    home_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const int target = ::open(("/run/netns/" + name.toStdString()).c_str(), O_RDONLY | O_CLOEXEC);
    ok_ = home_ >= 0 && target >= 0 && ::setns(target, CLONE_NEWNET) == 0;
    if (target >= 0)
        ::close(target);
}

EnterNetns::~EnterNetns()
{
    if (home_ >= 0) {
        if (ok_ && ::setns(home_, CLONE_NEWNET) != 0)
            ::abort();   // the rest of the test run would be in the wrong namespace
        ::close(home_);
    }
}

// ---------------------------------------------------------------- NmFixture

NmFixture::NmFixture() : busName_(uniqueName("brevicor-nm-bus"))
{
    qDBusRegisterMetaType<Settings>();
}

NmFixture::~NmFixture() { stop(); }

NmFixture::Status NmFixture::start()
{
    QString why;
    if (!Netns::supported(&why)) {
        message_ = QStringLiteral("NetworkManager tests skipped: ") + why;
        return Status::NoNamespaces;
    }
    if (!startBus() || !startNetworkManager() || !waitUntilReady()) {
        message_ += QStringLiteral("\n--- NetworkManager log ---\n") + tail(log(), 30);
        stop();
        return Status::Failed;
    }
    return Status::Running;
}

bool NmFixture::startBus()
{
    const QString socket = dir_.file(QStringLiteral("system_bus_socket"));
    // Everything allowed, replies included: without receive_sender="*" the daemon drops them.
    const QString config = QStringLiteral(
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig>\n"
        "  <type>system</type>\n"
        "  <listen>unix:path=%1</listen>\n"
        "  <auth>EXTERNAL</auth>\n"
        "  <policy context=\"default\">\n"
        "    <allow user=\"*\"/>\n"
        "    <allow own=\"*\"/>\n"
        "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
        "    <allow receive_sender=\"*\"/>\n"
        "    <allow eavesdrop=\"true\"/>\n"
        "  </policy>\n"
        "</busconfig>\n").arg(socket);
    const QString configPath = dir_.file(QStringLiteral("bus.conf"));
    if (!writeText(configPath, config)) {
        message_ = QStringLiteral("cannot write ") + configPath;
        return false;
    }
    bus_.setStandardErrorFile(dir_.file(QStringLiteral("bus.log")));
    bus_.start(QStringLiteral("dbus-daemon"),
               {QStringLiteral("--config-file=") + configPath, QStringLiteral("--nofork"),
                QStringLiteral("--print-address=1")});
    if (!bus_.waitForStarted(10000)) {
        message_ = QStringLiteral("cannot start dbus-daemon: ") + bus_.errorString();
        return false;
    }
    QByteArray line;
    const QDeadlineTimer deadline(10000);
    while (!line.contains('\n') && !deadline.hasExpired() && bus_.state() == QProcess::Running) {
        bus_.waitForReadyRead(100);
        line += bus_.readAllStandardOutput();
    }
    busAddress_ = QString::fromUtf8(line).trimmed();
    if (busAddress_.isEmpty()) {
        message_ = QStringLiteral("dbus-daemon gave no address");
        return false;
    }
    QDBusConnection c = QDBusConnection::connectToBus(busAddress_, busName_);
    if (!c.isConnected()) {
        message_ = QStringLiteral("cannot connect to the private bus: ") + c.lastError().message();
        return false;
    }
    return true;
}

bool NmFixture::startNetworkManager()
{
    QDir(dir_.path()).mkpath(QStringLiteral("profiles"));
    QDir(dir_.path()).mkpath(QStringLiteral("conf.d"));
    const QString config = QStringLiteral(
        "[main]\n"
        "plugins=keyfile\n"
        "dns=none\n"
        "rc-manager=unmanaged\n"
        "no-auto-default=*\n"
        "auth-polkit=false\n"
        "hostname-mode=none\n"
        "[keyfile]\n"
        "path=%1\n"
        "[connectivity]\n"
        "enabled=false\n"
        "[logging]\n"
        "level=INFO\n").arg(profileFolder());
    const QString configPath = dir_.file(QStringLiteral("NetworkManager.conf"));
    if (!writeText(configPath, config)) {
        message_ = QStringLiteral("cannot write ") + configPath;
        return false;
    }
    if (!netns_.create(&message_))
        return false;

    // Inside its own mount namespace: private run and state folders, and a read-only /sys,
    // which tells NetworkManager that no udev will announce the links it creates.
    const QString confDir = dir_.file(QStringLiteral("conf.d"));
    const QString script = QStringLiteral(
        "set -e\n"
        "mkdir -p /run/NetworkManager /var/lib/NetworkManager\n"
        "mount -t tmpfs -o mode=0755 tmpfs /run/NetworkManager\n"
        "mount -t tmpfs -o mode=0700 tmpfs /var/lib/NetworkManager\n"
        "mount -o remount,ro /sys\n"
        "exec NetworkManager --no-daemon --config='%1' --config-dir='%2' --system-config-dir='%2' "
        "--state-file=/var/lib/NetworkManager/NetworkManager.state\n").arg(configPath, confDir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), busAddress_);
    nm_.setProcessEnvironment(env);
    nm_.setProcessChannelMode(QProcess::MergedChannels);
    nm_.setStandardOutputFile(dir_.file(QStringLiteral("nm.log")));
    nm_.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("exec"), netns_.name(),
                                     QStringLiteral("unshare"), QStringLiteral("--mount"),
                                     QStringLiteral("--propagation"), QStringLiteral("private"),
                                     QStringLiteral("sh"), QStringLiteral("-c"), script});
    if (!nm_.waitForStarted(10000)) {
        message_ = QStringLiteral("cannot start NetworkManager: ") + nm_.errorString();
        return false;
    }
    return true;
}

bool NmFixture::waitUntilReady()
{
    QDBusConnection c = bus();
    const QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        if (nm_.state() == QProcess::NotRunning) {
            message_ = QStringLiteral("NetworkManager ended at start-up (exit code %1)").arg(nm_.exitCode());
            return false;
        }
        if (c.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.NetworkManager"))) {
            QDBusMessage m = QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.NetworkManager"), QStringLiteral("/org/freedesktop/NetworkManager"),
                QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
            m << QStringLiteral("org.freedesktop.NetworkManager") << QStringLiteral("Startup");
            const QDBusMessage r = c.call(m, QDBus::Block, 5000);
            if (r.type() == QDBusMessage::ReplyMessage
                && !r.arguments().value(0).value<QDBusVariant>().variant().toBool())
                return true;
        }
        QThread::msleep(50);
    }
    message_ = QStringLiteral("NetworkManager did not finish starting up");
    return false;
}

void NmFixture::stopNetworkManager()
{
    if (nm_.state() != QProcess::NotRunning) {
        nm_.terminate();
        if (!nm_.waitForFinished(10000)) {
            nm_.kill();
            nm_.waitForFinished(5000);
        }
    }
}

bool NmFixture::waitUntil(const std::function<bool()>& done, int capMs)
{
    const QDeadlineTimer deadline(capMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

void NmFixture::stop()
{
    stopNetworkManager();
    netns_.remove();   // takes the links NetworkManager made with it
    QDBusConnection::disconnectFromBus(busName_);
    if (bus_.state() != QProcess::NotRunning) {
        bus_.terminate();
        if (!bus_.waitForFinished(5000)) {
            bus_.kill();
            bus_.waitForFinished(5000);
        }
    }
}

QDBusConnection NmFixture::bus() const { return QDBusConnection(busName_); }

QString NmFixture::profileFolder() const { return dir_.file(QStringLiteral("profiles")); }

QString NmFixture::log() const
{
    QFile f(dir_.file(QStringLiteral("nm.log")));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QString NmFixture::addProfile(const Settings& settings, QString* error)
{
    QDBusMessage m = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.NetworkManager"), QStringLiteral("/org/freedesktop/NetworkManager/Settings"),
        QStringLiteral("org.freedesktop.NetworkManager.Settings"), QStringLiteral("AddConnection"));
    m << QVariant::fromValue(settings);
    const QDBusMessage r = bus().call(m, QDBus::Block, 10000);
    if (r.type() != QDBusMessage::ReplyMessage) {
        if (error)
            *error = r.errorName() + QStringLiteral(": ") + r.errorMessage();
        return QString();
    }
    return r.arguments().value(0).value<QDBusObjectPath>().path();
}

namespace {

QVariantMap connectionSetting(const QString& name, const QString& type, const QString& interfaceName)
{
    QVariantMap c{{QStringLiteral("id"), name},
                  {QStringLiteral("uuid"), QUuid::createUuid().toString(QUuid::WithoutBraces)},
                  {QStringLiteral("type"), type},
                  {QStringLiteral("autoconnect"), false}};
    if (!interfaceName.isEmpty())
        c[QStringLiteral("interface-name")] = interfaceName;
    return c;
}

const QVariantMap kNoIp4{{QStringLiteral("method"), QStringLiteral("disabled")}};
const QVariantMap kNoIp6{{QStringLiteral("method"), QStringLiteral("disabled")}};

} // namespace

NmFixture::Settings NmFixture::bridgeProfile(const QString& name, const QString& interfaceName)
{
    return {{QStringLiteral("connection"), connectionSetting(name, QStringLiteral("bridge"), interfaceName)},
            {QStringLiteral("bridge"), QVariantMap{{QStringLiteral("stp"), false}}},
            {QStringLiteral("ipv4"), kNoIp4},
            {QStringLiteral("ipv6"), kNoIp6}};
}

NmFixture::Settings NmFixture::tunProfile(const QString& name, const QString& interfaceName)
{
    return {{QStringLiteral("connection"), connectionSetting(name, QStringLiteral("tun"), interfaceName)},
            {QStringLiteral("tun"), QVariantMap{{QStringLiteral("mode"), QVariant::fromValue(uint32_t(1))}}},
            {QStringLiteral("ipv4"), kNoIp4},
            {QStringLiteral("ipv6"), kNoIp6}};
}

NmFixture::Settings NmFixture::failingTunProfile(const QString& name, const QString& interfaceName)
{
    Settings s = tunProfile(name, interfaceName);
    s[QStringLiteral("ipv4")] = QVariantMap{{QStringLiteral("method"), QStringLiteral("auto")},
                                           {QStringLiteral("dhcp-timeout"), 2},
                                           {QStringLiteral("may-fail"), false}};
    return s;
}

NmFixture::Settings NmFixture::gsmProfile(const QString& name, const QString& user, const QString& password)
{
    return {{QStringLiteral("connection"), connectionSetting(name, QStringLiteral("gsm"), QString())},
            {QStringLiteral("gsm"), QVariantMap{{QStringLiteral("apn"), QStringLiteral("internet")},
                                                {QStringLiteral("username"), user},
                                                {QStringLiteral("password"), password},
                                                {QStringLiteral("password-flags"), QVariant::fromValue(uint32_t(0))}}}};
}

NmFixture::Settings NmFixture::pppoeProfile(const QString& name, const QString& user, const QString& password)
{
    QVariantMap pppoe{{QStringLiteral("username"), user}};
    if (!password.isEmpty()) {
        pppoe[QStringLiteral("password")] = password;
        pppoe[QStringLiteral("password-flags")] = QVariant::fromValue(uint32_t(0));
    }
    return {{QStringLiteral("connection"), connectionSetting(name, QStringLiteral("pppoe"), QStringLiteral("eth9"))},
            {QStringLiteral("pppoe"), pppoe},
            {QStringLiteral("802-3-ethernet"), QVariantMap{}}};
}

} // namespace testsupport
