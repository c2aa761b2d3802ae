// Unit1: TForm1, the main window: its pages, the panels that do their work, the POP3 session the
// user opens by hand and the check run.
#pragma once
#include "alert/salert.h"
#include "app/AccountsPanel.h"
#include "app/AppContext.h"
#include "app/ComposePage.h"
#include "app/ComposePanel.h"
#include "app/ConnectionsPanel.h"
#include "app/HelpPanel.h"
#include "app/ListPage.h"
#include "app/MailController.h"
#include "app/MessagesPanel.h"
#include "app/NewsAnnouncer.h"
#include "app/ReaderPage.h"
#include "app/SchedulePage.h"
#include "app/ServerPage.h"

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

class IniProfile;
class QStatusBar;
class QTabWidget;
class QTimer;
class TDialUp;
class THiddenForm;
class TKTPOP3;
class TKTSMTP;
class TStatusLine;

class TForm1 : public QWidget, public TAlertHost, public TMailUser {
    Q_OBJECT
public:
    // Creates the window hidden and runs FormCreate: the dial-up entries are listed, every setting
    // is loaded, the alert sound chosen and, when asked, a first check is run.
    TForm1(AppContext& context, THiddenForm* hiddenForm, TAlert* alert);
    ~TForm1() override;

    // Size of the window on a first start (and the least it opens with): wide enough for the
    // five tabs and every button at their full text.
    static constexpr int DefaultWidth = 860;
    static constexpr int DefaultHeight = 500;

    QString ProgramDir; // folder of the program's data (help, sounds), ending with '/'
    QString IniPath;    // the settings file

    // ---- the pages, each with its own controls (named as in the form)
    QTabWidget* PageControl1 = nullptr;
    TServerPage* Server = nullptr;     // "Serveur"
    TListPage* List = nullptr;         // "Liste des messages"
    TReaderPage* Reader = nullptr;     // "Lecture des messages"
    TComposePage* Compose = nullptr;   // "Envoi d'un message"
    TSchedulePage* Schedule = nullptr; // "Connexions automatiques"
    QStatusBar* StatusBar1 = nullptr;
    QTimer* Timer1 = nullptr; // two-second line poll

    // ---- the mail work: sessions, checks, the dial-up line. The three components are its own.
    TMailController* Mail = nullptr;
    TKTPOP3* KTPOP31 = nullptr;
    TKTSMTP* KTSMTP1 = nullptr;
    TDialUp* DialUp = nullptr;

    // ---- the panels that do the pages' work
    std::unique_ptr<TConnectionsPanel> Connections; // the dial-up entries and the state of the line
    std::unique_ptr<TAccountsPanel> Accounts;       // the mail accounts: store, save, delete, add
    std::unique_ptr<TMessagesPanel> Messages;       // the message list and the reader
    std::unique_ptr<TComposePanel> Composer;        // the message being written, and sending it
    std::unique_ptr<THelpPanel> Help;               // help, About, home page, start with the session
    std::unique_ptr<TNewsAnnouncer> News;           // new mail told: alert lines, notices, tray mark, sound

    // ---- lifecycle and settings
    void FormCreate();
    void FormCloseQuery(bool& canClose);
    void FormClose();
    void Timer1Timer();
    void Button11Click(); // "Quitter Brevicor"
    void Button12Click(); // "Fermer la fenêtre"
    void SaveSettings();
    void LoadSettings();

    // ---- the session and the check run
    // What closing or opening the POP3 session does to the mailbox tabs: an operation that
    // reopens the session itself keeps them as they are.
    enum class TTabs { Follow, Keep };
    // The host list's choice: the session closes and the account chosen is shown.
    void HostComboClick();
    void Button1Click();
    // Connects the session to the account of the fields; true when it signed in.
    bool ConnectCurrentAccount(TTabs tabs);
    void Button2Click();
    void Button10Click();
    // A check run; ByHand: started by the user, so an empty mailbox is announced too.
    void CheckMail(bool ByHand = false);
    void ClosePopSession(TTabs tabs = TTabs::Follow);
    // A check run is talking to the servers (before its alert window).
    bool CheckRunning() const { return Mail->CheckRunning(); }
    // What the window shows once the session is closed.
    void ShowSessionClosed(TTabs tabs);
    // "Annuler", in the window and in the tray menu: stops the running check, or the POP3
    // session's running transfer, at once; the program is then ready for the next check.
    void CancelRunningOperation();
    // Opens the message list of the account of that name (the alert window, a notification).
    void OpenAccountMailbox(const QString& host) override;

    // ---- helpers shared by the handlers
    AppContext& Context() { return context_; }
    void SetStatusText(const QString& text);
    QString StatusText() const;
    void ShowMailboxTabs(bool visible);
    bool MailboxTabsVisible() const;
    void ShowPage(QWidget* page);
    // Runs an action started from the user interface: an exception that ends it is shown in an
    // error box, the way the event loop reports it.
    void Guarded(const std::function<void()>& action);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // What the alert window asks of the window.
    QString ApplicationTitle() const override;
    bool LineWasUpAtCheck() const override { return Connections->LineWasUp; }
    bool LineIsUp() const override { return Connections->LineUp; }
    bool ProbeLine() override { return Connections->ProbeLine(); }
    void HangUpLine() override { Connections->HangUpLine(); }
    void OpenUsualMailProgram() override;
    void AlertClosed() override { News->AlertClosed(); }
    // What the mail work asks: yes/no questions, the missing dial-up entry, a refused password.
    bool Confirm(const QString& question) override;
    void NoDialEntry() override { Connections->WarnNoDialUpEntry(); }
    QString NewPassword(const QString& question) override;

    void CreateControls();
    void CreateComponents();
    void ConnectPop3Events();
    void ConnectHandlers();
    void ConnectPageHandlers();
    IniProfile Profile() const;
    void UpdateCancelOffer(bool offered);
    // The visible effects of a session that signed in: message count, reader range, buttons,
    // status text, tabs; the account is saved.
    void ShowSignedIn(int count, TTabs tabs);

    AppContext& context_;
    THiddenForm* hiddenForm_;
    TAlert* alert_;
    TStatusLine* statusLine_ = nullptr;
};
