// The dial service over NetworkManager's D-Bus interface.
#pragma once
#include "platform/DialService.h"

#include <QDBusConnection>
#include <QMap>
#include <QObject>
#include <QVariantMap>
#include <map>

class NmDialWatch;

// Entries are NetworkManager's connection profiles (loopback and the profiles it generates for
// interfaces configured by other programs left out), ordered by name and addressed by UUID
// internally. A dial is ActivateConnection, followed in the event loop until the connection is
// activated or has failed; handles are the numbers of the active-connection objects.
class NmDialService : public QObject, public DialService {
    Q_OBJECT
public:
    explicit NmDialService(const QDBusConnection& bus, QObject* parent = nullptr);
    ~NmDialService() override;

    // True when NetworkManager answers on this bus.
    static bool answers(const QDBusConnection& bus);

    // The connection editor run for the create and edit dialogs ("nm-connection-editor").
    void setEditorProgram(const QString& program) { editor_ = program; }
    // Longest wait of a synchronous dial before it is abandoned (Timeout).
    void setDialTimeout(int ms) { dialTimeoutMs_ = ms; }

    bool reachable() override;
    bool provides(const QString& operation) override;
    uint32_t listEntries(QStringList& names) override;
    uint32_t getDialParams(const QString& entry, DialParams& params) override;
    uint32_t setUserName(const QString& entry, const QString& userName) override;
    uint32_t setPassword(const QString& entry, const QString& password) override;
    uint32_t dial(const DialParams& params, uint32_t& handle, const Progress& progress) override;
    uint32_t dialAsync(const DialParams& params, uint32_t& handle, Notifier notifier) override;
    uint32_t hangUp(uint32_t handle) override;
    uint32_t listConnections(std::vector<ActiveConnection>& connections) override;
    uint32_t createEntryDialog() override;
    uint32_t editEntryDialog(const QString& entry) override;
    uint32_t renameEntry(const QString& entry, const QString& newName) override;
    uint32_t deleteEntry(const QString& entry) override;
    QString errorText(uint32_t code) override;

    using Settings = QMap<QString, QVariantMap>;

private:
    friend class NmDialWatch;
    struct Profile {
        QString path;
        QString uuid;
        QString name;
        QString type;
    };

    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args = {});
    QDBusMessage getProperty(const QString& path, const QString& interface, const QString& name);
    uint32_t profiles(std::vector<Profile>& out);
    uint32_t findProfile(const QString& name, Profile& out);
    uint32_t readSettings(const Profile& p, Settings& settings);
    uint32_t readSecrets(const Profile& p, const QString& setting, QVariantMap& secrets);
    uint32_t writeSettings(const Profile& p, const Settings& settings);
    uint32_t startDial(const QString& entry, uint32_t& handle, QString& activePath, NmDialWatch& watch);
    uint32_t runEditor(const QStringList& args);
    QString deviceInterface(const QString& devicePath);

    QDBusConnection bus_;
    QString editor_ = QStringLiteral("nm-connection-editor");
    int dialTimeoutMs_ = 120000;
    std::unique_ptr<NmDialWatch> asyncWatch_;
    std::map<uint32_t, uint32_t> failedHandles_;   // error of connections whose dial failed
    std::map<QString, QString> interfaces_;        // device object -> interface name (immutable)
};
