// TSetupControl: the cancellable waits of the account set-up.
#include "setup/FoundAccount.h"
#include "setup/SetupNet.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

void TSetupControl::ThrowIfCanceled() const
{
    if (FCanceled)
        throw ESetupError(ESetupError::Canceled, QStringLiteral("Recherche annulée."));
}

bool TSetupControl::WaitFor(const std::function<bool()>& Done, int LimitMs) const
{
    const QDeadlineTimer deadline(LimitMs);
    for (;;) {
        ThrowIfCanceled();
        if (Done())
            return true;
        if (deadline.hasExpired())
            return false;
        // The program's wait step: a short sleep, then everything pending.
        QThread::msleep(2);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}
