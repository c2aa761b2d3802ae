// main: the program entry.
#include "app/Startup.h"
#include "platform/DialService.h"
#include "platform/ProgramPaths.h"
#include "platform/QtDialogs.h"
#include "platform/SoundOutput.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brevicor"));
    QtDialogs dialogs;
    const std::unique_ptr<SoundOutput> sound = CreateQtSoundOutput();
    AppContext context;
    context.paths = ProgramPaths::forRunningProgram();
    context.dialogs = &dialogs;
    context.sound = sound.get();
    context.makeDialService = [] { return createDialService(); };
    return RunProgram(context);
}
