// ListPage: TListPage, the "Liste des messages" page: the buttons that list the messages and open
// the usual mail program, and the list itself, one line a message, the unread ones in bold.
#include "app/ListPage.h"

#include "app/PageWidgets.h"
#include "mail/HeaderText.h"
#include "mail/KTpop3.h"

#include <QKeyEvent>
#include <QListWidget>

TListPage::TListPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheet3"));
    Button5 = button("Button5", QStringLiteral("Lister"), this);
    Button5->resize(100, 26);
    Button4 = button("Button4", QStringLiteral("Ouvrir ma messagerie Internet \"habituelle\""), this);
    placeRow(8, 8, 26, {Button5, Button4}, 8);
    ListBox1 = make<QListWidget>("ListBox1", this);
    ListBox1->setGeometry(8, 42, 560, 240);
    ListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Every line has the height of one text line: the list lays out without measuring each one.
    ListBox1->setUniformItemSizes(true);
    ListBox1->installEventFilter(this);
}

TListPage::TLine TListPage::LineFor(int n, const TSummary& s)
{
    // From and Subject, unfolded and decoded, keep the blank that followed the header's colon.
    // The line is joined piece by piece: a "%1" in a subject is text, not a place for a value.
    const std::vector<std::string> header = UnfoldHeader(s.Header);
    return {QString::number(n) + QStringLiteral(" - ") + DecodeHeaderText(HeaderValue(header, "From"))
                + QStringLiteral(" - ") + DecodeHeaderText(HeaderValue(header, "Subject")) + QStringLiteral(" (")
                + QString::number(s.Bytes) + QStringLiteral(" octets)"),
            s.Unread};
}

void TListPage::AddLines(const QList<TLine>& lines)
{
    if (lines.isEmpty())
        return;
    QFont bold = ListBox1->font();
    bold.setBold(true);
    for (const TLine& line : lines) {
        auto* item = new QListWidgetItem(line.Text);
        if (line.Unread)
            item->setFont(bold);
        ListBox1->addItem(item);
    }
}

int TListPage::SelectedRow() const
{
    const QListWidgetItem* item = ListBox1->currentItem();
    return item && item->isSelected() ? ListBox1->row(item) : -1;
}

void TListPage::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The list fills the page below its buttons.
    ListBox1->setGeometry(ListBox1->x(), ListBox1->y(), width() - 2 * ListBox1->x(), std::max(0, height() - 60));
}

bool TListPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ListBox1 && event->type() == QEvent::KeyPress && OnListKey)
        OnListKey(static_cast<QKeyEvent*>(event)->key());
    return QWidget::eventFilter(watched, event);
}
