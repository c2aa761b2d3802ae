// MessagesPanel: the message list and the reader of the mailbox pages: listing, reading and
// deleting messages on the server of the current account, the files of a message, printing, the
// usual mail program.
#include "app/MessagesPanel.h"

#include "app/AppContext.h"
#include "app/Application.h"
#include "app/Finally.h"
#include "app/ListPage.h"
#include "app/MailController.h"
#include "app/ReaderPage.h"
#include "app/ServerPage.h"
#include "app/StatusLine.h"
#include "mail/KTpop3.h"
#include "platform/Dialogs.h"
#include "platform/Launcher.h"
#include "platform/ReceivedFiles.h"
#include "platform/TextPrint.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

TMessagesPanel::TMessagesPanel(AppContext& context, TMailController& mail, TServerPage& server, TListPage& list,
                               TReaderPage& reader, QTabWidget& pages, TStatusLine& status)
    : context_(context), mail_(mail), server_(server), list_(list), reader_(reader), pages_(pages), status_(status)
{
}

void TMessagesPanel::Button5Click()
{
    // The first listing follows a fresh connection and needs no refresh.
    ListMessages(!FirstListing);
}

void TMessagesPanel::ListMessages(bool Refresh)
{
    CursorGuard cursor;
    list_.Button5->setEnabled(false);
    const Finally after([this] { list_.Button5->setEnabled(true); });
    // "Annuler" is offered meanwhile.
    const TMailController::TBusy busy(mail_);
    list_.ListBox1->clear();

    // A POP3 session sees the mailbox as it was at login: closing and reopening it makes new mail
    // visible.
    if (Refresh) {
        // Not signed in again (cancelled, refused, unreachable): that has been told already.
        if (!Reconnect())
            return;
    }
    // The session was closed meanwhile (its idle limit, a cancel): nothing to list.
    if (!mail_.Mailbox().IsOpen()) {
        OnSessionLost();
        return;
    }

    const int count = mail_.Mailbox().Count();
    if (count == 0) {
        status_.setText(QStringLiteral("Il n'y a aucun message sur %1").arg(server_.HostCombo->currentText()));
        reader_.EnableMessageActions(false);
        reader_.SpinEdit1->setEnabled(false);
        FirstListing = false;
        return;
    }

    // The lines go into the list a batch at a time (a list relaid out for every line costs more
    // the longer it grows); the status bar counts the summaries read.
    QList<TListPage::TLine> pending;
    QElapsedTimer sinceInsert;
    sinceInsert.start();
    auto insertPending = [&] {
        list_.AddLines(pending);
        pending.clear();
        sinceInsert.restart();
    };
    int listed = 0;
    {
        // What was read before a failure or a cancel stays in the list.
        const Finally insertRest(insertPending);
        listed = mail_.List(1, count, [&](int n, const TSummary& s) {
            pending << TListPage::LineFor(n, s);
            status_.setText(QStringLiteral("Lecture des en-têtes… %1 / %2").arg(n).arg(count));
            if (sinceInsert.elapsed() >= ListInsertEveryMs)
                insertPending();
            return true;
        });
    }
    if (listed < count && mail_.ListingCancelled())
        status_.setText(QStringLiteral("Lecture des en-têtes annulée : %1 / %2").arg(listed).arg(count));

    reader_.ShowCount(count);
    reader_.EnableMessageActions(true);
    FirstListing = false;
}

void TMessagesPanel::Button3Click()
{
    CursorGuard cursor;
    reader_.Button3->setEnabled(false);
    const Finally after([this] { reader_.Button3->setEnabled(true); });
    // "Annuler" is offered meanwhile.
    const TMailController::TBusy busy(mail_);

    const int n = reader_.SpinEdit1->value();
    TMailbox& mailbox = mail_.Mailbox();
    // The summary gives the size of this message (the list may have left another one there).
    const int bytes = mailbox.Summary(n).Bytes;
    // The files of the message go to the received files' folder (which may have changed since).
    const TMailMessage& message = mailbox.Read(n, AttachmentsTarget());
    mail_.Touch();
    reader_.ShowMessage(message, bytes, AttachmentsTarget());
}

void TMessagesPanel::ConfirmDeleteMessage(int N)
{
    if (!context_.dialogs->ConfirmYesNo(QStringLiteral("Voulez-vous vraiment supprimer ce message du serveur ?")))
        return;
    CursorGuard cursor;
    mail_.Mailbox().Delete(N);
    // The logout makes the server carry the deletion out; the new session and list show the rest.
    Reconnect();
    ListMessages(false);
    reader_.Clear();
}

void TMessagesPanel::Button7Click()
{
    reader_.Button7->setEnabled(false);
    // The button comes back only when there is still a message to delete.
    const Finally after(
        [this] { reader_.Button7->setEnabled(mail_.Mailbox().IsOpen() && mail_.Mailbox().Count() > 0); });
    ConfirmDeleteMessage(reader_.SpinEdit1->value());
}

void TMessagesPanel::ListBox1Click()
{
    reader_.SpinEdit1->setValue(list_.SelectedRow() + 1);
}

void TMessagesPanel::ListBox1DblClick()
{
    if (list_.ListBox1->count() == 0)
        return;
    reader_.SpinEdit1->setValue(list_.SelectedRow() + 1);
    Button3Click();
    pages_.setCurrentWidget(&reader_);
}

void TMessagesPanel::ListBox1KeyDown(int key)
{
    const int row = list_.SelectedRow();
    if (row >= 0 && key == Qt::Key_Delete)
        ConfirmDeleteMessage(row + 1);
}

QString TMessagesPanel::AttachmentsTarget() const
{
    return ReceivedFilesFolder(AttachmentsFolder);
}

void TMessagesPanel::FilesListActivate()
{
    const QString file = reader_.ChosenFile();
    if (!file.isEmpty())
        OpenReceivedFile(*context_.launcher, file);
}

void TMessagesPanel::FolderBtnClick()
{
    if (reader_.FilesList->count() > 0)
        OpenReceivedFile(*context_.launcher, reader_.FilesFolder());
}

void TMessagesPanel::Button4Click()
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

void TMessagesPanel::PrintBtnClick()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setCopyCount(1);
    if (!context_.dialogs->ChoosePrinter(printer))
        return;
    CursorGuard cursor;
    printer.setDocName(Application().Title);
    QFont font = reader_.Memo2->font();
    font.setPointSize(10);
    PrintTextCopies(printer, reader_.PrintedLines(), font, printer.copyCount());
}
