// SecurityPorts: the usual port of each security mode, and the port field rule when the mode changes.
#include "app/SecurityPorts.h"

int UsualPort(TService Service, TSecurity Security)
{
    if (Service == TService::Pop3)
        return Security == secTls ? 995 : 110;
    if (Service == TService::Imap)
        return Security == secTls ? 993 : 143;
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
    return PortForService(Service, Service, Current, Security);
}

QString PortForService(TService Was, TService Now, const QString& Current, TSecurity Security)
{
    const QString typed = Current.trimmed();
    bool usual = typed.isEmpty();
    for (TSecurity mode : {secNone, secTls, secStartTls})
        usual = usual || typed == QString::number(UsualPort(Was, mode));
    return usual ? QString::number(UsualPort(Now, Security)) : Current;
}
