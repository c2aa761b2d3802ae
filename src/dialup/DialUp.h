// TDialUp: the dial-up component (entries, dialing, state texts, active connections, credentials).
#pragma once
#include "platform/DialService.h"

#include <QObject>
#include <QStringList>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>

class QTimer;

enum TDialMode { dmAsync = 0, dmSync = 1 };
enum TLanguage { English = 0, Czech = 1 };

// State and error of an active connection, with its device.
struct TRasConnStatus {
    uint32_t State = 0;
    uint32_t Error = 0;
    QString DeviceType;
    QString DeviceName;
};

using TOnEntryGet = std::function<void(QObject* Sender, const QString& EntryName)>;
using TStandartEv = std::function<void(QObject* Sender)>;
using TOnNotConn = std::function<void(QObject* Sender, uint32_t ErrorCode, const QString& ErrorMessage)>;
using TOnAsyncEvent =
    std::function<void(QObject* Sender, uint32_t State, uint32_t Error, const QString& MessageText)>;
using TOnError = std::function<void(QObject* Sender, uint32_t ErrorCode, const QString& ErrorMessage)>;
using TOnActiveConn = std::function<void(QObject* Sender, uint32_t Handle, const TRasConnStatus& Status,
                                         const QString& StatusString, const QString& EntryName,
                                         const QString& DeviceType, const QString& DeviceName)>;

// A non-visual component over the dial service. Every operation returns the service's result
// code (0 = success) and reports through events; nothing raises except RenameEntry and
// DeleteEntry when the service cannot be reached or lacks the operation.
class TDialUp : public QObject {
    Q_OBJECT
public:
    // The service is owned by the component; without one, every operation fails with
    // DialError::ServiceUnavailable.
    explicit TDialUp(QObject* AOwner = nullptr, std::unique_ptr<DialService> Service = nullptr);
    ~TDialUp() override;

    DialService* Service() const { return FService.get(); }
    void SetService(std::unique_ptr<DialService> Service);

    // --- properties ---
    TDialMode DialMode = dmAsync;
    QString Entry;                  // the entry that Dial, EditEntry, RenameEntry, DeleteEntry
                                    // and the user name and password operations act on
    TLanguage Language = English;   // table of the state texts
    const QStringList& Entries() const { return FEntries; }   // names found by the last GetEntries
    uint32_t ConnectionHandle() const { return FConnectionHandle; }   // of the last Dial; 0 before

    // --- events (fired only when assigned) ---
    TOnEntryGet OnEntryGet;
    TStandartEv OnDialing;
    TStandartEv OnConnect;
    TOnNotConn OnNotConnected;
    TOnAsyncEvent OnAsyncEvent;
    TOnError OnError;
    TOnActiveConn OnActiveConnection;

    // --- operations ---
    uint32_t GetEntries();
    uint32_t Dial();
    uint32_t HangUp();
    uint32_t HangUpConnection(uint32_t Handle);
    uint32_t GetConnections();
    uint32_t CreateEntry();
    uint32_t EditEntry();
    uint32_t RenameEntry(const QString& NewName);
    uint32_t DeleteEntry();
    uint32_t GetUserName(QString& Value);
    uint32_t SetUserName(const QString& Value);
    uint32_t GetPassword(QString& Value);
    uint32_t SetPassword(const QString& Value);
    QString StatusText(uint32_t State, uint32_t Error);

    // Progress of an asynchronous dial, from the service (possibly on another thread). It finds
    // its component through the process-wide dialing component: one asynchronous dial at a time.
    static void DialNotifier(uint32_t Message, uint32_t State, uint32_t Error);

protected:
    // Tick of the delivery timer: hands the pending notification to OnAsyncEvent.
    virtual void DeliverNotification();

private:
    QString ErrorString(uint32_t Code);
    void LoadRasFunction(const QString& Name);
    void Pend(uint32_t State, uint32_t Error);

    std::unique_ptr<DialService> FService;
    QStringList FEntries;
    QTimer* DeliveryTimer;
    uint32_t FConnectionHandle = 0;
    // The single hand-over slot between the notifier and the user-interface thread.
    std::atomic<bool> NotificationPending{false};
    std::atomic<uint32_t> NotifiedError{0};
    std::atomic<uint32_t> NotifiedState{0};
    // Notifications reported on this component's own thread while the slot was taken (a
    // notifier on this thread cannot wait for the slot: only this thread frees it).
    std::deque<std::pair<uint32_t, uint32_t>> Backlog;
};
