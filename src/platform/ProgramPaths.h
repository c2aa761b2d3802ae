// ProgramPaths: where the program's files are: its own folder, and the folder of its writable files.
#pragma once
#include <QString>

// The program keeps its settings file and its chosen sound beside its executable. When that folder
// is not writable (a system-wide install), those writable files go to $XDG_CONFIG_HOME/brevicor/
// instead, while read-only data (help files, the default sound) is still read from the program
// folder.
struct ProgramPaths {
    QString programFile;  // full path of the executable
    QString programDir;   // folder of the executable, ending with '/'
    QString configDir;    // folder of the writable files, ending with '/'

    // Paths of the running program.
    static ProgramPaths forRunningProgram();
    // Paths for a program file at the given place (tests use a temporary folder).
    static ProgramPaths forProgramFile(const QString& programFile);

    // The settings file: the program's base name with the extension ".ini", in configDir.
    QString iniPath() const;
};
