// NewsAnnouncer: TNewsAnnouncer, how the results of a check are told: a line per account in the
// alert window, a desktop notification per account with new mail, the mark on the tray icon until
// the user has looked, and the alert sound.
#pragma once
#include <QString>
#include <QStringList>
#include <functional>

class QObject;
class TAlert;
class THiddenForm;
class TMailController;
class TSchedulePage;
class TWAVPlayer;
struct AppContext;
struct ProgramPaths;
struct TAccountResult;
struct TCheckReport;

class TNewsAnnouncer {
public:
    // tray: carries the mark of the mail waiting; schedule: whether every result is told;
    // openAccount: what clicking a notification opens. The sound player is a child of owner.
    TNewsAnnouncer(AppContext& context, THiddenForm* tray, TAlert& alert, TMailController& mail,
                   TSchedulePage& schedule, std::function<void(const QString&)> openAccount, QObject* owner);

    // Folder of the remembered message ids of each account: mail is new when it is not there.
    static QString SeenMailFolder(const ProgramPaths& paths);

    // ---- the alert sound
    TWAVPlayer* WAVPlayer1 = nullptr;
    // The user's sound, else the program's, else none (a beep then).
    void SelectAlertSound();
    // "Son": the file chosen becomes the user's sound.
    void Button9Click();

    // ---- the mail waiting
    // New mail announced and not yet looked at; shown on the tray icon.
    int NewMailWaiting = 0;
    void SetNewMailWaiting(int count);
    // The user has looked at the results or the list: the tray icon is plain again.
    void MailSeen();
    // The alert window was closed: its lines are seen, and the session a check kept for them is
    // no longer needed.
    void AlertClosed();

    // ---- telling the results
    // An account's line in the alert window; ByHand: started by the user, so an empty mailbox
    // is told too.
    void ReportAccountResult(const TAccountResult& result, bool byHand);
    // What a check that found news does: notifications, the tray mark, the sound, the alert window.
    void AnnounceNews(const TCheckReport& report);
    // New mail push brought for one account, told as a scheduled check tells it.
    void AnnouncePushedMail(const TAccountResult& result);
    // Tells the desktop: a notification for the account (clicking it opens the account's list).
    void NotifyNewMail(const QString& host, int fresh, const QStringList& newest);

private:
    AppContext& context_;
    THiddenForm* tray_;
    TAlert& alert_;
    TMailController& mail_;
    TSchedulePage& schedule_;
    std::function<void(const QString&)> openAccount_;
};
