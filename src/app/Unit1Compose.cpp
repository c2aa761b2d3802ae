// Unit1Compose: the "Envoi d'un message" page: attachments, recipients and their histories, and
// sending the message through the SMTP component with its progress in the status bar.
#include "app/Unit1.h"

#include "app/Application.h"
#include "app/ComboLists.h"
#include "app/SessionSettings.h"
#include "app/WireText.h"
#include "mail/KTsmtp.h"
#include "net/TlsTransport.h"
#include "platform/Dialogs.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <exception>

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

    std::exception_ptr failure;
    try {
        // The account's SMTP server, port, security and sign-in, stored with the account they
        // were set on.
        SaveAccount();
        TAccount account = AccountFromFields();
        ConfigureSession(*KTSMTP1, account, &Mail->Tokens());

        // Without any dial-up entry nothing is sent (ConnectLine has said why); a failed dial
        // does not stop the send, the line may be up another way.
        if (ConnectLine() != TDialLine::TResult::NoEntry) {
            if (!KTSMTP1->Connected()) {
                try {
                    KTSMTP1->Connect();
                } catch (const ECertificateError& e) {
                    // Trusted now: the same certificate is accepted on the next try.
                    if (!Mail->OfferTrust(account, KTSMTP1->Host, ECertificateError::Reasons(e.Problems()),
                                          e.Fingerprint()))
                        throw;
                    ConfigureSession(*KTSMTP1, account, &Mail->Tokens());
                    KTSMTP1->Connect();
                }
            }

            TPostMessage& m = KTSMTP1->PostMessage;
            m.FromAddress = ToWire(ComboBox106->currentText());
            m.FromName = ToWire(ComboBox105->currentText());
            m.Subject = ToWire(Edit110->text());
            // A failed send leaves its recipients and attachments in the record: this message
            // starts from empty lists so a retry goes only where the page says.
            m.ToAddress.Clear();
            m.ToCarbonCopy.Clear();
            m.ToBlindCarbonCopy.Clear();
            m.Attachments.Clear();
            m.ToAddress.Add(ToWire(ComboBox107->currentText()));
            m.ToBlindCarbonCopy.Add(ToWire(ComboBox109->currentText()));
            m.ToCarbonCopy.Add(ToWire(ComboBox108->currentText()));
            for (int i = 0; i < ListBox100->count(); ++i)
                m.Attachments.Add(ToWire(ListBox100->item(i)->text()));
            // The body's lines as the memo holds them; a line break at the very end starts no line.
            m.Body.Clear();
            QStringList body = Memo100->toPlainText().split(QLatin1Char('\n'));
            if (body.last().isEmpty())
                body.removeLast();
            for (const QString& line : body)
                m.Body.Add(ToWire(line));

            KTSMTP1->Send();
            AddToHistories();
        }
    } catch (...) {
        failure = std::current_exception();
    }

    // On every way out: the goodbye while the line is up, the cursor and the button.
    try {
        if (KTSMTP1->Connected() && LineUp)
            KTSMTP1->Disconnect();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    ScreenCursor::Normal();
    Button106->setEnabled(true);
    if (failure)
        std::rethrow_exception(failure);
}
