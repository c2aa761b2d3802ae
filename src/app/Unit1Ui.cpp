// Unit1Ui: assembles the main window from its pages and wires their controls to the handlers of
// the window and of its panels.
#include "app/AccountStore.h"
#include "app/Main.h"
#include "app/PageWidgets.h"
#include "app/StatusLine.h"
#include "app/Unit1.h"

#include <QCheckBox>
#include <QListWidget>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// Connects a control's signal to a handler of the window or of one of its panels; an exception
// that ends the handler is reported as the window's handlers report it.
template <class Sender, class Signal, class Object>
void wire(TForm1* form, Sender* sender, Signal signal, Object* object, void (Object::*handler)())
{
    QObject::connect(sender, signal, form, [form, object, handler] {
        form->Guarded([object, handler] { (object->*handler)(); });
    });
}

} // namespace

void TForm1::CreateControls()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Brevicor"));
    // System menu and maximize only: the window is never minimized.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    resize(DefaultWidth, DefaultHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // The pages scroll when the screen is too small for them (a large display scale).
    auto* scroll = make<QScrollArea>("PageScroll", this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    PageControl1 = make<QTabWidget>("PageControl1", nullptr);
    // Every tab shows its whole caption: the pages are at least as wide as the tabs need.
    PageControl1->setElideMode(Qt::ElideNone);
    PageControl1->setUsesScrollButtons(false);
    scroll->setWidget(PageControl1);
    layout->addWidget(scroll, 1);
    StatusBar1 = make<QStatusBar>("StatusBar1", this);
    StatusBar1->setSizeGripEnabled(false);
    statusLine_ = new TStatusLine(StatusBar1);
    statusLine_->setObjectName(QStringLiteral("StatusText"));
    StatusBar1->addWidget(statusLine_, 1);
    layout->addWidget(StatusBar1);

    Server = new TServerPage([this] { return Accounts->Store(); });
    List = new TListPage;
    Reader = new TReaderPage;
    Compose = new TComposePage;
    Schedule = new TSchedulePage(context_.now);
    PageControl1->addTab(Server, QStringLiteral("Serveur"));
    PageControl1->addTab(List, QStringLiteral("Liste des messages"));
    PageControl1->addTab(Reader, QStringLiteral("Lecture des messages"));
    PageControl1->addTab(Compose, QStringLiteral("Envoi d'un message"));
    PageControl1->addTab(Schedule, QStringLiteral("Connexions automatiques"));

    Timer1 = make<QTimer>("Timer1", this);
    Timer1->setInterval(2000);
}

void TForm1::ConnectHandlers()
{
    auto on = [this](auto* sender, auto signal, void (TForm1::*handler)()) { wire(this, sender, signal, this, handler); };
    // A page's own reaction to one of its controls, reported like the window's handlers.
    auto onPage = [this](auto* sender, auto signal, std::function<void()> action) {
        connect(sender, signal, this, [this, action] { Guarded(action); });
    };
    TServerPage* s = Server;
    on(s->HostCombo, qOverload<int>(&QComboBox::activated), &TForm1::HostComboClick);
    connect(s->HostCombo, &QComboBox::editTextChanged, this, [this](const QString& text) {
        if (!Server->Loading)
            Guarded([this, text] { Server->HostComboTextChange(text); });
    });
    onPage(s->SecurityCombo, qOverload<int>(&QComboBox::activated), [s] { s->SecurityComboChange(); });
    onPage(s->ProtocolCombo, qOverload<int>(&QComboBox::activated), [s] { s->ProtocolComboChange(); });
    onPage(s->SmtpSecurityCombo, qOverload<int>(&QComboBox::activated), [s] { s->SmtpSecurityComboChange(); });
    on(s->Button1, &QPushButton::clicked, &TForm1::Button1Click);
    wire(this, s->AddAccountBtn, &QPushButton::clicked, Accounts.get(), &TAccountsPanel::AddAccountBtnClick);
    on(s->Button2, &QPushButton::clicked, &TForm1::Button2Click);
    TConnectionsPanel* c = Connections.get();
    wire(this, s->CreateBtn, &QPushButton::clicked, c, &TConnectionsPanel::CreateBtnClick);
    wire(this, s->Button13, &QPushButton::clicked, c, &TConnectionsPanel::Button13Click);
    wire(this, s->RenameBtn, &QPushButton::clicked, c, &TConnectionsPanel::RenameBtnClick);
    wire(this, s->UserBtn, &QPushButton::clicked, c, &TConnectionsPanel::UserBtnClick);
    wire(this, s->PWBtn, &QPushButton::clicked, c, &TConnectionsPanel::PWBtnClick);
    wire(this, s->Poubelle7, &QToolButton::clicked, c, &TConnectionsPanel::Poubelle7Click);
    wire(this, s->Poubelle6, &QToolButton::clicked, Accounts.get(), &TAccountsPanel::Poubelle6Click);
    on(s->Button10, &QPushButton::clicked, &TForm1::Button10Click);
    on(s->CancelBtn, &QPushButton::clicked, &TForm1::CancelRunningOperation);
    on(s->Button11, &QPushButton::clicked, &TForm1::Button11Click);
    on(s->Button12, &QPushButton::clicked, &TForm1::Button12Click);
    THelpPanel* h = Help.get();
    wire(this, s->WinStart, &QCheckBox::toggled, h, &THelpPanel::WinStartClick);
    wire(this, s->HelpBtn, &QToolButton::clicked, h, &THelpPanel::HelpBtnClick);
    wire(this, s->AboutBtn, &QToolButton::clicked, h, &THelpPanel::AboutBtnClick);
    wire(this, s->KatalBtn, &QToolButton::clicked, h, &THelpPanel::KatalBtnClick);
    wire(this, s->WebBtn, &QToolButton::clicked, h, &THelpPanel::WebBtnClick);
    wire(this, Schedule->Button9, &QPushButton::clicked, News.get(), &TNewsAnnouncer::Button9Click);

    TMessagesPanel* m = Messages.get();
    wire(this, List->Button5, &QPushButton::clicked, m, &TMessagesPanel::Button5Click);
    // The user looking at the message list has seen the new mail.
    wire(this, List->Button5, &QPushButton::clicked, News.get(), &TNewsAnnouncer::MailSeen);
    connect(PageControl1, &QTabWidget::tabBarClicked, this, [this](int index) {
        if (PageControl1->widget(index) == List)
            News->MailSeen();
    });
    wire(this, List->Button4, &QPushButton::clicked, m, &TMessagesPanel::Button4Click);
    wire(this, List->ListBox1, &QListWidget::itemClicked, m, &TMessagesPanel::ListBox1Click);
    wire(this, List->ListBox1, &QListWidget::itemDoubleClicked, m, &TMessagesPanel::ListBox1DblClick);
    List->OnListKey = [this, m](int key) { Guarded([m, key] { m->ListBox1KeyDown(key); }); };
    ConnectPageHandlers();
    on(Timer1, &QTimer::timeout, &TForm1::Timer1Timer);
}

void TForm1::ConnectPageHandlers()
{
    TMessagesPanel* m = Messages.get();
    wire(this, Reader->Button3, &QPushButton::clicked, m, &TMessagesPanel::Button3Click);
    wire(this, Reader->Button7, &QPushButton::clicked, m, &TMessagesPanel::Button7Click);
    wire(this, Reader->PrintBtn, &QToolButton::clicked, m, &TMessagesPanel::PrintBtnClick);
    wire(this, Reader->FilesList, &QListWidget::itemActivated, m, &TMessagesPanel::FilesListActivate);
    wire(this, Reader->FolderBtn, &QPushButton::clicked, m, &TMessagesPanel::FolderBtnClick);

    TComposePage* c = Compose;
    TComposePanel* p = Composer.get();
    wire(this, Reader->Button8, &QPushButton::clicked, p, &TComposePanel::Button8Click);
    wire(this, c->Button104, &QPushButton::clicked, p, &TComposePanel::Button104Click);
    wire(this, c->Button105, &QPushButton::clicked, p, &TComposePanel::Button105Click);
    wire(this, c->ListBox100, &QListWidget::itemClicked, p, &TComposePanel::ListBox100Click);
    wire(this, c->NewBtn, &QToolButton::clicked, p, &TComposePanel::NewBtnClick);
    wire(this, c->Poubelle1, &QToolButton::clicked, p, &TComposePanel::Poubelle1Click);
    wire(this, c->Poubelle2, &QToolButton::clicked, p, &TComposePanel::Poubelle2Click);
    wire(this, c->Poubelle3, &QToolButton::clicked, p, &TComposePanel::Poubelle3Click);
    wire(this, c->Poubelle4, &QToolButton::clicked, p, &TComposePanel::Poubelle4Click);
    wire(this, c->Poubelle5, &QToolButton::clicked, p, &TComposePanel::Poubelle5Click);
    wire(this, c->Button106, &QPushButton::clicked, p, &TComposePanel::Button106Click);

    // The schedule page runs its own controls; a check it asks for is reported here.
    Schedule->OnDue = [this] { CheckMail(); };
    Schedule->CheckRunning = [this] { return CheckRunning(); };
    Schedule->OnNextConnection = [this](const QString& title, const QString& tip) {
        setWindowTitle(title);
        hiddenForm_->SetToolTip(tip);
    };
    connect(Schedule->Timer2, &QTimer::timeout, this, [this] { Guarded([this] { Schedule->Timer2Timer(); }); });
}
