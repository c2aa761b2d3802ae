// Unit1Compose: the "Envoi d'un message" page: attachments, recipients and their histories, and
// sending the message through the SMTP component with its progress in the status bar.
#include "app/Unit1.h"

#include "app/Application.h"
#include "app/SessionSettings.h"
#include "app/WireText.h"
#include "mail/KTsmtp.h"
#include "net/TlsTransport.h"
#include "platform/Dialogs.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <exception>

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
    if (!AccountComplete()) {
        ShowPage(Server);
        RequestAccountDetails();
        return;
    }
    ScreenCursor::Busy();
    Compose->Button106->setEnabled(false);

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
            m.FromAddress = ToWire(Compose->ComboBox106->currentText());
            m.FromName = ToWire(Compose->ComboBox105->currentText());
            m.Subject = ToWire(Compose->Edit110->text());
            // A failed send leaves its recipients and attachments in the record: this message
            // starts from empty lists so a retry goes only where the page says.
            m.ToAddress.Clear();
            m.ToCarbonCopy.Clear();
            m.ToBlindCarbonCopy.Clear();
            m.Attachments.Clear();
            m.ToAddress.Add(ToWire(Compose->ComboBox107->currentText()));
            m.ToBlindCarbonCopy.Add(ToWire(Compose->ComboBox109->currentText()));
            m.ToCarbonCopy.Add(ToWire(Compose->ComboBox108->currentText()));
            for (int i = 0; i < Compose->ListBox100->count(); ++i)
                m.Attachments.Add(ToWire(Compose->ListBox100->item(i)->text()));
            // The body's lines as the memo holds them; a line break at the very end starts no line.
            m.Body.Clear();
            QStringList body = Compose->Memo100->toPlainText().split(QLatin1Char('\n'));
            if (body.last().isEmpty())
                body.removeLast();
            for (const QString& line : body)
                m.Body.Add(ToWire(line));

            KTSMTP1->Send();
            Compose->AddToHistories();
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
    Compose->Button106->setEnabled(true);
    if (failure)
        std::rethrow_exception(failure);
}
