// AppContext: the platform services and places the windows work with, chosen by main() or a test.
#pragma once
#include "platform/ProgramPaths.h"

#include <QDateTime>
#include <functional>
#include <memory>

class DialService;
class Dialogs;
class SoundOutput;

struct AppContext {
    ProgramPaths paths;
    Dialogs* dialogs = nullptr;
    SoundOutput* sound = nullptr;
    // Makes the dial-up service the main window's dial-up component uses.
    std::function<std::unique_ptr<DialService>()> makeDialService;
    // The clock the scheduler reads; tests fix "now".
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
};
