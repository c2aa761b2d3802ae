// main: the program entry. A check from the command line runs here with Qt Core alone; the windows
// are in a module loaded only to open them, so that the check does not pay for loading the desktop
// libraries.
#include "app/CommandLineCheck.h"
#include "app/PartModules.h"
#include "platform/DialService.h"
#include "platform/ProgramPaths.h"
#include "platform/SecretStore.h"

#include <QCoreApplication>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace {

// "brevicor --check [--all]": no window, no display needed, and no claim on the single running
// instance (it may run beside the program).
int checkFromCommandLine(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Brevicor"));
    const std::unique_ptr<SecretStore> secrets = NewDesktopSecretStore();
    return RunCommandLineCheck(QCoreApplication::arguments(), ProgramPaths::forRunningProgram(),
                               createDialService(), secrets.get(), stdout);
}

// Loads the window module and runs it.
int openWindows(int argc, char** argv)
{
    try {
        using TEntry = int (*)(int, char**);
        return reinterpret_cast<TEntry>(PartModuleEntry("window", "BrevicorWindowMain"))(argc, argv);
    } catch (const std::runtime_error& E) {
        std::fprintf(stderr, "Brevicor : impossible de charger les fenêtres du programme.\n%s\n", E.what());
        return 2;
    }
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--check")
            return checkFromCommandLine(argc, argv);
    return openWindows(argc, argv);
}
