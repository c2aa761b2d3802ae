// ComposePage: TComposePage, the "Envoi d'un message" page: the attachments, the recipients and
// the sender with their histories, the subject and the body of the message to send.
#pragma once
#include <QString>
#include <QStringList>
#include <QWidget>

class IniProfile;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
struct TReply;

class TComposePage : public QWidget {
    Q_OBJECT
public:
    explicit TComposePage(QWidget* parent = nullptr);

    QLabel* Label110 = nullptr;
    QListWidget* ListBox100 = nullptr; // attachments
    QPushButton* Button104 = nullptr;  // "Ajouter"
    QPushButton* Button105 = nullptr;  // "Supprimer"
    QWidget* Panel101 = nullptr;
    QComboBox* ComboBox107 = nullptr; // To
    QComboBox* ComboBox108 = nullptr; // Cc
    QComboBox* ComboBox109 = nullptr; // Bcc
    QToolButton* Poubelle1 = nullptr;
    QToolButton* Poubelle2 = nullptr;
    QToolButton* Poubelle3 = nullptr;
    QWidget* Panel104 = nullptr;
    QLabel* Label6 = nullptr;
    QComboBox* ComboBox105 = nullptr; // sender name
    QComboBox* ComboBox106 = nullptr; // sender e-mail
    QToolButton* Poubelle4 = nullptr;
    QToolButton* Poubelle5 = nullptr;
    QToolButton* NewBtn = nullptr;
    QPushButton* Button106 = nullptr; // "Envoyer"
    QWidget* Panel102 = nullptr;
    QLineEdit* Edit110 = nullptr; // subject
    QPlainTextEdit* Memo100 = nullptr;

    // Folder the attachment picker opened last (the "ComposeFolder" setting).
    QString ComposeFolder;

    // The histories, the sender and the picker's folder, from the settings and back (Save after
    // the window's section has been emptied).
    void Load(const IniProfile& ini);
    void Save(IniProfile& ini) const;

    // The folder the attachment picker opens in: the last one, else (gone, or still the first-run
    // default) the home folder.
    QString PickerFolder() const;
    // Files chosen in the picker join the attachments once each; the picker opens in their folder next.
    void AddAttachments(const QStringList& files);
    // Removes the selected attachment; the one above it is selected.
    void RemoveSelectedAttachment();
    // The selected attachment's full path is its hint.
    void ShowAttachmentPath();
    // Empties every field of the message.
    void Clear();
    // Fills the page with an answer.
    void ShowReply(const TReply& reply);
    // Forgets the text shown in a recipient field (from the three lists) or a sender field.
    void ForgetEntry(QComboBox* field);
    // After a send: the recipients, the name and the e-mail join their histories.
    void AddToHistories();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void CreateRecipients();
    void CreateSender();
};
