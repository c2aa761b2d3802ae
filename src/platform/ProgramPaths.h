// ProgramPaths: where the program's files are: its own folder, its data folder, and the folder of
// its writable files.
#pragma once
#include <QString>

// In a build folder the program keeps everything beside its executable: help files, the default
// sound, the settings file and the chosen sound. Installed (the executable in <prefix>/bin and its
// data in <prefix>/share/brevicor), the read-only data is read from the data folder, and the
// writable files go to $XDG_CONFIG_HOME/brevicor/; they go there too when the program's folder is
// not writable.
struct ProgramPaths {
    QString programFile;  // full path of the executable
    QString programDir;   // folder of the executable, ending with '/'
    QString dataDir;      // folder of the read-only data (help, sounds, local page), ending with '/'
    QString configDir;    // folder of the writable files, ending with '/'

    // Paths of the running program.
    static ProgramPaths forRunningProgram();
    // Paths for a program file at the given place (tests use a temporary folder).
    static ProgramPaths forProgramFile(const QString& programFile);

    // Logs where the files are (QT_LOGGING_RULES="brevicor.paths.info=true"). The first use of a
    // logging category makes Qt look for its logging rules in several folders, a cost the
    // command-line check does not take.
    void logWhere() const;
    // The settings file: the program's base name with the extension ".ini", in configDir.
    QString iniPath() const;
    // The program runs from an installed tree: its data folder is not its own folder.
    bool installed() const { return dataDir != programDir; }
};
