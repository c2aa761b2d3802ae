// The dial service for machines without NetworkManager: the up network interfaces, always connected.
#pragma once
#include "platform/DialService.h"

// Lists the machine's up network interfaces (loopback excepted) as entries that are always
// connected, so that a "is a line up?" check succeeds while one is up. Nothing can be dialed, hung
// up, created, edited, renamed or deleted: those operations are refused with NotSupported.
class IfaceDialService : public DialService {
public:
    bool reachable() override { return true; }
    bool provides(const QString&) override { return false; }

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
    struct Interface {
        QString name;
        uint32_t index = 0;
        QString type;
    };
    // The up interfaces of the calling thread's network namespace, ordered by name.
    static bool upInterfaces(std::vector<Interface>& out);
    bool exists(const QString& entry);
};
