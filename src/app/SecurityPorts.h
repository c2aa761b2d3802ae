// SecurityPorts: the usual port of each security mode, and the port field rule when the mode changes.
#pragma once

#include "net/SockSession.h"

#include <QString>

#include "app/Account.h"

enum class TService { Pop3, Smtp, Imap };

// The service an account's incoming server offers.
inline TService IncomingService(TProtocol Protocol) { return Protocol == TProtocol::Imap ? TService::Imap : TService::Pop3; }

// 110 / 995 / 110 for POP3; 25 / 465 / 587 for SMTP; 143 / 993 / 143 for IMAP (none / SSL/TLS /
// STARTTLS).
int UsualPort(TService Service, TSecurity Security);

// The port field's text after the security mode becomes Security: the usual port of that mode
// when the field is empty or holds the usual port of a mode of the same service; a port the user
// typed is kept.
QString PortForSecurity(TService Service, const QString& Current, TSecurity Security);
// The same when the service changes from Was to Now (another protocol): a usual port of Was gives
// way to the usual port of Now.
QString PortForService(TService Was, TService Now, const QString& Current, TSecurity Security);
