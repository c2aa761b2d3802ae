// AppContext: the platform services and places the windows work with, chosen by main() or a test.
#pragma once
#include "platform/ProgramPaths.h"

#include <QDateTime>
#include <functional>

class Dialogs;
class SoundOutput;

struct AppContext {
    ProgramPaths paths;
    Dialogs* dialogs = nullptr;
    SoundOutput* sound = nullptr;
    // The clock the scheduler reads; tests fix "now".
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
};
