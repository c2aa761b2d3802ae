// The tray icon and the hidden window on a real desktop with a notification area.
#include "AppFixture.h"
#include "app/TrayIcon.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

// The notification area (trayer) may take a moment to announce itself.
bool waitForNotificationArea()
{
    QElapsedTimer clock;
    clock.start();
    while (!QSystemTrayIcon::isSystemTrayAvailable() && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return QSystemTrayIcon::isSystemTrayAvailable();
}

class TrayTest : public AppFixture {
protected:
    void SetUp() override { ASSERT_TRUE(waitForNotificationArea()) << "no notification area on this display"; }
};

TEST_F(TrayTest, CompleteAccountWithShowOnStartOffStartsWithTheIconOnly)
{
    IniProfile i = ini();
    i.WriteString("MainW", "Host", "pop.example.com");
    i.WriteString("MainW", "UserID", "alice");
    i.WriteString("MainW", "Password", "pw");
    i.WriteBool("Last", "ShowOnStart", false);
    start();
    form().Server->ComboBox1->addItem("Box");
    form().Server->ComboBox1->setCurrentIndex(0);
    windows.HiddenForm->FormShow();
    EXPECT_FALSE(form().isVisible());
    EXPECT_TRUE(windows.HiddenForm->TrayIcon1->Shown());
    // With one field empty, the window shows as well.
    form().Server->Edit4->clear();
    windows.HiddenForm->FormShow();
    EXPECT_TRUE(form().isVisible());
}

TEST_F(TrayTest, MenuCaptionFollowsTheWindowAndHidesOrShowsIt)
{
    start();
    THiddenForm& h = *windows.HiddenForm;
    form().show();
    h.PopupMenu1Popup();
    EXPECT_EQ(h.Test11->text(), "&Cacher la fenêtre");
    h.Test11->trigger();
    EXPECT_FALSE(form().isVisible());
    h.PopupMenu1Popup();
    EXPECT_EQ(h.Test11->text(), "&Montrer la fenêtre");
    h.Test11->trigger();
    EXPECT_TRUE(form().isVisible());
    EXPECT_FALSE(h.AlertWindow->isVisible());
    EXPECT_EQ(h.MnuVerif->text(), "&Vérifier les messages maintenant");
    EXPECT_EQ(h.Test31->text(), "&Quitter");
}

TEST_F(TrayTest, RightClickOpensTheMenuThenReportsTheClick)
{
    start();
    TTrayIcon& icon = *windows.HiddenForm->TrayIcon1;
    icon.CursorPos = [] { return QPoint(500, 20); };
    bool menuOpened = false;
    QPoint reported;
    QTimer::singleShot(100, [&] {
        menuOpened = windows.HiddenForm->PopupMenu1->isVisible();
        windows.HiddenForm->PopupMenu1->close();
    });
    icon.OnRightClick = [&](QObject*, Qt::MouseButton b, Qt::KeyboardModifiers, int x, int y) {
        EXPECT_EQ(b, Qt::RightButton);
        reported = QPoint(x, y);
    };
    emit icon.SystemIcon()->activated(QSystemTrayIcon::Context);
    EXPECT_TRUE(menuOpened);
    EXPECT_EQ(reported, QPoint(500, 20));
    // Without a menu, the click is still reported.
    icon.PopupMenu = nullptr;
    reported = {};
    emit icon.SystemIcon()->activated(QSystemTrayIcon::Context);
    EXPECT_EQ(reported, QPoint(500, 20));
}

TEST_F(TrayTest, DoubleClickShowsTheWindow)
{
    start();
    TTrayIcon& icon = *windows.HiddenForm->TrayIcon1;
    int clicks = 0;
    icon.OnClick = [&](QObject*) { ++clicks; };
    EXPECT_FALSE(form().isVisible());
    emit icon.SystemIcon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(form().isVisible());
    EXPECT_EQ(clicks, 0);
    emit icon.SystemIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(clicks, 1);
}

TEST_F(TrayTest, QuitFromTheMenuSavesAndEnds)
{
    start();
    bool ended = false;
    QObject::connect(windows.HiddenForm.get(), &THiddenForm::Ended, [&] { ended = true; });
    form().Server->Edit3->setText("dora");
    windows.HiddenForm->Test31->trigger();
    EXPECT_TRUE(ended);
    EXPECT_EQ(ini().ReadString("MainW", "UserID", ""), "dora");
    EXPECT_FALSE(windows.HiddenForm->TrayIcon1->Shown());
}

TEST_F(TrayTest, TipIsCutTo62CharactersOnTheIcon)
{
    start();
    TTrayIcon& icon = *windows.HiddenForm->TrayIcon1;
    icon.SetToolTip(QString(70, 'a'));
    EXPECT_EQ(icon.ToolTip().size(), 62);
    EXPECT_EQ(icon.SystemIcon()->toolTip(), QString(62, 'a'));
}

} // namespace
