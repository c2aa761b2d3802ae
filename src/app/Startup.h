// Startup: the program's start sequence and its four long-lived windows.
#pragma once
#include "app/AppContext.h"

#include <memory>

class THiddenForm;
class TAlert;
class TForm1;
class TAboutBox;
class SingleInstance;

struct TWindows {
    std::unique_ptr<THiddenForm> HiddenForm;
    std::unique_ptr<TAlert> Alert;
    std::unique_ptr<TForm1> Form1;
    std::unique_ptr<TAboutBox> AboutBox;
    TWindows();
    ~TWindows();
    TWindows(TWindows&&) noexcept;
    TWindows& operator=(TWindows&& other) noexcept;
    void reset();
};

// Creates the windows in their order: hidden window, alert window, main window (which loads the
// settings and may run a first check), About box.
TWindows CreateWindows(AppContext& context);

// The whole start sequence: hourglass, splash for two seconds, the windows, then the event loop
// until the hidden window closes. A later start of the program, told by instance, brings the main
// window forward. Returns the program's exit code.
int RunProgram(AppContext& context, SingleInstance* instance = nullptr);

// Shows the main window in front of the others (a second start of the program asked for it).
void BringForward(TWindows& windows);
