// Unit1Compose: the "Envoi d'un message" page: attachments, recipients and their histories, and
// sending the message through the SMTP component with its progress in the status bar.
#include "app/Unit1.h"

#include "app/Application.h"
#include "app/ComboLists.h"
#include "app/Finally.h"
#include "app/WireText.h"
#include "mail/KTsmtp.h"
#include "platform/Dialogs.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <stdexcept>

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
    const QFileInfo folder(ComposeFolder);
    options.folder = !ComposeFolder.isEmpty() && folder.isDir() ? ComposeFolder : QDir::homePath();

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
    ComposeFolder = first;
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
    // A new message answers nothing ("Répondre" sets these again after emptying the page).
    KTSMTP1->PostMessage.InReplyTo.clear();
    KTSMTP1->PostMessage.References.clear();
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

void TForm1::ConnectSmtpEvents()
{
    TKTSMTP* s = KTSMTP1;
    s->OnConnect = [this](QObject*) { SetStatusText(QStringLiteral("Connecté à SMTP")); };
    // The destructor unhooks the two events that can come while the window is torn down.
    s->OnDisconnect = [this](QObject*) { SetStatusText(QStringLiteral("Déconnecté de SMTP")); };
    s->OnStatus = [this](QObject*, const std::string& status) { SetStatusText(WireText(status)); };
    s->OnHostResolved = [this](QObject*) { SetStatusText(QStringLiteral("Hôte identifié")); };
    // The new host serves this session only: the account's host field stays as it is.
    s->OnInvalidHost = [this](bool& handled) {
        const std::optional<QString> host = context_.dialogs->InputText(
            QStringLiteral("Hôte invalide !"), QStringLiteral("Saisissez un nouvel hôte :"), QString());
        if (!host)
            return;
        KTSMTP1->Host = ToWire(*host);
        handled = true;
    };
    s->OnConnectionRequired = [this](bool& handled) {
        if (!context_.dialogs->ConfirmOkCancel(QStringLiteral("Connecter ?")))
            return;
        handled = true;
        if (!KTSMTP1->Connected())
            KTSMTP1->Connect();
    };
    s->OnSendStart = [this](QObject*) { SetStatusText(QStringLiteral("Envoi du message")); };
    s->OnEncodeStart = [this](const std::string& file) {
        SetStatusText(QStringLiteral("Encodage de %1...").arg(WireText(file)));
    };
    s->OnEncodeEnd = [this](const std::string& file) {
        SetStatusText(QStringLiteral("Encodage de %1 terminé.").arg(WireText(file)));
    };
    s->OnPacketSent = [this](QObject*) {
        SetStatusText(QStringLiteral("%1 octets sur %2 envoyés").arg(KTSMTP1->BytesSent()).arg(KTSMTP1->BytesTotal()));
    };
    s->OnRecipientNotFound = [this](const std::string& recipient) {
        context_.dialogs->Message(QStringLiteral("Destinataire \"%1\" introuvable").arg(WireText(recipient)));
    };
    s->OnSuccess = [this](QObject*) { SetStatusText(QStringLiteral("Terminé.")); };
    s->OnFailure = [this](QObject*) { SetStatusText(QStringLiteral("Echec")); };
    // Handled stays false: the send then stops with its own error.
    s->OnHeaderIncomplete = [this](bool&, int) { context_.dialogs->Message(QStringLiteral("En-tête incomplète.")); };
    s->OnMailListReturn = [this](const std::string& address) { Memo2->appendPlainText(WireText(address)); };
}

void TForm1::Button106Click()
{
    if (!AccountComplete()) {
        ShowPage(TabSheet1);
        RequestAccountDetails();
        return;
    }
    ScreenCursor::Busy();
    Button106->setEnabled(false);
    const Finally restore([this] {
        ScreenCursor::Normal();
        Button106->setEnabled(true);
    });
    // The account's SMTP server, port, security and sign-in, stored with the account they were
    // set on; the controller sends (TSendRun).
    SaveAccount();
    TOutgoingMessage message;
    message.FromName = ComboBox105->currentText();
    message.FromAddress = ComboBox106->currentText();
    message.To = ComboBox107->currentText();
    message.Cc = ComboBox108->currentText();
    message.Bcc = ComboBox109->currentText();
    message.Subject = Edit110->text();
    message.Body = Memo100->toPlainText();
    for (int i = 0; i < ListBox100->count(); ++i)
        message.Attachments << ListBox100->item(i)->text();
    Mail->Entry = SelectedDialUpEntry();
    const TSendResult result = Mail->Send(AccountFromFields(), message);
    LineUp = result.LineUp;
    if (result.Outcome == TSendOutcome::Sent)
        AddToHistories();
    if (!result.Error.isEmpty())
        throw std::runtime_error(result.Error.toStdString());
}
