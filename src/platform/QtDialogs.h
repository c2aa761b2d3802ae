// QtDialogs: the desktop's standard dialogs (message boxes, input, file and print dialogs).
#pragma once
#include "platform/Dialogs.h"

class QWidget;

class QtDialogs : public Dialogs {
public:
    // parent: the window the dialogs are centred on (may be null).
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    bool ConfirmYesNo(const QString& text) override;
    bool ConfirmYesNoDefaultNo(const QString& text) override;
    bool ConfirmOkCancel(const QString& text) override;
    void Message(const QString& text, MessageIcon icon, const QString& caption) override;
    void ShowError(const QString& text) override;
    std::optional<QString> InputText(const QString& caption, const QString& prompt, const QString& value) override;
    std::optional<QString> InputSecret(const QString& caption, const QString& prompt, const QString& value) override;
    QStringList OpenFiles(const OpenFileOptions& options) override;
    bool ChoosePrinter(QPrinter& printer) override;

private:
    QWidget* parent_;
};
