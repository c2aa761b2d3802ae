// Unit1Listing: the message list and the reader of the mailbox pages: listing, reading and
// deleting messages on the server of the current account.
#include "app/Unit1.h"

#include "app/Application.h"
#include "app/Finally.h"
#include "mail/KTpop3.h"
#include "platform/Dialogs.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>

void TForm1::Button5Click()
{
    // The first listing follows a fresh connection and needs no refresh.
    ListMessages(!FirstListing);
}

void TForm1::ListMessages(bool Refresh)
{
    CursorGuard cursor;
    List->Button5->setEnabled(false);
    const Finally after([this] { List->Button5->setEnabled(true); });
    const TCancelOffer offer(*this);
    List->ListBox1->clear();

    // A POP3 session sees the mailbox as it was at login: closing and reopening it makes new mail
    // visible.
    if (Refresh) {
        ClosePopSession(TTabs::Keep);
        // Not signed in again (cancelled, refused, unreachable): that has been told already.
        if (!ConnectCurrentAccount(TTabs::Keep))
            return;
    }
    // The session was closed meanwhile (its idle limit, a cancel): nothing to list.
    if (!Mail->Mailbox().IsOpen()) {
        ShowSessionClosed(TTabs::Follow);
        return;
    }

    const int count = Mail->Mailbox().Count();
    if (count == 0) {
        SetStatusText(QStringLiteral("Il n'y a aucun message sur %1").arg(Server->HostCombo->currentText()));
        Reader->EnableMessageActions(false);
        Reader->SpinEdit1->setEnabled(false);
        FirstListing = false;
        return;
    }

    // The lines go into the list a batch at a time (a list relaid out for every line costs more
    // the longer it grows); the status bar counts the summaries read.
    QList<TListPage::TLine> pending;
    QElapsedTimer sinceInsert;
    sinceInsert.start();
    auto insertPending = [&] {
        List->AddLines(pending);
        pending.clear();
        sinceInsert.restart();
    };
    int listed = 0;
    {
        // What was read before a failure or a cancel stays in the list.
        const Finally insertRest(insertPending);
        listed = Mail->List(1, count, [&](int n, const TSummary& s) {
            pending << TListPage::LineFor(n, s);
            SetStatusText(QStringLiteral("Lecture des en-têtes… %1 / %2").arg(n).arg(count));
            if (sinceInsert.elapsed() >= ListInsertEveryMs)
                insertPending();
            return true;
        });
    }
    if (listed < count && Mail->ListingCancelled())
        SetStatusText(QStringLiteral("Lecture des en-têtes annulée : %1 / %2").arg(listed).arg(count));

    Reader->ShowCount(count);
    Reader->EnableMessageActions(true);
    FirstListing = false;
}

void TForm1::CancelListing()
{
    Mail->Cancel();
}

void TForm1::Button3Click()
{
    CursorGuard cursor;
    Reader->Button3->setEnabled(false);
    const Finally after([this] { Reader->Button3->setEnabled(true); });
    const TCancelOffer offer(*this);

    const int n = Reader->SpinEdit1->value();
    TMailbox& mailbox = Mail->Mailbox();
    // The summary gives the size of this message (the list may have left another one there).
    const int bytes = mailbox.Summary(n).Bytes;
    // The files of the message go to the received files' folder (which may have changed since).
    const TMailMessage& message = mailbox.Read(n, AttachmentsTarget());
    Mail->Touch();
    Reader->ShowMessage(message, bytes, AttachmentsTarget());
}

void TForm1::ConfirmDeleteMessage(int N)
{
    if (!context_.dialogs->ConfirmYesNo(QStringLiteral("Voulez-vous vraiment supprimer ce message du serveur ?")))
        return;
    CursorGuard cursor;
    Mail->Mailbox().Delete(N);
    // The logout makes the server carry the deletion out; the new session and list show the rest.
    ClosePopSession(TTabs::Keep);
    ConnectCurrentAccount(TTabs::Keep);
    ListMessages(false);
    Reader->Clear();
}

void TForm1::Button7Click()
{
    Reader->Button7->setEnabled(false);
    // The button comes back only when there is still a message to delete.
    const Finally after(
        [this] { Reader->Button7->setEnabled(Mail->Mailbox().IsOpen() && Mail->Mailbox().Count() > 0); });
    ConfirmDeleteMessage(Reader->SpinEdit1->value());
}

void TForm1::ListBox1Click()
{
    Reader->SpinEdit1->setValue(List->SelectedRow() + 1);
}

void TForm1::ListBox1DblClick()
{
    if (List->ListBox1->count() == 0)
        return;
    Reader->SpinEdit1->setValue(List->SelectedRow() + 1);
    Button3Click();
    ShowPage(Reader);
}

void TForm1::ListBox1KeyDown(int key)
{
    const int row = List->SelectedRow();
    if (row >= 0 && key == Qt::Key_Delete)
        ConfirmDeleteMessage(row + 1);
}
