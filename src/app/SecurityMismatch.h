// SecurityMismatch: after a failed session, whether the server speaks TLS from the first byte or
// clear text on the account's port, when that is not what the account's security setting expects.
#pragma once
#include "app/Account.h"

#include <QString>

// What a server does on a port, found by listening for a greeting and then trying a TLS
// handshake (certificates are not examined: only the kind of talk matters here).
enum class TPortTalk { Clear, Tls, Unknown };
TPortTalk ProbePortTalk(const QString& Host, int Port, int LimitMs = 1500);

// The French explanation when the talk contradicts the security chosen; empty when it does not
// (or nothing could be learnt).
QString SecurityMismatchText(TSecurity Chosen, TPortTalk Talk, int Port);
