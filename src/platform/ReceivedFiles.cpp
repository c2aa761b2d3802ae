// ReceivedFiles: where the files of received messages go, and opening them (or their folder) with
// the desktop's programs.
#include "platform/ReceivedFiles.h"

#include "platform/Launcher.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <stdexcept>

namespace {

// Types whose "default program" would run them: a file from a message is never started that way.
bool runsAsProgram(const QMimeType& type)
{
    static const char* const kPrograms[] = {
        "application/x-executable",       "application/x-sharedlib",       "application/x-pie-executable",
        "application/x-ms-dos-executable", "application/x-msdownload",      "application/x-msi",
        "application/vnd.microsoft.portable-executable", "application/x-java-archive",
        "application/x-java-jnlp-file",   "application/x-desktop",         "application/x-shellscript",
        "application/x-ms-shortcut",      "application/x-bat",             "application/x-appimage",
    };
    for (const char* name : kPrograms)
        if (type.inherits(QLatin1String(name)))
            return true;
    return false;
}

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

} // namespace

QString ReceivedFilesFolder(const QString& stored)
{
    const QFileInfo chosen(stored);
    if (!stored.isEmpty() && chosen.isDir() && chosen.isWritable())
        return QDir::cleanPath(chosen.absoluteFilePath());

    QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (downloads.isEmpty())
        downloads = QDir::homePath();
    const QString folder = QDir::cleanPath(downloads + QStringLiteral("/Brevicor"));
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isWritable())
        fail(QStringLiteral("Impossible de créer le dossier des pièces jointes : %1").arg(folder));
    return folder;
}

void OpenReceivedFile(Launcher& launcher, const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        fail(QStringLiteral("Le fichier « %1 » n'existe plus.").arg(path));

    QStringList types;
    if (info.isDir()) {
        types << QStringLiteral("inode/directory");
    } else {
        const QMimeType type = QMimeDatabase().mimeTypeForFile(info);
        if (runsAsProgram(type))
            fail(QStringLiteral("« %1 » est un programme : par prudence, il n'est pas ouvert depuis un message. "
                                "Il se trouve dans le dossier %2.")
                     .arg(info.fileName(), info.absolutePath()));
        // The type's own program, else the program of a type it is a kind of (a CSV file opens
        // with the text editor when no spreadsheet is associated).
        types << type.name() << type.allAncestors();
    }
    for (const QString& type : types) {
        const DefaultProgram program = launcher.DefaultProgramFor(type);
        if (!program.found())
            continue;
        const QStringList argv = ExpandDesktopExec(program.exec, QDir::cleanPath(info.absoluteFilePath()));
        if (argv.isEmpty() || !launcher.StartDetached(argv))
            fail(QStringLiteral("Le programme « %1 » n'a pas pu être démarré.").arg(program.exec));
        return;
    }
    fail(QStringLiteral("Aucun programme n'est associé à ce type de fichier : %1").arg(info.fileName()));
}
