// The dial service seam: what the dial-up component needs of the desktop's network connections.
#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QDBusConnection;

// Result codes of the dial service. 0 is success; the others keep the numbers a remote-access
// service traditionally gives the same situations, so error texts and logs stay familiar.
namespace DialError {
constexpr uint32_t Success = 0;
constexpr uint32_t ProgramNotFound = 2;        // the connection editor is not installed
constexpr uint32_t AccessDenied = 5;
constexpr uint32_t InvalidHandle = 6;          // hang-up of a connection that does not exist
constexpr uint32_t NotSupported = 50;
constexpr uint32_t InvalidName = 123;          // empty new name
constexpr uint32_t AlreadyExists = 183;        // rename onto the name of another entry
constexpr uint32_t EntryNotFound = 623;
constexpr uint32_t RemoteDisconnected = 629;
constexpr uint32_t UserDisconnected = 631;
constexpr uint32_t DeviceUnavailable = 633;
constexpr uint32_t Unknown = 635;
constexpr uint32_t DeviceError = 651;
constexpr uint32_t Disconnected = 668;
constexpr uint32_t LineBusy = 676;
constexpr uint32_t NoAnswer = 678;
constexpr uint32_t NoDialTone = 680;
constexpr uint32_t AuthenticationFailed = 691;
constexpr uint32_t ServiceUnavailable = 711;   // the network service cannot be reached
constexpr uint32_t Timeout = 718;
constexpr uint32_t IpConfigFailed = 720;
constexpr uint32_t DeviceNotFound = 797;
} // namespace DialError

// Connection states, numbered as the dial-up component's state tables expect.
namespace DialState {
constexpr uint32_t OpenPort = 0;
constexpr uint32_t ConnectDevice = 2;
constexpr uint32_t Authenticate = 5;
constexpr uint32_t AuthProject = 10;
constexpr uint32_t Projected = 18;
constexpr uint32_t LogonNetwork = 21;
constexpr uint32_t Connected = 8192;
constexpr uint32_t Disconnected = 8193;
} // namespace DialState

// What is stored for an entry and used to dial it.
struct DialParams {
    QString EntryName;
    QString UserName;
    QString Password;
    bool HasPassword = false;   // a password is stored for the entry
};

// One active (or activating) connection.
struct ActiveConnection {
    uint32_t Handle = 0;        // never 0 for a real connection
    uint32_t State = 0;         // DialState numbering
    uint32_t Error = 0;         // DialError code, 0 when the connection has not failed
    QString EntryName;
    QString DeviceType;
    QString DeviceName;
};

enum class DialTextLanguage { French, English };

class DialService {
public:
    // Progress of an asynchronous dial: may be called on another thread or later on the caller's
    // thread from its event loop, never from inside dialAsync itself. The message number is not used.
    using Notifier = void (*)(uint32_t message, uint32_t state, uint32_t error);
    // Progress of a synchronous dial, on the caller's thread.
    using Progress = std::function<void(uint32_t state)>;

    virtual ~DialService() = default;

    // False when the service behind the seam cannot be reached at all.
    virtual bool reachable() = 0;
    // Whether the optional operation ("RasRenameEntry", "RasDeleteEntry") is offered.
    virtual bool provides(const QString& operation) = 0;

    virtual uint32_t listEntries(QStringList& names) = 0;
    virtual uint32_t getDialParams(const QString& entry, DialParams& params) = 0;
    virtual uint32_t setUserName(const QString& entry, const QString& userName) = 0;
    virtual uint32_t setPassword(const QString& entry, const QString& password) = 0;

    // Dials and waits until the connection is up (0) or has failed (an error code). handle is set
    // as soon as the connection exists, so it may be set on failure too.
    virtual uint32_t dial(const DialParams& params, uint32_t& handle, const Progress& progress) = 0;
    // Starts a dial and returns at once; the outcome arrives through notifier.
    virtual uint32_t dialAsync(const DialParams& params, uint32_t& handle, Notifier notifier) = 0;
    virtual uint32_t hangUp(uint32_t handle) = 0;
    virtual uint32_t listConnections(std::vector<ActiveConnection>& connections) = 0;

    virtual uint32_t createEntryDialog() = 0;
    virtual uint32_t editEntryDialog(const QString& entry) = 0;
    virtual uint32_t renameEntry(const QString& entry, const QString& newName) = 0;
    virtual uint32_t deleteEntry(const QString& entry) = 0;

    virtual QString errorText(uint32_t code);

    void setTextLanguage(DialTextLanguage language) { textLanguage_ = language; }
    DialTextLanguage textLanguage() const { return textLanguage_; }

    // The common text of a code in the given language.
    static QString standardErrorText(uint32_t code, DialTextLanguage language);

private:
    DialTextLanguage textLanguage_ = DialTextLanguage::French;
};

// The service for this machine: NetworkManager when it answers on the system bus, else the
// machine's network interfaces.
std::unique_ptr<DialService> createDialService();
// The same choice made on a given bus (used with a private bus in tests).
std::unique_ptr<DialService> createDialService(const QDBusConnection& systemBus);
