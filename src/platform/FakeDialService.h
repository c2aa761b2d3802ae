// An in-memory dial service for unit and UI tests, scripted by the test.
#pragma once
#include "platform/DialService.h"

#include <QObject>
#include <map>
#include <thread>

// Every field is the script: tests fill entries and active connections, make operations fail
// with a chosen code, and read the journal of calls afterwards.
class FakeDialService : public DialService {
public:
    struct Entry {
        QString Name;
        QString UserName;
        QString Password;
        bool HasPassword = false;
        QString DeviceType = QStringLiteral("modem");
        QString DeviceName = QStringLiteral("Fake modem");
        std::vector<uint32_t> Progress;  // states reported while dialing, in order
        uint32_t DialResult = 0;         // 0: the dial connects; else the error it ends with
        int StepDelayMs = 0;             // pause before each progress step and before the outcome
    };

    FakeDialService();
    ~FakeDialService() override;

    // --- script ---
    std::vector<Entry> Entries;
    std::vector<ActiveConnection> Active;
    // Operation name (as in the journal: "listEntries", "getDialParams", "setUserName",
    // "setPassword", "dial", "dialAsync", "hangUp", "listConnections", "createEntryDialog",
    // "editEntryDialog", "renameEntry", "deleteEntry") -> code it fails with.
    std::map<QString, uint32_t> Failures;
    bool Reachable = true;
    bool OffersRenameDelete = true;
    bool AsyncOnThread = false;                 // asynchronous dials report from another thread
    std::function<void()> OnCreateDialog;       // what the user does in the "new entry" dialog
    std::map<uint32_t, QString> ErrorTexts;     // texts that replace the common ones
    uint32_t NextHandle = 1;

    // --- what happened: one line per call, e.g. "dial Modem", "hangUp 3" ---
    QStringList Calls;

    Entry* find(const QString& name);
    void waitForAsyncDial();   // joins the reporting thread of the last asynchronous dial

    bool reachable() override { return Reachable; }
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

private:
    bool failing(const QString& operation, uint32_t& code);
    void connected(const Entry& e, uint32_t handle);

    QObject context_;        // receives the hand-over of asynchronous outcomes on the test's thread
    std::thread reporter_;
};
