// The automatic connection scheduler: countdown texts, modes, time fields and their buttons.
#include "AppFixture.h"

#include <QLabel>

namespace {

class SchedulerTest : public AppFixture {
protected:
    QDateTime now{QDate(2026, 12, 7), QTime(9, 0)};  // a Monday
    void SetUp() override
    {
        context.now = [this] { return now; };
        start();
        form().Schedule->CheckBox1->setChecked(true);
    }
    QString caption() { return form().windowTitle(); }
    QString tip() { return windows.HiddenForm->ToolTip(); }
};

TEST(SchedulerText, DurationsAreSpelledInFrench)
{
    const std::pair<int, const char*> cases[] = {
        {0, ""},
        {1, "1 minute"},
        {45, "45 minutes"},
        {60, "1 heure"},
        {65, "1 heure et 5 minutes"},
        {120, "2 heures"},
        {1439, "23 heures et 59 minutes"},
        {1440, "1 jour"},
        {1445, "1 jour et 5 minutes"},
        {1500, "1 jour et 1 heure"},
        {2 * 1440 + 3 * 60 + 5, "2 jours, 3 heures et 5 minutes"},
        {10020, "6 jours et 23 heures"},
    };
    for (const auto& [minutes, text] : cases)
        EXPECT_EQ(TSchedulePage::DurationText(minutes), QString::fromUtf8(text)) << minutes;
}

TEST(SchedulerText, WeekdayNumbering)
{
    // Index 0 = Monday ... 6 = Sunday; day numbers 1 = Sunday ... 7 = Saturday.
    const int expected[] = {2, 3, 4, 5, 6, 7, 1};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(TSchedulePage::IndexToDayOfWeek(i), expected[i]);
        EXPECT_EQ(TSchedulePage::DayOfWeekToIndex(expected[i]), i);
    }
}

TEST_F(SchedulerTest, DailyModeCountsToTheNextOccurrence)
{
    TForm1& f = form();
    f.Schedule->RadioButton2->setChecked(true);
    now = QDateTime(QDate(2026, 12, 7), QTime(8, 0, 40));
    f.Schedule->Edit->setText("08:00");
    EXPECT_EQ(caption(), "Brevicor - Prochaine connexion automatique dans 23 heures et 59 minutes");
    EXPECT_EQ(tip(), "Brevicor - Connexion dans 23 heures et 59 minutes");
    f.Schedule->Edit->setText("08:05");  // 4 minutes 20 seconds: to the nearest minute
    EXPECT_EQ(caption(), "Brevicor - Prochaine connexion automatique dans 4 minutes");
    now = QDateTime(QDate(2026, 12, 7), QTime(8, 5, 0));
    f.Schedule->UpdateNextConnection();
    EXPECT_EQ(caption(), "Brevicor - Prochaine connexion automatique imminente...");
    EXPECT_EQ(tip(), "Brevicor - Connexion imminente...");
}

TEST_F(SchedulerTest, WeeklyModeCountsDaysToTheChosenWeekday)
{
    TForm1& f = form();
    f.Schedule->RadioButton3->setChecked(true);
    f.Schedule->ComboBox2->setCurrentIndex(1);  // Mardi
    f.Schedule->EditH->setText("10:00");
    EXPECT_EQ(caption(), "Brevicor - Prochaine connexion automatique dans 1 jour et 1 heure");
    f.Schedule->ComboBox2->setCurrentIndex(0);  // Lundi, today, but the time has passed
    f.Schedule->EditH->setText("08:00");
    EXPECT_EQ(caption(), "Brevicor - Prochaine connexion automatique dans 6 jours et 23 heures");
    f.Schedule->ComboBox2->setCurrentIndex(6);  // Dimanche: six days ahead
    f.Schedule->EditH->setText("09:00");
    EXPECT_EQ(caption(), "Brevicor - Prochaine connexion automatique dans 6 jours");
}

TEST_F(SchedulerTest, EveryNMinutesCountsDownTickByTickAndNeverSaysImminent)
{
    TForm1& f = form();
    f.Schedule->RadioButton1->setChecked(true);
    f.Schedule->SpinEdit2->setValue(5);
    EXPECT_EQ(f.Schedule->IntervalMinutes, 5);
    EXPECT_EQ(caption(), "Brevicor - Prochaine connexion automatique dans 5 minutes");
    QStringList seen;
    for (int tick = 1; tick <= 10; ++tick) {
        f.Schedule->Timer2Timer();
        seen << caption().section(" dans ", 1);
        EXPECT_FALSE(caption().contains("imminente")) << tick;
    }
    EXPECT_EQ(seen, QStringList({"4 minutes", "3 minutes", "2 minutes", "1 minute", "5 minutes", "4 minutes",
                                 "3 minutes", "2 minutes", "1 minute", "5 minutes"}));
    EXPECT_EQ(f.Schedule->Label11->text(), "minutes");
}

TEST_F(SchedulerTest, ChangingTheIntervalRestartsTheCountdown)
{
    TForm1& f = form();
    f.Schedule->SpinEdit2->setValue(10);
    f.Schedule->Timer2Timer();
    f.Schedule->Timer2Timer();
    EXPECT_EQ(f.Schedule->MinutesLeft, 8);
    f.Schedule->SpinEdit2->setValue(20);
    EXPECT_EQ(f.Schedule->MinutesLeft, 20);
    EXPECT_EQ(f.Schedule->IntervalMinutes, 20);
}

TEST_F(SchedulerTest, SwitchedOffShowsTheTitleAlone)
{
    TForm1& f = form();
    EXPECT_TRUE(f.Schedule->Timer2->isActive());
    f.Schedule->CheckBox1->setChecked(false);
    EXPECT_FALSE(f.Schedule->Timer2->isActive());
    EXPECT_EQ(caption(), "Brevicor");
    EXPECT_EQ(tip(), "Brevicor");
}

TEST_F(SchedulerTest, ModeButtonsEnableOnlyTheirOwnFields)
{
    TForm1& f = form();
    f.Schedule->RadioButton2->setChecked(true);
    EXPECT_TRUE(f.Schedule->Edit->isEnabled());
    EXPECT_FALSE(f.Schedule->SpinEdit2->isEnabled());
    EXPECT_FALSE(f.Schedule->EditH->isEnabled());
    f.Schedule->RadioButton3->setChecked(true);
    EXPECT_TRUE(f.Schedule->EditH->isEnabled());
    EXPECT_TRUE(f.Schedule->ComboBox2->isEnabled());
    EXPECT_FALSE(f.Schedule->Edit->isEnabled());
    f.Schedule->RadioButton1->setChecked(true);
    EXPECT_TRUE(f.Schedule->SpinEdit2->isEnabled());
    EXPECT_FALSE(f.Schedule->ComboBox2->isEnabled());
}

TEST_F(SchedulerTest, TypedTimesOutOfRangeFallBackToTheLastValidParts)
{
    TForm1& f = form();
    f.Schedule->Edit->setText("07:30");
    EXPECT_EQ(f.Schedule->HeureQ, "07:30");
    f.Schedule->Edit->setText("25:61");
    EXPECT_EQ(f.Schedule->Edit->text(), "07:30");
    EXPECT_EQ(f.Schedule->HeureQ, "07:30");
    f.Schedule->Edit->setText("25:15");
    EXPECT_EQ(f.Schedule->Edit->text(), "07:15");
    EXPECT_EQ(f.Schedule->HeureQ, "07:15");
    f.Schedule->EditH->setText("12:00");
    f.Schedule->EditH->setText("13:75");
    EXPECT_EQ(f.Schedule->EditH->text(), "13:00");
    EXPECT_EQ(f.Schedule->HeureH, "13:00");
    // Blanks left by the input mask count as zeros.
    f.Schedule->Edit->setText(" 9:05");
    EXPECT_EQ(f.Schedule->HeureQ, "09:05");
}

TEST_F(SchedulerTest, TimeButtonsStepWithoutWrappingAround)
{
    TForm1& f = form();
    f.Schedule->Edit->setText("22:58");
    f.Schedule->HSpinUpClick();
    EXPECT_EQ(f.Schedule->HeureQ, "23:58");
    f.Schedule->HSpinUpClick();
    EXPECT_EQ(f.Schedule->HeureQ, "23:58");
    f.Schedule->MSpinUpClick();
    f.Schedule->MSpinUpClick();
    EXPECT_EQ(f.Schedule->Edit->text(), "23:59");
    f.Schedule->Edit->setText("00:01");
    f.Schedule->HSpinDownClick();
    EXPECT_EQ(f.Schedule->HeureQ, "00:01");
    f.Schedule->MSpinDownClick();
    f.Schedule->MSpinDownClick();
    EXPECT_EQ(f.Schedule->HeureQ, "00:00");
    f.Schedule->EditH->setText("09:09");
    f.Schedule->HSpinHUpClick();
    f.Schedule->MSpinHUpClick();
    EXPECT_EQ(f.Schedule->HeureH, "10:10");
    EXPECT_EQ(f.Schedule->HeureQ, "00:00");
}

TEST_F(SchedulerTest, TipIsCutTo62Characters)
{
    windows.HiddenForm->SetToolTip(QString(70, 'x'));
    EXPECT_EQ(tip().size(), 62);
}

} // namespace
