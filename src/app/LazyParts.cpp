// LazyParts: the program's way to the parts that need a library a plain check does without. Each
// function here stands in for the one the part defines, and loads the part's module the first time
// it is called, so that a check over a clear connection with a stored password loads none of them.
// Linked into the executable alone, before the libraries, so that the parts' own definitions stay
// out of it.
#include "app/PartModules.h"
#include "mail/SaslEngine.h"
#include "net/TlsTransport.h"
#include "platform/DialService.h"
#include "platform/IfaceDialService.h"
#include "platform/SecretStore.h"
#include "platform/WakeEvents.h"
#include "setup/OAuth2.h"

#include <QtGlobal>
#include <stdexcept>
#include <unistd.h>

namespace {

template <typename T> T* NewFromModule(const char* Module, const char* Entry)
{
    return reinterpret_cast<T* (*)()>(PartModuleEntry(Module, Entry))();
}

// The desktop's secret store, loaded when a password is first looked for there (most checks find
// the password they need elsewhere, or not at all).
class TLazySecretStore final : public SecretStore {
public:
    bool Available() override { return Store().Available(); }
    std::optional<QString> Read(const QString& key) override { return Store().Read(key); }
    bool Write(const QString& key, const QString& secret) override { return Store().Write(key, secret); }
    void Remove(const QString& key) override { Store().Remove(key); }

private:
    SecretStore& Store()
    {
        if (!FStore)
            FStore.reset(NewFromModule<SecretStore>("bus", "BrevicorNewSecretStore"));
        return *FStore;
    }
    std::unique_ptr<SecretStore> FStore;
};

// Whether a system bus may be there to ask NetworkManager: its address is given, or its socket is
// at the usual place. Without one the choice is made at once, without loading the bus library.
bool SystemBusMayAnswer()
{
    return !qEnvironmentVariableIsEmpty("DBUS_SYSTEM_BUS_ADDRESS") || ::access("/run/dbus/system_bus_socket", F_OK) == 0
           || ::access("/var/run/dbus/system_bus_socket", F_OK) == 0;
}

} // namespace

std::unique_ptr<TTlsTransport> NewTlsTransport(int Socket, const std::string& Host, const std::string& CaFile)
{
    using TNew = TTlsTransport* (*)(int, const std::string&, const std::string&);
    TNew create = nullptr;
    try {
        create = reinterpret_cast<TNew>(PartModuleEntry("tls", "BrevicorNewTlsTransport"));
    } catch (const std::runtime_error& E) {
        throw ESockError(std::string("TLS indisponible : ") + E.what(), seTls);
    }
    return std::unique_ptr<TTlsTransport>(create(Socket, Host, CaFile));
}

std::unique_ptr<TSaslEngine> NewSaslEngine(const std::string& Mechanism, const std::string& User,
                                           const std::string& Secret)
{
    using TNew = TSaslEngine* (*)(const std::string&, const std::string&, const std::string&);
    const auto create = reinterpret_cast<TNew>(PartModuleEntry("sasl", "BrevicorNewSaslEngine"));
    return std::unique_ptr<TSaslEngine>(create(Mechanism, User, Secret));
}

std::unique_ptr<SecretStore> NewDesktopSecretStore()
{
    return std::make_unique<TLazySecretStore>();
}

std::unique_ptr<DialService> createDialService()
{
    if (!SystemBusMayAnswer())
        return std::make_unique<IfaceDialService>();
    return std::unique_ptr<DialService>(NewFromModule<DialService>("bus", "BrevicorNewDialService"));
}

std::unique_ptr<TWakeEvents> NewWakeWatcher()
{
    return std::unique_ptr<TWakeEvents>(NewFromModule<TWakeEvents>("bus", "BrevicorNewWakeWatcher"));
}

std::unique_ptr<TTokenSource> NewTokenSource(TSetupControl& Control, SecretStore& Secrets, const TOAuthProvider& Provider,
                                             const TOAuthClient& Client, const QString& Address)
{
    using TNew = TTokenSource* (*)(TSetupControl&, SecretStore&, const TOAuthProvider&, const TOAuthClient&,
                                   const QString&);
    const auto create = reinterpret_cast<TNew>(PartModuleEntry("web", "BrevicorNewTokenSource"));
    return std::unique_ptr<TTokenSource>(create(Control, Secrets, Provider, Client, Address));
}
