// Unit1Listing: the message list and the reader of the mailbox pages: listing, reading and
// deleting messages on the server of the current account.
#include "app/Unit1.h"

#include "app/Application.h"
#include "app/Finally.h"
#include "mail/HeaderText.h"
#include "mail/KTpop3.h"
#include "platform/Dialogs.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

namespace {

// The line of the list for message n: "n - From - Subject (size octets)". From and Subject,
// unfolded and decoded, keep the blank that followed the header's colon. The line is joined piece
// by piece: a "%1" in a subject is text, not a place for a value.
QString listLine(int n, const TSummary& s)
{
    const std::vector<std::string> header = UnfoldHeader(s.Header);
    return QString::number(n) + QStringLiteral(" - ") + DecodeHeaderText(HeaderValue(header, "From"))
           + QStringLiteral(" - ") + DecodeHeaderText(HeaderValue(header, "Subject")) + QStringLiteral(" (")
           + QString::number(s.Bytes) + QStringLiteral(" octets)");
}

// The line of the list the user has selected, -1 when none.
int selectedRow(const QListWidget* list)
{
    const QListWidgetItem* item = list->currentItem();
    return item && item->isSelected() ? list->row(item) : -1;
}

} // namespace

void TForm1::Button5Click()
{
    // The first listing follows a fresh connection and needs no refresh.
    ListMessages(!FirstListing);
}

void TForm1::ListMessages(bool Refresh)
{
    CursorGuard cursor;
    Button5->setEnabled(false);
    const Finally after([this] { Button5->setEnabled(true); });
    const TCancelOffer offer(*this);
    ListBox1->clear();

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
        SetStatusText(QStringLiteral("Il n'y a aucun message sur %1").arg(HostCombo->currentText()));
        for (QWidget* w : std::initializer_list<QWidget*>{Button3, Button7, Button8, PrintBtn, SpinEdit1})
            w->setEnabled(false);
        FirstListing = false;
        return;
    }

    // The lines go into the list a batch at a time (a list relaid out for every line costs more
    // the longer it grows); the status bar counts the summaries read.
    QStringList pending;
    QElapsedTimer sinceInsert;
    sinceInsert.start();
    auto insertPending = [&] {
        if (!pending.isEmpty())
            ListBox1->addItems(pending);
        pending.clear();
        sinceInsert.restart();
    };
    int listed = 0;
    {
        // What was read before a failure or a cancel stays in the list.
        const Finally insertRest(insertPending);
        listed = Mail->List(1, count, [&](int n, const TSummary& s) {
            pending << listLine(n, s);
            SetStatusText(QStringLiteral("Lecture des en-têtes… %1 / %2").arg(n).arg(count));
            if (sinceInsert.elapsed() >= ListInsertEveryMs)
                insertPending();
            return true;
        });
    }
    if (listed < count && Mail->ListingCancelled())
        SetStatusText(QStringLiteral("Lecture des en-têtes annulée : %1 / %2").arg(listed).arg(count));

    Label10->setText(QStringLiteral("Nb de messages : %1").arg(count));
    SpinEdit1->setRange(1, count > 0 ? count : 1);
    SpinEdit1->setValue(1);
    SpinEdit1->setEnabled(count >= 2);
    for (QWidget* w : std::initializer_list<QWidget*>{Button3, Button7, Button8, PrintBtn})
        w->setEnabled(true);
    FirstListing = false;
}

void TForm1::CancelListing()
{
    Mail->Cancel();
}

void TForm1::Button3Click()
{
    CursorGuard cursor;
    Button3->setEnabled(false);
    const Finally after([this] { Button3->setEnabled(true); });
    const TCancelOffer offer(*this);

    const int n = SpinEdit1->value();
    TMailbox& mailbox = Mail->Mailbox();
    // The summary gives the size of this message (the list may have left another one there).
    const int bytes = mailbox.Summary(n).Bytes;
    // The files of the message go to the received files' folder (which may have changed since).
    const TMailMessage& message = mailbox.Read(n, AttachmentsTarget());
    Mail->Touch();
    ShowMessage(message, bytes);
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
    ClearReader();
}

void TForm1::Button7Click()
{
    Button7->setEnabled(false);
    // The button comes back only when there is still a message to delete.
    const Finally after([this] { Button7->setEnabled(Mail->Mailbox().IsOpen() && Mail->Mailbox().Count() > 0); });
    ConfirmDeleteMessage(SpinEdit1->value());
}

void TForm1::ListBox1Click()
{
    SpinEdit1->setValue(selectedRow(ListBox1) + 1);
}

void TForm1::ListBox1DblClick()
{
    if (ListBox1->count() == 0)
        return;
    SpinEdit1->setValue(selectedRow(ListBox1) + 1);
    Button3Click();
    ShowPage(TabSheet2);
}

void TForm1::ListBox1KeyDown(int key)
{
    const int row = selectedRow(ListBox1);
    if (row >= 0 && key == Qt::Key_Delete)
        ConfirmDeleteMessage(row + 1);
}
