// Unit1NewMail: the desktop notification that announces new mail, and the tray icon that shows
// it waits.
#include "app/Unit1.h"

#include "app/CheckRun.h"
#include "app/Main.h"
#include "platform/DesktopNotifications.h"

#include <QComboBox>
#include <QLineEdit>

void TForm1::NotifyNewMail(const QString& host, int fresh, const QStringList& newest)
{
    if (!context_.notifications || fresh <= 0)
        return;
    const QString summary = fresh == 1 ? QStringLiteral("Nouveau message sur %1").arg(host)
                                       : QStringLiteral("%1 nouveaux messages sur %2").arg(fresh).arg(host);
    context_.notifications->Notify(summary, newest.join(QLatin1Char('\n')), [this, host] {
        MailSeen();
        OpenAccountMailbox(host);
    });
}

void TForm1::SetNewMailWaiting(int count)
{
    NewMailWaiting = std::max(count, 0);
    hiddenForm_->SetNewMail(NewMailWaiting);
}

void TForm1::MailSeen()
{
    SetNewMailWaiting(0);
}

void TForm1::AlertClosed()
{
    MailSeen();
    // The session a check kept for the alert window's lines is no longer needed.
    Mail->ReleaseCheckSession();
}
