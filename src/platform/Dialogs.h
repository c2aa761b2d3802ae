// Dialogs: the standard dialogs the program asks questions and reports with, behind one seam.
#pragma once
#include <QString>
#include <QStringList>
#include <optional>

class QPrinter;

enum class MessageIcon { None, Information, Warning, Error };

// Options of the file-open dialog.
struct OpenFileOptions {
    QString title;
    QString filter;        // Qt filter text, e.g. "Sons (*.wav)"
    QString defaultSuffix; // without the dot
    QString folder;        // folder the dialog opens in
    bool multiple = false; // several files may be chosen
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Question with Yes and No; true on Yes.
    virtual bool ConfirmYesNo(const QString& text) = 0;
    // Question with Yes and No where No is the default button (Enter answers No); true on Yes.
    virtual bool ConfirmYesNoDefaultNo(const QString& text) = 0;
    // Question with OK and Cancel; true on OK.
    virtual bool ConfirmOkCancel(const QString& text) = 0;
    // Message box with one OK button. An empty caption means the application title.
    virtual void Message(const QString& text, MessageIcon icon = MessageIcon::None, const QString& caption = QString()) = 0;
    // The application's report of an error that ended an action.
    virtual void ShowError(const QString& text) = 0;
    // Text input; nothing on Cancel.
    virtual std::optional<QString> InputText(const QString& caption, const QString& prompt, const QString& value) = 0;
    // Text input whose text is hidden as it is typed (passwords); nothing on Cancel.
    virtual std::optional<QString> InputSecret(const QString& caption, const QString& prompt, const QString& value) = 0;
    // File-open dialog; the chosen files with full paths, empty on Cancel.
    virtual QStringList OpenFiles(const OpenFileOptions& options) = 0;
    // Print dialog on the given printer; false on Cancel. The printer carries the choices
    // (destination, number of copies) when it returns true.
    virtual bool ChoosePrinter(QPrinter& printer) = 0;
};
