// Unit1Mailbox: the handlers of the message list and reading pages: the files of a message,
// printing, replying, the usual mail program.
#include "app/Unit1.h"

#include "app/Application.h"
#include "mail/KTsmtp.h"
#include "platform/Dialogs.h"
#include "platform/Launcher.h"
#include "platform/ReceivedFiles.h"
#include "platform/TextPrint.h"

#include <QListWidget>
#include <QPlainTextEdit>
#include <QPrinter>

QString TForm1::AttachmentsTarget() const
{
    return ReceivedFilesFolder(AttachmentsFolder);
}

void TForm1::FilesListActivate()
{
    const QString file = Reader->ChosenFile();
    if (!file.isEmpty())
        OpenReceivedFile(*context_.launcher, file);
}

void TForm1::FolderBtnClick()
{
    if (Reader->FilesList->count() > 0)
        OpenReceivedFile(*context_.launcher, Reader->FilesFolder());
}

void TForm1::Button8Click()
{
    NewBtnClick();
    if (const TReply* reply = Reader->Reply()) {
        Compose->ShowReply(*reply);
        // The composer writes these as In-Reply-To and References, so the answer joins its thread.
        KTSMTP1->PostMessage.InReplyTo = reply->InReplyTo;
        KTSMTP1->PostMessage.References = reply->References;
    }
    ShowPage(Compose);
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
    QFont font = Reader->Memo2->font();
    font.setPointSize(10);
    PrintTextCopies(printer, Reader->PrintedLines(), font, printer.copyCount());
}
