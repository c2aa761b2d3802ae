// The dial service over NetworkManager's D-Bus interface.
#include "platform/NmDialService.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <set>

namespace {

const QString kService = QStringLiteral("org.freedesktop.NetworkManager");
const QString kPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kSettingsPath = QStringLiteral("/org/freedesktop/NetworkManager/Settings");
const QString kActivePrefix = QStringLiteral("/org/freedesktop/NetworkManager/ActiveConnection/");
const QString kIfManager = QStringLiteral("org.freedesktop.NetworkManager");
const QString kIfSettings = QStringLiteral("org.freedesktop.NetworkManager.Settings");
const QString kIfConnection = QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");
const QString kIfActive = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
const QString kIfDevice = QStringLiteral("org.freedesktop.NetworkManager.Device");
const QString kIfVpn = QStringLiteral("org.freedesktop.NetworkManager.VPN.Connection");
const QString kIfProperties = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr int kCallTimeoutMs = 10000;

// NetworkManager's numbers.
constexpr uint32_t kActiveActivating = 1;
constexpr uint32_t kActiveActivated = 2;
constexpr uint32_t kActiveDeactivating = 3;
constexpr uint32_t kActiveDeactivated = 4;
constexpr uint32_t kActiveReasonDeviceDisconnected = 3;
constexpr uint32_t kActivationFlagExternal = 0x80;   // an interface configured by another program
constexpr uint32_t kSettingsFlagExternal = 0x08;     // the profile NetworkManager made up for it
constexpr uint32_t kDeviceFailed = 120;

QVariant unwrap(const QDBusMessage& reply)
{
    const QVariant v = reply.arguments().value(0);
    return v.canConvert<QDBusVariant>() ? v.value<QDBusVariant>().variant() : v;
}

QList<QDBusObjectPath> pathList(const QVariant& v) { return qdbus_cast<QList<QDBusObjectPath>>(v); }

QMap<QString, QString> stringMap(const QVariant& v)
{
    if (v.userType() == qMetaTypeId<QDBusArgument>())
        return qdbus_cast<QMap<QString, QString>>(v.value<QDBusArgument>());
    return v.value<QMap<QString, QString>>();
}

uint32_t handleOf(const QString& activePath)
{
    if (!activePath.startsWith(kActivePrefix))
        return 0;
    bool ok = false;
    const uint32_t n = activePath.mid(kActivePrefix.size()).toUInt(&ok);
    return ok ? n : 0;
}

// A D-Bus error as a result code; objectGone is the code for an object that no longer exists.
uint32_t codeOf(const QDBusMessage& reply, uint32_t objectGone)
{
    const QString name = reply.errorName();
    if (name.startsWith(QLatin1String("org.freedesktop.DBus.Error."))) {
        if (name.endsWith(QLatin1String(".UnknownObject")) || name.endsWith(QLatin1String(".UnknownMethod"))
            || name.endsWith(QLatin1String(".UnknownInterface")))
            return objectGone;
        if (name.endsWith(QLatin1String(".AccessDenied")))
            return DialError::AccessDenied;
        return DialError::ServiceUnavailable;   // no owner, no reply, disconnected, time-out
    }
    const QString what = name.section(QLatin1Char('.'), -1);
    if (what == QLatin1String("UnknownConnection"))
        return DialError::EntryNotFound;
    if (what == QLatin1String("UnknownDevice"))
        return DialError::DeviceNotFound;
    if (what == QLatin1String("ConnectionNotAvailable"))
        return DialError::DeviceUnavailable;
    if (what == QLatin1String("ConnectionNotActive"))
        return DialError::InvalidHandle;
    if (what == QLatin1String("PermissionDenied"))
        return DialError::AccessDenied;
    if (what == QLatin1String("NoSecrets") || what == QLatin1String("UserCanceled"))
        return DialError::AuthenticationFailed;
    if (what == QLatin1String("DependencyFailed"))
        return DialError::DeviceError;
    if (what == QLatin1String("NotSupported"))
        return DialError::NotSupported;
    return DialError::Unknown;
}

// Why a device failed (NetworkManager's device state reason) as a result code.
uint32_t codeOfDeviceReason(uint32_t reason)
{
    switch (reason) {
    case 5: case 6: case 15: case 16: case 17: case 18: case 19: case 20: case 21: case 22:
    case 64: case 65:
        return DialError::IpConfigFailed;
    case 7: case 10: case 34: case 46: case 47: case 59:
        return DialError::AuthenticationFailed;
    case 8: case 13: case 40:
        return DialError::RemoteDisconnected;
    case 11:
        return DialError::Timeout;
    case 23: return DialError::LineBusy;
    case 24: return DialError::NoDialTone;
    case 25: case 26: case 53: case 67:
        return DialError::NoAnswer;
    case 30: case 31: case 32: case 33: case 35: case 37: case 52:
        return DialError::DeviceUnavailable;
    case 36: case 38:
        return DialError::Disconnected;
    case 39: return DialError::UserDisconnected;
    case 43: case 45:
        return DialError::DeviceNotFound;
    case 0: case 1:
        return DialError::Unknown;
    default:
        return DialError::DeviceError;   // configuration, PPP, modem, firmware, dependencies...
    }
}

// Why an active connection ended (NetworkManager's active-connection state reason).
uint32_t codeOfActiveReason(uint32_t reason)
{
    switch (reason) {
    case 2: return DialError::UserDisconnected;
    case 5: return DialError::IpConfigFailed;
    case 6: case 7: return DialError::Timeout;
    case 8: case 12: return DialError::DeviceError;
    case 9: case 10: return DialError::AuthenticationFailed;
    case 13: return DialError::DeviceUnavailable;
    case 3: case 4: case 11: case 14: return DialError::Disconnected;
    default: return DialError::Unknown;
    }
}

// A device state as one of the program's progress states.
uint32_t stateOfDevice(uint32_t state)
{
    if (state <= 30 || state >= 110)
        return DialState::Disconnected;
    if (state < 50)
        return DialState::OpenPort;          // prepare
    if (state < 60)
        return DialState::ConnectDevice;     // configure
    if (state < 70)
        return DialState::Authenticate;      // secrets needed
    if (state < 80)
        return DialState::AuthProject;       // IP configuration
    if (state < 90)
        return DialState::Projected;         // IP check
    if (state < 100)
        return DialState::LogonNetwork;      // secondary connections
    return DialState::Connected;
}

uint32_t stateOfVpn(uint32_t state)
{
    switch (state) {
    case 1: return DialState::OpenPort;
    case 2: return DialState::Authenticate;
    case 3: return DialState::ConnectDevice;
    case 4: return DialState::AuthProject;
    case 5: return DialState::Connected;
    default: return DialState::Disconnected;
    }
}

QString deviceTypeOf(const QString& connectionType)
{
    if (connectionType == QLatin1String("802-3-ethernet"))
        return QStringLiteral("ethernet");
    if (connectionType == QLatin1String("802-11-wireless"))
        return QStringLiteral("wifi");
    if (connectionType == QLatin1String("802-11-olpc-mesh"))
        return QStringLiteral("olpc-mesh");
    return connectionType;
}

// Where a connection type keeps its user name and password.
struct CredentialKeys {
    QString setting;
    QString user;
    QString secret;
    bool vpn = false;   // the user name is in the VPN's data, the password in its secrets
};

bool credentialKeys(const NmDialService::Settings& s, CredentialKeys& keys)
{
    const QString type = s.value(QStringLiteral("connection")).value(QStringLiteral("type")).toString();
    if (type == QLatin1String("pppoe") || type == QLatin1String("gsm") || type == QLatin1String("cdma")) {
        keys = {type, QStringLiteral("username"), QStringLiteral("password"), false};
        return true;
    }
    if (type != QLatin1String("vpn"))
        return false;
    const QString service = s.value(QStringLiteral("vpn")).value(QStringLiteral("service-type")).toString();
    const QString plugin = service.section(QLatin1Char('.'), -1);
    if (plugin == QLatin1String("vpnc"))
        keys = {type, QStringLiteral("Xauth username"), QStringLiteral("Xauth password"), true};
    else if (plugin == QLatin1String("pptp") || plugin == QLatin1String("l2tp") || plugin == QLatin1String("sstp")
             || plugin == QLatin1String("fortisslvpn"))
        keys = {type, QStringLiteral("user"), QStringLiteral("password"), true};
    else
        keys = {type, QStringLiteral("username"), QStringLiteral("password"), true};
    return true;
}

} // namespace

// Follows one activation: its progress through the device (or VPN) states and its outcome.
// Signals are subscribed before the activation is asked for and kept until the active
// connection's object is known, so that a fast activation cannot finish unseen.
class NmDialWatch : public QObject {
    Q_OBJECT
public:
    using Report = std::function<void(uint32_t state, uint32_t error)>;

    NmDialWatch(NmDialService& service, Report report) : service_(service), report_(std::move(report))
    {
        QDBusConnection& bus = service_.bus_;
        bus.connect(kService, QString(), kIfActive, QStringLiteral("StateChanged"), this,
                    SLOT(activeStateChanged(uint,uint,QDBusMessage)));
        bus.connect(kService, QString(), kIfDevice, QStringLiteral("StateChanged"), this,
                    SLOT(deviceStateChanged(uint,uint,uint,QDBusMessage)));
        bus.connect(kService, QString(), kIfVpn, QStringLiteral("VpnStateChanged"), this,
                    SLOT(vpnStateChanged(uint,uint,QDBusMessage)));
        bus.connect(kService, QString(), kIfProperties, QStringLiteral("PropertiesChanged"), this,
                    SLOT(propertiesChanged(QString,QVariantMap,QStringList,QDBusMessage)));
        poll_.setInterval(500);
        connect(&poll_, &QTimer::timeout, this, &NmDialWatch::check);
    }

    ~NmDialWatch() override
    {
        QDBusConnection& bus = service_.bus_;
        bus.disconnect(kService, QString(), kIfActive, QStringLiteral("StateChanged"), this,
                       SLOT(activeStateChanged(uint,uint,QDBusMessage)));
        bus.disconnect(kService, QString(), kIfDevice, QStringLiteral("StateChanged"), this,
                       SLOT(deviceStateChanged(uint,uint,uint,QDBusMessage)));
        bus.disconnect(kService, QString(), kIfVpn, QStringLiteral("VpnStateChanged"), this,
                       SLOT(vpnStateChanged(uint,uint,QDBusMessage)));
        bus.disconnect(kService, QString(), kIfProperties, QStringLiteral("PropertiesChanged"), this,
                       SLOT(propertiesChanged(QString,QVariantMap,QStringList,QDBusMessage)));
    }

    // The activation was accepted: path is its active-connection object.
    void track(const QString& path)
    {
        path_ = path;
        readDevices();
        const std::vector<Early> early = std::move(early_);
        for (const Early& e : early) {
            if (e.kind == Early::Device)
                onDevice(e.path, e.a, e.b);
            else if (e.kind == Early::Owner) {
                if (e.owner == path_)
                    devices_.insert(e.path);
            } else if (e.path == path_)
                e.kind == Early::Active ? onActive(e.a, e.b) : onVpn(e.a, e.b);
        }
        check();
        if (!finished_)
            poll_.start();
    }

    // Gives up (time-out): the activation is withdrawn and the dial ends with code.
    void abandon(uint32_t code)
    {
        if (finished_)
            return;
        service_.call(kPath, kIfManager, QStringLiteral("DeactivateConnection"),
                      {QVariant::fromValue(QDBusObjectPath(path_))});
        finish(code);
    }

    bool finished() const { return finished_; }
    uint32_t result() const { return result_; }

signals:
    void done();

private slots:
    void activeStateChanged(uint state, uint reason, const QDBusMessage& message)
    {
        if (path_.isEmpty())
            early_.push_back({Early::Active, message.path(), state, reason, {}});
        else if (message.path() == path_)
            onActive(state, reason);
    }

    void deviceStateChanged(uint newState, uint, uint reason, const QDBusMessage& message)
    {
        if (path_.isEmpty())
            early_.push_back({Early::Device, message.path(), newState, reason, {}});
        else
            onDevice(message.path(), newState, reason);
    }

    void vpnStateChanged(uint state, uint reason, const QDBusMessage& message)
    {
        if (path_.isEmpty())
            early_.push_back({Early::Vpn, message.path(), state, reason, {}});
        else if (message.path() == path_)
            onVpn(state, reason);
    }

    // The device may be attached to the activation after it was accepted (a software device is
    // made then): the device's ActiveConnection tells.
    void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&,
                           const QDBusMessage& message)
    {
        const QString key = QStringLiteral("ActiveConnection");
        if (interface != kIfDevice || !changed.contains(key))
            return;
        const QString owner = changed.value(key).value<QDBusObjectPath>().path();
        if (path_.isEmpty())
            early_.push_back({Early::Owner, message.path(), 0, 0, owner});
        else if (owner == path_)
            devices_.insert(message.path());
    }

    // Reads the state in case a signal was missed. An activation seen ended (or its object gone)
    // twice in a row is over: its last signals, which carry the reason, had a poll interval to
    // arrive.
    void check()
    {
        if (finished_)
            return;
        const QDBusMessage r = service_.getProperty(path_, kIfActive, QStringLiteral("State"));
        if (r.type() == QDBusMessage::ErrorMessage && codeOf(r, DialError::Disconnected) == DialError::ServiceUnavailable) {
            finish(DialError::ServiceUnavailable);
            return;
        }
        const uint32_t state = r.type() == QDBusMessage::ErrorMessage ? kActiveDeactivated : unwrap(r).toUInt();
        if (state == kActiveActivated)
            onActive(state, 0);
        else if (state == kActiveDeactivated && ++ended_ >= 2)
            finish(deviceFailure() ? codeOfDeviceReason(deviceFailure()) : DialError::Disconnected);
    }

private:
    struct Early {
        enum Kind { Active, Device, Vpn, Owner } kind;
        QString path;
        uint a, b;
        QString owner;   // Owner: the active connection the device at path now serves
    };

    void readDevices()
    {
        const QDBusMessage r = service_.getProperty(path_, kIfActive, QStringLiteral("Devices"));
        if (r.type() != QDBusMessage::ErrorMessage)
            for (const QDBusObjectPath& d : pathList(unwrap(r)))
                devices_.insert(d.path());
    }

    // Why our device failed, if it did.
    uint32_t deviceFailure() const
    {
        for (const QString& d : devices_) {
            auto it = failures_.find(d);
            if (it != failures_.end())
                return it->second;
        }
        return 0;
    }

    void onActive(uint32_t state, uint32_t reason)
    {
        if (finished_)
            return;
        if (state == kActiveActivated) {
            finish(0);
        } else if (state == kActiveDeactivated) {
            if ((reason == kActiveReasonDeviceDisconnected || reason <= 1) && deviceFailure())
                finish(codeOfDeviceReason(deviceFailure()));
            else
                finish(reason > 1 ? codeOfActiveReason(reason) : DialError::Disconnected);
        } else if (state == kActiveActivating && lastProgress_ == UINT32_MAX) {
            progress(DialState::OpenPort);
        }
    }

    void onDevice(const QString& path, uint32_t state, uint32_t reason)
    {
        if (finished_)
            return;
        // Failures are kept for every device: ours may only be known later.
        if (state == kDeviceFailed)
            failures_[path] = reason;
        else if (devices_.count(path) && state > 30 && state < 110)
            progress(stateOfDevice(state));
    }

    void onVpn(uint32_t state, uint32_t)
    {
        if (!finished_ && state >= 1 && state <= 4)
            progress(stateOfVpn(state));
    }

    void progress(uint32_t state)
    {
        if (state == lastProgress_ || state == DialState::Connected)
            return;   // connected is reported once, by finish
        lastProgress_ = state;
        report_(state, 0);
    }

    void finish(uint32_t code)
    {
        finished_ = true;
        result_ = code;
        poll_.stop();
        report_(code ? DialState::Disconnected : DialState::Connected, code);
        emit done();
    }

    NmDialService& service_;
    Report report_;
    QString path_;
    std::set<QString> devices_;
    std::vector<Early> early_;
    uint32_t lastProgress_ = UINT32_MAX;
    std::map<QString, uint32_t> failures_;   // device object -> why it failed
    int ended_ = 0;
    bool finished_ = false;
    uint32_t result_ = 0;
    QTimer poll_;
};

NmDialService::NmDialService(const QDBusConnection& bus, QObject* parent) : QObject(parent), bus_(bus)
{
    qDBusRegisterMetaType<Settings>();
    qDBusRegisterMetaType<QMap<QString, QString>>();
}

NmDialService::~NmDialService() = default;

bool NmDialService::answers(const QDBusConnection& bus)
{
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(kService))
        return false;
    QDBusMessage m = QDBusMessage::createMethodCall(kService, kPath, kIfProperties, QStringLiteral("Get"));
    m << kIfManager << QStringLiteral("Version");
    return bus.call(m, QDBus::Block, 3000).type() == QDBusMessage::ReplyMessage;
}

QDBusMessage NmDialService::call(const QString& path, const QString& interface, const QString& method,
                                 const QVariantList& args)
{
    QDBusMessage m = QDBusMessage::createMethodCall(kService, path, interface, method);
    m.setArguments(args);
    return bus_.call(m, QDBus::Block, kCallTimeoutMs);
}

QDBusMessage NmDialService::getProperty(const QString& path, const QString& interface, const QString& name)
{
    return call(path, kIfProperties, QStringLiteral("Get"), {interface, name});
}

bool NmDialService::reachable()
{
    return bus_.isConnected() && bus_.interface() && bus_.interface()->isServiceRegistered(kService);
}

bool NmDialService::provides(const QString& operation)
{
    return operation == QLatin1String("RasRenameEntry") || operation == QLatin1String("RasDeleteEntry");
}

uint32_t NmDialService::profiles(std::vector<Profile>& out)
{
    out.clear();
    const QDBusMessage list = call(kSettingsPath, kIfSettings, QStringLiteral("ListConnections"));
    if (list.type() == QDBusMessage::ErrorMessage)
        return codeOf(list, DialError::ServiceUnavailable);
    for (const QDBusObjectPath& path : pathList(list.arguments().value(0))) {
        Profile p;
        p.path = path.path();
        Settings s;
        if (readSettings(p, s) != 0)
            continue;   // removed meanwhile
        const QVariantMap c = s.value(QStringLiteral("connection"));
        p.name = c.value(QStringLiteral("id")).toString();
        p.uuid = c.value(QStringLiteral("uuid")).toString();
        p.type = c.value(QStringLiteral("type")).toString();
        if (p.type == QLatin1String("loopback"))
            continue;
        const QDBusMessage flags = getProperty(p.path, kIfConnection, QStringLiteral("Flags"));
        if (flags.type() != QDBusMessage::ErrorMessage && (unwrap(flags).toUInt() & kSettingsFlagExternal))
            continue;
        out.push_back(p);
    }
    std::sort(out.begin(), out.end(), [](const Profile& a, const Profile& b) {
        if (int c = a.name.compare(b.name, Qt::CaseInsensitive))
            return c < 0;
        if (int c = a.name.compare(b.name))
            return c < 0;
        return a.uuid < b.uuid;
    });
    return 0;
}

uint32_t NmDialService::findProfile(const QString& name, Profile& out)
{
    std::vector<Profile> all;
    if (uint32_t code = profiles(all))
        return code;
    for (const Profile& p : all)
        if (p.name == name) {
            out = p;
            return 0;
        }
    return DialError::EntryNotFound;
}

uint32_t NmDialService::readSettings(const Profile& p, Settings& settings)
{
    const QDBusMessage r = call(p.path, kIfConnection, QStringLiteral("GetSettings"));
    if (r.type() == QDBusMessage::ErrorMessage)
        return codeOf(r, DialError::EntryNotFound);
    settings = qdbus_cast<Settings>(r.arguments().value(0));
    return 0;
}

uint32_t NmDialService::readSecrets(const Profile& p, const QString& setting, QVariantMap& secrets)
{
    secrets.clear();
    const QDBusMessage r = call(p.path, kIfConnection, QStringLiteral("GetSecrets"), {setting});
    if (r.type() == QDBusMessage::ErrorMessage) {
        const uint32_t code = codeOf(r, DialError::EntryNotFound);
        // No secret stored (or only one that an agent would have to ask for) is not a failure.
        return code == DialError::AuthenticationFailed || code == DialError::Unknown ? 0 : code;
    }
    secrets = qdbus_cast<Settings>(r.arguments().value(0)).value(setting);
    return 0;
}

uint32_t NmDialService::writeSettings(const Profile& p, const Settings& settings)
{
    const QDBusMessage r = call(p.path, kIfConnection, QStringLiteral("Update"), {QVariant::fromValue(settings)});
    return r.type() == QDBusMessage::ErrorMessage ? codeOf(r, DialError::EntryNotFound) : 0;
}

uint32_t NmDialService::listEntries(QStringList& names)
{
    names.clear();
    std::vector<Profile> all;
    if (uint32_t code = profiles(all))
        return code;
    for (const Profile& p : all)
        names << p.name;
    return 0;
}

uint32_t NmDialService::getDialParams(const QString& entry, DialParams& params)
{
    Profile p;
    Settings s;
    if (uint32_t code = findProfile(entry, p))
        return code;
    if (uint32_t code = readSettings(p, s))
        return code;
    DialParams read;
    read.EntryName = p.name;
    CredentialKeys keys;
    if (credentialKeys(s, keys)) {
        const QVariantMap setting = s.value(keys.setting);
        read.UserName = keys.vpn ? stringMap(setting.value(QStringLiteral("data"))).value(keys.user)
                                 : setting.value(keys.user).toString();
        QVariantMap secrets;
        if (uint32_t code = readSecrets(p, keys.setting, secrets))
            return code;
        read.Password = keys.vpn ? stringMap(secrets.value(QStringLiteral("secrets"))).value(keys.secret)
                                 : secrets.value(keys.secret).toString();
        read.HasPassword = !read.Password.isEmpty();
    }
    params = read;
    return 0;
}

uint32_t NmDialService::setUserName(const QString& entry, const QString& userName)
{
    Profile p;
    Settings s;
    if (uint32_t code = findProfile(entry, p))
        return code;
    if (uint32_t code = readSettings(p, s))
        return code;
    CredentialKeys keys;
    if (!credentialKeys(s, keys))
        return DialError::NotSupported;
    QVariantMap& setting = s[keys.setting];
    if (keys.vpn) {
        QMap<QString, QString> data = stringMap(setting.value(QStringLiteral("data")));
        data[keys.user] = userName;
        setting[QStringLiteral("data")] = QVariant::fromValue(data);
    } else {
        setting[keys.user] = userName;
    }
    // Without secrets in the update, NetworkManager keeps the stored ones.
    return writeSettings(p, s);
}

uint32_t NmDialService::setPassword(const QString& entry, const QString& password)
{
    Profile p;
    Settings s;
    if (uint32_t code = findProfile(entry, p))
        return code;
    if (uint32_t code = readSettings(p, s))
        return code;
    CredentialKeys keys;
    if (!credentialKeys(s, keys))
        return DialError::NotSupported;
    // An update that carries secrets replaces all of them: keep the others (a PIN, say).
    QVariantMap secrets;
    if (uint32_t code = readSecrets(p, keys.setting, secrets))
        return code;
    QVariantMap& setting = s[keys.setting];
    for (auto it = secrets.cbegin(); it != secrets.cend(); ++it)
        setting[it.key()] = it.value();
    if (keys.vpn) {
        QMap<QString, QString> stored = stringMap(setting.value(QStringLiteral("secrets")));
        stored[keys.secret] = password;
        setting[QStringLiteral("secrets")] = QVariant::fromValue(stored);
        QMap<QString, QString> data = stringMap(setting.value(QStringLiteral("data")));
        data[keys.secret + QStringLiteral("-flags")] = QStringLiteral("0");   // stored by the system
        setting[QStringLiteral("data")] = QVariant::fromValue(data);
    } else {
        setting[keys.secret] = password;
        setting[keys.secret + QStringLiteral("-flags")] = QVariant::fromValue(uint32_t(0));
    }
    return writeSettings(p, s);
}

uint32_t NmDialService::startDial(const QString& entry, uint32_t& handle, QString& activePath, NmDialWatch& watch)
{
    Profile p;
    if (uint32_t code = findProfile(entry, p))
        return code;
    const QDBusObjectPath none(QStringLiteral("/"));
    const QDBusMessage r = call(kPath, kIfManager, QStringLiteral("ActivateConnection"),
                                {QVariant::fromValue(QDBusObjectPath(p.path)), QVariant::fromValue(none),
                                 QVariant::fromValue(none)});
    if (r.type() == QDBusMessage::ErrorMessage)
        return codeOf(r, DialError::EntryNotFound);
    activePath = r.arguments().value(0).value<QDBusObjectPath>().path();
    handle = handleOf(activePath);
    watch.track(activePath);
    return 0;
}

uint32_t NmDialService::dial(const DialParams& params, uint32_t& handle, const Progress& progress)
{
    handle = 0;
    NmDialWatch watch(*this, [&progress](uint32_t state, uint32_t error) {
        if (progress && error == 0)
            progress(state);
    });
    QString path;
    if (uint32_t code = startDial(params.EntryName, handle, path, watch))
        return code;
    if (!watch.finished()) {
        QEventLoop loop;
        connect(&watch, &NmDialWatch::done, &loop, &QEventLoop::quit);
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, &watch, [&watch] { watch.abandon(DialError::Timeout); });
        guard.start(dialTimeoutMs_);
        // The user's input waits, as it would for any blocking call; painting and timers go on.
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (watch.result() != 0) {
        if (failedHandles_.size() > 64)
            failedHandles_.erase(failedHandles_.begin());
        failedHandles_[handle] = watch.result();
    }
    return watch.result();
}

uint32_t NmDialService::dialAsync(const DialParams& params, uint32_t& handle, Notifier notifier)
{
    handle = 0;
    asyncWatch_.reset();
    // Reports are posted, so the notifier never runs inside this call and keeps their order.
    auto watch = std::make_unique<NmDialWatch>(*this, [this, notifier](uint32_t state, uint32_t error) {
        QMetaObject::invokeMethod(
            this, [notifier, state, error] { notifier(0, state, error); }, Qt::QueuedConnection);
    });
    QString path;
    if (uint32_t code = startDial(params.EntryName, handle, path, *watch))
        return code;
    asyncWatch_ = std::move(watch);
    return 0;
}

uint32_t NmDialService::hangUp(uint32_t handle)
{
    if (handle == 0)
        return DialError::InvalidHandle;
    const QDBusMessage r = call(kPath, kIfManager, QStringLiteral("DeactivateConnection"),
                                {QVariant::fromValue(QDBusObjectPath(kActivePrefix + QString::number(handle)))});
    return r.type() == QDBusMessage::ErrorMessage ? codeOf(r, DialError::InvalidHandle) : 0;
}

QString NmDialService::deviceInterface(const QString& devicePath)
{
    auto it = interfaces_.find(devicePath);
    if (it != interfaces_.end())
        return it->second;
    const QDBusMessage r = getProperty(devicePath, kIfDevice, QStringLiteral("Interface"));
    if (r.type() == QDBusMessage::ErrorMessage)
        return QString();
    if (interfaces_.size() > 64)
        interfaces_.clear();
    return interfaces_[devicePath] = unwrap(r).toString();
}

uint32_t NmDialService::listConnections(std::vector<ActiveConnection>& connections)
{
    connections.clear();
    const QDBusMessage list = getProperty(kPath, kIfManager, QStringLiteral("ActiveConnections"));
    if (list.type() == QDBusMessage::ErrorMessage)
        return codeOf(list, DialError::ServiceUnavailable);
    for (const QDBusObjectPath& path : pathList(unwrap(list))) {
        const QDBusMessage all = call(path.path(), kIfProperties, QStringLiteral("GetAll"), {kIfActive});
        if (all.type() == QDBusMessage::ErrorMessage)
            continue;   // ended meanwhile
        const QVariantMap p = qdbus_cast<QVariantMap>(all.arguments().value(0));
        const QString type = p.value(QStringLiteral("Type")).toString();
        if (type == QLatin1String("loopback") || (p.value(QStringLiteral("StateFlags")).toUInt() & kActivationFlagExternal))
            continue;
        ActiveConnection c;
        c.Handle = handleOf(path.path());
        c.EntryName = p.value(QStringLiteral("Id")).toString();
        c.DeviceType = deviceTypeOf(type);
        const QList<QDBusObjectPath> devices = pathList(p.value(QStringLiteral("Devices")));
        if (!devices.isEmpty())
            c.DeviceName = deviceInterface(devices.first().path());
        const uint32_t state = p.value(QStringLiteral("State")).toUInt();
        if (state == kActiveActivated) {
            c.State = DialState::Connected;
        } else if (state == kActiveDeactivating || state == kActiveDeactivated) {
            c.State = DialState::Disconnected;
            auto failed = failedHandles_.find(c.Handle);
            c.Error = failed == failedHandles_.end() ? 0 : failed->second;
        } else if (p.value(QStringLiteral("Vpn")).toBool()) {
            const QDBusMessage r = getProperty(path.path(), kIfVpn, QStringLiteral("VpnState"));
            c.State = r.type() == QDBusMessage::ErrorMessage ? DialState::OpenPort : stateOfVpn(unwrap(r).toUInt());
        } else if (!devices.isEmpty()) {
            const QDBusMessage r = getProperty(devices.first().path(), kIfDevice, QStringLiteral("State"));
            c.State = r.type() == QDBusMessage::ErrorMessage ? DialState::OpenPort : stateOfDevice(unwrap(r).toUInt());
            if (c.State == DialState::Connected || c.State == DialState::Disconnected)
                c.State = DialState::OpenPort;   // the device has not caught up with the activation
        } else {
            c.State = DialState::OpenPort;
        }
        connections.push_back(c);
    }
    return 0;
}

uint32_t NmDialService::runEditor(const QStringList& args)
{
    const QString program = QFileInfo(editor_).isAbsolute() ? editor_ : QStandardPaths::findExecutable(editor_);
    if (program.isEmpty() || !QFileInfo(program).isExecutable())
        return DialError::ProgramNotFound;
    QProcess editor;
    editor.setProcessChannelMode(QProcess::ForwardedChannels);
    editor.start(program, args);
    if (!editor.waitForStarted())
        return DialError::ProgramNotFound;
    if (editor.state() != QProcess::NotRunning) {
        // The editor is the dialog: this window waits for it like for a modal one.
        QEventLoop loop;
        connect(&editor, &QProcess::finished, &loop, &QEventLoop::quit);
        if (editor.state() != QProcess::NotRunning)
            loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return editor.exitStatus() == QProcess::NormalExit ? 0 : DialError::Unknown;
}

uint32_t NmDialService::createEntryDialog()
{
    return runEditor({QStringLiteral("--create")});
}

uint32_t NmDialService::editEntryDialog(const QString& entry)
{
    Profile p;
    if (uint32_t code = findProfile(entry, p))
        return code;
    return runEditor({QStringLiteral("--edit=") + p.uuid});
}

uint32_t NmDialService::renameEntry(const QString& entry, const QString& newName)
{
    if (newName.trimmed().isEmpty())
        return DialError::InvalidName;
    std::vector<Profile> all;
    if (uint32_t code = profiles(all))
        return code;
    auto self = std::find_if(all.begin(), all.end(), [&](const Profile& p) { return p.name == entry; });
    if (self == all.end())
        return DialError::EntryNotFound;
    if (newName == entry)
        return 0;
    if (std::any_of(all.begin(), all.end(), [&](const Profile& p) { return p.name == newName; }))
        return DialError::AlreadyExists;
    Settings s;
    if (uint32_t code = readSettings(*self, s))
        return code;
    s[QStringLiteral("connection")][QStringLiteral("id")] = newName;
    return writeSettings(*self, s);
}

uint32_t NmDialService::deleteEntry(const QString& entry)
{
    Profile p;
    if (uint32_t code = findProfile(entry, p))
        return code;
    const QDBusMessage r = call(p.path, kIfConnection, QStringLiteral("Delete"));
    return r.type() == QDBusMessage::ErrorMessage ? codeOf(r, DialError::EntryNotFound) : 0;
}

QString NmDialService::errorText(uint32_t code)
{
    if (code == DialError::ProgramNotFound)
        return textLanguage() == DialTextLanguage::French
            ? QString::fromUtf8("Éditeur de connexions introuvable : installez le paquet network-manager-gnome.")
            : QStringLiteral("Connection editor not found: install the network-manager-gnome package.");
    return DialService::errorText(code);
}

#include "NmDialService.moc"

// The meta-object code is built into this object, not with the library's others: the check from
// the command line links this class, and must not pull in the windows (and the desktop libraries)
// with them.
#include "moc_NmDialService.cpp"
