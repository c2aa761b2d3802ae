// ProgramPaths: where the program's files are: its own folder, and the folder of its writable files.
#include "platform/ProgramPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <unistd.h>

namespace {

QString withSeparator(QString dir)
{
    if (!dir.endsWith('/'))
        dir += '/';
    return dir;
}

bool writableFolder(const QString& dir)
{
    return ::access(QFile::encodeName(dir).constData(), W_OK) == 0;
}

} // namespace

ProgramPaths ProgramPaths::forRunningProgram()
{
    return forProgramFile(QCoreApplication::applicationFilePath());
}

ProgramPaths ProgramPaths::forProgramFile(const QString& programFile)
{
    ProgramPaths p;
    const QFileInfo info(programFile);
    p.programFile = info.absoluteFilePath();
    p.programDir = withSeparator(info.absolutePath());
    if (writableFolder(p.programDir)) {
        p.configDir = p.programDir;
    } else {
        const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                               + QStringLiteral("/brevicor");
        QDir().mkpath(config);
        p.configDir = withSeparator(config);
    }
    return p;
}

QString ProgramPaths::iniPath() const
{
    return configDir + QFileInfo(programFile).completeBaseName() + QStringLiteral(".ini");
}
