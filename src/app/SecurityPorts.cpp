// SecurityPorts: the usual port of each security mode, and the port field rule when the mode changes.
#include "app/SecurityPorts.h"

int UsualPort(TService Service, TSecurity Security)
{
    if (Service == TService::Pop3)
        return Security == secTls ? 995 : 110;
    switch (Security) {
    case secTls:
        return 465;
    case secStartTls:
        return 587;
    case secNone:
        break;
    }
    return 25;
}

QString PortForSecurity(TService Service, const QString& Current, TSecurity Security)
{
    const QString typed = Current.trimmed();
    bool usual = typed.isEmpty();
    for (TSecurity mode : {secNone, secTls, secStartTls})
        usual = usual || typed == QString::number(UsualPort(Service, mode));
    return usual ? QString::number(UsualPort(Service, Security)) : Current;
}
