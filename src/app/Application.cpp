// Application: program-wide state of the running application (title, help file) and the
// hourglass cursor.
#include "app/Application.h"

#include <QApplication>
#include <QCursor>

TApplicationInfo& Application()
{
    static TApplicationInfo info;
    return info;
}

namespace ScreenCursor {

namespace {
bool busy = false;
}

void Busy()
{
    if (busy)
        return;
    busy = true;
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void Normal()
{
    if (!busy)
        return;
    busy = false;
    QApplication::restoreOverrideCursor();
}

bool IsBusy() { return busy; }

} // namespace ScreenCursor
