// Autostart: registers the program to start with the user's desktop session.
#include "platform/Autostart.h"

#include "platform/Launcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <stdexcept>

namespace {

// A desktop-entry string value: backslashes and control characters escaped.
QString escapeValue(const QString& value)
{
    QString out;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\': out += QStringLiteral("\\\\"); break;
        case '\n': out += QStringLiteral("\\n"); break;
        case '\t': out += QStringLiteral("\\t"); break;
        case '\r': out += QStringLiteral("\\r"); break;
        default: out += c; break;
        }
    }
    return out;
}

[[noreturn]] void fail(const char* format, const QString& name)
{
    throw std::runtime_error(QString::fromUtf8(format).arg(name).toStdString());
}

} // namespace

QString XdgAutostart::Folder() const
{
    if (!folder_.isEmpty())
        return folder_;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart");
}

QString XdgAutostart::EntryPath(const QString& name) const
{
    return Folder() + '/' + name + QStringLiteral(".desktop");
}

void XdgAutostart::Register(const QString& name, const QString& programFile)
{
    const QString folder = Folder();
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir())
        fail("Erreur de création de la clé %1", folder);

    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=%1\n"
                                        "Exec=%2\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(escapeValue(name), escapeValue(QuoteDesktopExecArgument(programFile)));
    QSaveFile file(EntryPath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit())
        fail("Erreur à définition des données pour '%1'", name);
}

void XdgAutostart::Unregister(const QString& name)
{
    const QString path = EntryPath(name);
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return;
    if (!QFile::remove(path))
        fail("Erreur de suppression de '%1'", name);
}
