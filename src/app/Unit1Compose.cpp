// Unit1Compose: the "Envoi d'un message" page: attachments, recipients and their histories.
#include "app/Unit1.h"

#include "app/ComboLists.h"
#include "platform/Dialogs.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

namespace {

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

} // namespace

void TForm1::Button104Click()
{
    OpenFileOptions options;
    options.title = QStringLiteral("Pièces jointes");
    options.filter = QStringLiteral("Tous fichiers (*)");
    options.multiple = true;
    // The picker opens in the folder of the last attachments; when that folder is gone (or is
    // still the first-run default, a drive letter that means nothing here), in the home folder.
    const QFileInfo folder(AttachmentsFolder);
    options.folder = !AttachmentsFolder.isEmpty() && folder.isDir() ? AttachmentsFolder : QDir::homePath();

    const QStringList files = context_.dialogs->OpenFiles(options);
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
    AttachmentsFolder = first;
}

void TForm1::Button105Click()
{
    const int i = selectedRow(ListBox100);
    if (i >= 0)
        delete ListBox100->takeItem(i);
    if (ListBox100->count() > 0 && i >= 0)
        selectRow(ListBox100, i - 1);
}

void TForm1::ListBox100Click()
{
    const int i = selectedRow(ListBox100);
    if (i < 0)
        return;
    const QString path = ListBox100->item(i)->text();
    ListBox100->setProperty("hint", path);
    ListBox100->setToolTip(path);
}

void TForm1::NewBtnClick()
{
    ListBox100->clear();
    for (QComboBox* field : {ComboBox107, ComboBox108, ComboBox109})
        field->setEditText(QString());
    Edit110->clear();
    Memo100->clear();
}

namespace {

// Forgets the address shown in one recipient field: the three recipient lists share it.
void forgetRecipient(QComboBox* field, std::initializer_list<QComboBox*> lists)
{
    const QString text = field->currentText();
    if (text.isEmpty())
        return;
    for (QComboBox* list : lists)
        RemoveComboItem(list, text);
    field->setEditText(QString());
}

} // namespace

void TForm1::Poubelle1Click()
{
    forgetRecipient(ComboBox107, {ComboBox107, ComboBox108, ComboBox109});
}

void TForm1::Poubelle2Click()
{
    forgetRecipient(ComboBox108, {ComboBox107, ComboBox108, ComboBox109});
}

void TForm1::Poubelle3Click()
{
    forgetRecipient(ComboBox109, {ComboBox107, ComboBox108, ComboBox109});
}

void TForm1::Poubelle4Click()
{
    forgetRecipient(ComboBox105, {ComboBox105});
}

void TForm1::Poubelle5Click()
{
    forgetRecipient(ComboBox106, {ComboBox106});
}

void TForm1::AddToHistories()
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
