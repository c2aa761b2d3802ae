// Unit1Alert: the alert sound and what the alert window asks of the main window.
#include "app/Unit1.h"

#include "alert/Twav.h"
#include "app/Application.h"
#include "platform/Dialogs.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>

void TForm1::SelectAlertSound()
{
    const QString chosen = ConfigDir + QStringLiteral("automail.wav");
    const QString fallback = ProgramDir + QStringLiteral("default.wav");
    if (QFileInfo(chosen).isFile())
        WAVPlayer1->FileName = chosen;
    else if (QFileInfo(fallback).isFile())
        WAVPlayer1->FileName = fallback;
    else
        WAVPlayer1->FileName.clear();
}

void TForm1::Button9Click()
{
    OpenFileOptions options;
    options.title = QStringLiteral("Choix d'un fichier son");
    options.filter = QStringLiteral("Sons (*.wav)");
    options.defaultSuffix = QStringLiteral("wav");
    options.folder = ProgramDir;
    const QStringList files = context_.dialogs->OpenFiles(options);
    if (files.isEmpty())
        return;
    const QString target = ConfigDir + QStringLiteral("automail.wav");
    if (QFileInfo(files.first()).absoluteFilePath() != QFileInfo(target).absoluteFilePath()) {
        QFile::remove(target);
        QFile::copy(files.first(), target);
    }
    SelectAlertSound();
}

QString TForm1::ApplicationTitle() const
{
    return Application().Title;
}

void TForm1::OpenAccountMailbox(const QString& name)
{
    Guarded([this, name] {
        const int i = FindAccount(name);
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
        ListMessages(false);
        ShowMailboxTabs(true);
        ShowPage(List);
        if (!isVisible())
            show();
    });
}

void TForm1::OpenUsualMailProgram()
{
    Guarded([this] { Button4Click(); });
}
