// ReaderPage: TReaderPage, the "Lecture des messages" page: the message chosen by number, its
// sender, subject, date and recipients, its header lines and body, the files it wrote, and the
// answer it prepares.
#pragma once
#include "mail/ReplyText.h"

#include <QString>
#include <QStringList>
#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QSplitter;
class QToolButton;
class TMailMessage;

class TReaderPage : public QWidget {
    Q_OBJECT
public:
    explicit TReaderPage(QWidget* parent = nullptr);

    QLabel* Label10 = nullptr; // message count
    QLabel* Label5 = nullptr;
    QSpinBox* SpinEdit1 = nullptr;
    QPushButton* Button3 = nullptr; // "Lire"
    QPushButton* Button7 = nullptr; // "Supprimer"
    QToolButton* PrintBtn = nullptr;
    QPushButton* Button8 = nullptr; // "Répondre"
    QLineEdit* Edit6 = nullptr;     // from
    QLineEdit* Edit7 = nullptr;     // subject
    QLineEdit* Edit8 = nullptr;     // size
    QLineEdit* Edit9 = nullptr;     // message id
    QLineEdit* DateEdit = nullptr;  // date
    QLineEdit* ToEdit = nullptr;    // recipients
    QLineEdit* CcEdit = nullptr;    // copies
    QListWidget* FilesList = nullptr; // files written from the message, opened by a double click
    QPushButton* FolderBtn = nullptr; // "Ouvrir le dossier" of those files
    QWidget* Panel2 = nullptr;
    QSplitter* Splitter1 = nullptr;
    QPlainTextEdit* Memo2 = nullptr; // header lines
    QPlainTextEdit* Memo1 = nullptr; // body

    // The mailbox holds count messages: the number field offers them, the first one chosen.
    void ShowCount(int count);
    // The buttons that act on a message.
    void EnableMessageActions(bool enabled);
    // Shows a fetched message: decoded sender, subject, date, recipients and header lines, the
    // body as text, the files written to folder; prepares the answer to it.
    void ShowMessage(const TMailMessage& message, int bytes, const QString& folder);
    // Empties the page; "Répondre" then starts an empty message.
    void Clear();
    // The answer to the message shown; none when no message is shown.
    const TReply* Reply() const { return replyReady_ ? &reply_ : nullptr; }
    // The file of the list the user chose (empty when none), the folder of the files listed.
    QString ChosenFile() const;
    QString FilesFolder() const { return filesFolder_; }
    // A printed copy: two blank lines, the header lines, two blank lines, the body lines, every
    // text line indented by a tab.
    QStringList PrintedLines() const;

    // Height of the header memo (at least 60 pixels).
    int Memo2Height() const { return memo2Height_; }
    void SetMemo2Height(int height);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ShowReceivedFiles(const TMailMessage& message, const QString& folder);

    int memo2Height_ = 60;
    bool replyReady_ = false; // a message is shown: "Répondre" answers it with reply_
    TReply reply_;
    QString filesFolder_; // folder of the files listed in FilesList
};
