// main: the program entry. A check from the command line runs here with Qt Core alone; the windows
// are in a module loaded only to open them, so that the check does not pay for loading the desktop
// libraries.
#include "app/CommandLineCheck.h"
#include "platform/DialService.h"
#include "platform/ProgramPaths.h"
#include "platform/SecretStore.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

namespace {

// "brevicor --check [--all]": no window, no display needed, and no claim on the single running
// instance (it may run beside the program).
int checkFromCommandLine(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Brevicor"));
    KeychainStore secrets;
    QTextStream out(stdout);
    out.setEncoding(QStringConverter::Utf8);
    return RunCommandLineCheck(QCoreApplication::arguments(), ProgramPaths::forRunningProgram(), createDialService(),
                               &secrets, out);
}

// The folder of the running executable, with its final "/".
std::string programFolder()
{
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0)
        return "./";
    path.resize(std::size_t(n));
    return path.substr(0, path.rfind('/') + 1);
}

// Loads the window module (installed place first, then beside the program) and runs it.
int openWindows(int argc, char** argv)
{
    const std::string folder = programFolder();
    const std::string name = "libbrevicor_window.so";
    std::string errors;
    for (const std::string& path : {folder + BREVICOR_MODULE_FROM_BIN + "/" + name, folder + name}) {
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            errors += std::string("\n  ") + ::dlerror();
            continue;
        }
        using TEntry = int (*)(int, char**);
        if (const auto entry = reinterpret_cast<TEntry>(::dlsym(module, "BrevicorWindowMain")))
            return entry(argc, argv);
        errors += "\n  " + path + " : point d'entrée absent";
    }
    std::fprintf(stderr, "Brevicor : impossible de charger les fenêtres du programme.%s\n", errors.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--check")
            return checkFromCommandLine(argc, argv);
    return openWindows(argc, argv);
}
