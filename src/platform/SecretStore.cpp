// SecretStore: the in-memory store.
#include "platform/SecretStore.h"

std::optional<QString> MemorySecretStore::Read(const QString& key)
{
    if (!Present)
        return std::nullopt;
    auto it = Secrets.find(key);
    if (it == Secrets.end())
        return std::nullopt;
    return it->second;
}

bool MemorySecretStore::Write(const QString& key, const QString& secret)
{
    if (!Present)
        return false;
    Secrets[key] = secret;
    return true;
}
