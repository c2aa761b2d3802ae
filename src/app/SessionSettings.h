// SessionSettings: an account's server, security and sign-in settings given to the POP3, IMAP and
// SMTP sessions.
#pragma once

#include "app/Account.h"

#include <functional>
#include <string>

class TAccountTokens;
class TKTIMAP;
class TKTPOP3;
class TKTSMTP;

// Runs the account's password command each time it is called (null without a command).
std::function<std::string()> PasswordSourceFor(const TAccount& Account);

// The POP3 session gets host, user, password (or command), security, sign-in method and trusted
// certificates. The port is left to the caller, who checks it. An account that signs in through
// the browser gets its access tokens from Tokens.
void ConfigureSession(TKTPOP3& Pop3, const TAccount& Account, TAccountTokens* Tokens = nullptr);
// The IMAP session gets the same (the port left to the caller as well).
void ConfigureSession(TKTIMAP& Imap, const TAccount& Account, TAccountTokens* Tokens = nullptr);

// The SMTP session gets the account's SMTP server (the POP3 host unless it has its own), port,
// security, sign-in and trusted certificates; HELO names the account's user as it always did.
// Raises std::runtime_error when the SMTP port is not a port number.
void ConfigureSession(TKTSMTP& Smtp, const TAccount& Account, TAccountTokens* Tokens = nullptr);
