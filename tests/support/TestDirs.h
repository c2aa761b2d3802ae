// Temporary folders for tests and the paths of the project's test data.
#pragma once
#include <QString>
#include <QTemporaryDir>
#include <string>

namespace testsupport {

// Folder of the project's own test data (tests/data).
QString testDataDir();

// Reads a whole file as bytes; throws std::runtime_error when it cannot be read.
std::string readFileBytes(const QString& path);

// Writes bytes to a file, creating parent folders; throws on failure.
void writeFileBytes(const QString& path, const std::string& bytes);

// A private temporary folder that every user can traverse (servers that drop privileges
// must be able to reach files inside it).
class TempFolder {
public:
    TempFolder();
    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.filePath(name); }
    // Copies the program (Executable) and its modules beside it into this folder; returns
    // the copy of the program, or an empty string when a copy failed.
    QString copyProgram(const QString& Executable) const;
private:
    QTemporaryDir dir_;
};

} // namespace testsupport
