// QtDialogs: the desktop's standard dialogs (message boxes, input, file and print dialogs).
#include "platform/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

namespace {

QString title(const QString& caption)
{
    return caption.isEmpty() ? QApplication::applicationDisplayName() : caption;
}

QMessageBox::Icon toIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

bool QtDialogs::ConfirmYesNo(const QString& text)
{
    return QMessageBox::question(parent_, title({}), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
           == QMessageBox::Yes;
}

bool QtDialogs::ConfirmYesNoDefaultNo(const QString& text)
{
    return QMessageBox::question(parent_, title({}), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
           == QMessageBox::Yes;
}

bool QtDialogs::ConfirmOkCancel(const QString& text)
{
    return QMessageBox::question(parent_, title({}), text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok)
           == QMessageBox::Ok;
}

void QtDialogs::Message(const QString& text, MessageIcon icon, const QString& caption)
{
    QMessageBox box(toIcon(icon), title(caption), text, QMessageBox::Ok, parent_);
    box.exec();
}

void QtDialogs::ShowError(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, title({}), text, QMessageBox::Ok, parent_);
    box.exec();
}

std::optional<QString> QtDialogs::InputText(const QString& caption, const QString& prompt, const QString& value)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(parent_, caption, prompt, QLineEdit::Normal, value, &ok);
    if (!ok)
        return std::nullopt;
    return answer;
}

std::optional<QString> QtDialogs::InputSecret(const QString& caption, const QString& prompt, const QString& value)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(parent_, caption, prompt, QLineEdit::Password, value, &ok);
    if (!ok)
        return std::nullopt;
    return answer;
}

QStringList QtDialogs::OpenFiles(const OpenFileOptions& options)
{
    QFileDialog dialog(parent_, options.title, options.folder, options.filter);
    dialog.setFileMode(options.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!options.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(options.defaultSuffix);
    dialog.setOption(QFileDialog::ReadOnly, true);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

bool QtDialogs::ChoosePrinter(QPrinter& printer)
{
    QPrintDialog dialog(&printer, parent_);
    return dialog.exec() == QDialog::Accepted;
}
