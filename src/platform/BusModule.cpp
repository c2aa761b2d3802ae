// BusModule: what talks over the desktop bus (the secret store, NetworkManager, logind) as a module,
// for the program that loads the bus libraries only when it first needs one of them.
#include "platform/DialService.h"
#include "platform/SecretStore.h"
#include "platform/WakeEvents.h"

#include <QtGlobal>

extern "C" Q_DECL_EXPORT SecretStore* BrevicorNewSecretStore()
{
    return NewDesktopSecretStore().release();
}

extern "C" Q_DECL_EXPORT DialService* BrevicorNewDialService()
{
    return createDialService().release();
}

extern "C" Q_DECL_EXPORT TWakeEvents* BrevicorNewWakeWatcher()
{
    return NewWakeWatcher().release();
}
