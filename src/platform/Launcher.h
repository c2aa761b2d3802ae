// Launcher: finds the desktop's default program for a kind of document or address, and starts
// programs without waiting for them.
#pragma once
#include <QString>
#include <QStringList>

// The outcome of a look-up of the default program.
struct DefaultProgram {
    enum class Status {
        Found,          // exec holds the program's command line
        NotFound,       // no program is associated with that type
        OutOfResources, // the look-up itself could not be run
    };
    Status status = Status::NotFound;
    QString exec; // the desktop entry's Exec value, field codes included (e.g. "firefox %u")

    bool found() const { return status == Status::Found; }
};

class Launcher {
public:
    virtual ~Launcher() = default;

    // The default program of a MIME type ("text/html") or of an address scheme
    // ("x-scheme-handler/mailto").
    virtual DefaultProgram DefaultProgramFor(const QString& mimeType) = 0;
    // Starts a program (argv[0]) with its arguments and returns at once. False when it could not
    // be started.
    virtual bool StartDetached(const QStringList& argv) = 0;
};

// The command to run for a desktop entry's Exec value: the value split into arguments with the
// desktop-entry quoting rules, the address or file put in place of the first %u, %U, %f or %F
// (appended when there is none), the other field codes dropped. An empty argument is not passed.
QStringList ExpandDesktopExec(const QString& exec, const QString& argument);

// The Exec value of the [Desktop Entry] group of a desktop file's text, its escapes (\s, \n, \t,
// \r, \\) resolved; empty when there is none.
QString DesktopEntryExec(const QString& desktopFileText);

// Quotes one argument for an Exec value, when it needs quoting.
QString QuoteDesktopExecArgument(const QString& argument);

// The desktop's own associations, as `xdg-mime query default` reports them, and the programs'
// desktop entries from the XDG applications folders.
class DesktopLauncher : public Launcher {
public:
    DefaultProgram DefaultProgramFor(const QString& mimeType) override;
    bool StartDetached(const QStringList& argv) override;

    // The full path of a desktop entry known by its id ("firefox-esr.desktop"), looked for in
    // $XDG_DATA_HOME/applications and each $XDG_DATA_DIRS/applications; empty when none.
    static QString LocateDesktopEntry(const QString& desktopId);
};
