// main: the program entry.
#include "app/CommandLineCheck.h"
#include "app/Startup.h"
#include "platform/DesktopNotifications.h"
#include "platform/DialService.h"
#include "platform/ProgramPaths.h"
#include "platform/QtDialogs.h"
#include "platform/SecretStore.h"
#include "platform/SoundOutput.h"
#include "platform/Autostart.h"
#include "platform/Launcher.h"
#include "platform/SingleInstance.h"
#include "platform/TextBrowserHelp.h"
#include "platform/Translations.h"

#include <QApplication>
#include <QCoreApplication>
#include <cstdio>

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

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (QByteArray(argv[i]) == "--check")
            return checkFromCommandLine(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brevicor"));
    // One program per user: a second start brings the running one forward and ends.
    SingleInstance instance;
    if (!instance.Claim())
        return 0;
    InstallFrenchQtTranslations(app);
    QtDialogs dialogs;
    const std::unique_ptr<SoundOutput> sound = CreateQtSoundOutput();
    DesktopLauncher launcher;
    XdgAutostart autostart;
    TextBrowserHelp help;
    DesktopNotifications notifications;
    KeychainStore secrets;
    AppContext context;
    context.paths = ProgramPaths::forRunningProgram();
    context.dialogs = &dialogs;
    context.sound = sound.get();
    context.makeDialService = [] { return createDialService(); };
    context.launcher = &launcher;
    context.autostart = &autostart;
    context.help = &help;
    context.notifications = &notifications;
    context.secrets = &secrets;
    return RunProgram(context, &instance);
}
