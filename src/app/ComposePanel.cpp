// ComposePanel: the "Envoi d'un message" page at work: attachments, recipients and their
// histories, answers, and sending the message through the mail work with the SMTP component's
// progress in the status bar.
#include "app/ComposePanel.h"

#include "app/AccountsPanel.h"
#include "app/AppContext.h"
#include "app/Application.h"
#include "app/ComposePage.h"
#include "app/ConnectionsPanel.h"
#include "app/Finally.h"
#include "app/MailController.h"
#include "app/ReaderPage.h"
#include "app/ServerPage.h"
#include "app/StatusLine.h"
#include "app/WireText.h"
#include "mail/KTsmtp.h"
#include "platform/Dialogs.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <stdexcept>

TComposePanel::TComposePanel(AppContext& context, TMailController& mail, TComposePage& page, TReaderPage& reader,
                             TServerPage& server, TAccountsPanel& accounts, TConnectionsPanel& connections,
                             QTabWidget& pages, TStatusLine& status)
    : context_(context), mail_(mail), smtp_(*mail.Smtp()), page_(page), reader_(reader), server_(server),
      accounts_(accounts), connections_(connections), pages_(pages), status_(status)
{
    ConnectSmtpEvents();
}

void TComposePanel::Button104Click()
{
    OpenFileOptions options;
    options.title = QStringLiteral("Pièces jointes");
    options.filter = QStringLiteral("Tous fichiers (*)");
    options.multiple = true;
    options.folder = page_.PickerFolder();
    page_.AddAttachments(context_.dialogs->OpenFiles(options));
}

void TComposePanel::Button105Click()
{
    page_.RemoveSelectedAttachment();
}

void TComposePanel::ListBox100Click()
{
    page_.ShowAttachmentPath();
}

void TComposePanel::NewBtnClick()
{
    page_.Clear();
    // A new message answers nothing ("Répondre" sets these again after emptying the page).
    smtp_.PostMessage.InReplyTo.clear();
    smtp_.PostMessage.References.clear();
}

void TComposePanel::Button8Click()
{
    NewBtnClick();
    if (const TReply* reply = reader_.Reply()) {
        page_.ShowReply(*reply);
        // The composer writes these as In-Reply-To and References, so the answer joins its thread.
        smtp_.PostMessage.InReplyTo = reply->InReplyTo;
        smtp_.PostMessage.References = reply->References;
    }
    pages_.setCurrentWidget(&page_);
}

void TComposePanel::Poubelle1Click() { page_.ForgetEntry(page_.ComboBox107); }
void TComposePanel::Poubelle2Click() { page_.ForgetEntry(page_.ComboBox108); }
void TComposePanel::Poubelle3Click() { page_.ForgetEntry(page_.ComboBox109); }
void TComposePanel::Poubelle4Click() { page_.ForgetEntry(page_.ComboBox105); }
void TComposePanel::Poubelle5Click() { page_.ForgetEntry(page_.ComboBox106); }

void TComposePanel::ConnectSmtpEvents()
{
    smtp_.OnConnect = [this](QObject*) { status_.setText(QStringLiteral("Connecté à SMTP")); };
    // The window's destructor unhooks the two events that can come while it is torn down.
    smtp_.OnDisconnect = [this](QObject*) { status_.setText(QStringLiteral("Déconnecté de SMTP")); };
    smtp_.OnStatus = [this](QObject*, const std::string& status) { status_.setText(WireText(status)); };
    smtp_.OnHostResolved = [this](QObject*) { status_.setText(QStringLiteral("Hôte identifié")); };
    // The new host serves this session only: the account's host field stays as it is.
    smtp_.OnInvalidHost = [this](bool& handled) {
        const std::optional<QString> host = context_.dialogs->InputText(
            QStringLiteral("Hôte invalide !"), QStringLiteral("Saisissez un nouvel hôte :"), QString());
        if (!host)
            return;
        smtp_.Host = ToWire(*host);
        handled = true;
    };
    smtp_.OnConnectionRequired = [this](bool& handled) {
        if (!context_.dialogs->ConfirmOkCancel(QStringLiteral("Connecter ?")))
            return;
        handled = true;
        if (!smtp_.Connected())
            smtp_.Connect();
    };
    smtp_.OnSendStart = [this](QObject*) { status_.setText(QStringLiteral("Envoi du message")); };
    smtp_.OnEncodeStart = [this](const std::string& file) {
        status_.setText(QStringLiteral("Encodage de %1...").arg(WireText(file)));
    };
    smtp_.OnEncodeEnd = [this](const std::string& file) {
        status_.setText(QStringLiteral("Encodage de %1 terminé.").arg(WireText(file)));
    };
    smtp_.OnPacketSent = [this](QObject*) {
        status_.setText(QStringLiteral("%1 octets sur %2 envoyés").arg(smtp_.BytesSent()).arg(smtp_.BytesTotal()));
    };
    smtp_.OnRecipientNotFound = [this](const std::string& recipient) {
        context_.dialogs->Message(QStringLiteral("Destinataire \"%1\" introuvable").arg(WireText(recipient)));
    };
    smtp_.OnSuccess = [this](QObject*) { status_.setText(QStringLiteral("Terminé.")); };
    smtp_.OnFailure = [this](QObject*) { status_.setText(QStringLiteral("Echec")); };
    // Handled stays false: the send then stops with its own error.
    smtp_.OnHeaderIncomplete = [this](bool&, int) { context_.dialogs->Message(QStringLiteral("En-tête incomplète.")); };
    smtp_.OnMailListReturn = [this](const std::string& address) { reader_.Memo2->appendPlainText(WireText(address)); };
}

void TComposePanel::Button106Click()
{
    if (!server_.AccountComplete()) {
        pages_.setCurrentWidget(&server_);
        accounts_.RequestAccountDetails();
        return;
    }
    ScreenCursor::Busy();
    page_.Button106->setEnabled(false);
    const Finally restore([this] {
        ScreenCursor::Normal();
        page_.Button106->setEnabled(true);
    });
    // The account's SMTP server, port, security and sign-in, stored with the account they were
    // set on; the controller sends (TSendRun).
    accounts_.SaveAccount();
    TOutgoingMessage message;
    message.FromName = page_.ComboBox105->currentText();
    message.FromAddress = page_.ComboBox106->currentText();
    message.To = page_.ComboBox107->currentText();
    message.Cc = page_.ComboBox108->currentText();
    message.Bcc = page_.ComboBox109->currentText();
    message.Subject = page_.Edit110->text();
    message.Body = page_.Memo100->toPlainText();
    for (int i = 0; i < page_.ListBox100->count(); ++i)
        message.Attachments << page_.ListBox100->item(i)->text();
    mail_.Entry = connections_.SelectedDialUpEntry();
    const TSendResult result = mail_.Send(server_.AccountFromFields(), message);
    connections_.LineUp = result.LineUp;
    if (result.Outcome == TSendOutcome::Sent)
        page_.AddToHistories();
    if (!result.Error.isEmpty())
        throw std::runtime_error(result.Error.toStdString());
}
