// Unit1Ui: builds the main window's pages and controls, and wires the controls to their handlers.
#include "app/SpinButton.h"
#include "app/StatusLine.h"
#include "app/Unit1.h"
#include "app/Main.h"
#include "app/PageWidgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QScrollArea>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The security modes, in TSecurity order.
QStringList SecurityModes()
{
    return {QStringLiteral("Aucune"), QStringLiteral("SSL/TLS"), QStringLiteral("STARTTLS")};
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

    TabSheet1 = make<QWidget>("TabSheet1", nullptr);
    TabSheet3 = make<QWidget>("TabSheet3", nullptr);
    TabSheet2 = make<QWidget>("TabSheet2", nullptr);
    TabSheet102 = make<QWidget>("TabSheet102", nullptr);
    Schedule = new TSchedulePage(context_.now);
    TabSheet4 = Schedule;
    PageControl1->addTab(TabSheet1, QStringLiteral("Serveur"));
    PageControl1->addTab(TabSheet3, QStringLiteral("Liste des messages"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Lecture des messages"));
    PageControl1->addTab(TabSheet102, QStringLiteral("Envoi d'un message"));
    PageControl1->addTab(TabSheet4, QStringLiteral("Connexions automatiques"));

    CreateServerPage();
    CreateListPage();
    CreateReadPage();
    CreateComposePage();

    Timer1 = make<QTimer>("Timer1", this);
    Timer1->setInterval(2000);

    // The pages with fixed rules for their controls lay them out when they are resized.
    TabSheet2->installEventFilter(this);
    TabSheet3->installEventFilter(this);
    TabSheet102->installEventFilter(this);
}

void TForm1::CreateServerPage()
{
    QWidget* page = TabSheet1;
    auto* grid = new QGridLayout(page);

    auto* account = new QGroupBox(QStringLiteral("Compte de messagerie"), page);
    auto* a = new QGridLayout(account);
    HostCombo = editableCombo("HostCombo", account);
    Edit2 = make<QLineEdit>("Edit2", account);
    Edit3 = make<QLineEdit>("Edit3", account);
    Edit4 = make<QLineEdit>("Edit4", account);
    Edit4->setEchoMode(QLineEdit::Password);
    Poubelle6 = glyphButton("Poubelle6", QStyle::SP_TrashIcon, QStringLiteral("Supprime l'entrée courante"), true,
                            account);
    a->addWidget(label("Label1", QStringLiteral("Messagerie :"), account), 0, 0);
    a->addWidget(HostCombo, 0, 1);
    a->addWidget(Poubelle6, 0, 2);
    a->addWidget(label("Label2", QStringLiteral("Protocole, port :"), account), 1, 0);
    // The protocol shares the port's row and its label: the page keeps its height and width.
    ProtocolCombo = make<QComboBox>("ProtocolCombo", account);
    ProtocolCombo->addItems({QStringLiteral("POP3"), QStringLiteral("IMAP")}); // in TProtocol order
    ProtocolCombo->setToolTip(QStringLiteral("IMAP : la boîte de réception (INBOX) et ses messages non lus"));
    auto* portRow = new QHBoxLayout;
    portRow->setContentsMargins(0, 0, 0, 0);
    portRow->addWidget(ProtocolCombo);
    portRow->addWidget(Edit2, 1);
    a->addLayout(portRow, 1, 1);
    a->addWidget(label("Label3", QStringLiteral("User ID :"), account), 2, 0);
    a->addWidget(Edit3, 2, 1);
    a->addWidget(label("Label4", QStringLiteral("Password :"), account), 3, 0);
    a->addWidget(Edit4, 3, 1);
    SecurityCombo = make<QComboBox>("SecurityCombo", account);
    SecurityCombo->addItems(SecurityModes());
    AuthCombo = make<QComboBox>("AuthCombo", account);
    AuthCombo->addItems({QStringLiteral("Mot de passe"), QStringLiteral("Automatique"), QStringLiteral("APOP"),
                         QStringLiteral("CRAM-MD5"), QStringLiteral("SCRAM-SHA-256"), QStringLiteral("SCRAM-SHA-1"),
                         QStringLiteral("OAuth 2 (jeton)")});
    PasswordCommandEdit = make<QLineEdit>("PasswordCommandEdit", account);
    PasswordCommandEdit->setToolTip(QStringLiteral(
        "Facultatif : commande dont la première ligne affichée sert de mot de passe ou de jeton OAuth 2 "
        "(lancée sans shell ; les guillemets doubles regroupent les mots)"));
    a->addWidget(label("SecurityLabel", QStringLiteral("Sécurité :"), account), 4, 0);
    a->addWidget(SecurityCombo, 4, 1);
    a->addWidget(label("AuthLabel", QStringLiteral("Authentification :"), account), 5, 0);
    a->addWidget(AuthCombo, 5, 1);
    a->addWidget(label("PasswordCommandLabel", QStringLiteral("Commande du mot de passe :"), account), 6, 0);
    a->addWidget(PasswordCommandEdit, 6, 1);
    a->setColumnStretch(1, 1);

    auto* sending = new QGroupBox(QStringLiteral("Envoi"), page);
    sending->setObjectName(QStringLiteral("SendingGroup"));
    auto* e = new QGridLayout(sending);
    SmtpHostEdit = make<QLineEdit>("SmtpHostEdit", sending);
    SmtpHostEdit->setPlaceholderText(QStringLiteral("serveur de réception"));
    SmtpPortEdit = make<QLineEdit>("SmtpPortEdit", sending);
    SmtpPortEdit->setText(QStringLiteral("25"));
    SmtpPortEdit->setMaximumWidth(60);
    SmtpSecurityCombo = make<QComboBox>("SmtpSecurityCombo", sending);
    SmtpSecurityCombo->addItems(SecurityModes());
    SmtpSignInCombo = make<QComboBox>("SmtpSignInCombo", sending);
    SmtpSignInCombo->addItems({QStringLiteral("Aucune"), QStringLiteral("Identique à la réception"),
                               QStringLiteral("Identifiant propre")});
    SmtpUserEdit = make<QLineEdit>("SmtpUserEdit", sending);
    SmtpPasswordEdit = make<QLineEdit>("SmtpPasswordEdit", sending);
    SmtpPasswordEdit->setEchoMode(QLineEdit::Password);
    SmtpUserEdit->setEnabled(false);
    SmtpPasswordEdit->setEnabled(false);
    e->addWidget(label("SmtpHostLabel", QStringLiteral("Serveur SMTP :"), sending), 0, 0);
    e->addWidget(SmtpHostEdit, 0, 1);
    e->addWidget(label("SmtpPortLabel", QStringLiteral("Port :"), sending), 0, 2);
    e->addWidget(SmtpPortEdit, 0, 3);
    e->addWidget(label("SmtpSecurityLabel", QStringLiteral("Sécurité :"), sending), 1, 0);
    e->addWidget(SmtpSecurityCombo, 1, 1, 1, 3);
    e->addWidget(label("SmtpSignInLabel", QStringLiteral("Identification :"), sending), 2, 0);
    e->addWidget(SmtpSignInCombo, 2, 1, 1, 3);
    e->addWidget(label("SmtpUserLabel", QStringLiteral("User ID :"), sending), 3, 0);
    e->addWidget(SmtpUserEdit, 3, 1, 1, 3);
    e->addWidget(label("SmtpPasswordLabel", QStringLiteral("Password :"), sending), 4, 0);
    e->addWidget(SmtpPasswordEdit, 4, 1, 1, 3);
    e->setColumnStretch(1, 1);

    auto* actions = new QVBoxLayout;
    Button1 = button("Button1", QStringLiteral("Connecter à POP3"), page);
    Button2 = button("Button2", QStringLiteral("Déconnecter de POP3"), page);
    Button10 = button("Button10", QStringLiteral("Aller voir maintenant"), page);
    CancelBtn = button("CancelBtn", QStringLiteral("Annuler"), page);
    CancelBtn->setEnabled(false);
    AddAccountBtn = button("AddAccountBtn", QStringLiteral("Ajouter un compte"), page);
    actions->addWidget(AddAccountBtn);
    actions->addWidget(Button1);
    actions->addWidget(Button2);
    actions->addWidget(Button10);
    actions->addWidget(CancelBtn);
    actions->addStretch(1);

    auto* dial = new QGroupBox(QStringLiteral("Connexion réseau"), page);
    auto* d = new QGridLayout(dial);
    Label7 = label("Label7", QStringLiteral("Connexion :"), dial);
    ComboBox1 = make<QComboBox>("ComboBox1", dial);
    Poubelle7 = glyphButton("Poubelle7", QStyle::SP_TrashIcon, QStringLiteral("Supprime la connexion courante"), true,
                            dial);
    Button13 = button("Button13", QStringLiteral("Propriétés"), dial);
    RenameBtn = button("RenameBtn", QStringLiteral("Renommer"), dial);
    CreateBtn = button("CreateBtn", QStringLiteral("Créer"), dial);
    UserBtn = button("UserBtn", QStringLiteral("Nom utilisateur"), dial);
    PWBtn = button("PWBtn", QStringLiteral("Mot de passe"), dial);
    d->addWidget(Label7, 0, 0);
    d->addWidget(ComboBox1, 0, 1, 1, 3);
    d->addWidget(Poubelle7, 0, 4);
    auto* dialButtons = new QHBoxLayout;
    for (QPushButton* b : {CreateBtn, Button13, RenameBtn, UserBtn, PWBtn})
        dialButtons->addWidget(b);
    d->addLayout(dialButtons, 1, 0, 1, 5);
    d->setColumnStretch(1, 1);

    auto* help = new QHBoxLayout;
    HelpBtn = speedButton("HelpBtn", QStyle::SP_DialogHelpButton, QStringLiteral("Aide"), QStringLiteral("Aide"), page);
    AboutBtn = speedButton("AboutBtn", QStyle::SP_MessageBoxInformation, QStringLiteral("A propos"),
                           QStringLiteral("A propos|"), page);
    KatalBtn = speedButton("KatalBtn", QStyle::SP_FileDialogContentsView, QStringLiteral("Du même auteur"),
                           QStringLiteral("Du même auteur"), page);
    WebBtn = speedButton("WebBtn", QStyle::SP_DriveNetIcon, QStringLiteral("Site Web"),
                         QStringLiteral("Connexion à mon site web"), page);
    for (QToolButton* b : {HelpBtn, AboutBtn, KatalBtn, WebBtn})
        help->addWidget(b);
    help->addStretch(1);

    auto* bottom = new QHBoxLayout;
    auto* checks = new QVBoxLayout;
    WinStart = make<QCheckBox>("WinStart", page, QStringLiteral("Démarrer avec la session"));
    ShowOnStart = make<QCheckBox>("ShowOnStart", page, QStringLiteral("Montrer la fenêtre au démarrage"));
    checks->addWidget(WinStart);
    checks->addWidget(ShowOnStart);
    bottom->addLayout(checks);
    bottom->addStretch(1);
    Button12 = button("Button12", QStringLiteral("Fermer la fenêtre"), page);
    Button11 = button("Button11", QStringLiteral("Quitter Brevicor"), page);
    bottom->addWidget(Button12, 0, Qt::AlignBottom);
    bottom->addWidget(Button11, 0, Qt::AlignBottom);

    auto* accountAndSending = new QHBoxLayout;
    accountAndSending->addWidget(account, 3);
    accountAndSending->addWidget(sending, 2);
    grid->addLayout(accountAndSending, 0, 0);
    grid->addLayout(actions, 0, 1);
    grid->addWidget(dial, 1, 0, 1, 2);
    grid->addLayout(help, 2, 0, 1, 2);
    grid->addLayout(bottom, 3, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(4, 1);
}

void TForm1::ConnectHandlers()
{
    auto on = [this](auto* sender, auto signal, void (TForm1::*handler)()) {
        connect(sender, signal, this, [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    };
    on(HostCombo, qOverload<int>(&QComboBox::activated), &TForm1::HostComboClick);
    WatchTyping();
    on(Button1, &QPushButton::clicked, &TForm1::Button1Click);
    on(AddAccountBtn, &QPushButton::clicked, &TForm1::AddAccountBtnClick);
    on(Button2, &QPushButton::clicked, &TForm1::Button2Click);
    on(CreateBtn, &QPushButton::clicked, &TForm1::CreateBtnClick);
    on(Button13, &QPushButton::clicked, &TForm1::Button13Click);
    on(RenameBtn, &QPushButton::clicked, &TForm1::RenameBtnClick);
    on(UserBtn, &QPushButton::clicked, &TForm1::UserBtnClick);
    on(PWBtn, &QPushButton::clicked, &TForm1::PWBtnClick);
    on(Poubelle7, &QToolButton::clicked, &TForm1::Poubelle7Click);
    on(Poubelle6, &QToolButton::clicked, &TForm1::Poubelle6Click);
    on(SecurityCombo, qOverload<int>(&QComboBox::activated), &TForm1::SecurityComboChange);
    on(ProtocolCombo, qOverload<int>(&QComboBox::activated), &TForm1::ProtocolComboChange);
    on(SmtpSecurityCombo, qOverload<int>(&QComboBox::activated), &TForm1::SmtpSecurityComboChange);
    on(SmtpSignInCombo, qOverload<int>(&QComboBox::currentIndexChanged), &TForm1::SmtpSignInComboChange);
    on(Button10, &QPushButton::clicked, &TForm1::Button10Click);
    on(CancelBtn, &QPushButton::clicked, &TForm1::CancelRunningOperation);
    on(Button11, &QPushButton::clicked, &TForm1::Button11Click);
    on(Button12, &QPushButton::clicked, &TForm1::Button12Click);
    on(WinStart, &QCheckBox::toggled, &TForm1::WinStartClick);
    on(Schedule->Button9, &QPushButton::clicked, &TForm1::Button9Click);
    on(HelpBtn, &QToolButton::clicked, &TForm1::HelpBtnClick);
    on(AboutBtn, &QToolButton::clicked, &TForm1::AboutBtnClick);
    on(KatalBtn, &QToolButton::clicked, &TForm1::KatalBtnClick);
    on(WebBtn, &QToolButton::clicked, &TForm1::WebBtnClick);

    on(Button5, &QPushButton::clicked, &TForm1::Button5Click);
    // The user looking at the message list has seen the new mail.
    on(Button5, &QPushButton::clicked, &TForm1::MailSeen);
    connect(PageControl1, &QTabWidget::tabBarClicked, this, [this](int index) {
        if (PageControl1->widget(index) == TabSheet3)
            MailSeen();
    });
    on(Button4, &QPushButton::clicked, &TForm1::Button4Click);
    on(ListBox1, &QListWidget::itemClicked, &TForm1::ListBox1Click);
    on(ListBox1, &QListWidget::itemDoubleClicked, &TForm1::ListBox1DblClick);
    // The Delete key in the list goes to ListBox1KeyDown (see eventFilter).
    ListBox1->installEventFilter(this);
    on(Button3, &QPushButton::clicked, &TForm1::Button3Click);
    on(Button7, &QPushButton::clicked, &TForm1::Button7Click);
    on(PrintBtn, &QToolButton::clicked, &TForm1::PrintBtnClick);
    on(Button8, &QPushButton::clicked, &TForm1::Button8Click);
    on(FilesList, &QListWidget::itemActivated, &TForm1::FilesListActivate);
    on(FolderBtn, &QPushButton::clicked, &TForm1::FolderBtnClick);
    on(Button104, &QPushButton::clicked, &TForm1::Button104Click);
    on(Button105, &QPushButton::clicked, &TForm1::Button105Click);
    on(ListBox100, &QListWidget::itemClicked, &TForm1::ListBox100Click);
    on(NewBtn, &QToolButton::clicked, &TForm1::NewBtnClick);
    on(Poubelle1, &QToolButton::clicked, &TForm1::Poubelle1Click);
    on(Poubelle2, &QToolButton::clicked, &TForm1::Poubelle2Click);
    on(Poubelle3, &QToolButton::clicked, &TForm1::Poubelle3Click);
    on(Poubelle4, &QToolButton::clicked, &TForm1::Poubelle4Click);
    on(Poubelle5, &QToolButton::clicked, &TForm1::Poubelle5Click);
    on(Button106, &QPushButton::clicked, &TForm1::Button106Click);

    // The schedule page runs its own controls; a check it asks for is reported here.
    Schedule->OnDue = [this] { CheckMail(); };
    Schedule->CheckRunning = [this] { return CheckRunning(); };
    Schedule->OnNextConnection = [this](const QString& title, const QString& tip) {
        setWindowTitle(title);
        hiddenForm_->SetToolTip(tip);
    };
    connect(Schedule->Timer2, &QTimer::timeout, this, [this] { Guarded([this] { Schedule->Timer2Timer(); }); });

    on(Timer1, &QTimer::timeout, &TForm1::Timer1Timer);
}
