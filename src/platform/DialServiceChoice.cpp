// The choice of the dial service for this machine.
#include "platform/DialService.h"
#include "platform/IfaceDialService.h"
#include "platform/NmDialService.h"

#include <QDBusConnection>

std::unique_ptr<DialService> createDialService(const QDBusConnection& systemBus)
{
    if (NmDialService::answers(systemBus))
        return std::make_unique<NmDialService>(systemBus);
    return std::make_unique<IfaceDialService>();
}

std::unique_ptr<DialService> createDialService()
{
    return createDialService(QDBusConnection::systemBus());
}
