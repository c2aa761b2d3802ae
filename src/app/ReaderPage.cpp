// ReaderPage: TReaderPage, the "Lecture des messages" page: the message chosen by number, its
// sender, subject, date and recipients, its header lines and body, the files it wrote, and the
// answer it prepares.
#include "app/ReaderPage.h"

#include "app/HtmlText.h"
#include "app/PageWidgets.h"
#include "mail/BodyText.h"
#include "mail/HeaderText.h"
#include "mail/KTpop3.h"

#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QSplitter>
#include <QVBoxLayout>

namespace {

// The lines of a memo as the user sees them (one per paragraph).
QStringList memoLines(const QPlainTextEdit* memo)
{
    if (memo->document()->isEmpty())
        return {};
    return memo->toPlainText().split('\n');
}

} // namespace

TReaderPage::TReaderPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheet2"));
    Label10 = make<QLabel>("Label10", this);
    // Wide enough for "Nb de messages : " and a five-digit count.
    Label10->resize(Label10->fontMetrics().horizontalAdvance(QStringLiteral("Nb de messages : 99999")) + 8, 26);
    Label5 = label("Label5", QStringLiteral("Message"), this);
    SpinEdit1 = make<QSpinBox>("SpinEdit1", this);
    SpinEdit1->resize(60, 26);
    SpinEdit1->setRange(1, 1);
    SpinEdit1->setValue(1);
    Button3 = button("Button3", QStringLiteral("Lire"), this);
    Button3->resize(70, 26);
    Button7 = button("Button7", QStringLiteral("Supprimer"), this);
    Button7->resize(84, 26);
    PrintBtn = glyphButton("PrintBtn", QStyle::SP_FileDialogDetailedView, QStringLiteral("Imprime le message courant"),
                           true, this);
    PrintBtn->resize(30, 26);
    Button8 = button("Button8", QStringLiteral("Répondre"), this);
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
        fieldLeft = std::max(fieldLeft, 8 + QFontMetrics(font()).horizontalAdvance(r.caption) + 8);
    for (const Row& r : rows) {
        QLabel* l = label(r.labelName, r.caption, this);
        l->setGeometry(8, r.top + 2, fieldLeft - 8, 20);
        *r.field = make<QLineEdit>(r.name, this);
        (*r.field)->setReadOnly(true);
        (*r.field)->setGeometry(fieldLeft, r.top, r.width ? r.width : 470, 22);
    }

    // The date shares the size's row.
    label("DateLabel", QStringLiteral("Date : "), this)->setGeometry(200, 90, 50, 20);
    DateEdit = make<QLineEdit>("DateEdit", this);
    DateEdit->setReadOnly(true);
    DateEdit->setGeometry(250, 88, 310, 22);

    // The files written from the message: a double click opens one, the button their folder.
    label("FilesLabel", QStringLiteral("Fichiers : "), this)->setGeometry(8, 190, 82, 20);
    FilesList = make<QListWidget>("FilesList", this);
    FilesList->setGeometry(90, 184, 340, 28);
    FilesList->setFlow(QListView::LeftToRight);
    FilesList->setToolTip(QStringLiteral("Double-cliquez sur un fichier pour l'ouvrir"));
    FolderBtn = button("FolderBtn", QStringLiteral("Ouvrir le dossier"), this);
    FolderBtn->setGeometry(436, 185, 128, 26);
    FolderBtn->setEnabled(false);

    Panel2 = make<QWidget>("Panel2", this);
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

void TReaderPage::ShowCount(int count)
{
    Label10->setText(QStringLiteral("Nb de messages : %1").arg(count));
    SpinEdit1->setRange(1, count > 0 ? count : 1);
    SpinEdit1->setValue(1);
    SpinEdit1->setEnabled(count >= 2);
}

void TReaderPage::EnableMessageActions(bool enabled)
{
    for (QWidget* w : std::initializer_list<QWidget*>{Button3, Button7, Button8, PrintBtn})
        w->setEnabled(enabled);
}

void TReaderPage::ShowMessage(const TMailMessage& m, int bytes, const QString& folder)
{
    const std::vector<std::string> header = UnfoldHeader(m.Header);
    const auto field = [&header](const char* name) { return DecodeHeaderText(HeaderValue(header, name)); };
    Edit6->setText(field("From").trimmed());
    Edit7->setText(field("Subject")); // the blank after the colon stays, as in the list
    Edit8->setText(QString::number(bytes));
    Edit9->setText(field("Message-ID").trimmed());
    DateEdit->setText(DisplayDate(HeaderValue(header, "Date")));
    ToEdit->setText(field("To").trimmed());
    CcEdit->setText(field("Cc").trimmed());
    QStringList lines;
    for (const std::string& line : header)
        lines << DecodeHeaderText(line);
    Memo2->setPlainText(lines.join(QLatin1Char('\n')));
    Memo1->setPlainText(BodyDisplayText(m, HtmlToText));

    ShowReceivedFiles(m, folder);

    reply_ = MakeReply(m, BodyDisplayText(m, HtmlToText, false));
    replyReady_ = true;
}

void TReaderPage::ShowReceivedFiles(const TMailMessage& m, const QString& folder)
{
    // The files the decoder wrote, each with its full path.
    FilesList->clear();
    filesFolder_ = folder;
    if (!filesFolder_.endsWith(QLatin1Char('/')))
        filesFolder_ += QLatin1Char('/');
    for (const TReceivedFile& file : m.Files) {
        const QString path = filesFolder_ + QFile::decodeName(QByteArray::fromStdString(file.Name));
        auto* item = new QListWidgetItem(QFileInfo(path).fileName(), FilesList);
        item->setData(Qt::UserRole, path);
        item->setToolTip(path);
    }
    FolderBtn->setEnabled(FilesList->count() > 0);
}

void TReaderPage::Clear()
{
    for (QLineEdit* e : {Edit6, Edit7, Edit8, Edit9, DateEdit, ToEdit, CcEdit})
        e->clear();
    Memo2->clear();
    Memo1->clear();
    FilesList->clear();
    FolderBtn->setEnabled(false);
    replyReady_ = false;
}

QString TReaderPage::ChosenFile() const
{
    const QListWidgetItem* item = FilesList->currentItem();
    return item ? item->data(Qt::UserRole).toString() : QString();
}

QStringList TReaderPage::PrintedLines() const
{
    const QString blank = QStringLiteral(" ");
    QStringList lines{blank, blank};
    for (const QString& line : memoLines(Memo2))
        lines << '\t' + line;
    lines << blank << blank;
    for (const QString& line : memoLines(Memo1))
        lines << '\t' + line;
    return lines;
}

void TReaderPage::SetMemo2Height(int height)
{
    memo2Height_ = std::max(60, height);
    const int total = std::max(Splitter1->height(), memo2Height_ + 60);
    Splitter1->setSizes({memo2Height_, total - memo2Height_});
}

void TReaderPage::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The memo area and the identification fields follow the page.
    Panel2->setGeometry(Panel2->x(), Panel2->y(), width() - 2 * Panel2->x(), std::max(0, height() - Panel2->y() - 8));
    for (QLineEdit* e : {Edit6, Edit7, Edit9, DateEdit, ToEdit, CcEdit})
        e->resize(std::max(0, width() - e->x() - 10), e->height());
    FolderBtn->move(width() - FolderBtn->width() - 10, FolderBtn->y());
    FilesList->resize(std::max(0, FolderBtn->x() - FilesList->x() - 6), FilesList->height());
}
