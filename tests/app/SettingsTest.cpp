// Start-up defaults, saving and reloading every setting through a real main window.
#include "AppFixture.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSplitter>

TEST_F(AppFixture, FirstStartWithoutFileUsesEveryDefault)
{
    TForm1& f = start();
    // The default size, within the screen's free area (the tests' screen is 800 pixels wide,
    // less than the default: the window is narrower and its pages scroll), centred.
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize size(std::min(TForm1::DefaultWidth, free.width() - 16), std::min(TForm1::DefaultHeight, free.height() - 48));
    EXPECT_EQ(f.size(), size);
    EXPECT_EQ(f.pos(), QPoint(free.x() + (free.width() - size.width() - 16) / 2,
                              free.y() + (free.height() - size.height() - 48) / 2));
    EXPECT_FALSE(f.isMaximized());
    EXPECT_EQ(f.Server->HostCombo->currentText(), "");
    EXPECT_EQ(f.Server->HostCombo->count(), 0);
    EXPECT_EQ(f.Server->Edit2->text(), "110");
    EXPECT_EQ(f.Server->Edit3->text(), "");
    EXPECT_EQ(f.Server->Edit4->text(), "");
    EXPECT_EQ(f.Schedule->IntervalMinutes, 30);
    EXPECT_EQ(f.Schedule->MinutesLeft, 30);
    EXPECT_EQ(f.Schedule->SpinEdit2->value(), 30);
    EXPECT_EQ(f.Schedule->HeureQ, "00:00");
    EXPECT_EQ(f.Schedule->HeureH, "00:00");
    EXPECT_EQ(f.Schedule->Edit->text(), "00:00");
    EXPECT_EQ(f.Schedule->EditH->text(), "00:00");
    EXPECT_EQ(f.Schedule->ComboBox2->currentText(), "Lundi");
    EXPECT_TRUE(f.Schedule->RadioButton1->isChecked());
    EXPECT_FALSE(f.Schedule->RadioButton2->isChecked());
    EXPECT_FALSE(f.Schedule->RadioButton3->isChecked());
    EXPECT_TRUE(f.Schedule->CheckBox4->isChecked());
    EXPECT_TRUE(f.Server->ShowOnStart->isChecked());
    EXPECT_TRUE(f.Server->WinStart->isChecked());
    EXPECT_FALSE(f.Schedule->CheckBox1->isChecked());
    EXPECT_FALSE(f.Schedule->CheckBox2->isChecked());
    EXPECT_FALSE(f.Schedule->CheckBox3->isChecked());
    EXPECT_FALSE(f.Schedule->Timer2->isActive());
    EXPECT_TRUE(f.Timer1->isActive());
    EXPECT_EQ(f.Timer1->interval(), 2000);
    EXPECT_EQ(f.Messages->AttachmentsFolder, "c:\\");
    EXPECT_EQ(f.Reader->Memo2Height(), 60);
    EXPECT_EQ(f.PageControl1->currentWidget(), f.Server);
    EXPECT_FALSE(f.MailboxTabsVisible());
    EXPECT_FALSE(f.Server->Button2->isEnabled());
    EXPECT_EQ(f.IniPath, folder.file("brevicor.ini"));
    EXPECT_TRUE(f.ProgramDir.endsWith('/'));
    EXPECT_EQ(dialogs.shown().size(), 0u);
}

TEST_F(AppFixture, FirstRunShowsTheMainWindow)
{
    start();
    EXPECT_FALSE(form().isVisible());
    windows.HiddenForm->FormShow();
    EXPECT_TRUE(form().isVisible());
}

TEST_F(AppFixture, WithoutANotificationAreaTheWindowIsAlwaysShown)
{
    IniProfile i = ini();
    i.WriteString("MainW", "Host", "pop.example.com");
    i.WriteString("MainW", "UserID", "alice");
    i.WriteString("MainW", "Password", "pw");
    i.WriteBool("Last", "ShowOnStart", false);
    start();
    form().Server->ComboBox1->addItem("Box");  // a connection is chosen
    form().Server->ComboBox1->setCurrentIndex(0);
    // Hiding the window would leave the user with neither window nor icon.
    context.notificationArea = [] { return false; };
    windows.HiddenForm->FormShow();
    EXPECT_TRUE(form().isVisible());
}

TEST_F(AppFixture, EverySettingSurvivesSaveAndReload)
{
    {
        TForm1& f = start();
        f.resize(784, 540);
        f.move(0, 44);
        f.Server->HostCombo->addItems({"pop.b.org", "pop.a.org"});
        f.Server->HostCombo->setEditText("pop.a.org");
        f.Server->Edit2->setText("1110");
        f.Server->Edit3->setText("alice");
        f.Server->Edit4->setText("s3cret; \"x\"");
        f.Reader->SetMemo2Height(90);
        f.Messages->AttachmentsFolder = "/home/alice/";
        f.Compose->ComboBox107->addItems({"zed@x.org", "amy@x.org"});
        f.Compose->ComboBox105->addItems({"Alice"});
        f.Compose->ComboBox105->setEditText("Alice A.");
        f.Compose->ComboBox106->addItems({"alice@x.org"});
        f.Compose->ComboBox106->setEditText("alice@x.org");
        f.Schedule->CheckBox2->setChecked(true);
        f.Schedule->CheckBox4->setChecked(false);
        f.Schedule->IntervalMinutes = 45;
        f.Schedule->HeureQ = "07:30";
        f.Schedule->HeureH = "18:05";
        f.Schedule->ComboBox2->setCurrentIndex(4);
        f.Server->ShowOnStart->setChecked(false);
        f.Server->WinStart->setChecked(false);
        f.Schedule->RadioButton3->setChecked(true);
        f.SaveSettings();
        stop();
    }
    TForm1& f = start();
    EXPECT_EQ(f.size(), QSize(784, 540));
    EXPECT_EQ(f.pos(), QPoint(0, 44));
    ASSERT_EQ(f.Server->HostCombo->count(), 2);
    EXPECT_EQ(f.Server->HostCombo->itemText(0), "pop.b.org");
    EXPECT_EQ(f.Server->HostCombo->itemText(1), "pop.a.org");
    EXPECT_EQ(f.Server->HostCombo->currentText(), "pop.a.org");
    EXPECT_EQ(f.Server->Edit2->text(), "1110");
    EXPECT_EQ(f.Server->Edit3->text(), "alice");
    EXPECT_EQ(f.Server->Edit4->text(), "s3cret; \"x\"");
    EXPECT_EQ(f.Reader->Memo2Height(), 90);
    EXPECT_EQ(f.Messages->AttachmentsFolder, "/home/alice/");
    // The address history comes back sorted, in all three recipient lists.
    for (QComboBox* c : {f.Compose->ComboBox107, f.Compose->ComboBox108, f.Compose->ComboBox109}) {
        ASSERT_EQ(c->count(), 2);
        EXPECT_EQ(c->itemText(0), "amy@x.org");
        EXPECT_EQ(c->itemText(1), "zed@x.org");
    }
    EXPECT_EQ(f.Compose->ComboBox105->currentText(), "Alice A.");
    EXPECT_EQ(f.Compose->ComboBox105->count(), 1);
    EXPECT_EQ(f.Compose->ComboBox106->currentText(), "alice@x.org");
    EXPECT_TRUE(f.Schedule->CheckBox2->isChecked());
    EXPECT_FALSE(f.Schedule->CheckBox4->isChecked());
    EXPECT_EQ(f.Schedule->IntervalMinutes, 45);
    EXPECT_EQ(f.Schedule->SpinEdit2->value(), 45);
    EXPECT_EQ(f.Schedule->HeureQ, "07:30");
    EXPECT_EQ(f.Schedule->Edit->text(), "07:30");
    EXPECT_EQ(f.Schedule->HeureH, "18:05");
    EXPECT_EQ(f.Schedule->EditH->text(), "18:05");
    EXPECT_EQ(f.Schedule->ComboBox2->currentText(), "Vendredi");
    EXPECT_FALSE(f.Server->ShowOnStart->isChecked());
    EXPECT_FALSE(f.Server->WinStart->isChecked());
    EXPECT_TRUE(f.Schedule->RadioButton3->isChecked());
    EXPECT_FALSE(f.Schedule->RadioButton1->isChecked());
    // The current account also got its own section.
    EXPECT_EQ(ini().ReadString("pop.a.org", "UserName", ""), "alice");
    EXPECT_EQ(ini().ReadString("pop.a.org", "Port", ""), "1110");
}

TEST_F(AppFixture, MaximizedWindowReopensMaximized)
{
    {
        TForm1& f = start();
        f.setWindowState(Qt::WindowMaximized);
        f.show();
        QCoreApplication::processEvents();
        f.SaveSettings();
        EXPECT_TRUE(ini().ReadBool("MainW", "Maxi", false));
        // The stored bounds are those of the maximized window.
        EXPECT_EQ(ini().ReadInteger("MainW", "w", 0), f.width());
        stop();
    }
    IniProfile i = ini();
    i.WriteInteger("MainW", "w", 123);  // not read when maximized
    TForm1& f = start();
    EXPECT_TRUE(f.windowState() & Qt::WindowMaximized);
    EXPECT_NE(f.width(), 123);
}

TEST_F(AppFixture, TypedHostJoinsTheStoredListOnlyAtTheSecondSave)
{
    TForm1& f = start();
    f.Server->HostCombo->setEditText("pop.new.org");
    f.Server->Edit3->setText("bob");
    f.SaveSettings();
    EXPECT_EQ(ini().ReadInteger("Host", "Nombre", -1), 0);
    EXPECT_EQ(ini().ReadString("pop.new.org", "UserName", ""), "bob");
    EXPECT_EQ(f.Server->HostCombo->count(), 1);
    f.SaveSettings();
    EXPECT_EQ(ini().ReadInteger("Host", "Nombre", -1), 1);
    EXPECT_EQ(ini().ReadString("Host", "1", ""), "pop.new.org");
}

TEST_F(AppFixture, HostCountLargerThanTheEntriesGivesEmptyHosts)
{
    IniProfile i = ini();
    i.WriteInteger("Host", "Nombre", 3);
    i.WriteString("Host", "1", "pop.a.org");
    TForm1& f = start();
    ASSERT_EQ(f.Server->HostCombo->count(), 3);
    EXPECT_EQ(f.Server->HostCombo->itemText(1), "");
}

TEST_F(AppFixture, StoredConnectionIndexBeyondTheListSelectsTheFirst)
{
    IniProfile i = ini();
    i.WriteInteger("MainW", "ComboBox1", 7);
    TForm1& f = start();
    // No connection is listed here, so nothing can be selected.
    EXPECT_EQ(f.Server->ComboBox1->currentIndex(), -1);
}

// Closing the window saves and hides it; the program goes on only when its icon can bring the
// window back.
TEST_F(AppFixture, ClosingSavesAndHidesAndTheProgramGoesOnOnlyWithANotificationArea)
{
    for (const bool area : {true, false}) {
        SCOPED_TRACE(area ? "with a notification area" : "without a notification area");
        context.notificationArea = [area] { return area; };
        TForm1& f = start();
        bool ended = false;
        QObject::connect(windows.HiddenForm.get(), &THiddenForm::Ended, [&] { ended = true; });
        f.show();
        f.Server->Edit3->setText(area ? "carol" : "dora");
        f.Server->Button12->click();
        EXPECT_FALSE(f.isVisible());
        EXPECT_EQ(windows.HiddenForm->Closed(), !area);
        EXPECT_EQ(ended, !area);
        EXPECT_EQ(ini().ReadString("MainW", "UserID", ""), area ? "carol" : "dora");
        stop();
    }
}

TEST_F(AppFixture, UnwritableSettingsKeepTheWindowOpenAndTheProgramRunning)
{
    TForm1& f = start();
    f.SaveSettings();
    ASSERT_TRUE(QFile::setPermissions(iniPath(), QFileDevice::ReadOwner));
    f.show();
    f.close();
    EXPECT_TRUE(f.isVisible());
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].kind, ScriptedDialogs::Kind::Error);
    EXPECT_EQ(dialogs.shown()[0].text, "Impossible d'écrire dans " + iniPath());
    // "Quitter Brevicor" stops at the same error and the program keeps running.
    f.Server->Button11->click();
    EXPECT_FALSE(windows.HiddenForm->Closed());
    EXPECT_EQ(dialogs.shown().size(), 2u);
}

TEST_F(AppFixture, QuitSavesAndEndsTheProgram)
{
    TForm1& f = start();
    bool ended = false;
    QObject::connect(windows.HiddenForm.get(), &THiddenForm::Ended, [&] { ended = true; });
    f.Server->Edit2->setText("2110");
    f.Server->Button11->click();
    EXPECT_TRUE(ended);
    EXPECT_EQ(ini().ReadString("MainW", "Port", ""), "2110");
}
