// ProgramPaths: where the program's files are: its own folder, its data folder, and the folder of
// its writable files.
#include "platform/ProgramPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <unistd.h>

// The installed data folder seen from the installed executable's folder, set by the build from the
// install folders (by default "../share/brevicor").
#ifndef BREVICOR_DATA_FROM_BIN
#define BREVICOR_DATA_FROM_BIN "../share/brevicor"
#endif

// Where the program looks for its files; shown with QT_LOGGING_RULES="brevicor.paths.info=true".
Q_LOGGING_CATEGORY(lcPaths, "brevicor.paths", QtWarningMsg)

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

void ProgramPaths::logWhere() const
{
    qCInfo(lcPaths, "program: %s", qUtf8Printable(programFile));
    qCInfo(lcPaths, "data folder: %s", qUtf8Printable(dataDir));
    qCInfo(lcPaths, "settings file: %s", qUtf8Printable(iniPath()));
}

ProgramPaths ProgramPaths::forProgramFile(const QString& programFile)
{
    ProgramPaths p;
    const QFileInfo info(programFile);
    p.programFile = info.absoluteFilePath();
    p.programDir = withSeparator(info.absolutePath());
    const QFileInfo installedData(p.programDir + QStringLiteral(BREVICOR_DATA_FROM_BIN));
    p.dataDir = installedData.isDir() ? withSeparator(installedData.canonicalFilePath()) : p.programDir;
    // An installed program never writes beside itself, even when it could (run by root, or from a
    // prefix the user owns): its settings belong to the user who runs it.
    if (!p.installed() && writableFolder(p.programDir)) {
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
