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
        form().CheckBox1->setChecked(true);
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
        EXPECT_EQ(TForm1::DurationText(minutes), QString::fromUtf8(text)) << minutes;
}

TEST(SchedulerText, WeekdayNumbering)
{
    // Index 0 = Monday ... 6 = Sunday; day numbers 1 = Sunday ... 7 = Saturday.
    const int expected[] = {2, 3, 4, 5, 6, 7, 1};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(TForm1::IndexToDayOfWeek(i), expected[i]);
        EXPECT_EQ(TForm1::DayOfWeekToIndex(expected[i]), i);
    }
}

TEST_F(SchedulerTest, DailyModeCountsToTheNextOccurrence)
{
    TForm1& f = form();
    f.RadioButton2->setChecked(true);
    now = QDateTime(QDate(2026, 12, 7), QTime(8, 0, 40));
    f.Edit->setText("08:00");
    EXPECT_EQ(caption(), "Brevicor - Prochaine connexion automatique dans 23 heures et 59 minutes");
    EXPECT_EQ(tip(), "Brevicor - Connexion dans 23 heures et 59 minutes");
    f.Edit->setText("08:05");  // 4 minutes 20 seconds: to the nearest minute
    EXPECT_EQ(caption(), "Brevicor - Prochaine connexion automatique dans 4 minutes");
    now = QDateTime(QDate(2026, 12, 7), QTime(8, 5, 0));
    f.UpdateNextConnection();
    EXPECT_EQ(caption(), "Brevicor - Prochaine connexion automatique imminente...");
    EXPECT_EQ(tip(), "Brevicor - Connexion imminente...");
}

TEST_F(SchedulerTest, WeeklyModeCountsDaysToTheChosenWeekday)
{
    TForm1& f = form();
    f.RadioButton3->setChecked(true);
    f.ComboBox2->setCurrentIndex(1);  // Mardi
    f.EditH->setText("10:00");
    EXPECT_EQ(caption(), "Brevicor - Prochaine connexion automatique dans 1 jour et 1 heure");
    f.ComboBox2->setCurrentIndex(0);  // Lundi, today, but the time has passed
    f.EditH->setText("08:00");
    EXPECT_EQ(caption(), "Brevicor - Prochaine connexion automatique dans 6 jours et 23 heures");
    f.ComboBox2->setCurrentIndex(6);  // Dimanche: six days ahead
    f.EditH->setText("09:00");
    EXPECT_EQ(caption(), "Brevicor - Prochaine connexion automatique dans 6 jours");
}

TEST_F(SchedulerTest, EveryNMinutesCountsDownTickByTickAndNeverSaysImminent)
{
    TForm1& f = form();
    f.RadioButton1->setChecked(true);
    f.SpinEdit2->setValue(5);
    EXPECT_EQ(f.IntervalMinutes, 5);
    EXPECT_EQ(caption(), "Brevicor - Prochaine connexion automatique dans 5 minutes");
    QStringList seen;
    for (int tick = 1; tick <= 10; ++tick) {
        f.Timer2Timer();
        seen << caption().section(" dans ", 1);
        EXPECT_FALSE(caption().contains("imminente")) << tick;
    }
    EXPECT_EQ(seen, QStringList({"4 minutes", "3 minutes", "2 minutes", "1 minute", "5 minutes", "4 minutes",
                                 "3 minutes", "2 minutes", "1 minute", "5 minutes"}));
    EXPECT_EQ(f.Label11->text(), "minutes");
}

TEST_F(SchedulerTest, ChangingTheIntervalRestartsTheCountdown)
{
    TForm1& f = form();
    f.SpinEdit2->setValue(10);
    f.Timer2Timer();
    f.Timer2Timer();
    EXPECT_EQ(f.MinutesLeft, 8);
    f.SpinEdit2->setValue(20);
    EXPECT_EQ(f.MinutesLeft, 20);
    EXPECT_EQ(f.IntervalMinutes, 20);
}

TEST_F(SchedulerTest, SwitchedOffShowsTheTitleAlone)
{
    TForm1& f = form();
    EXPECT_TRUE(f.Timer2->isActive());
    f.CheckBox1->setChecked(false);
    EXPECT_FALSE(f.Timer2->isActive());
    EXPECT_EQ(caption(), "Brevicor");
    EXPECT_EQ(tip(), "Brevicor");
}

TEST_F(SchedulerTest, ModeButtonsEnableOnlyTheirOwnFields)
{
    TForm1& f = form();
    f.RadioButton2->setChecked(true);
    EXPECT_TRUE(f.Edit->isEnabled());
    EXPECT_FALSE(f.SpinEdit2->isEnabled());
    EXPECT_FALSE(f.EditH->isEnabled());
    f.RadioButton3->setChecked(true);
    EXPECT_TRUE(f.EditH->isEnabled());
    EXPECT_TRUE(f.ComboBox2->isEnabled());
    EXPECT_FALSE(f.Edit->isEnabled());
    f.RadioButton1->setChecked(true);
    EXPECT_TRUE(f.SpinEdit2->isEnabled());
    EXPECT_FALSE(f.ComboBox2->isEnabled());
}

TEST_F(SchedulerTest, TypedTimesOutOfRangeFallBackToTheLastValidParts)
{
    TForm1& f = form();
    f.Edit->setText("07:30");
    EXPECT_EQ(f.HeureQ, "07:30");
    f.Edit->setText("25:61");
    EXPECT_EQ(f.Edit->text(), "07:30");
    EXPECT_EQ(f.HeureQ, "07:30");
    f.Edit->setText("25:15");
    EXPECT_EQ(f.Edit->text(), "07:15");
    EXPECT_EQ(f.HeureQ, "07:15");
    f.EditH->setText("12:00");
    f.EditH->setText("13:75");
    EXPECT_EQ(f.EditH->text(), "13:00");
    EXPECT_EQ(f.HeureH, "13:00");
    // Blanks left by the input mask count as zeros.
    f.Edit->setText(" 9:05");
    EXPECT_EQ(f.HeureQ, "09:05");
}

TEST_F(SchedulerTest, TimeButtonsStepWithoutWrappingAround)
{
    TForm1& f = form();
    f.Edit->setText("22:58");
    f.HSpinUpClick();
    EXPECT_EQ(f.HeureQ, "23:58");
    f.HSpinUpClick();
    EXPECT_EQ(f.HeureQ, "23:58");
    f.MSpinUpClick();
    f.MSpinUpClick();
    EXPECT_EQ(f.Edit->text(), "23:59");
    f.Edit->setText("00:01");
    f.HSpinDownClick();
    EXPECT_EQ(f.HeureQ, "00:01");
    f.MSpinDownClick();
    f.MSpinDownClick();
    EXPECT_EQ(f.HeureQ, "00:00");
    f.EditH->setText("09:09");
    f.HSpinHUpClick();
    f.MSpinHUpClick();
    EXPECT_EQ(f.HeureH, "10:10");
    EXPECT_EQ(f.HeureQ, "00:00");
}

TEST_F(SchedulerTest, TipIsCutTo62Characters)
{
    windows.HiddenForm->SetToolTip(QString(70, 'x'));
    EXPECT_EQ(tip().size(), 62);
}

} // namespace
