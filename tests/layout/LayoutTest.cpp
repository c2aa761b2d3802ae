// Every window at its default size shows each button, tab, check box and label whole: no text
// elided or cut, nothing outside its window. Run at several scales by CTest.
#include "AppFixture.h"
#include "app/sabout.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionTab>
#include <QTabBar>
#include <QToolButton>

namespace {

QString plain(QString text)
{
    return text.remove(QLatin1Char('&'));
}

// Where the widget is cut by one of its parents up to its window, or empty when it is whole.
QString clippedBy(const QWidget* w)
{
    const QWidget* window = w->window();
    QRect r = w->rect();
    for (const QWidget* p = w; p != window; p = p->parentWidget()) {
        r = QRect(p->mapToParent(r.topLeft()), r.size());
        if (!p->parentWidget()->rect().contains(r))
            return p->parentWidget()->objectName().isEmpty() ? QString::fromLatin1(p->parentWidget()->metaObject()->className())
                                                             : p->parentWidget()->objectName();
    }
    return QString();
}

// Width the widget has for its text, and the text.
struct TextSpace {
    QString text;
    int available = 0;
};

std::optional<TextSpace> textSpace(QWidget* w)
{
    if (auto* b = qobject_cast<QPushButton*>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.text = b->text();
        opt.icon = b->icon();
        opt.iconSize = b->iconSize();
        const QRect contents = b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b);
        const int icon = b->icon().isNull() ? 0 : b->iconSize().width() + 4;
        return TextSpace{plain(b->text()), contents.width() - icon};
    }
    if (auto* c = qobject_cast<QCheckBox*>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(c);
        opt.text = c->text();
        return TextSpace{plain(c->text()), c->style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, c).width()};
    }
    if (auto* r = qobject_cast<QRadioButton*>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(r);
        opt.text = r->text();
        return TextSpace{plain(r->text()), r->style()->subElementRect(QStyle::SE_RadioButtonContents, &opt, r).width()};
    }
    if (auto* t = qobject_cast<QToolButton*>(w)) {
        if (t->text().isEmpty() || t->toolButtonStyle() == Qt::ToolButtonIconOnly)
            return std::nullopt;
        // Text beside the icon: the button must be as wide as it asks to be.
        return TextSpace{plain(t->text()), t->width() - (t->sizeHint().width() - t->fontMetrics().horizontalAdvance(plain(t->text())))};
    }
    if (auto* l = qobject_cast<QLabel*>(w)) {
        if (l->text().isEmpty() || l->wordWrap() || !l->pixmap().isNull() || l->objectName() == QLatin1String("StatusText"))
            return std::nullopt;
        return TextSpace{l->text(), l->contentsRect().width() - 2 * l->margin() - 2 * std::max(l->indent(), 0)};
    }
    if (auto* g = qobject_cast<QGroupBox*>(w)) {
        QStyleOptionGroupBox opt;
        opt.initFrom(g);
        opt.text = g->title();
        opt.subControls = QStyle::SC_GroupBoxLabel;
        const QRect label = g->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
        return TextSpace{plain(g->title()), std::min(label.width(), g->width() - label.x())};
    }
    return std::nullopt;
}

// Every text of the visible widgets of one window, as the user sees it now.
QStringList problems(QWidget* window)
{
    QStringList found;
    const QList<QWidget*> all = window->findChildren<QWidget*>();
    for (QWidget* w : all) {
        if (!w->isVisibleTo(window) || !w->isVisible())
            continue;
        const QString name = w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
        if (const std::optional<TextSpace> space = textSpace(w)) {
            const int needed = w->fontMetrics().horizontalAdvance(space->text);
            if (needed > space->available)
                found << QStringLiteral("%1 \"%2\": %3 px of text in %4 px").arg(name, space->text).arg(needed).arg(space->available);
            const QString cut = clippedBy(w);
            if (!cut.isEmpty())
                found << QStringLiteral("%1 \"%2\" is cut by %3").arg(name, space->text, cut);
        }
        if (auto* bar = qobject_cast<QTabBar*>(w)) {
            for (int i = 0; i < bar->count(); ++i) {
                if (!bar->isTabVisible(i))
                    continue;
                QStyleOptionTab opt;
                opt.initFrom(bar);
                opt.rect = bar->tabRect(i);
                opt.text = bar->tabText(i);
                opt.shape = bar->shape();
                const QRect text = bar->style()->subElementRect(QStyle::SE_TabBarTabText, &opt, bar);
                const int needed = bar->fontMetrics().horizontalAdvance(plain(bar->tabText(i)));
                if (needed > text.width() || !bar->rect().contains(bar->tabRect(i)))
                    found << QStringLiteral("tab \"%1\": %2 px of text in %3 px, tab at %4..%5 of %6")
                                 .arg(bar->tabText(i)).arg(needed).arg(text.width())
                                 .arg(bar->tabRect(i).left()).arg(bar->tabRect(i).right()).arg(bar->width());
            }
            const QString cut = clippedBy(bar);
            if (!cut.isEmpty())
                found << QStringLiteral("tab bar cut by %1").arg(cut);
        }
    }
    return found;
}

void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

void screenshot(QWidget* w, const QString& name)
{
    const QString dir = qEnvironmentVariable("BREVICOR_SCREENSHOTS");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1"))
                          + (qEnvironmentVariableIsSet("QT_FONT_DPI") ? QStringLiteral("-dpi") + qEnvironmentVariable("QT_FONT_DPI") : QString());
    w->grab().save(QDir(dir).filePath(name + QStringLiteral("@") + scale + QStringLiteral(".png")));
}

class LayoutTest : public AppFixture {};

// The check itself: a button, a check box, a label and tabs squeezed below their text are found.
TEST(LayoutCheck, FindsTextThatDoesNotFit)
{
    QWidget window;
    window.resize(300, 200);
    auto* button = new QPushButton(QStringLiteral("Ouvrir ma messagerie Internet \"habituelle\""), &window);
    button->setGeometry(0, 0, 80, 26);
    auto* box = new QCheckBox(QStringLiteral("Démarrer avec la session"), &window);
    box->setGeometry(0, 30, 60, 20);
    auto* label = new QLabel(QStringLiteral("Nb de messages : 99999"), &window);
    label->setGeometry(0, 60, 40, 20);
    auto* beyond = new QPushButton(QStringLiteral("OK"), &window);
    beyond->setGeometry(280, 170, 80, 26);
    auto* tabs = new QTabBar(&window);
    tabs->setElideMode(Qt::ElideNone);
    for (const char* t : {"Serveur", "Liste des messages", "Lecture des messages", "Envoi d'un message"})
        tabs->addTab(QString::fromUtf8(t));
    tabs->setGeometry(0, 100, 200, 30);
    window.show();
    settle();
    const QString found = problems(&window).join(QLatin1Char('\n'));
    EXPECT_TRUE(found.contains(QStringLiteral("habituelle"))) << found.toStdString();
    EXPECT_TRUE(found.contains(QStringLiteral("Démarrer avec la session"))) << found.toStdString();
    EXPECT_TRUE(found.contains(QStringLiteral("Nb de messages"))) << found.toStdString();
    EXPECT_TRUE(found.contains(QStringLiteral("\"OK\" is cut"))) << found.toStdString();
    EXPECT_TRUE(found.contains(QStringLiteral("tab \"Envoi d'un message\""))) << found.toStdString();
}

TEST_F(LayoutTest, EveryPageOfTheMainWindowShowsItsControlsWhole)
{
    TForm1& f = start();
    // The window opens inside the screen's free area: at its default size when there is room.
    const QRect free = f.screen()->availableGeometry();
    EXPECT_TRUE(free.contains(f.geometry())) << f.width() << "x" << f.height() << " in " << free.width() << "x"
                                             << free.height();
    EXPECT_GE(f.width(), std::min(TForm1::DefaultWidth, free.width() - 16));
    EXPECT_GE(f.height(), std::min(TForm1::DefaultHeight, free.height() - 48));
    // At that size every control shows whole (on a smaller screen the pages scroll).
    f.resize(TForm1::DefaultWidth, TForm1::DefaultHeight);
    f.ShowMailboxTabs(true);
    f.Reader->Label10->setText(QStringLiteral("Nb de messages : 99999"));
    f.show();
    settle();
    for (QWidget* page : std::initializer_list<QWidget*>{f.Server, f.List, f.Reader, f.Compose, f.Schedule}) {
        f.ShowPage(page);
        settle();
        SCOPED_TRACE(page->objectName().toStdString());
        EXPECT_EQ(problems(&f), QStringList()) << qPrintable(problems(&f).join("\n"));
        screenshot(&f, QStringLiteral("main-") + page->objectName());
    }
}

TEST_F(LayoutTest, AnOldSmallStoredSizeOpensLargeEnoughForTheTabs)
{
    IniProfile i = ini();
    i.WriteInteger("MainW", "w", 600);
    i.WriteInteger("MainW", "h", 400);
    TForm1& f = start();
    f.ShowMailboxTabs(true);
    f.show();
    settle();
    // Large enough for the tabs, unless the screen is smaller: then the pages scroll.
    const QRect free = f.screen()->availableGeometry();
    EXPECT_TRUE(free.contains(f.geometry()));
    if (f.width() >= TForm1::DefaultWidth)
        EXPECT_EQ(problems(&f), QStringList());
}

TEST_F(LayoutTest, ReadingAndComposingAreasTakeTheFreeHeight)
{
    TForm1& f = start();
    f.resize(TForm1::DefaultWidth, TForm1::DefaultHeight);
    f.ShowMailboxTabs(true);
    f.show();
    std::vector<std::pair<int, int>> heights;  // (reading area, composing area)
    for (const int extra : {0, 200}) {
        f.resize(f.width(), TForm1::DefaultHeight + extra);
        f.ShowPage(f.Reader);
        settle();
        f.ShowPage(f.Compose);
        settle();
        heights.emplace_back(f.Reader->Panel2->height(), f.Compose->Memo100->height());
        EXPECT_GE(f.Compose->Memo100->geometry().bottom(), f.Compose->height() - 10);
        EXPECT_GE(f.Compose->Memo100->height(), 80);
    }
    EXPECT_EQ(heights[1].first - heights[0].first, 200);
    EXPECT_EQ(heights[1].second - heights[0].second, 200);
}

TEST_F(LayoutTest, AlertAndAboutWindowsShowTheirControlsWhole)
{
    start();
    TAlert* alert = windows.Alert.get();
    alert->ListBox->addItem(QStringLiteral("Vous avez 6 messages sur pop.example.com (2 nouveaux)"));
    alert->show();
    settle();
    EXPECT_EQ(problems(alert), QStringList());
    screenshot(alert, QStringLiteral("alert"));
    alert->hide();

    TAboutBox* about = windows.AboutBox.get();
    about->show();
    settle();
    EXPECT_EQ(problems(about), QStringList());
    screenshot(about, QStringLiteral("about"));
    about->hide();
}

} // namespace
