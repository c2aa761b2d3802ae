// SecretStore: where the account passwords are kept when the desktop has a secret store (Secret
// Service through QtKeychain); without one the program keeps them in its own 0600 settings file.
#pragma once
#include <QString>
#include <map>
#include <memory>
#include <optional>

class SecretStore {
public:
    virtual ~SecretStore() = default;
    // Whether the store answers; false once an operation found no store to talk to.
    virtual bool Available() = 0;
    // The secret kept under key; nothing when none is kept or the store is not available.
    virtual std::optional<QString> Read(const QString& key) = 0;
    // Keeps the secret under key; false when the store did not take it.
    virtual bool Write(const QString& key, const QString& secret) = 0;
    // Forgets the secret under key (no secret there is not an error).
    virtual void Remove(const QString& key) = 0;
};

// The desktop's secret store through QtKeychain, entries of the service "Brevicor".
class KeychainStore : public SecretStore {
public:
    explicit KeychainStore(QString service = QStringLiteral("Brevicor"));
    bool Available() override;
    std::optional<QString> Read(const QString& key) override;
    bool Write(const QString& key, const QString& secret) override;
    void Remove(const QString& key) override;

private:
    QString service_;
    std::optional<bool> available_;
};

// The desktop's secret store (KeychainStore). Only the programs and modules that hold this function
// link QtKeychain and the desktop bus; the program loads them when it first needs a secret.
std::unique_ptr<SecretStore> NewDesktopSecretStore();

// An in-memory store for tests.
class MemorySecretStore : public SecretStore {
public:
    bool Present = true;
    std::map<QString, QString> Secrets;
    bool Available() override { return Present; }
    std::optional<QString> Read(const QString& key) override;
    bool Write(const QString& key, const QString& secret) override;
    void Remove(const QString& key) override { Secrets.erase(key); }
};
