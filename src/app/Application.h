// Application: program-wide state of the running application (title, help file) and the
// hourglass cursor.
#pragma once
#include <QString>

struct TApplicationInfo {
    QString Title = QStringLiteral("Brevicor");
    QString HelpFile = QStringLiteral("Brevicor.hlp");
};

// The one instance for the running program.
TApplicationInfo& Application();

// The screen cursor: the hourglass while an operation runs, the default otherwise. Setting the
// same state twice is harmless, like assigning a property.
namespace ScreenCursor {
void Busy();
void Normal();
bool IsBusy();
}

// Restores the default cursor when it goes out of scope.
class CursorGuard {
public:
    CursorGuard() { ScreenCursor::Busy(); }
    ~CursorGuard() { ScreenCursor::Normal(); }
    CursorGuard(const CursorGuard&) = delete;
    CursorGuard& operator=(const CursorGuard&) = delete;
};
