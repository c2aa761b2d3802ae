// Unit1Mailbox: the message list and reading pages: showing a message, its files, printing,
// replying, the usual mail program.
#include "app/Unit1.h"

#include "app/Application.h"
#include "app/HtmlText.h"
#include "mail/BodyText.h"
#include "mail/HeaderText.h"
#include "mail/KTpop3.h"
#include "mail/KTsmtp.h"
#include "platform/Dialogs.h"
#include "platform/Launcher.h"
#include "platform/ReceivedFiles.h"
#include "platform/TextPrint.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrinter>

namespace {

// The lines of a memo as the user sees them (one per paragraph).
QStringList memoLines(const QPlainTextEdit* memo)
{
    if (memo->document()->isEmpty())
        return {};
    return memo->toPlainText().split('\n');
}

} // namespace

void TForm1::ShowMessage(const TMailMessage& m, int bytes)
{
    const std::vector<std::string> header = UnfoldHeader(m.Header);
    const auto field = [&header](const char* name) { return DecodeHeaderText(HeaderValue(header, name)); };
    Edit6->setText(field("From").trimmed());
    Edit7->setText(field("Subject")); // the blank after the colon stays, as in the list
    Edit8->setText(QString::number(bytes));
    Edit9->setText(field("Message-ID").trimmed());
    DateEdit->setText(DisplayDate(HeaderValue(header, "Date")));
    ToEdit->setText(field("To").trimmed());
    CcEdit->setText(field("Cc").trimmed());
    QStringList lines;
    for (const std::string& line : header)
        lines << DecodeHeaderText(line);
    Memo2->setPlainText(lines.join(QLatin1Char('\n')));
    Memo1->setPlainText(BodyDisplayText(m, HtmlToText));

    ShowReceivedFiles(m);

    reply_ = MakeReply(m, BodyDisplayText(m, HtmlToText, false));
    replyReady_ = true;
}

void TForm1::ShowReceivedFiles(const TMailMessage& m)
{
    // The files the decoder wrote, each with its full path.
    FilesList->clear();
    filesFolder_ = AttachmentsTarget();
    if (!filesFolder_.endsWith(QLatin1Char('/')))
        filesFolder_ += QLatin1Char('/');
    for (const TReceivedFile& file : m.Files) {
        const QString path = filesFolder_ + QFile::decodeName(QByteArray::fromStdString(file.Name));
        auto* item = new QListWidgetItem(QFileInfo(path).fileName(), FilesList);
        item->setData(Qt::UserRole, path);
        item->setToolTip(path);
    }
    FolderBtn->setEnabled(FilesList->count() > 0);
}

void TForm1::ClearReader()
{
    for (QLineEdit* e : {Edit6, Edit7, Edit8, Edit9, DateEdit, ToEdit, CcEdit})
        e->clear();
    Memo2->clear();
    Memo1->clear();
    FilesList->clear();
    FolderBtn->setEnabled(false);
    replyReady_ = false;
}

QString TForm1::AttachmentsTarget() const
{
    return ReceivedFilesFolder(AttachmentsFolder);
}

void TForm1::FilesListActivate()
{
    const QListWidgetItem* item = FilesList->currentItem();
    if (item)
        OpenReceivedFile(*context_.launcher, item->data(Qt::UserRole).toString());
}

void TForm1::FolderBtnClick()
{
    if (FilesList->count() > 0)
        OpenReceivedFile(*context_.launcher, filesFolder_);
}

void TForm1::Button8Click()
{
    NewBtnClick();
    if (replyReady_) {
        ComboBox107->setEditText(reply_.To);
        Edit110->setText(reply_.Subject);
        Memo100->setPlainText(reply_.Body);
        Memo100->moveCursor(QTextCursor::Start);
        // The composer writes these as In-Reply-To and References, so the answer joins its thread.
        KTSMTP1->PostMessage.InReplyTo = reply_.InReplyTo;
        KTSMTP1->PostMessage.References = reply_.References;
    }
    ShowPage(TabSheet102);
}

void TForm1::Button4Click()
{
    const DefaultProgram mail = context_.launcher->DefaultProgramFor(QStringLiteral("x-scheme-handler/mailto"));
    if (!mail.found()) {
        context_.dialogs->Message(QStringLiteral("Votre programme de messagerie n'a pas été trouvé"),
                                  MessageIcon::Warning, QStringLiteral("Avertissement"));
        return;
    }
    // Started without an address, as from its own icon; whether it starts is not examined.
    context_.launcher->StartDetached(ExpandDesktopExec(mail.exec, QString()));
}

void TForm1::PrintBtnClick()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setCopyCount(1);
    if (!context_.dialogs->ChoosePrinter(printer))
        return;
    CursorGuard cursor;
    printer.setDocName(Application().Title);
    const int copies = printer.copyCount();

    // A copy: two blank lines, the header lines, two blank lines, the body lines, every text
    // line indented by a tab.
    const QString blank = QStringLiteral(" ");
    QStringList lines{blank, blank};
    for (const QString& line : memoLines(Memo2))
        lines << '\t' + line;
    lines << blank << blank;
    for (const QString& line : memoLines(Memo1))
        lines << '\t' + line;

    QFont font = Memo2->font();
    font.setPointSize(10);
    PrintTextCopies(printer, lines, font, copies);
}
