// MessagesPanel: TMessagesPanel, the "Liste des messages" and "Lecture des messages" pages at work:
// listing, reading and deleting the messages of the open session, the files of a message,
// printing it, and starting the user's usual mail program.
#pragma once
#include <QString>
#include <functional>

class QTabWidget;
class TListPage;
class TMailController;
class TReaderPage;
class TServerPage;
class TStatusLine;
struct AppContext;

class TMessagesPanel {
public:
    // server: the account whose messages are shown (its name goes on the status bar).
    TMessagesPanel(AppContext& context, TMailController& mail, TServerPage& server, TListPage& list,
                   TReaderPage& reader, QTabWidget& pages, TStatusLine& status);

    // What the panel asks of the window's session: Reconnect logs out and in again, keeping the
    // mailbox tabs, and says whether it signed in; OnSessionLost shows the session closed.
    std::function<bool()> Reconnect;
    std::function<void()> OnSessionLost;

    QString AttachmentsFolder; // where the files of received messages go (empty: the download folder)
    bool FirstListing = true;  // no listing has run yet
    // The list takes the lines read at most this often (ms), not one line at a time.
    static constexpr int ListInsertEveryMs = 100;

    // "Lister": the first listing follows a fresh connection; later ones refresh.
    void Button5Click();
    // Lists the messages; Refresh: log out and in again first, so new mail shows.
    void ListMessages(bool Refresh);
    // "Lire": the message of the reader's number.
    void Button3Click();
    // Asks whether to delete message N from the server; on Yes deletes it, reopens the session
    // so the server carries the deletion out, and lists the messages again.
    void ConfirmDeleteMessage(int N);
    void Button7Click(); // "Supprimer" in the reader
    void ListBox1Click();
    void ListBox1DblClick();
    void ListBox1KeyDown(int key);
    // The folder fetched messages write their files to (see ReceivedFilesFolder).
    QString AttachmentsTarget() const;
    void FilesListActivate();
    void FolderBtnClick();
    void PrintBtnClick();
    // Starts the user's usual mail program.
    void Button4Click();

private:
    AppContext& context_;
    TMailController& mail_;
    TServerPage& server_;
    TListPage& list_;
    TReaderPage& reader_;
    QTabWidget& pages_;
    TStatusLine& status_;
};
