// Unit1Alert: what the alert window asks of the main window.
#include "app/Unit1.h"

#include "app/Application.h"

#include <QComboBox>

QString TForm1::ApplicationTitle() const
{
    return Application().Title;
}

void TForm1::OpenAccountMailbox(const QString& name)
{
    Guarded([this, name] {
        const int i = Accounts->FindAccount(name);
        if (i < 0)
            return;
        if (Mail->SessionOpenFor(name)) {
            // The session the check kept for this line: the list comes from it at once.
            Server->HostCombo->setCurrentIndex(i);
            Server->HostCombo->setEditText(Server->HostCombo->itemText(i));
            Mail->HandToUser();
            ShowSignedIn(Mail->Mailbox().Count(), TTabs::Follow);
        } else {
            Server->HostCombo->setCurrentIndex(i);
            Server->HostCombo->setEditText(Server->HostCombo->itemText(i));
            HostComboClick();
            ClosePopSession();
            if (!ConnectCurrentAccount(TTabs::Follow))
                return;
        }
        // The session was just opened: nothing to refresh.
        Messages->ListMessages(false);
        ShowMailboxTabs(true);
        ShowPage(List);
        if (!isVisible())
            show();
    });
}

void TForm1::OpenUsualMailProgram()
{
    Guarded([this] { Messages->Button4Click(); });
}
