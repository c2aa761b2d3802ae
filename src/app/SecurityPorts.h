// SecurityPorts: the usual port of each security mode, and the port field rule when the mode changes.
#pragma once

#include "net/SockSession.h"

#include <QString>

enum class TService { Pop3, Smtp };

// 110 / 995 / 110 for POP3; 25 / 465 / 587 for SMTP (none / SSL/TLS / STARTTLS).
int UsualPort(TService Service, TSecurity Security);

// The port field's text after the security mode becomes Security: the usual port of that mode
// when the field is empty or holds the usual port of a mode of the same service; a port the user
// typed is kept.
QString PortForSecurity(TService Service, const QString& Current, TSecurity Security);
