// TDialUp: the dial-up component (entries, dialing, state texts, active connections, credentials).
#include "dialup/DialUp.h"

#include <QThread>
#include <QTimer>
#include <stdexcept>

namespace {

// The component that started the last asynchronous dial: the notifier carries no user argument.
std::atomic<TDialUp*> DialingComponent{nullptr};

struct StateText {
    uint32_t state;
    const char* english;
    const char* czech;
};

const StateText kStateTexts[] = {
    {0, "Opening port", "Otevírá se port"},  // OpenPort
    {1, "Port opened", "Port otevřen"},  // PortOpened
    {2, "Connecting device", "Probíhá spojování"},  // ConnectDevice
    {3, "Device connected", "Navázáno spojení"},  // DeviceConnected
    {4, "All devices connected", "Všechna zařízení spojena"},  // AllDevicesConnected
    {5, "Start authenticating", "Začínají se ověřovat uživatelské informace"},  // Authenticate
    {6, "Authentication: notify", "Ověření: oznámení"},  // AuthNotify
    {7, "Authentication: retry", "Ověření: opakování"},  // AuthRetry
    {8, "Authentication: callback", "Ověření: zpětné volání"},  // AuthCallback
    {9, "Authentication: change password", "Ověření: změna hesla"},  // AuthChangePassword
    {10, "Authentication: projecting", "Ověření: návrh"},  // AuthProject
    {11, "Authentication: link speed", "Ověření: spojovací rychlost"},  // AuthLinkSpeed
    {12, "Authentication: acknowledge", "Ověření: potvrzení"},  // AuthAck
    {13, "Authentication: reauthenticate", "Ověření: znovuověření"},  // ReAuthenticate
    {14, "Authenticated", "Ověřeno"},  // Authenticated
    {15, "Preparing for callback", "Příprava na zpetné volání"},  // PrepareForCallback
    {16, "Waiting for modem reset", "Čeká se na reset modemu"},  // WaitForModemReset
    {17, "Waiting for callback", "Čeká se na zpětné volání"},  // WaitForCallback
    {18, "Projected", "Navrhnuto"},  // Projected
    {19, "Start authentication", "Ověřování uživatelských informací"},  // StartAuthentication
    {20, "Callback complete", "Zpetné volání hotovo"},  // CallbackComplete
    {21, "Logging on network", "Připojuje se na síť"},  // LogonNetwork
    {4096, "Interactive", "Interakce"},  // Interactive
    {4097, "Retry Authentication", "Opakování oveření"},  // RetryAuthentication
    {4098, "Callback set by caller", "Zpeětné volání zvoleno uživatelem"},  // CallbackSetByCaller
    {4099, "Password expired", "Platnost hesla vypršela"},  // PasswordExpired
    {8192, "Connected", "Spojeno"},  // Connected
    {8193, "Disconnected", "Rozpojeno"},  // Disconnected
};

const char kReadParamsFailed[] = "GetEntryDialParams failed";

} // namespace

TDialUp::TDialUp(QObject* AOwner, std::unique_ptr<DialService> Service)
    : QObject(AOwner), FService(std::move(Service)), DeliveryTimer(new QTimer(this))
{
    DeliveryTimer->setInterval(1);
    connect(DeliveryTimer, &QTimer::timeout, this, &TDialUp::DeliverNotification);
}

TDialUp::~TDialUp()
{
    // A notifier still reporting (or waiting for the slot) must not find this component any more.
    TDialUp* self = this;
    DialingComponent.compare_exchange_strong(self, nullptr);
    FService.reset();
}

void TDialUp::SetService(std::unique_ptr<DialService> Service)
{
    FService = std::move(Service);
}

QString TDialUp::ErrorString(uint32_t Code)
{
    return FService ? FService->errorText(Code)
                    : DialService::standardErrorText(Code, DialTextLanguage::French);
}

uint32_t TDialUp::GetEntries()
{
    FEntries.clear();
    if (!FService)
        return DialError::ServiceUnavailable;
    QStringList names;
    if (uint32_t code = FService->listEntries(names))
        return code;
    for (const QString& name : names) {
        FEntries << name;
        if (OnEntryGet)
            OnEntryGet(this, name);
    }
    return 0;
}

uint32_t TDialUp::Dial()
{
    HangUp();   // the connection of the previous dial, if any; nothing waits for it to drop

    DialParams params;
    uint32_t code = FService ? FService->getDialParams(Entry, params) : DialError::ServiceUnavailable;
    if (code != 0) {
        if (OnError)
            OnError(this, code, QString::fromLatin1(kReadParamsFailed));
        return code;
    }

    FConnectionHandle = 0;
    uint32_t handle = 0;
    if (DialMode == dmSync) {
        if (OnDialing)
            OnDialing(this);
        code = FService->dial(params, handle, {});
        FConnectionHandle = handle;
        if (code == 0) {
            if (OnConnect)
                OnConnect(this);
        } else {
            if (FConnectionHandle != 0)
                FService->hangUp(FConnectionHandle);   // the partly made connection
            const QString text = ErrorString(code);
            if (OnNotConnected)
                OnNotConnected(this, code, text);
        }
    } else {
        DialingComponent = this;
        if (OnDialing)
            OnDialing(this);
        code = FService->dialAsync(params, handle, &TDialUp::DialNotifier);
        FConnectionHandle = handle;
        if (code != 0 && OnError)
            OnError(this, code, ErrorString(code));
    }
    return code;
}

uint32_t TDialUp::HangUp()
{
    return HangUpConnection(FConnectionHandle);
}

uint32_t TDialUp::HangUpConnection(uint32_t Handle)
{
    return FService ? FService->hangUp(Handle) : DialError::ServiceUnavailable;
}

uint32_t TDialUp::GetConnections()
{
    if (!FService)
        return DialError::ServiceUnavailable;
    std::vector<ActiveConnection> connections;
    if (uint32_t code = FService->listConnections(connections))
        return code;
    for (const ActiveConnection& c : connections) {
        const TRasConnStatus status{c.State, c.Error, c.DeviceType, c.DeviceName};
        const QString text = StatusText(c.State, c.Error);
        if (OnActiveConnection)
            OnActiveConnection(this, c.Handle, status, text, c.EntryName, c.DeviceType, c.DeviceName);
    }
    return 0;
}

uint32_t TDialUp::CreateEntry()
{
    return FService ? FService->createEntryDialog() : DialError::ServiceUnavailable;
}

uint32_t TDialUp::EditEntry()
{
    return FService ? FService->editEntryDialog(Entry) : DialError::ServiceUnavailable;
}

void TDialUp::LoadRasFunction(const QString& Name)
{
    // Looked up on every call: the service may have gone away since the last one.
    if (!FService || !FService->reachable())
        throw std::runtime_error("Error opening rasapi.dll");
    if (!FService->provides(Name))
        throw std::runtime_error("Function " + Name.toStdString() + " not found!");
}

uint32_t TDialUp::RenameEntry(const QString& NewName)
{
    LoadRasFunction(QStringLiteral("RasRenameEntry"));
    return FService->renameEntry(Entry, NewName);
}

uint32_t TDialUp::DeleteEntry()
{
    LoadRasFunction(QStringLiteral("RasDeleteEntry"));
    return FService->deleteEntry(Entry);
}

uint32_t TDialUp::GetUserName(QString& Value)
{
    DialParams params;
    const uint32_t code = FService ? FService->getDialParams(Entry, params) : DialError::ServiceUnavailable;
    if (code == 0)
        Value = params.UserName;
    return code;
}

uint32_t TDialUp::GetPassword(QString& Value)
{
    DialParams params;
    const uint32_t code = FService ? FService->getDialParams(Entry, params) : DialError::ServiceUnavailable;
    if (code == 0)
        Value = params.HasPassword ? params.Password : QString();
    return code;
}

uint32_t TDialUp::SetUserName(const QString& Value)
{
    return FService ? FService->setUserName(Entry, Value) : DialError::ServiceUnavailable;
}

uint32_t TDialUp::SetPassword(const QString& Value)
{
    return FService ? FService->setPassword(Entry, Value) : DialError::ServiceUnavailable;
}

QString TDialUp::StatusText(uint32_t State, uint32_t Error)
{
    if (Error != 0)
        return ErrorString(Error);
    for (const StateText& t : kStateTexts)
        if (t.state == State)
            return QString::fromUtf8(Language == Czech ? t.czech : t.english);
    return QString();
}

void TDialUp::Pend(uint32_t State, uint32_t Error)
{
    NotifiedState = State;
    NotifiedError = Error;
    NotificationPending = true;
}

void TDialUp::DialNotifier(uint32_t, uint32_t State, uint32_t Error)
{
    TDialUp* c = DialingComponent.load();
    if (!c)
        return;
    if (QThread::currentThread() == c->thread()) {
        if (c->NotificationPending || !c->Backlog.empty()) {
            c->Backlog.emplace_back(State, Error);
            return;
        }
        c->Pend(State, Error);
        c->DeliveryTimer->start();
        return;
    }
    // Another thread: wait until the user-interface thread has delivered the previous one.
    while (c->NotificationPending) {
        if (DialingComponent.load() != c)
            return;   // the component is being destroyed
        QThread::msleep(1);
    }
    c->Pend(State, Error);
    QMetaObject::invokeMethod(c->DeliveryTimer, qOverload<>(&QTimer::start), Qt::QueuedConnection);
}

void TDialUp::DeliverNotification()
{
    DeliveryTimer->stop();
    if (!NotificationPending)
        return;
    if (OnAsyncEvent) {
        const uint32_t state = NotifiedState;
        const uint32_t error = NotifiedError;
        OnAsyncEvent(this, state, error, StatusText(state, error));
    }
    if (!Backlog.empty()) {
        // The slot passes straight to the next one waiting on this thread.
        const auto [state, error] = Backlog.front();
        Backlog.pop_front();
        NotifiedState = state;
        NotifiedError = error;
        DeliveryTimer->start();
        return;
    }
    NotificationPending = false;
}
