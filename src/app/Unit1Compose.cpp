// Unit1Compose: the "Envoi d'un message" page: attachments, recipients and their histories, and
// sending the message through the SMTP component with its progress in the status bar.
#include "app/Unit1.h"

#include "app/Application.h"
#include "app/Finally.h"
#include "app/WireText.h"
#include "mail/KTsmtp.h"
#include "platform/Dialogs.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <stdexcept>

void TForm1::Button104Click()
{
    OpenFileOptions options;
    options.title = QStringLiteral("Pièces jointes");
    options.filter = QStringLiteral("Tous fichiers (*)");
    options.multiple = true;
    options.folder = Compose->PickerFolder();
    Compose->AddAttachments(context_.dialogs->OpenFiles(options));
}

void TForm1::Button105Click()
{
    Compose->RemoveSelectedAttachment();
}

void TForm1::ListBox100Click()
{
    Compose->ShowAttachmentPath();
}

void TForm1::NewBtnClick()
{
    Compose->Clear();
    // A new message answers nothing ("Répondre" sets these again after emptying the page).
    KTSMTP1->PostMessage.InReplyTo.clear();
    KTSMTP1->PostMessage.References.clear();
}

void TForm1::Button8Click()
{
    NewBtnClick();
    if (const TReply* reply = Reader->Reply()) {
        Compose->ShowReply(*reply);
        // The composer writes these as In-Reply-To and References, so the answer joins its thread.
        KTSMTP1->PostMessage.InReplyTo = reply->InReplyTo;
        KTSMTP1->PostMessage.References = reply->References;
    }
    ShowPage(Compose);
}

void TForm1::Poubelle1Click() { Compose->ForgetEntry(Compose->ComboBox107); }
void TForm1::Poubelle2Click() { Compose->ForgetEntry(Compose->ComboBox108); }
void TForm1::Poubelle3Click() { Compose->ForgetEntry(Compose->ComboBox109); }
void TForm1::Poubelle4Click() { Compose->ForgetEntry(Compose->ComboBox105); }
void TForm1::Poubelle5Click() { Compose->ForgetEntry(Compose->ComboBox106); }

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
    s->OnMailListReturn = [this](const std::string& address) { Reader->Memo2->appendPlainText(WireText(address)); };
}

void TForm1::Button106Click()
{
    if (!Server->AccountComplete()) {
        ShowPage(Server);
        Accounts->RequestAccountDetails();
        return;
    }
    ScreenCursor::Busy();
    Compose->Button106->setEnabled(false);
    const Finally restore([this] {
        ScreenCursor::Normal();
        Compose->Button106->setEnabled(true);
    });
    // The account's SMTP server, port, security and sign-in, stored with the account they were
    // set on; the controller sends (TSendRun).
    Accounts->SaveAccount();
    TOutgoingMessage message;
    message.FromName = Compose->ComboBox105->currentText();
    message.FromAddress = Compose->ComboBox106->currentText();
    message.To = Compose->ComboBox107->currentText();
    message.Cc = Compose->ComboBox108->currentText();
    message.Bcc = Compose->ComboBox109->currentText();
    message.Subject = Compose->Edit110->text();
    message.Body = Compose->Memo100->toPlainText();
    for (int i = 0; i < Compose->ListBox100->count(); ++i)
        message.Attachments << Compose->ListBox100->item(i)->text();
    Mail->Entry = Connections->SelectedDialUpEntry();
    const TSendResult result = Mail->Send(Server->AccountFromFields(), message);
    Connections->LineUp = result.LineUp;
    if (result.Outcome == TSendOutcome::Sent)
        Compose->AddToHistories();
    if (!result.Error.isEmpty())
        throw std::runtime_error(result.Error.toStdString());
}
