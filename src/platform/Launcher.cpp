// Launcher: finds the desktop's default program for a kind of document or address, and starts
// programs without waiting for them.
#include "platform/Launcher.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

// One argument of an Exec value and whether it was written between double quotes.
struct ExecToken {
    QString text;
    bool quoted = false;
};

// Splits an Exec value at unquoted blanks; inside double quotes a backslash escapes the next
// character.
QList<ExecToken> splitExec(const QString& exec)
{
    QList<ExecToken> tokens;
    ExecToken current;
    bool inToken = false;
    bool inQuotes = false;
    for (int i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (inQuotes) {
            if (c == '\\' && i + 1 < exec.size()) {
                current.text += exec.at(++i);
            } else if (c == '"') {
                inQuotes = false;
            } else {
                current.text += c;
            }
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (inToken)
                tokens << current;
            current = ExecToken();
            inToken = false;
        } else if (c == '"') {
            inQuotes = true;
            inToken = true;
            current.quoted = true;
        } else {
            current.text += c;
            inToken = true;
        }
    }
    if (inToken)
        tokens << current;
    return tokens;
}

// The field codes that stand for the files or addresses given to the program.
bool isTargetCode(QChar code)
{
    return code == 'u' || code == 'U' || code == 'f' || code == 'F';
}

} // namespace

QStringList ExpandDesktopExec(const QString& exec, const QString& argument)
{
    QStringList argv;
    bool placed = false;
    for (const ExecToken& token : splitExec(exec)) {
        QString out;
        bool onlyCodes = !token.quoted; // the argument is made of field codes only
        for (int i = 0; i < token.text.size(); ++i) {
            const QChar c = token.text.at(i);
            if (c != '%' || i + 1 >= token.text.size()) {
                out += c;
                onlyCodes = false;
                continue;
            }
            const QChar code = token.text.at(++i);
            if (code == '%') {
                out += '%';
                onlyCodes = false;
            } else if (isTargetCode(code) && !placed) {
                out += argument;
                placed = true;
            }
            // Every other field code (%i, %c, %k and the deprecated ones) is left out.
        }
        if (out.isEmpty() && onlyCodes)
            continue;
        argv << out;
    }
    if (!placed && !argument.isEmpty())
        argv << argument;
    return argv;
}

QString DesktopEntryExec(const QString& desktopFileText)
{
    bool inEntry = false;
    for (const QString& rawLine : desktopFileText.split('\n')) {
        const QString line = rawLine.trimmed();
        if (line.startsWith('[')) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inEntry || line.startsWith('#'))
            continue;
        const int eq = line.indexOf('=');
        if (eq < 0 || line.left(eq).trimmed() != QLatin1String("Exec"))
            continue;
        const QString raw = line.mid(eq + 1).trimmed();
        QString value;
        for (int i = 0; i < raw.size(); ++i) {
            const QChar c = raw.at(i);
            if (c != '\\' || i + 1 >= raw.size()) {
                value += c;
                continue;
            }
            const QChar e = raw.at(++i);
            switch (e.unicode()) {
            case 's': value += ' '; break;
            case 'n': value += '\n'; break;
            case 't': value += '\t'; break;
            case 'r': value += '\r'; break;
            case '\\': value += '\\'; break;
            default: value += '\\'; value += e; break;
            }
        }
        return value;
    }
    return QString();
}

QString QuoteDesktopExecArgument(const QString& argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString escaped = argument;
    escaped.replace('%', QStringLiteral("%%"));
    bool needsQuotes = escaped.isEmpty();
    for (const QChar c : escaped)
        needsQuotes = needsQuotes || reserved.contains(c);
    if (!needsQuotes)
        return escaped;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : escaped) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

namespace {

// A desktop id names a file relative to an applications folder with its '/' replaced by '-'
// ("kde4-foo.desktop" may be "kde4/foo.desktop").
QString resolveDesktopId(const QString& dir, const QString& id)
{
    const QString direct = dir + '/' + id;
    if (QFileInfo(direct).isFile())
        return direct;
    for (int dash = id.indexOf('-'); dash > 0; dash = id.indexOf('-', dash + 1)) {
        const QString sub = dir + '/' + id.left(dash);
        if (QFileInfo(sub).isDir()) {
            const QString found = resolveDesktopId(sub, id.mid(dash + 1));
            if (!found.isEmpty())
                return found;
        }
    }
    return QString();
}

} // namespace

QString DesktopLauncher::LocateDesktopEntry(const QString& desktopId)
{
    if (desktopId.isEmpty() || desktopId.contains('/'))
        return QString();
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)) {
        const QString found = resolveDesktopId(dir, desktopId);
        if (!found.isEmpty())
            return found;
    }
    return QString();
}

DefaultProgram DesktopLauncher::DefaultProgramFor(const QString& mimeType)
{
    DefaultProgram result;
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return result; // no way to ask the desktop: nothing is associated
    QProcess query;
    query.setProgram(xdgMime);
    query.setArguments({QStringLiteral("query"), QStringLiteral("default"), mimeType});
    query.setStandardInputFile(QProcess::nullDevice());
    query.start();
    if (!query.waitForStarted() || !query.waitForFinished(15000) || query.exitStatus() != QProcess::NormalExit) {
        query.kill();
        query.waitForFinished(1000);
        result.status = DefaultProgram::Status::OutOfResources;
        return result;
    }
    const QString answer = QString::fromLocal8Bit(query.readAllStandardOutput()).section('\n', 0, 0).trimmed();
    // The answer may list several entries; the first one is the desktop's choice.
    const QString desktopId = answer.section(';', 0, 0).trimmed();
    const QString entry = LocateDesktopEntry(desktopId);
    if (entry.isEmpty())
        return result;
    QFile file(entry);
    if (!file.open(QIODevice::ReadOnly))
        return result;
    result.exec = DesktopEntryExec(QString::fromUtf8(file.readAll()));
    if (!result.exec.trimmed().isEmpty())
        result.status = DefaultProgram::Status::Found;
    return result;
}

bool DesktopLauncher::StartDetached(const QStringList& argv)
{
    if (argv.isEmpty() || argv.first().isEmpty())
        return false;
    return QProcess::startDetached(argv.first(), argv.mid(1));
}
