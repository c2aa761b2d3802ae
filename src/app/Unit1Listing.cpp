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
        ConnectCurrentAccount(TTabs::Keep);
    }

    const int count = KTPOP31->MessageCount();
    if (count == 0) {
        SetStatusText(QStringLiteral("Il n'y a aucun message sur %1").arg(HostCombo->currentText()));
        for (QWidget* w : std::initializer_list<QWidget*>{Button3, Button7, Button8, PrintBtn, SpinEdit1})
            w->setEnabled(false);
        FirstListing = false;
        return;
    }

    // The lines go into the list a batch at a time (a list relaid out for every line costs more
    // the longer it grows); the status bar counts the summaries read.
    listingCancelRequested_ = false;
    listingRunning_ = true;
    const Finally notRunning([this] { listingRunning_ = false; });
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
        listed = KTPOP31->ListSummaries(1, count, [&](int n, const TSummary& s) {
            pending << listLine(n, s);
            SetStatusText(QStringLiteral("Lecture des en-têtes… %1 / %2").arg(n).arg(count));
            if (sinceInsert.elapsed() >= ListInsertEveryMs)
                insertPending();
            return !listingCancelRequested_;
        });
    }
    if (listed < count && listingCancelRequested_)
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
    if (listingRunning_)
        listingCancelRequested_ = true;
}

void TForm1::Button3Click()
{
    CursorGuard cursor;
    Button3->setEnabled(false);
    const Finally after([this] { Button3->setEnabled(true); });
    const TCancelOffer offer(*this);

    const int n = SpinEdit1->value();
    // The summary gives the size of this message (the list may have left another one there).
    KTPOP31->RetrieveSummary(n);
    // The files of the message go to the attachments folder (which may have changed since).
    KTPOP31->AttachFilePath = std::string(QFile::encodeName(AttachmentsTarget() + QLatin1Char('/')));
    KTPOP31->RetrieveMessage(n);
    ShowMessage(KTPOP31->MailMessage(), KTPOP31->Summary().Bytes);
}

void TForm1::ConfirmDeleteMessage(int N)
{
    if (!context_.dialogs->ConfirmYesNo(QStringLiteral("Voulez-vous vraiment supprimer ce message du serveur ?")))
        return;
    CursorGuard cursor;
    KTPOP31->DeleteMessage(N);
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
    const Finally after([this] { Button7->setEnabled(KTPOP31->MessageCount() > 0); });
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
