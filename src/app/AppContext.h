// AppContext: the platform services and places the windows work with, chosen by main() or a test.
#pragma once
#include "platform/ProgramPaths.h"

#include <QDateTime>
#include <functional>

class Autostart;
class Dialogs;
class HelpViewer;
class Launcher;

struct AppContext {
    ProgramPaths paths;
    Dialogs* dialogs = nullptr;
    Launcher* launcher = nullptr;   // default programs (browser, mail program), detached starts
    Autostart* autostart = nullptr; // start with the desktop session
    HelpViewer* help = nullptr;     // the help window
    // The clock the scheduler reads; tests fix "now".
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
};
