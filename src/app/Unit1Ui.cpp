// Unit1Ui: builds the main window's pages and controls, and wires the controls to their handlers.
#include "app/SpinButton.h"
#include "app/StatusLine.h"
#include "app/Unit1.h"

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
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

template <typename W, typename... Args>
W* make(const char* name, QWidget* parent, Args&&... args)
{
    auto* w = new W(std::forward<Args>(args)..., parent);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel* label(const char* name, const QString& text, QWidget* parent)
{
    auto* l = make<QLabel>(name, parent, text);
    return l;
}


QPushButton* button(const char* name, const QString& caption, QWidget* parent)
{
    return make<QPushButton>(name, parent, caption);
}

// A button with a picture; its hint is kept as the "hint" property and shown as a tool tip only
// when asked.
QToolButton* glyphButton(const char* name, QStyle::StandardPixmap pixmap, const QString& hint, bool showHint,
                         QWidget* parent)
{
    auto* b = make<QToolButton>(name, parent);
    b->setIcon(QApplication::style()->standardIcon(pixmap));
    b->setProperty("hint", hint);
    if (showHint)
        b->setToolTip(hint);
    return b;
}

QToolButton* speedButton(const char* name, QStyle::StandardPixmap pixmap, const QString& caption, const QString& hint,
                         QWidget* parent)
{
    QToolButton* b = glyphButton(name, pixmap, hint, false, parent);
    b->setText(caption);
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    return b;
}

QComboBox* editableCombo(const char* name, QWidget* parent)
{
    auto* c = make<QComboBox>(name, parent);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    return c;
}

QLineEdit* timeField(const char* name, QWidget* parent)
{
    auto* e = make<QLineEdit>(name, parent);
    // Hours with an optional first digit, then minutes; ":" is always the separator.
    e->setInputMask(QStringLiteral("09:99; "));
    e->setMaxLength(5);
    e->setFixedWidth(50);
    return e;
}

// The security modes, in TSecurity order.
QStringList SecurityModes()
{
    return {QStringLiteral("Aucune"), QStringLiteral("SSL/TLS"), QStringLiteral("STARTTLS")};
}

// Places widgets left to right from x on one row, each at least as wide as its text needs, with
// a gap between them; returns the x after the last one.
int placeRow(int x, int y, int height, std::initializer_list<QWidget*> widgets, int gap = 4)
{
    for (QWidget* w : widgets) {
        const int width = std::max(w->width(), w->sizeHint().width());
        w->setGeometry(x, y, width, height);
        x += width + gap;
    }
    return x;
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
    PageControl1 = make<QTabWidget>("PageControl1", this);
    // Every tab shows its whole caption: the window is at least as wide as the tabs need.
    PageControl1->setElideMode(Qt::ElideNone);
    PageControl1->setUsesScrollButtons(false);
    layout->addWidget(PageControl1, 1);
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
    TabSheet4 = make<QWidget>("TabSheet4", nullptr);
    PageControl1->addTab(TabSheet1, QStringLiteral("Serveur"));
    PageControl1->addTab(TabSheet3, QStringLiteral("Liste des messages"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Lecture des messages"));
    PageControl1->addTab(TabSheet102, QStringLiteral("Envoi d'un message"));
    PageControl1->addTab(TabSheet4, QStringLiteral("Connexions automatiques"));

    CreateServerPage();
    CreateListPage();
    CreateReadPage();
    CreateComposePage();
    CreateSchedulerPage();

    Timer1 = make<QTimer>("Timer1", this);
    Timer1->setInterval(2000);
    Timer2 = make<QTimer>("Timer2", this);
    Timer2->setInterval(60000);

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
    a->addWidget(label("Label2", QStringLiteral("Port :"), account), 1, 0);
    a->addWidget(Edit2, 1, 1);
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

void TForm1::CreateListPage()
{
    QWidget* page = TabSheet3;
    Button5 = button("Button5", QStringLiteral("Lister"), page);
    Button5->resize(100, 26);
    Button4 = button("Button4", QStringLiteral("Ouvrir ma messagerie Internet \"habituelle\""), page);
    placeRow(8, 8, 26, {Button5, Button4}, 8);
    ListBox1 = make<QListWidget>("ListBox1", page);
    ListBox1->setGeometry(8, 42, 560, 240);
    ListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Every line has the height of one text line: the list lays out without measuring each one.
    ListBox1->setUniformItemSizes(true);
}

void TForm1::CreateReadPage()
{
    QWidget* page = TabSheet2;
    Label10 = make<QLabel>("Label10", page);
    // Wide enough for "Nb de messages : " and a five-digit count.
    Label10->resize(Label10->fontMetrics().horizontalAdvance(QStringLiteral("Nb de messages : 99999")) + 8, 26);
    Label5 = label("Label5", QStringLiteral("Message"), page);
    SpinEdit1 = make<QSpinBox>("SpinEdit1", page);
    SpinEdit1->resize(60, 26);
    SpinEdit1->setRange(1, 1);
    SpinEdit1->setValue(1);
    Button3 = button("Button3", QStringLiteral("Lire"), page);
    Button3->resize(70, 26);
    Button7 = button("Button7", QStringLiteral("Supprimer"), page);
    Button7->resize(84, 26);
    PrintBtn = glyphButton("PrintBtn", QStyle::SP_FileDialogDetailedView, QStringLiteral("Imprime le message courant"),
                           true, page);
    PrintBtn->resize(30, 26);
    Button8 = button("Button8", QStringLiteral("Répondre"), page);
    Button8->resize(90, 26);
    placeRow(8, 8, 26, {Label10, Label5, SpinEdit1, Button3, Button7, PrintBtn, Button8});

    struct Row { QLineEdit** field; const char* name; const char* labelName; QString caption; int top; int width; };
    const Row rows[] = {
        {&Edit6, "Edit6", "Label8", QStringLiteral("De : "), 40, 0},
        {&Edit7, "Edit7", "Label9", QStringLiteral("Objet : "), 64, 0},
        {&Edit8, "Edit8", "Label12", QStringLiteral("Taille : "), 88, 100},
        {&Edit9, "Edit9", "Label13", QStringLiteral("Message ID: "), 112, 0},
        {&ToEdit, "ToEdit", "ToLabel", QStringLiteral("À : "), 136, 0},
        {&CcEdit, "CcEdit", "CcLabel", QStringLiteral("Cc : "), 160, 0},
    };
    int fieldLeft = 90;
    for (const Row& r : rows)
        fieldLeft = std::max(fieldLeft, 8 + QFontMetrics(page->font()).horizontalAdvance(r.caption) + 8);
    for (const Row& r : rows) {
        QLabel* l = label(r.labelName, r.caption, page);
        l->setGeometry(8, r.top + 2, fieldLeft - 8, 20);
        *r.field = make<QLineEdit>(r.name, page);
        (*r.field)->setReadOnly(true);
        (*r.field)->setGeometry(fieldLeft, r.top, r.width ? r.width : 470, 22);
    }

    // The date shares the size's row.
    label("DateLabel", QStringLiteral("Date : "), page)->setGeometry(200, 90, 50, 20);
    DateEdit = make<QLineEdit>("DateEdit", page);
    DateEdit->setReadOnly(true);
    DateEdit->setGeometry(250, 88, 310, 22);

    // The files written from the message: a double click opens one, the button their folder.
    label("FilesLabel", QStringLiteral("Fichiers : "), page)->setGeometry(8, 190, 82, 20);
    FilesList = make<QListWidget>("FilesList", page);
    FilesList->setGeometry(90, 184, 340, 28);
    FilesList->setFlow(QListView::LeftToRight);
    FilesList->setToolTip(QStringLiteral("Double-cliquez sur un fichier pour l'ouvrir"));
    FolderBtn = button("FolderBtn", QStringLiteral("Ouvrir le dossier"), page);
    FolderBtn->setGeometry(436, 185, 128, 26);
    FolderBtn->setEnabled(false);

    Panel2 = make<QWidget>("Panel2", page);
    Panel2->setGeometry(8, 218, 560, 150);
    auto* panelLayout = new QVBoxLayout(Panel2);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    Splitter1 = make<QSplitter>("Splitter1", Panel2, Qt::Vertical);
    Splitter1->setChildrenCollapsible(false);
    Memo2 = make<QPlainTextEdit>("Memo2", Splitter1);
    Memo2->setReadOnly(true);
    Memo2->setMinimumHeight(60);
    Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo2->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1 = make<QPlainTextEdit>("Memo1", Splitter1);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Splitter1->addWidget(Memo2);
    Splitter1->addWidget(Memo1);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    panelLayout->addWidget(Splitter1);
    connect(Splitter1, &QSplitter::splitterMoved, this, [this] { memo2Height_ = std::max(60, Splitter1->sizes().value(0)); });
}

void TForm1::CreateComposePage()
{
    QWidget* page = TabSheet102;
    Label110 = label("Label110", QStringLiteral("Pièces jointes"), page);
    Label110->setGeometry(8, 2, 200, 18);
    ListBox100 = make<QListWidget>("ListBox100", page);
    ListBox100->setGeometry(8, 20, 300, 58);
    Button104 = button("Button104", QStringLiteral("Ajouter"), page);
    Button105 = button("Button105", QStringLiteral("Supprimer"), page);
    const int addWidth = std::max({90, Button104->sizeHint().width(), Button105->sizeHint().width()});
    Button104->setGeometry(314, 20, addWidth, 26);
    Button105->setGeometry(314, 52, addWidth, 26);
    NewBtn = glyphButton("NewBtn", QStyle::SP_FileIcon, QStringLiteral("Nouveau message (efface tous les champs)"), true,
                         page);
    NewBtn->resize(30, 26);
    Button106 = button("Button106", QStringLiteral("Envoyer"), page);
    Button106->resize(110, 26);
    placeRow(314 + addWidth + 10, 20, 26, {NewBtn, Button106}, 8);

    Panel101 = make<QWidget>("Panel101", page);
    Panel101->setGeometry(8, 82, 560, 80);
    struct Rcpt { QComboBox** combo; QToolButton** trash; const char* name; const char* trashName; const char* labelName;
                  QString caption; int top; };
    const Rcpt rows[] = {
        {&ComboBox107, &Poubelle1, "ComboBox107", "Poubelle1", "Label107", QStringLiteral("À :"), 2},
        {&ComboBox108, &Poubelle2, "ComboBox108", "Poubelle2", "Label108", QStringLiteral("Cc : "), 28},
        {&ComboBox109, &Poubelle3, "ComboBox109", "Poubelle3", "Label109", QStringLiteral("Cci : "), 54},
    };
    for (const Rcpt& r : rows) {
        QLabel* l = label(r.labelName, r.caption, Panel101);
        l->setGeometry(4, r.top + 3, 50, 20);
        *r.combo = editableCombo(r.name, Panel101);
        (*r.combo)->setGeometry(60, r.top, 460, 24);
        *r.trash = glyphButton(r.trashName, QStyle::SP_TrashIcon, QStringLiteral("Supprime l'entrée courante"), true,
                               Panel101);
        (*r.trash)->setGeometry(530, r.top, 25, 24);
    }

    Panel104 = make<QWidget>("Panel104", page);
    Panel104->setGeometry(8, 164, 560, 54);
    Label6 = label("Label6", QStringLiteral("Expéditeur"), Panel104);
    Label6->setGeometry(4, 5, std::max(70, Label6->sizeHint().width()), 20);
    QLabel* l105 = label("Label105", QStringLiteral("Nom :"), Panel104);
    l105->setGeometry(Label6->geometry().right() + 6, 5, 60, 20);
    ComboBox105 = editableCombo("ComboBox105", Panel104);
    ComboBox105->setGeometry(l105->x() + 60, 2, 380, 24);
    Poubelle4 = glyphButton("Poubelle4", QStyle::SP_TrashIcon, QStringLiteral("Supprime l'entrée courante"), true,
                            Panel104);
    Poubelle4->setGeometry(530, 2, 25, 24);
    QLabel* l106 = label("Label106", QStringLiteral("E-Mail : "), Panel104);
    l106->setGeometry(l105->x(), 31, 60, 20);
    ComboBox106 = editableCombo("ComboBox106", Panel104);
    ComboBox106->setGeometry(l105->x() + 60, 28, 380, 24);
    Poubelle5 = glyphButton("Poubelle5", QStyle::SP_TrashIcon, QStringLiteral("Supprime l'entrée courante"), true,
                            Panel104);
    Poubelle5->setGeometry(530, 28, 25, 24);

    Panel102 = make<QWidget>("Panel102", page);
    Panel102->setGeometry(8, 220, 560, 28);
    QLabel* l111 = label("Label111", QStringLiteral("Objet :"), Panel102);
    l111->setGeometry(4, 5, 50, 20);
    Edit110 = make<QLineEdit>("Edit110", Panel102);
    Edit110->setGeometry(60, 2, 490, 24);

    Memo100 = make<QPlainTextEdit>("Memo100", page);
    Memo100->setGeometry(8, 252, 560, 40);
}

void TForm1::CreateSchedulerPage()
{
    QWidget* page = TabSheet4;
    auto* v = new QVBoxLayout(page);
    CheckBox1 = make<QCheckBox>("CheckBox1", page, QStringLiteral("Utiliser les connexions automatiques"));
    v->addWidget(CheckBox1);

    auto* modes = new QGridLayout;
    RadioButton1 = make<QRadioButton>("RadioButton1", page, QStringLiteral("Toutes les"));
    SpinEdit2 = make<QSpinBox>("SpinEdit2", page);
    SpinEdit2->setRange(5, 9999);
    SpinEdit2->setSingleStep(1);
    SpinEdit2->setValue(5);
    Label11 = label("Label11", QStringLiteral("minutes"), page);
    modes->addWidget(RadioButton1, 0, 0);
    modes->addWidget(SpinEdit2, 0, 1);
    modes->addWidget(Label11, 0, 2);

    RadioButton2 = make<QRadioButton>("RadioButton2", page, QStringLiteral("Tous les jours à"));
    Edit = timeField("Edit", page);
    HSpin = new TSpinButton(QStringLiteral("HSpin"), page);
    HSpin->setProperty("hint", QStringLiteral("Heure"));
    HSpin->setToolTip(QStringLiteral("Heure"));
    MSpin = new TSpinButton(QStringLiteral("MSpin"), page);
    MSpin->setProperty("hint", QStringLiteral("Minute"));
    MSpin->setToolTip(QStringLiteral("Minute"));
    auto* daily = new QHBoxLayout;
    daily->addWidget(HSpin);
    daily->addWidget(Edit);
    daily->addWidget(MSpin);
    daily->addStretch(1);
    modes->addWidget(RadioButton2, 1, 0);
    modes->addLayout(daily, 1, 1, 1, 3);

    RadioButton3 = make<QRadioButton>("RadioButton3", page, QStringLiteral("Tous les"));
    ComboBox2 = make<QComboBox>("ComboBox2", page);
    ComboBox2->addItems({QStringLiteral("Lundi"), QStringLiteral("Mardi"), QStringLiteral("Mercredi"),
                         QStringLiteral("Jeudi"), QStringLiteral("Vendredi"), QStringLiteral("Samedi"),
                         QStringLiteral("Dimanche")});
    Label15 = label("Label15", QStringLiteral("à"), page);
    EditH = timeField("EditH", page);
    HSpinH = new TSpinButton(QStringLiteral("HSpinH"), page);
    HSpinH->setProperty("hint", QStringLiteral("Heure"));
    HSpinH->setToolTip(QStringLiteral("Heure"));
    MSpinH = new TSpinButton(QStringLiteral("MSpinH"), page);
    MSpinH->setProperty("hint", QStringLiteral("Minute"));
    MSpinH->setToolTip(QStringLiteral("Minute"));
    auto* weekly = new QHBoxLayout;
    weekly->addWidget(ComboBox2);
    weekly->addWidget(Label15);
    weekly->addWidget(HSpinH);
    weekly->addWidget(EditH);
    weekly->addWidget(MSpinH);
    weekly->addStretch(1);
    modes->addWidget(RadioButton3, 2, 0);
    modes->addLayout(weekly, 2, 1, 1, 3);
    modes->setColumnStretch(3, 1);
    v->addLayout(modes);

    CheckBox2 = make<QCheckBox>("CheckBox2", page, QStringLiteral("Prévenir s'il n'y a aucun message"));
    CheckBox3 = make<QCheckBox>("CheckBox3", page, QStringLiteral("Connecter au démarrage"));
    CheckBox4 = make<QCheckBox>("CheckBox4", page, QStringLiteral("Ne vérifier que la messagerie courante"));
    v->addWidget(CheckBox2);
    v->addWidget(CheckBox3);
    v->addWidget(CheckBox4);
    Button9 = button("Button9", QStringLiteral("Son associé à la réception de messages..."), page);
    v->addWidget(Button9, 0, Qt::AlignLeft);
    v->addStretch(1);
}

void TForm1::ConnectHandlers()
{
    auto on = [this](auto* sender, auto signal, void (TForm1::*handler)()) {
        connect(sender, signal, this, [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    };
    on(HostCombo, qOverload<int>(&QComboBox::activated), &TForm1::HostComboClick);
    on(Button1, &QPushButton::clicked, &TForm1::Button1Click);
    on(Button2, &QPushButton::clicked, &TForm1::Button2Click);
    on(CreateBtn, &QPushButton::clicked, &TForm1::CreateBtnClick);
    on(Button13, &QPushButton::clicked, &TForm1::Button13Click);
    on(RenameBtn, &QPushButton::clicked, &TForm1::RenameBtnClick);
    on(UserBtn, &QPushButton::clicked, &TForm1::UserBtnClick);
    on(PWBtn, &QPushButton::clicked, &TForm1::PWBtnClick);
    on(Poubelle7, &QToolButton::clicked, &TForm1::Poubelle7Click);
    on(Poubelle6, &QToolButton::clicked, &TForm1::Poubelle6Click);
    on(SecurityCombo, qOverload<int>(&QComboBox::activated), &TForm1::SecurityComboChange);
    on(SmtpSecurityCombo, qOverload<int>(&QComboBox::activated), &TForm1::SmtpSecurityComboChange);
    on(SmtpSignInCombo, qOverload<int>(&QComboBox::currentIndexChanged), &TForm1::SmtpSignInComboChange);
    on(Button10, &QPushButton::clicked, &TForm1::Button10Click);
    on(CancelBtn, &QPushButton::clicked, &TForm1::CancelRunningOperation);
    on(Button11, &QPushButton::clicked, &TForm1::Button11Click);
    on(Button12, &QPushButton::clicked, &TForm1::Button12Click);
    on(WinStart, &QCheckBox::toggled, &TForm1::WinStartClick);
    on(Button9, &QPushButton::clicked, &TForm1::Button9Click);
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

    on(CheckBox1, &QCheckBox::toggled, &TForm1::CheckBox1Click);
    connect(RadioButton1, &QRadioButton::toggled, this, [this](bool on) { if (on) Guarded([this] { RadioButton1Click(); }); });
    connect(RadioButton2, &QRadioButton::toggled, this, [this](bool on) { if (on) Guarded([this] { RadioButton2Click(); }); });
    connect(RadioButton3, &QRadioButton::toggled, this, [this](bool on) { if (on) Guarded([this] { RadioButton3Click(); }); });
    on(SpinEdit2, &QSpinBox::textChanged, &TForm1::SpinEdit2Change);
    on(Edit, &QLineEdit::textChanged, &TForm1::EditChange);
    on(EditH, &QLineEdit::textChanged, &TForm1::EditHChange);
    on(ComboBox2, qOverload<int>(&QComboBox::currentIndexChanged), &TForm1::ComboBox2Change);
    on(HSpin, &TSpinButton::UpClick, &TForm1::HSpinUpClick);
    on(HSpin, &TSpinButton::DownClick, &TForm1::HSpinDownClick);
    on(MSpin, &TSpinButton::UpClick, &TForm1::MSpinUpClick);
    on(MSpin, &TSpinButton::DownClick, &TForm1::MSpinDownClick);
    on(HSpinH, &TSpinButton::UpClick, &TForm1::HSpinHUpClick);
    on(HSpinH, &TSpinButton::DownClick, &TForm1::HSpinHDownClick);
    on(MSpinH, &TSpinButton::UpClick, &TForm1::MSpinHUpClick);
    on(MSpinH, &TSpinButton::DownClick, &TForm1::MSpinHDownClick);

    on(Timer1, &QTimer::timeout, &TForm1::Timer1Timer);
    on(Timer2, &QTimer::timeout, &TForm1::Timer2Timer);
}
