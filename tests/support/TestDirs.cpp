// Temporary folders for tests and the paths of the project's test data.
#include "TestDirs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <stdexcept>

namespace testsupport {

QString testDataDir() { return QStringLiteral(BREVICOR_TESTDATA_DIR); }

std::string readFileBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString());
    const QByteArray all = f.readAll();
    return std::string(all.constData(), size_t(all.size()));
}

void writeFileBytes(const QString& path, const std::string& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || f.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()))
        throw std::runtime_error("cannot write " + path.toStdString());
}

QString TempFolder::copyProgram(const QString& Executable) const
{
    const QFileInfo program(Executable);
    const QString copy = file(program.fileName());
    if (!QFile::copy(Executable, copy))
        return QString();
    const QStringList modules = program.dir().entryList({QStringLiteral("libbrevicor_*.so")}, QDir::Files);
    for (const QString& module : modules)
        if (!QFile::copy(program.dir().filePath(module), file(module)))
            return QString();
    return modules.contains(QStringLiteral("libbrevicor_window.so")) ? copy : QString();
}

TempFolder::TempFolder()
{
    if (!dir_.isValid())
        throw std::runtime_error("cannot create a temporary folder");
    QFile::setPermissions(dir_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                           | QFileDevice::ReadGroup | QFileDevice::ExeGroup
                                           | QFileDevice::ReadOther | QFileDevice::ExeOther);
}

} // namespace testsupport
