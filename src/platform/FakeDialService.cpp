// An in-memory dial service for unit and UI tests, scripted by the test.
#include "platform/FakeDialService.h"

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>

namespace {

void pause(int ms)
{
    if (ms <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

FakeDialService::FakeDialService() = default;

FakeDialService::~FakeDialService() { waitForAsyncDial(); }

void FakeDialService::waitForAsyncDial()
{
    if (reporter_.joinable())
        reporter_.join();
}

FakeDialService::Entry* FakeDialService::find(const QString& name)
{
    auto it = std::find_if(Entries.begin(), Entries.end(), [&](const Entry& e) { return e.Name == name; });
    return it == Entries.end() ? nullptr : &*it;
}

bool FakeDialService::failing(const QString& operation, uint32_t& code)
{
    auto it = Failures.find(operation);
    if (it == Failures.end())
        return false;
    code = it->second;
    return true;
}

bool FakeDialService::provides(const QString& operation)
{
    return OffersRenameDelete
        && (operation == QLatin1String("RasRenameEntry") || operation == QLatin1String("RasDeleteEntry"));
}

uint32_t FakeDialService::listEntries(QStringList& names)
{
    Calls << QStringLiteral("listEntries");
    names.clear();
    uint32_t code;
    if (failing(QStringLiteral("listEntries"), code))
        return code;
    for (const Entry& e : Entries)
        names << e.Name;
    return 0;
}

uint32_t FakeDialService::getDialParams(const QString& entry, DialParams& params)
{
    Calls << QStringLiteral("getDialParams ") + entry;
    uint32_t code;
    if (failing(QStringLiteral("getDialParams"), code))
        return code;
    const Entry* e = find(entry);
    if (!e)
        return DialError::EntryNotFound;
    params.EntryName = e->Name;
    params.UserName = e->UserName;
    params.Password = e->Password;
    params.HasPassword = e->HasPassword;
    return 0;
}

uint32_t FakeDialService::setUserName(const QString& entry, const QString& userName)
{
    Calls << QStringLiteral("setUserName ") + entry + QLatin1Char(' ') + userName;
    uint32_t code;
    if (failing(QStringLiteral("setUserName"), code))
        return code;
    Entry* e = find(entry);
    if (!e)
        return DialError::EntryNotFound;
    e->UserName = userName;
    return 0;
}

uint32_t FakeDialService::setPassword(const QString& entry, const QString& password)
{
    Calls << QStringLiteral("setPassword ") + entry + QLatin1Char(' ') + password;
    uint32_t code;
    if (failing(QStringLiteral("setPassword"), code))
        return code;
    Entry* e = find(entry);
    if (!e)
        return DialError::EntryNotFound;
    e->Password = password;
    e->HasPassword = !password.isEmpty();
    return 0;
}

void FakeDialService::connected(const Entry& e, uint32_t handle)
{
    ActiveConnection c;
    c.Handle = handle;
    c.State = DialState::Connected;
    c.EntryName = e.Name;
    c.DeviceType = e.DeviceType;
    c.DeviceName = e.DeviceName;
    Active.push_back(c);
}

uint32_t FakeDialService::dial(const DialParams& params, uint32_t& handle, const Progress& progress)
{
    Calls << QStringLiteral("dial ") + params.EntryName;
    uint32_t code;
    if (failing(QStringLiteral("dial"), code))
        return code;
    const Entry* e = find(params.EntryName);
    if (!e)
        return DialError::EntryNotFound;
    const Entry script = *e;   // the entry may be renamed or deleted while the dial waits
    handle = NextHandle++;
    for (uint32_t state : script.Progress) {
        pause(script.StepDelayMs);
        if (progress)
            progress(state);
    }
    pause(script.StepDelayMs);
    if (script.DialResult != 0)
        return script.DialResult;
    connected(script, handle);
    if (progress)
        progress(DialState::Connected);
    return 0;
}

uint32_t FakeDialService::dialAsync(const DialParams& params, uint32_t& handle, Notifier notifier)
{
    Calls << QStringLiteral("dialAsync ") + params.EntryName;
    waitForAsyncDial();
    uint32_t code;
    if (failing(QStringLiteral("dialAsync"), code))
        return code;
    const Entry* e = find(params.EntryName);
    if (!e)
        return DialError::EntryNotFound;
    const Entry script = *e;
    handle = NextHandle++;
    const uint32_t h = handle;

    // The whole report: each progress state, then connected or the failure.
    std::vector<std::pair<uint32_t, uint32_t>> steps;
    for (uint32_t state : script.Progress)
        steps.emplace_back(state, 0);
    steps.emplace_back(script.DialResult ? DialState::Disconnected : DialState::Connected, script.DialResult);
    auto finish = [this, script, h] {
        if (script.DialResult == 0)
            connected(script, h);
    };

    if (AsyncOnThread) {
        reporter_ = std::thread([this, steps, notifier, finish, delay = script.StepDelayMs] {
            for (auto [state, error] : steps) {
                if (delay > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
                notifier(0, state, error);
            }
            QMetaObject::invokeMethod(&context_, finish, Qt::QueuedConnection);
        });
    } else {
        int at = 0;
        for (auto [state, error] : steps) {
            at += script.StepDelayMs;
            QTimer::singleShot(at, &context_, [notifier, state = state, error = error] { notifier(0, state, error); });
        }
        QTimer::singleShot(at, &context_, finish);
    }
    return 0;
}

uint32_t FakeDialService::hangUp(uint32_t handle)
{
    Calls << QStringLiteral("hangUp %1").arg(handle);
    uint32_t code;
    if (failing(QStringLiteral("hangUp"), code))
        return code;
    auto it = std::find_if(Active.begin(), Active.end(), [&](const ActiveConnection& c) { return c.Handle == handle; });
    if (handle == 0 || it == Active.end())
        return DialError::InvalidHandle;
    Active.erase(it);
    return 0;
}

uint32_t FakeDialService::listConnections(std::vector<ActiveConnection>& connections)
{
    Calls << QStringLiteral("listConnections");
    connections.clear();
    uint32_t code;
    if (failing(QStringLiteral("listConnections"), code))
        return code;
    connections = Active;
    return 0;
}

uint32_t FakeDialService::createEntryDialog()
{
    Calls << QStringLiteral("createEntryDialog");
    uint32_t code;
    if (failing(QStringLiteral("createEntryDialog"), code))
        return code;
    if (OnCreateDialog)
        OnCreateDialog();
    return 0;
}

uint32_t FakeDialService::editEntryDialog(const QString& entry)
{
    Calls << QStringLiteral("editEntryDialog ") + entry;
    uint32_t code;
    if (failing(QStringLiteral("editEntryDialog"), code))
        return code;
    return find(entry) ? 0 : DialError::EntryNotFound;
}

uint32_t FakeDialService::renameEntry(const QString& entry, const QString& newName)
{
    Calls << QStringLiteral("renameEntry ") + entry + QLatin1Char(' ') + newName;
    uint32_t code;
    if (failing(QStringLiteral("renameEntry"), code))
        return code;
    Entry* e = find(entry);
    if (!e)
        return DialError::EntryNotFound;
    if (newName.trimmed().isEmpty())
        return DialError::InvalidName;
    if (newName != entry && find(newName))
        return DialError::AlreadyExists;
    e->Name = newName;
    return 0;
}

uint32_t FakeDialService::deleteEntry(const QString& entry)
{
    Calls << QStringLiteral("deleteEntry ") + entry;
    uint32_t code;
    if (failing(QStringLiteral("deleteEntry"), code))
        return code;
    auto it = std::find_if(Entries.begin(), Entries.end(), [&](const Entry& e) { return e.Name == entry; });
    if (it == Entries.end())
        return DialError::EntryNotFound;
    Entries.erase(it);
    return 0;
}

QString FakeDialService::errorText(uint32_t code)
{
    auto it = ErrorTexts.find(code);
    return it != ErrorTexts.end() ? it->second : DialService::errorText(code);
}
