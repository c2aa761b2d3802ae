// The alert window: hang-up button rule, automatic hang-up every five ticks, opening an account.
#include "alert/salert.h"

#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

struct FakeHost : TAlertHost {
    bool lineWasUp = false;
    bool lineUp = false;
    int probes = 0;
    int hangUps = 0;
    QStringList opened;
    int mailPrograms = 0;
    QString ApplicationTitle() const override { return "Brevicor"; }
    bool LineWasUpAtCheck() const override { return lineWasUp; }
    bool LineIsUp() const override { return lineUp; }
    bool ProbeLine() override
    {
        ++probes;
        return lineUp;
    }
    void HangUpLine() override
    {
        ++hangUps;
        lineUp = false;
    }
    void OpenAccountMailbox(const QString& host) override { opened << host; }
    void OpenUsualMailProgram() override { ++mailPrograms; }
};

struct AlertTest : ::testing::Test {
    FakeHost host;
    TAlert alert;
    AlertTest() { alert.SetHost(&host); }
};

TEST_F(AlertTest, HangUpIsOfferedOnlyForALineTheProgramOpened)
{
    const struct { bool wasUp, up, enabled; } cases[] = {
        {false, true, true}, {true, true, false}, {false, false, false}, {true, false, false}};
    for (const auto& c : cases) {
        host.lineWasUp = c.wasUp;
        host.lineUp = c.up;
        alert.FormShow();
        EXPECT_EQ(alert.HangUpBtn->isEnabled(), c.enabled) << c.wasUp << c.up;
        EXPECT_TRUE(alert.Timer1->isActive());
        alert.FormClose();
        EXPECT_FALSE(alert.Timer1->isActive());
    }
}

TEST_F(AlertTest, FiveTicksHangUpTheProgramsLineOnce)
{
    host.lineUp = true;
    alert.FormShow();
    for (int i = 0; i < 4; ++i)
        alert.Timer1Timer();
    EXPECT_EQ(host.hangUps, 0);
    alert.Timer1Timer();
    EXPECT_EQ(host.hangUps, 1);
    ASSERT_EQ(alert.ListBox->count(), 1);
    EXPECT_EQ(alert.ListBox->item(0)->text(),
              "Brevicor a raccroché après 5 minutes d'affichage de la boîte de dialogue");
    EXPECT_EQ(alert.Ticks(), 0);
    // Five more ticks with no line up: nothing more happens.
    for (int i = 0; i < 5; ++i)
        alert.Timer1Timer();
    EXPECT_EQ(host.hangUps, 1);
    EXPECT_EQ(alert.ListBox->count(), 1);
}

TEST_F(AlertTest, ALineThatWasUpBeforeIsNeverHungUp)
{
    host.lineUp = true;
    host.lineWasUp = true;
    alert.FormShow();
    for (int i = 0; i < 10; ++i)
        alert.Timer1Timer();
    EXPECT_EQ(host.probes, 0);
    EXPECT_EQ(host.hangUps, 0);
}

TEST_F(AlertTest, ClosingRestartsTheFiveMinuteWait)
{
    host.lineUp = true;
    alert.FormShow();
    alert.Timer1Timer();
    alert.Timer1Timer();
    alert.FormClose();
    alert.FormShow();
    for (int i = 0; i < 4; ++i)
        alert.Timer1Timer();
    EXPECT_EQ(host.hangUps, 0);
}

TEST_F(AlertTest, DoubleClickOpensTheAccountOfTheLineAndCloses)
{
    // The account comes from the line's data, never from its text ("surf.fr" holds "sur").
    auto* line = new QListWidgetItem("Vous avez 2 messages sur surf.fr", alert.ListBox);
    line->setData(TAlert::AccountRole, "surf.fr");
    alert.ListBox->addItem("Brevicor a raccroché après 5 minutes d'affichage de la boîte de dialogue");
    QTimer::singleShot(0, [&] {
        alert.ListBox->setCurrentRow(0);
        alert.ListBoxDblClick();
    });
    alert.ShowModal();
    EXPECT_EQ(host.opened, QStringList({"surf.fr"}));
    EXPECT_FALSE(alert.isVisible());
    // A line without an account opens nothing, and the window still closes.
    QTimer::singleShot(0, [&] {
        alert.ListBox->setCurrentRow(1);
        alert.ListBoxDblClick();
    });
    alert.ShowModal();
    EXPECT_EQ(host.opened, QStringList({"surf.fr"}));
    EXPECT_FALSE(alert.isVisible());
}

TEST_F(AlertTest, HangUpButtonHangsUpAndCloses)
{
    host.lineUp = true;
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(alert.HangUpBtn->isEnabled());
        alert.HangUpBtn->click();
    });
    alert.ShowModal();
    EXPECT_EQ(host.hangUps, 1);
    EXPECT_FALSE(alert.Timer1->isActive());
}

} // namespace
