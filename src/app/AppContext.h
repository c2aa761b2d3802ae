// AppContext: the platform services and places the windows work with, chosen by main() or a test.
#pragma once
#include "platform/ProgramPaths.h"

class Dialogs;

struct AppContext {
    ProgramPaths paths;
    Dialogs* dialogs = nullptr;
};
