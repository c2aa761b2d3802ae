// Unit1UiMailbox: the controls of the mailbox pages of TForm1: the message list, the reader and
// the compose page.
#include "app/SpinButton.h"
#include "app/StatusLine.h"
#include "app/Unit1.h"
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
