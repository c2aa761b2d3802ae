// CommandLineCheck: "brevicor --check [--all]": one check of the mail without any window, for
// scripts and status bars.
#pragma once
#include "platform/ProgramPaths.h"

#include <QStringList>
#include <cstdio>
#include <functional>
#include <memory>

class DialService;
class SecretStore;

// Exit codes of a check from the command line.
enum TCheckExit { ceMailWaits = 0, ceNoMail = 1, ceNotChecked = 2 };

// Checks the current account of the program's settings (with "--all", every account of its
// list), writes the result lines in French to Out, and returns: ceMailWaits when a mailbox holds
// messages, else ceNotChecked when a server could not be checked, else ceNoMail. Nothing is
// remembered as seen and nothing is asked: a certificate the account does not trust is refused.
int RunCommandLineCheck(const QStringList& Arguments, const ProgramPaths& Paths, std::unique_ptr<DialService> Dial,
                        SecretStore* Secrets, std::FILE* Out);
