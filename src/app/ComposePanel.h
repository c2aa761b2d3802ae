// ComposePanel: TComposePanel, the "Envoi d'un message" page at work: the attachments picker, the
// histories, a new message or an answer to the one read, sending it with the account shown, and
// the SMTP component's progress on the status bar.
#pragma once

class QTabWidget;
class TAccountsPanel;
class TComposePage;
class TConnectionsPanel;
class TKTSMTP;
class TMailController;
class TReaderPage;
class TServerPage;
class TStatusLine;
struct AppContext;

class TComposePanel {
public:
    // The panel sends with the account of server, saved by accounts, over the line of
    // connections; it answers the message reader shows. It takes over the SMTP component's events.
    TComposePanel(AppContext& context, TMailController& mail, TComposePage& page, TReaderPage& reader,
                  TServerPage& server, TAccountsPanel& accounts, TConnectionsPanel& connections, QTabWidget& pages,
                  TStatusLine& status);

    void Button104Click();  // "Ajouter": attachments from the picker
    void Button105Click();  // "Supprimer": the selected attachment
    void ListBox100Click(); // the attachment's path as its hint
    // A new, empty message that answers nothing.
    void NewBtnClick();
    // "Répondre" in the reader: the page holds the answer, which joins the thread of the message.
    void Button8Click();
    // Forget the text of a recipient field (To, Cc, Bcc) or of a sender field (name, e-mail).
    void Poubelle1Click();
    void Poubelle2Click();
    void Poubelle3Click();
    void Poubelle4Click();
    void Poubelle5Click();
    // "Envoyer": sends the message with the account shown; a failure ends it with its error.
    void Button106Click();

private:
    void ConnectSmtpEvents();

    AppContext& context_;
    TMailController& mail_;
    TKTSMTP& smtp_;
    TComposePage& page_;
    TReaderPage& reader_;
    TServerPage& server_;
    TAccountsPanel& accounts_;
    TConnectionsPanel& connections_;
    QTabWidget& pages_;
    TStatusLine& status_;
};
