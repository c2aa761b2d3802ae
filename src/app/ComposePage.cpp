// ComposePage: TComposePage, the "Envoi d'un message" page: the attachments, the recipients and
// the sender with their histories, the subject and the body of the message to send.
#include "app/ComposePage.h"

#include "app/ComboLists.h"
#include "app/PageWidgets.h"
#include "mail/ReplyText.h"
#include "platform/IniProfile.h"

#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QPlainTextEdit>

namespace {

const QString kMainW = QStringLiteral("MainW");
const QString kComposeFolder = QStringLiteral("ComposeFolder");
const QString kAdresses = QStringLiteral("Adresses");
const QString kNom = QStringLiteral("Nom");
const QString kEmail = QStringLiteral("Email");
const QString kCount = QStringLiteral("Nombre");
const QString kText = QStringLiteral("Texte");

QStringList readList(const IniProfile& ini, const QString& section)
{
    QStringList items;
    const int n = ini.ReadInteger(section, kCount, 0);
    for (int i = 1; i <= n; ++i)
        items << ini.ReadString(section, QString::number(i), QString());
    return items;
}

// A list section is erased first, so no entry beyond the count survives.
void writeList(IniProfile& ini, const QString& section, const QComboBox* combo)
{
    ini.EraseSection(section);
    ini.WriteInteger(section, kCount, combo->count());
    for (int i = 0; i < combo->count(); ++i)
        ini.WriteString(section, QString::number(i + 1), combo->itemText(i));
}

// The line of the list the user has selected, -1 when none.
int selectedRow(const QListWidget* list)
{
    const QListWidgetItem* item = list->currentItem();
    return item && item->isSelected() ? list->row(item) : -1;
}

bool listHolds(const QListWidget* list, const QString& text)
{
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text() == text)
            return true;
    return false;
}

void selectRow(QListWidget* list, int row)
{
    if (row < 0) {
        list->setCurrentRow(-1);
        list->clearSelection();
    } else {
        list->setCurrentRow(row);
    }
}

QToolButton* trashButton(const char* name, QWidget* parent)
{
    return glyphButton(name, QStyle::SP_TrashIcon, QStringLiteral("Supprime l'entrée courante"), true, parent);
}

} // namespace

TComposePage::TComposePage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheet102"));
    Label110 = label("Label110", QStringLiteral("Pièces jointes"), this);
    Label110->setGeometry(8, 2, 200, 18);
    ListBox100 = make<QListWidget>("ListBox100", this);
    ListBox100->setGeometry(8, 20, 300, 58);
    Button104 = button("Button104", QStringLiteral("Ajouter"), this);
    Button105 = button("Button105", QStringLiteral("Supprimer"), this);
    const int addWidth = std::max({90, Button104->sizeHint().width(), Button105->sizeHint().width()});
    Button104->setGeometry(314, 20, addWidth, 26);
    Button105->setGeometry(314, 52, addWidth, 26);
    NewBtn = glyphButton("NewBtn", QStyle::SP_FileIcon, QStringLiteral("Nouveau message (efface tous les champs)"), true,
                         this);
    NewBtn->resize(30, 26);
    Button106 = button("Button106", QStringLiteral("Envoyer"), this);
    Button106->resize(110, 26);
    placeRow(314 + addWidth + 10, 20, 26, {NewBtn, Button106}, 8);

    CreateRecipients();
    CreateSender();

    Panel102 = make<QWidget>("Panel102", this);
    Panel102->setGeometry(8, 220, 560, 28);
    QLabel* l111 = label("Label111", QStringLiteral("Objet :"), Panel102);
    l111->setGeometry(4, 5, 50, 20);
    Edit110 = make<QLineEdit>("Edit110", Panel102);
    Edit110->setGeometry(60, 2, 490, 24);

    Memo100 = make<QPlainTextEdit>("Memo100", this);
    Memo100->setGeometry(8, 252, 560, 40);
}

void TComposePage::CreateRecipients()
{
    Panel101 = make<QWidget>("Panel101", this);
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
        *r.trash = trashButton(r.trashName, Panel101);
        (*r.trash)->setGeometry(530, r.top, 25, 24);
    }
}

void TComposePage::CreateSender()
{
    Panel104 = make<QWidget>("Panel104", this);
    Panel104->setGeometry(8, 164, 560, 54);
    Label6 = label("Label6", QStringLiteral("Expéditeur"), Panel104);
    Label6->setGeometry(4, 5, std::max(70, Label6->sizeHint().width()), 20);
    QLabel* l105 = label("Label105", QStringLiteral("Nom :"), Panel104);
    l105->setGeometry(Label6->geometry().right() + 6, 5, 60, 20);
    ComboBox105 = editableCombo("ComboBox105", Panel104);
    ComboBox105->setGeometry(l105->x() + 60, 2, 380, 24);
    Poubelle4 = trashButton("Poubelle4", Panel104);
    Poubelle4->setGeometry(530, 2, 25, 24);
    QLabel* l106 = label("Label106", QStringLiteral("E-Mail : "), Panel104);
    l106->setGeometry(l105->x(), 31, 60, 20);
    ComboBox106 = editableCombo("ComboBox106", Panel104);
    ComboBox106->setGeometry(l105->x() + 60, 28, 380, 24);
    Poubelle5 = trashButton("Poubelle5", Panel104);
    Poubelle5->setGeometry(530, 28, 25, 24);
}

void TComposePage::Load(const IniProfile& ini)
{
    ComposeFolder = ini.ReadString(kMainW, kComposeFolder, QString());
    const QStringList addresses = readList(ini, kAdresses);
    for (QComboBox* c : {ComboBox107, ComboBox108, ComboBox109}) {
        c->clear();
        c->addItems(addresses);
        c->setEditText(QString());
        SortComboItems(c);
    }
    ComboBox105->clear();
    ComboBox105->addItems(readList(ini, kNom));
    SortComboItems(ComboBox105);
    ComboBox106->clear();
    ComboBox106->addItems(readList(ini, kEmail));
    SortComboItems(ComboBox106);
    ComboBox105->setEditText(ini.ReadString(kNom, kText, QString()));
    ComboBox106->setEditText(ini.ReadString(kEmail, kText, QString()));
}

void TComposePage::Save(IniProfile& ini) const
{
    if (!ComposeFolder.isEmpty() || !ini.ReadString(kMainW, kComposeFolder, QString()).isEmpty())
        ini.WriteString(kMainW, kComposeFolder, ComposeFolder);
    writeList(ini, kAdresses, ComboBox107);
    writeList(ini, kNom, ComboBox105);
    writeList(ini, kEmail, ComboBox106);
    ini.WriteString(kNom, kText, ComboBox105->currentText());
    ini.WriteString(kEmail, kText, ComboBox106->currentText());
}

QString TComposePage::PickerFolder() const
{
    const QFileInfo folder(ComposeFolder);
    return !ComposeFolder.isEmpty() && folder.isDir() ? ComposeFolder : QDir::homePath();
}

void TComposePage::AddAttachments(const QStringList& files)
{
    if (files.isEmpty())
        return;
    for (const QString& file : files) {
        const QString path = QFileInfo(file).absoluteFilePath();
        if (!listHolds(ListBox100, path))
            ListBox100->addItem(path);
    }
    selectRow(ListBox100, ListBox100->count() - 1);
    QString first = QFileInfo(files.first()).absolutePath();
    if (!first.endsWith('/'))
        first += '/';
    ComposeFolder = first;
}

void TComposePage::RemoveSelectedAttachment()
{
    const int i = selectedRow(ListBox100);
    if (i >= 0)
        delete ListBox100->takeItem(i);
    if (ListBox100->count() > 0 && i >= 0)
        selectRow(ListBox100, i - 1);
}

void TComposePage::ShowAttachmentPath()
{
    const int i = selectedRow(ListBox100);
    if (i < 0)
        return;
    const QString path = ListBox100->item(i)->text();
    ListBox100->setProperty("hint", path);
    ListBox100->setToolTip(path);
}

void TComposePage::Clear()
{
    ListBox100->clear();
    for (QComboBox* field : {ComboBox107, ComboBox108, ComboBox109})
        field->setEditText(QString());
    Edit110->clear();
    Memo100->clear();
}

void TComposePage::ShowReply(const TReply& reply)
{
    ComboBox107->setEditText(reply.To);
    Edit110->setText(reply.Subject);
    Memo100->setPlainText(reply.Body);
    Memo100->moveCursor(QTextCursor::Start);
}

void TComposePage::ForgetEntry(QComboBox* field)
{
    const QString text = field->currentText();
    if (text.isEmpty())
        return;
    // The three recipient fields share their history; each sender field has its own.
    const bool recipient = field == ComboBox107 || field == ComboBox108 || field == ComboBox109;
    for (QComboBox* list : recipient ? QList<QComboBox*>{ComboBox107, ComboBox108, ComboBox109} : QList<QComboBox*>{field})
        RemoveComboItem(list, text);
    field->setEditText(QString());
}

void TComposePage::AddToHistories()
{
    for (const QComboBox* field : {ComboBox107, ComboBox108, ComboBox109}) {
        const QString text = field->currentText();
        if (text.isEmpty())
            continue;
        for (QComboBox* list : {ComboBox107, ComboBox108, ComboBox109})
            AddSortedComboItem(list, text);
    }
    for (QComboBox* field : {ComboBox105, ComboBox106}) {
        const QString text = field->currentText();
        if (!text.isEmpty())
            AddSortedComboItem(field, text);
    }
}

void TComposePage::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The panels follow the page width, the fields their panel, the delete buttons stay at the
    // right edge.
    for (QWidget* panel : {Panel101, Panel104, Panel102})
        panel->resize(width() - 2 * panel->x(), panel->height());
    const std::pair<QToolButton*, QComboBox*> rows[] = {{Poubelle4, ComboBox105}, {Poubelle5, ComboBox106},
                                                        {Poubelle1, ComboBox107}, {Poubelle2, ComboBox108},
                                                        {Poubelle3, ComboBox109}};
    for (const auto& [trash, combo] : rows) {
        const QWidget* panel = trash->parentWidget();
        trash->move(panel->width() - trash->width() - 5, trash->y());
        combo->resize(std::max(0, panel->width() - combo->x() - trash->width() - 10), combo->height());
    }
    Edit110->resize(std::max(0, Panel102->width() - Edit110->x() - 10), Edit110->height());
    Memo100->setGeometry(Memo100->x(), Memo100->y(), width() - 2 * Memo100->x(),
                         std::max(0, height() - Memo100->y() - 8));
}
