// Unit1: TForm1's creation (its mail work and the panels of its pages), closing, the two-second
// line poll and shared helpers.
#include "app/Unit1.h"

#include "alert/salert.h"
#include "app/Application.h"
#include "app/Main.h"
#include "app/StatusLine.h"
#include "app/WireText.h"
#include "dialup/DialUp.h"
#include "mail/KTUUE.h"
#include "mail/KTimap.h"
#include "mail/KTpop3.h"
#include "mail/KTsmtp.h"
#include "platform/DialService.h"
#include "platform/Dialogs.h"
#include "platform/IniProfile.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

TForm1::TForm1(AppContext& context, THiddenForm* hiddenForm, TAlert* alert)
    : QWidget(nullptr), context_(context), hiddenForm_(hiddenForm), alert_(alert)
{
    CreateControls();
    CreateComponents();
    alert_->SetHost(this);
    ConnectHandlers();
    FormCreate();
}

TForm1::~TForm1()
{
    SetShowMessageHook(nullptr);
    // A session still open says goodbye while the window can still show it; nothing else starts.
    Timer1->stop();
    Schedule->Timer2->stop();
    try {
        Mail->Disconnect(Connections->LineUp);
    } catch (const std::exception&) {
        // The program ends: a server that does not answer its goodbye is left as it is.
    }
    // The mail work may report while it is torn down; the window no longer listens.
    Mail->OnSessionClosed = nullptr;
    Mail->OnBusyChanged = nullptr;
    Mail->OnPushMail = nullptr;
    Mail->OnPushProblem = nullptr;
    Mail->User = nullptr;
    KTPOP31->OnDisconnect = nullptr;
    KTPOP31->OnStatus = nullptr;
    Mail->Imap()->OnDisconnect = nullptr;
    Mail->Imap()->OnStatus = nullptr;
    KTSMTP1->OnDisconnect = nullptr;
    KTSMTP1->OnStatus = nullptr;
    delete Mail;
}

void TForm1::CreateComponents()
{
    std::unique_ptr<DialService> service = context_.makeDialService ? context_.makeDialService() : nullptr;
    Mail = new TMailController(std::move(service), context_.paths.iniPath(),
                               TNewsAnnouncer::SeenMailFolder(context_.paths), context_.secrets, this);
    Mail->Tokens().ProvidersPath = context_.paths.dataDir + QStringLiteral("providers.json");
    KTPOP31 = Mail->Pop3();
    KTSMTP1 = Mail->Smtp();
    DialUp = Mail->DialUp();
    ConnectPop3Events();
    Connections = std::make_unique<TConnectionsPanel>(context_, *DialUp, *Server, *PageControl1, *statusLine_);
    Accounts = std::make_unique<TAccountsPanel>(context_, *Server, *Mail, *statusLine_, *this);
    Messages = std::make_unique<TMessagesPanel>(context_, *Mail, *Server, *List, *Reader, *PageControl1, *statusLine_);
    Messages->Reconnect = [this] {
        ClosePopSession(TTabs::Keep);
        return ConnectCurrentAccount(TTabs::Keep);
    };
    Messages->OnSessionLost = [this] { ShowSessionClosed(TTabs::Follow); };
    Help = std::make_unique<THelpPanel>(context_, *Server);
    Composer = std::make_unique<TComposePanel>(context_, *Mail, *Compose, *Reader, *Server, *Accounts, *Connections,
                                               *PageControl1, *statusLine_);
    News = std::make_unique<TNewsAnnouncer>(context_, hiddenForm_, *alert_, *Mail, *Schedule,
                                            [this](const QString& host) { OpenAccountMailbox(host); }, this);

    // The decoder's notes about uuencoded parts are shown in a message box.
    SetShowMessageHook([this](const std::string& text) { context_.dialogs->Message(WireText(text)); });
}

IniProfile TForm1::Profile() const { return IniProfile(IniPath); }

void TForm1::FormCreate()
{
    ProgramDir = context_.paths.dataDir;
    Application().HelpFile = ProgramDir + QStringLiteral("BREVICOR.HLP");
    // The time fields always use ":" as their separator (see the input masks), whatever the
    // user's regional settings.
    Connections->EnumerateDialUpEntries();
    IniPath = context_.paths.iniPath();
    LoadSettings();
    ShowPage(Server);
    Server->Button2->setEnabled(false);
    ShowMailboxTabs(false);
    // The message list scrolls sideways over twice its width; Qt sizes the scroll range from the
    // lines themselves.
    const bool checkAtStart = Schedule->Start();
    News->SelectAlertSound();
    Accounts->TellWherePasswordsAre();
    // The IMAP accounts that wait for new mail wait from now on.
    Accounts->FollowListed();
    Timer1->start();
    if (checkAtStart)
        CheckMail();
}

void TForm1::FormCloseQuery(bool& canClose)
{
    KTSMTP1->Abort();
    canClose = true;
}

void TForm1::FormClose()
{
    SaveSettings();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    bool canClose = true;
    FormCloseQuery(canClose);
    if (!canClose) {
        event->ignore();
        return;
    }
    try {
        FormClose();
    } catch (const std::exception& e) {
        // The settings could not be saved: say so and keep the window open.
        context_.dialogs->ShowError(QString::fromUtf8(e.what()));
        event->ignore();
        return;
    }
    event->accept();
    // Without a notification area a hidden window could not be called back: closing it ends
    // the program, as "Quitter Brevicor" does (the settings are saved already).
    if (!context_.notificationArea())
        hiddenForm_->FormClose();
}

void TForm1::Button12Click()
{
    close();
}

void TForm1::Button11Click()
{
    hiddenForm_->Test31Click();
}

void TForm1::Timer1Timer()
{
    if (!Connections->ProbeLine())
        ClosePopSession();
    alert_->UpdateHangUpButton();
}

void TForm1::SetStatusText(const QString& text)
{
    if (statusLine_)
        statusLine_->setText(text);
}

QString TForm1::StatusText() const
{
    return statusLine_ ? statusLine_->text() : QString();
}

void TForm1::ShowMailboxTabs(bool visible)
{
    // Hiding the page on show would make the tab bar jump to the next visible page (the compose
    // page); the account page is where the user can reconnect.
    if (!visible && (PageControl1->currentWidget() == Reader || PageControl1->currentWidget() == List))
        PageControl1->setCurrentWidget(Server);
    PageControl1->setTabVisible(PageControl1->indexOf(Reader), visible);
    PageControl1->setTabVisible(PageControl1->indexOf(List), visible);
}

bool TForm1::MailboxTabsVisible() const
{
    return PageControl1->isTabVisible(PageControl1->indexOf(List))
           && PageControl1->isTabVisible(PageControl1->indexOf(Reader));
}

void TForm1::ShowPage(QWidget* page)
{
    PageControl1->setCurrentWidget(page);
}

void TForm1::Guarded(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::exception& e) {
        ScreenCursor::Normal();
        // A transfer ended by the user's own cancel: nothing went wrong.
        if (Mail->CancelRequested() && dynamic_cast<const EAbortError*>(&e))
            SetStatusText(QStringLiteral("Opération annulée"));
        else
            context_.dialogs->ShowError(QString::fromUtf8(e.what()));
    }
}
