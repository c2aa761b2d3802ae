// TPasswordCommand: runs an account's password command; its first output line is the password.
#include "platform/PasswordCommand.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <stdexcept>

namespace {

const char kPrefix[] = "La commande du mot de passe ";

// The first line of the command's error output, to say why it failed (at most 200 characters).
QString FirstErrorLine(QProcess& Process)
{
    const QByteArray err = Process.readAllStandardError();
    const qsizetype end = err.indexOf('\n');
    return QString::fromUtf8(end < 0 ? err : err.left(end)).trimmed().left(200);
}

} // namespace

TPasswordCommand::TPasswordCommand(QString CommandLine, int TimeLimitMs)
    : FCommandLine(std::move(CommandLine)), FTimeLimitMs(TimeLimitMs)
{
}

std::string TPasswordCommand::Run() const
{
    const QStringList words = QProcess::splitCommand(FCommandLine);
    if (words.isEmpty())
        throw std::runtime_error(std::string(kPrefix) + "est vide");

    QProcess process;
    process.setProgram(words.front());
    process.setArguments(words.mid(1));
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::SeparateChannels);

    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    bool startFailed = false;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError Error) {
        if (Error == QProcess::FailedToStart) {
            startFailed = true;
            loop.quit();
        }
    });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(FTimeLimitMs);
    process.start();
    if (process.state() != QProcess::NotRunning || !startFailed)
        loop.exec();

    if (startFailed)
        throw std::runtime_error(std::string(kPrefix) + "ne peut pas être lancée : " + words.front().toStdString());
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(2000);
        throw std::runtime_error(std::string(kPrefix) + "n'a pas répondu dans le délai de "
                                 + std::to_string((FTimeLimitMs + 999) / 1000) + " s");
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const QString why = FirstErrorLine(process);
        std::string text = std::string(kPrefix) + "a échoué";
        text += process.exitStatus() == QProcess::NormalExit ? " (code " + std::to_string(process.exitCode()) + ")"
                                                             : std::string(" (arrêt anormal)");
        if (!why.isEmpty())
            text += " : " + why.toStdString();
        throw std::runtime_error(text);
    }
    QByteArray out = process.readAllStandardOutput();
    const qsizetype end = out.indexOf('\n');
    if (end >= 0)
        out.truncate(end);
    if (out.endsWith('\r'))
        out.chop(1);
    if (out.isEmpty())
        throw std::runtime_error(std::string(kPrefix) + "n'a rien affiché");
    std::string line = out.toStdString();
    out.fill('\0');
    return line;
}
