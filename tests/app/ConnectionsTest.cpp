// Connection management of the main window: the line check before connecting, the close offer,
// and the buttons that manage the connection entries.
#include "AppFixture.h"
#include "dialup/DialUp.h"
#include "platform/FakeDialService.h"

#include <QComboBox>
#include <QPushButton>
#include <QToolButton>

namespace {

class ConnectionsTest : public AppFixture {
protected:
    FakeDialService* dial = nullptr;
    std::vector<QString> names{"Box", "Modem"};
    std::vector<ActiveConnection> active;
    uint32_t dialResult = 0;

    void SetUp() override
    {
        context.makeDialService = [this] {
            auto s = std::make_unique<FakeDialService>();
            for (const QString& n : names) {
                FakeDialService::Entry e;
                e.Name = n;
                e.DialResult = dialResult;
                s->Entries.push_back(e);
            }
            s->Active = active;
            dial = s.get();
            return s;
        };
    }
    static ActiveConnection connection(uint32_t handle, const QString& entry)
    {
        ActiveConnection c;
        c.Handle = handle;
        c.State = 8192;
        c.EntryName = entry;
        return c;
    }
};

TEST_F(ConnectionsTest, EntriesFillTheListAndTheStoredIndexIsSelected)
{
    ini().WriteInteger("MainW", "ComboBox1", 1);
    TForm1& f = start();
    ASSERT_EQ(f.ComboBox1->count(), 2);
    EXPECT_EQ(f.ComboBox1->currentText(), "Modem");
    f.SaveSettings();
    EXPECT_EQ(ini().ReadInteger("MainW", "ComboBox1", -5), 1);
}

TEST_F(ConnectionsTest, NoEntryWarnsAndStopsWithoutAFailure)
{
    names.clear();
    TForm1& f = start();
    f.ShowPage(f.TabSheet4);
    EXPECT_EQ(f.ConnectLine(), TDialLine::TResult::NoEntry);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, "Aucune connexion n'est définie dans Windows. Utilisez le bouton \"Créer\".");
    EXPECT_EQ(dialogs.shown()[0].icon, MessageIcon::Warning);
    EXPECT_EQ(f.PageControl1->currentWidget(), f.TabSheet1);
}

TEST_F(ConnectionsTest, AnyActiveConnectionIsEnoughAndNothingIsDialed)
{
    active = {connection(7, "Lan")};
    TForm1& f = start();
    EXPECT_EQ(f.ConnectLine(), TDialLine::TResult::AlreadyUp);
    EXPECT_TRUE(f.LineUp);
    EXPECT_TRUE(dial->Calls.filter("dial").isEmpty());
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(ConnectionsTest, DialingTheSelectedEntryReportsSuccessOrFailure)
{
    TForm1& f = start();
    f.ComboBox1->setCurrentIndex(1);
    EXPECT_EQ(f.ConnectLine(), TDialLine::TResult::Dialed);
    EXPECT_TRUE(dial->Calls.contains("dial Modem"));
    EXPECT_EQ(f.StatusText(), "Connexion Modem active");
    EXPECT_TRUE(f.LineUp);
}

TEST_F(ConnectionsTest, AFailedDialIsReportedAsSuch)
{
    dialResult = DialError::NoAnswer;
    TForm1& f = start();
    EXPECT_EQ(f.ConnectLine(), TDialLine::TResult::DialFailed);
    EXPECT_FALSE(f.LineUp);
    EXPECT_TRUE(f.StatusText() == "Connexion impossible via Box" || f.StatusText() == "Non connecté à Box")
        << f.StatusText().toStdString();
}

TEST_F(ConnectionsTest, CloseOfferAsksOncePerConnectionAndTheLineCountsAsUp)
{
    active = {connection(3, "Box"), connection(4, "Lan")};
    TForm1& f = start();
    dialogs.AnswerYes();
    dialogs.AnswerNo();
    f.OfferToCloseConnections();
    ASSERT_EQ(dialogs.shown().size(), 2u);
    EXPECT_EQ(dialogs.shown()[0].text, "Voulez-vous aussi fermer la connexion \"Box\" ?");
    EXPECT_EQ(dialogs.shown()[1].text, "Voulez-vous aussi fermer la connexion \"Lan\" ?");
    EXPECT_TRUE(dial->Calls.contains("hangUp 3"));
    EXPECT_FALSE(dial->Calls.contains("hangUp 4"));
    EXPECT_TRUE(f.LineUp);
    // The quiet probe asks nothing.
    f.ProbeLine();
    EXPECT_EQ(dialogs.shown().size(), 2u);
}

TEST_F(ConnectionsTest, TheLinePollClosesTheSessionControlsWhenNoLineIsUp)
{
    TForm1& f = start();
    f.Button1->setEnabled(false);
    f.Button2->setEnabled(true);
    f.ShowMailboxTabs(true);
    f.Timer1Timer();
    EXPECT_FALSE(f.LineUp);
    EXPECT_TRUE(f.Button1->isEnabled());
    EXPECT_FALSE(f.Button2->isEnabled());
    EXPECT_FALSE(f.MailboxTabsVisible());
}

TEST_F(ConnectionsTest, RenameWithEmptyInputKeepsTheNameAndTheSelection)
{
    TForm1& f = start();
    f.ComboBox1->setCurrentIndex(1);
    dialogs.AnswerInput("");
    f.RenameBtnClick();
    EXPECT_TRUE(dial->Calls.contains("renameEntry Modem Modem") || dial->Calls.filter("renameEntry").size() == 1);
    EXPECT_EQ(dialogs.shown()[0].caption, "Renommer");
    EXPECT_EQ(dialogs.shown()[0].text, "Nom de la connexion :");
    EXPECT_EQ(dialogs.shown()[0].value, "Modem");
    EXPECT_EQ(f.ComboBox1->currentIndex(), 1);
    EXPECT_EQ(f.ComboBox1->currentText(), "Modem");
    // A real new name.
    dialogs.AnswerInput("Alpha");
    f.RenameBtnClick();
    EXPECT_EQ(f.ComboBox1->count(), 2);
    EXPECT_NE(f.ComboBox1->findText("Alpha"), -1);
}

TEST_F(ConnectionsTest, DeleteAsksFirstAndNothingHappensWithAnEmptyList)
{
    TForm1& f = start();
    dialogs.AnswerNo();
    f.Poubelle7Click();
    EXPECT_EQ(dialogs.shown()[0].text, "Voulez-vous vraiment supprimer la connexion Box ?");
    EXPECT_EQ(f.ComboBox1->count(), 2);
    dialogs.AnswerYes();
    f.Poubelle7Click();
    ASSERT_EQ(f.ComboBox1->count(), 1);
    EXPECT_EQ(f.ComboBox1->currentText(), "Modem");
    dialogs.AnswerYes();
    f.Poubelle7Click();
    EXPECT_EQ(f.ComboBox1->count(), 0);
    const size_t asked = dialogs.shown().size();
    f.Poubelle7Click();
    EXPECT_EQ(dialogs.shown().size(), asked);
}

TEST_F(ConnectionsTest, CreatedEntryIsSelected)
{
    TForm1& f = start();
    dial->OnCreateDialog = [this] {
        FakeDialService::Entry e;
        e.Name = "Cable";
        dial->Entries.push_back(e);
    };
    f.CreateBtnClick();
    EXPECT_EQ(f.ComboBox1->count(), 3);
    EXPECT_EQ(f.ComboBox1->currentText(), "Cable");
}

TEST_F(ConnectionsTest, UserNameAndPasswordKeepTheStoredValueOnEmptyInput)
{
    TForm1& f = start();
    f.ComboBox1->setCurrentIndex(0);
    dialogs.AnswerInput("alice");
    f.UserBtnClick();
    EXPECT_EQ(dial->find("Box")->UserName, "alice");
    EXPECT_EQ(dialogs.shown().back().caption, "Box");
    EXPECT_EQ(dialogs.shown().back().text, "Nom de l'utilisateur :");
    dialogs.AnswerInput("");
    f.UserBtnClick();
    EXPECT_EQ(dialogs.shown().back().value, "alice");
    EXPECT_EQ(dial->find("Box")->UserName, "alice");
    dialogs.AnswerInput("s3cret");
    f.PWBtnClick();
    EXPECT_EQ(dial->find("Box")->Password, "s3cret");
    EXPECT_EQ(dialogs.shown().back().text, "Mot de passe :");
    dialogs.AnswerNo();  // cancel
    f.PWBtnClick();
    EXPECT_EQ(dial->find("Box")->Password, "s3cret");
}

TEST_F(ConnectionsTest, ButtonsAreWiredToTheirCommands)
{
    TForm1& f = start();
    f.HostCombo->setEditText("");
    f.Button1->click();  // incomplete account: the request for details
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].caption, "Information");
    dialogs.AnswerNo();
    f.Poubelle7->click();
    EXPECT_EQ(dialogs.shown().back().text, "Voulez-vous vraiment supprimer la connexion Box ?");
    f.CreateBtn->click();
    EXPECT_TRUE(dial->Calls.contains("createEntryDialog"));
    f.Button13->click();
    EXPECT_FALSE(dial->Calls.filter("editEntryDialog").isEmpty());
    dialogs.AnswerNo();
    f.RenameBtn->click();
    EXPECT_EQ(dialogs.shown().back().caption, "Renommer");
    dialogs.AnswerNo();
    f.UserBtn->click();
    EXPECT_EQ(dialogs.shown().back().text, "Nom de l'utilisateur :");
    dialogs.AnswerNo();
    f.PWBtn->click();
    EXPECT_EQ(dialogs.shown().back().text, "Mot de passe :");
}

} // namespace
