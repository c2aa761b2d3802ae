// NewsAnnouncer: the lines of the alert window, the desktop notifications, the tray icon's mark
// of the mail waiting, and the alert sound.
#include "app/NewsAnnouncer.h"

#include "alert/Twav.h"
#include "alert/salert.h"
#include "app/AppContext.h"
#include "app/CheckRun.h"
#include "app/Main.h"
#include "app/MailController.h"
#include "app/SchedulePage.h"
#include "platform/DesktopNotifications.h"
#include "platform/Dialogs.h"
#include "platform/SoundOutput.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <algorithm>

TNewsAnnouncer::TNewsAnnouncer(AppContext& context, THiddenForm* tray, TAlert& alert, TMailController& mail,
                               TSchedulePage& schedule, std::function<void(const QString&)> openAccount,
                               QObject* owner)
    : context_(context), tray_(tray), alert_(alert), mail_(mail), schedule_(schedule),
      openAccount_(std::move(openAccount))
{
    WAVPlayer1 = new TWAVPlayer(*context_.sound, owner);
    WAVPlayer1->setObjectName(QStringLiteral("WAVPlayer1"));
}

QString TNewsAnnouncer::SeenMailFolder(const ProgramPaths& paths)
{
    return paths.configDir + QStringLiteral("nouveaux/");
}

void TNewsAnnouncer::SelectAlertSound()
{
    const QString chosen = context_.paths.configDir + QStringLiteral("automail.wav");
    const QString fallback = context_.paths.dataDir + QStringLiteral("default.wav");
    if (QFileInfo(chosen).isFile())
        WAVPlayer1->FileName = chosen;
    else if (QFileInfo(fallback).isFile())
        WAVPlayer1->FileName = fallback;
    else
        WAVPlayer1->FileName.clear();
}

void TNewsAnnouncer::Button9Click()
{
    OpenFileOptions options;
    options.title = QStringLiteral("Choix d'un fichier son");
    options.filter = QStringLiteral("Sons (*.wav)");
    options.defaultSuffix = QStringLiteral("wav");
    options.folder = context_.paths.dataDir;
    const QStringList files = context_.dialogs->OpenFiles(options);
    if (files.isEmpty())
        return;
    const QString target = context_.paths.configDir + QStringLiteral("automail.wav");
    if (QFileInfo(files.first()).absoluteFilePath() != QFileInfo(target).absoluteFilePath()) {
        QFile::remove(target);
        QFile::copy(files.first(), target);
    }
    SelectAlertSound();
}

void TNewsAnnouncer::NotifyNewMail(const QString& host, int fresh, const QStringList& newest)
{
    if (!context_.notifications || fresh <= 0)
        return;
    const QString summary = fresh == 1 ? QStringLiteral("Nouveau message sur %1").arg(host)
                                       : QStringLiteral("%1 nouveaux messages sur %2").arg(fresh).arg(host);
    context_.notifications->Notify(summary, newest.join(QLatin1Char('\n')), [this, host] {
        MailSeen();
        openAccount_(host);
    });
}

void TNewsAnnouncer::SetNewMailWaiting(int count)
{
    NewMailWaiting = std::max(count, 0);
    tray_->SetNewMail(NewMailWaiting);
}

void TNewsAnnouncer::MailSeen()
{
    SetNewMailWaiting(0);
}

void TNewsAnnouncer::AlertClosed()
{
    MailSeen();
    mail_.ReleaseCheckSession();
}

void TNewsAnnouncer::ReportAccountResult(const TAccountResult& result, bool byHand)
{
    const QString line = ResultLine(result, schedule_.CheckBox2->isChecked() || byHand);
    if (line.isEmpty())
        return;
    // The line knows its account: a double click opens that account's list.
    auto* item = new QListWidgetItem(line, alert_.ListBox);
    item->setData(TAlert::AccountRole, result.Account.Name());
}

void TNewsAnnouncer::AnnouncePushedMail(const TAccountResult& result)
{
    // A line of its own in the results already shown, or in a fresh list.
    if (!alert_.isVisible())
        alert_.ListBox->clear();
    ReportAccountResult(result, false);
    TCheckReport report;
    report.Results << result;
    report.Total = result.Count;
    report.Fresh = result.Fresh;
    report.Announce = true;
    AnnounceNews(report);
}

void TNewsAnnouncer::AnnounceNews(const TCheckReport& report)
{
    for (const TAccountResult& r : report.Results)
        if (r.Outcome == TCheckOutcome::Counted && r.Fresh > 0)
            NotifyNewMail(r.Account.Name(), r.Fresh, r.Newest);
    if (report.Fresh > 0)
        SetNewMailWaiting(NewMailWaiting + report.Fresh);

    // A cancelled run says only what it found.
    if (report.Cancelled && report.Total == 0)
        return;
    if (report.Announce) {
        if (WAVPlayer1->WAVCapable() && !WAVPlayer1->FileName.isEmpty())
            WAVPlayer1->Play();
        else
            context_.sound->Beep();
        if (!alert_.isVisible())
            alert_.ShowModal();
    } else {
        mail_.ReleaseCheckSession();
    }
}
