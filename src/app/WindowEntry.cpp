// WindowEntry: the program with its windows, as the module the executable loads to open them.
#include "app/Startup.h"
#include "platform/Autostart.h"
#include "platform/DesktopNotifications.h"
#include "platform/DialService.h"
#include "platform/Launcher.h"
#include "platform/ProgramPaths.h"
#include "platform/QtDialogs.h"
#include "platform/SecretStore.h"
#include "platform/SingleInstance.h"
#include "platform/SoundOutput.h"
#include "platform/TextBrowserHelp.h"
#include "platform/Translations.h"

#include <QApplication>

extern "C" Q_DECL_EXPORT int BrevicorWindowMain(int argc, char** argv)
{
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
    context.paths.logWhere();
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
