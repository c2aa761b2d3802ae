// AppContext: the platform services and places the windows work with, chosen by main() or a test.
#pragma once
#include "platform/ProgramPaths.h"

#include <QDateTime>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>

class DialService;
class Dialogs;
class SoundOutput;
class Autostart;
class HelpViewer;
class Launcher;
class DesktopNotifications;
class SecretStore;

struct AppContext {
    ProgramPaths paths;
    Dialogs* dialogs = nullptr;
    SoundOutput* sound = nullptr;
    // Makes the dial-up service the main window's dial-up component uses.
    std::function<std::unique_ptr<DialService>()> makeDialService;
    Launcher* launcher = nullptr;   // default programs (browser, mail program), detached starts
    Autostart* autostart = nullptr; // start with the desktop session
    HelpViewer* help = nullptr;     // the help window
    DesktopNotifications* notifications = nullptr; // the desktop's notification bubbles (may be absent)
    SecretStore* secrets = nullptr; // the desktop's secret store for passwords (none: the settings file)
    // The clock the scheduler reads; tests fix "now".
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
    // Whether the desktop has a notification area to hold the program's icon; without one the
    // main window is the only way back into the program.
    std::function<bool()> notificationArea = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
};
