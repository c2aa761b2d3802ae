// main: the program entry.
#include "app/Startup.h"
#include "platform/ProgramPaths.h"
#include "platform/QtDialogs.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brevicor"));
    QtDialogs dialogs;
    AppContext context;
    context.paths = ProgramPaths::forRunningProgram();
    context.dialogs = &dialogs;
    return RunProgram(context);
}
