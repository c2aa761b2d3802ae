// main: the program entry.
#include "app/Startup.h"
#include "platform/Autostart.h"
#include "platform/Launcher.h"
#include "platform/ProgramPaths.h"
#include "platform/QtDialogs.h"
#include "platform/TextBrowserHelp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brevicor"));
    QtDialogs dialogs;
    DesktopLauncher launcher;
    XdgAutostart autostart;
    TextBrowserHelp help;
    AppContext context;
    context.paths = ProgramPaths::forRunningProgram();
    context.dialogs = &dialogs;
    context.launcher = &launcher;
    context.autostart = &autostart;
    context.help = &help;
    return RunProgram(context);
}
