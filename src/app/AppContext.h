// AppContext: the platform services and places the windows work with, chosen by main() or a test.
#pragma once
#include "platform/ProgramPaths.h"

#include <QDateTime>
#include <functional>
#include <memory>

class DialService;
class Dialogs;
class SoundOutput;
class Autostart;
class HelpViewer;
class Launcher;

struct AppContext {
    ProgramPaths paths;
    Dialogs* dialogs = nullptr;
    SoundOutput* sound = nullptr;
    // Makes the dial-up service the main window's dial-up component uses.
    std::function<std::unique_ptr<DialService>()> makeDialService;
    Launcher* launcher = nullptr;   // default programs (browser, mail program), detached starts
    Autostart* autostart = nullptr; // start with the desktop session
    HelpViewer* help = nullptr;     // the help window
    // The clock the scheduler reads; tests fix "now".
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
};
