// main: the program entry.
#include "app/Startup.h"
#include "platform/DialService.h"
#include "platform/ProgramPaths.h"
#include "platform/QtDialogs.h"
#include "platform/SoundOutput.h"
#include "platform/Autostart.h"
#include "platform/Launcher.h"
#include "platform/TextBrowserHelp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brevicor"));
    QtDialogs dialogs;
    const std::unique_ptr<SoundOutput> sound = CreateQtSoundOutput();
    DesktopLauncher launcher;
    XdgAutostart autostart;
    TextBrowserHelp help;
    AppContext context;
    context.paths = ProgramPaths::forRunningProgram();
    context.dialogs = &dialogs;
    context.sound = sound.get();
    context.makeDialService = [] { return createDialService(); };
    context.launcher = &launcher;
    context.autostart = &autostart;
    context.help = &help;
    return RunProgram(context);
}
