// TPasswordCommand: runs an account's password command; its first output line is the password.
#pragma once

#include <QString>
#include <string>

// The command line is split into a program and its arguments the way a shell would split words
// (double quotes group words, nothing else is interpreted) and run without a shell. The event loop keeps
// running while it works. Failures raise std::runtime_error with a French text; the output
// itself never appears in one.
class TPasswordCommand {
public:
    static constexpr int DefaultTimeLimitMs = 30000;

    explicit TPasswordCommand(QString CommandLine, int TimeLimitMs = DefaultTimeLimitMs);

    // Runs the command once and returns its first output line, without its line end.
    std::string Run() const;

    const QString& CommandLine() const { return FCommandLine; }

private:
    QString FCommandLine;
    int FTimeLimitMs;
};
