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
    ASSERT_EQ(f.Server->ComboBox1->count(), 2);
    EXPECT_EQ(f.Server->ComboBox1->currentText(), "Modem");
    f.SaveSettings();
    EXPECT_EQ(ini().ReadInteger("MainW", "ComboBox1", -5), 1);
}

TEST_F(ConnectionsTest, NoEntryWarnsAndStopsWithoutAFailure)
{
    names.clear();
    TForm1& f = start();
    f.ShowPage(f.Schedule);
    EXPECT_EQ(f.Connections->ConnectLine(), TDialLine::TResult::NoEntry);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, "Aucune connexion n'est définie dans le gestionnaire de réseau. Utilisez le bouton \"Créer\".");
    EXPECT_EQ(dialogs.shown()[0].icon, MessageIcon::Warning);
    EXPECT_EQ(f.PageControl1->currentWidget(), f.Server);
}

TEST_F(ConnectionsTest, AnyActiveConnectionIsEnoughAndNothingIsDialed)
{
    active = {connection(7, "Lan")};
    TForm1& f = start();
    EXPECT_EQ(f.Connections->ConnectLine(), TDialLine::TResult::AlreadyUp);
    EXPECT_TRUE(f.Connections->LineUp);
    EXPECT_TRUE(dial->Calls.filter("dial").isEmpty());
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(ConnectionsTest, DialingTheSelectedEntryReportsSuccessOrFailure)
{
    TForm1& f = start();
    f.Server->ComboBox1->setCurrentIndex(1);
    EXPECT_EQ(f.Connections->ConnectLine(), TDialLine::TResult::Dialed);
    EXPECT_TRUE(dial->Calls.contains("dial Modem"));
    EXPECT_EQ(f.StatusText(), "Connexion Modem active");
    EXPECT_TRUE(f.Connections->LineUp);
}

TEST_F(ConnectionsTest, AFailedDialIsReportedAsSuch)
{
    dialResult = DialError::NoAnswer;
    TForm1& f = start();
    EXPECT_EQ(f.Connections->ConnectLine(), TDialLine::TResult::DialFailed);
    EXPECT_FALSE(f.Connections->LineUp);
    EXPECT_TRUE(f.StatusText() == "Connexion impossible via Box" || f.StatusText() == "Non connecté à Box")
        << f.StatusText().toStdString();
}

// The close offer names only the connection the program dialed itself, with "Non" as the
// default; connections the user brought up are never asked about nor closed.
TEST_F(ConnectionsTest, CloseOfferOnlyForTheLineTheProgramDialed)
{
    struct Case {
        const char* name;
        bool dialFirst;      // the program dials "Box" before the offer
        bool answerYes;
        QStringList asked;   // questions shown
        bool dialedClosed;   // the dialed connection was hung up
    };
    const Case cases[] = {
        {"user lines only", false, true, {}, false},
        {"dialed line, answer Oui", true, true, {"Voulez-vous aussi fermer la connexion \"Box\" ?"}, true},
        {"dialed line, answer Non", true, false, {"Voulez-vous aussi fermer la connexion \"Box\" ?"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        active = c.dialFirst ? std::vector<ActiveConnection>{} : std::vector<ActiveConnection>{connection(40, "Lan")};
        TForm1& f = start();
        if (c.dialFirst) {
            ASSERT_EQ(f.Connections->ConnectLine(), TDialLine::TResult::Dialed);
            dial->Active.push_back(connection(40, "Lan"));
        }
        const uint32_t ours = f.DialUp->ConnectionHandle();
        dialogs.clear();
        if (c.answerYes)
            dialogs.AnswerYes();
        else
            dialogs.AnswerNo();
        f.Connections->OfferToCloseConnections();
        QStringList asked;
        for (const auto& shown : dialogs.shown()) {
            asked << shown.text;
            EXPECT_TRUE(shown.defaultNo);
        }
        EXPECT_EQ(asked, c.asked);
        EXPECT_FALSE(dial->Calls.contains("hangUp 40"));
        EXPECT_EQ(c.dialFirst && dial->Calls.contains(QStringLiteral("hangUp %1").arg(ours)), c.dialedClosed);
        EXPECT_TRUE(f.Connections->LineUp);
        // The quiet probe asks nothing.
        const size_t before = dialogs.shown().size();
        f.Connections->ProbeLine();
        EXPECT_EQ(dialogs.shown().size(), before);
        stop();
    }
}

TEST_F(ConnectionsTest, TheLinePollClosesTheSessionControlsWhenNoLineIsUp)
{
    TForm1& f = start();
    f.Server->Button1->setEnabled(false);
    f.Server->Button2->setEnabled(true);
    f.ShowMailboxTabs(true);
    f.Timer1Timer();
    EXPECT_FALSE(f.Connections->LineUp);
    EXPECT_TRUE(f.Server->Button1->isEnabled());
    EXPECT_FALSE(f.Server->Button2->isEnabled());
    EXPECT_FALSE(f.MailboxTabsVisible());
}

TEST_F(ConnectionsTest, RenameWithEmptyInputKeepsTheNameAndTheSelection)
{
    TForm1& f = start();
    f.Server->ComboBox1->setCurrentIndex(1);
    dialogs.AnswerInput("");
    f.Connections->RenameBtnClick();
    EXPECT_TRUE(dial->Calls.contains("renameEntry Modem Modem") || dial->Calls.filter("renameEntry").size() == 1);
    EXPECT_EQ(dialogs.shown()[0].caption, "Renommer");
    EXPECT_EQ(dialogs.shown()[0].text, "Nom de la connexion :");
    EXPECT_EQ(dialogs.shown()[0].value, "Modem");
    EXPECT_EQ(f.Server->ComboBox1->currentIndex(), 1);
    EXPECT_EQ(f.Server->ComboBox1->currentText(), "Modem");
    // A real new name.
    dialogs.AnswerInput("Alpha");
    f.Connections->RenameBtnClick();
    EXPECT_EQ(f.Server->ComboBox1->count(), 2);
    EXPECT_NE(f.Server->ComboBox1->findText("Alpha"), -1);
}

TEST_F(ConnectionsTest, DeleteAsksFirstAndNothingHappensWithAnEmptyList)
{
    TForm1& f = start();
    dialogs.AnswerNo();
    f.Connections->Poubelle7Click();
    EXPECT_EQ(dialogs.shown()[0].text, "Voulez-vous vraiment supprimer la connexion Box ?");
    EXPECT_EQ(f.Server->ComboBox1->count(), 2);
    dialogs.AnswerYes();
    f.Connections->Poubelle7Click();
    ASSERT_EQ(f.Server->ComboBox1->count(), 1);
    EXPECT_EQ(f.Server->ComboBox1->currentText(), "Modem");
    dialogs.AnswerYes();
    f.Connections->Poubelle7Click();
    EXPECT_EQ(f.Server->ComboBox1->count(), 0);
    const size_t asked = dialogs.shown().size();
    f.Connections->Poubelle7Click();
    EXPECT_EQ(dialogs.shown().size(), asked);
}

// What the user is told when the desktop cannot do what a connection button asks.
TEST_F(ConnectionsTest, RefusedConnectionCommandsAreExplainedInFrench)
{
    struct Case {
        const char* name;
        QString failing;     // operation of the service that fails
        uint32_t code;
        bool offersRename;
        void (TConnectionsPanel::*command)();
        QString said;        // message shown, empty for none
    };
    const QString noEditor = "Aucun éditeur de connexions n'est installé : installez le paquet network-manager-gnome "
                             "(nm-connection-editor) pour créer ou modifier une connexion.";
    const Case cases[] = {
        {"create without editor", "createEntryDialog", DialError::ProgramNotFound, true, &TConnectionsPanel::CreateBtnClick, noEditor},
        {"edit without editor", "editEntryDialog", DialError::ProgramNotFound, true, &TConnectionsPanel::Button13Click, noEditor},
        {"create cancelled", "createEntryDialog", DialError::Unknown, true, &TConnectionsPanel::CreateBtnClick, ""},
        {"rename onto another name", "renameEntry", DialError::AlreadyExists, true, &TConnectionsPanel::RenameBtnClick,
         "Une connexion s'appelle déjà \"Nouveau\"."},
        {"rename without the service", "", 0, false, &TConnectionsPanel::RenameBtnClick,
         "Les connexions ne peuvent être renommées qu'avec NetworkManager."},
        {"rename refused", "renameEntry", DialError::AccessDenied, true, &TConnectionsPanel::RenameBtnClick,
         "Impossible de renommer la connexion \"Box\" : "
             + DialService::standardErrorText(DialError::AccessDenied, DialTextLanguage::French)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TForm1& f = start();
        if (!c.failing.isEmpty())
            dial->Failures[c.failing] = c.code;
        dial->OffersRenameDelete = c.offersRename;
        f.Server->ComboBox1->setCurrentIndex(0);
        dialogs.clear();
        dialogs.AnswerInput("Nouveau");
        (f.Connections.get()->*c.command)();
        QStringList messages;
        for (const auto& shown : dialogs.shown())
            if (shown.kind == ScriptedDialogs::Kind::Message)
                messages << shown.text;
        EXPECT_EQ(messages, c.said.isEmpty() ? QStringList() : QStringList{c.said});
        EXPECT_EQ(f.Server->ComboBox1->count(), 2);
        stop();
    }
}

TEST_F(ConnectionsTest, CreatedEntryIsSelected)
{
    TForm1& f = start();
    dial->OnCreateDialog = [this] {
        FakeDialService::Entry e;
        e.Name = "Cable";
        dial->Entries.push_back(e);
    };
    f.Connections->CreateBtnClick();
    EXPECT_EQ(f.Server->ComboBox1->count(), 3);
    EXPECT_EQ(f.Server->ComboBox1->currentText(), "Cable");
}

TEST_F(ConnectionsTest, UserNameAndPasswordKeepTheStoredValueOnEmptyInput)
{
    TForm1& f = start();
    f.Server->ComboBox1->setCurrentIndex(0);
    dialogs.AnswerInput("alice");
    f.Connections->UserBtnClick();
    EXPECT_EQ(dial->find("Box")->UserName, "alice");
    EXPECT_EQ(dialogs.shown().back().caption, "Box");
    EXPECT_EQ(dialogs.shown().back().text, "Nom de l'utilisateur :");
    dialogs.AnswerInput("");
    f.Connections->UserBtnClick();
    EXPECT_EQ(dialogs.shown().back().value, "alice");
    EXPECT_EQ(dial->find("Box")->UserName, "alice");
    dialogs.AnswerInput("s3cret");
    f.Connections->PWBtnClick();
    EXPECT_EQ(dial->find("Box")->Password, "s3cret");
    EXPECT_EQ(dialogs.shown().back().text, "Mot de passe :");
    EXPECT_TRUE(dialogs.shown().back().hidden);
    EXPECT_FALSE(dialogs.shown()[0].hidden);
    dialogs.AnswerNo();  // cancel
    f.Connections->PWBtnClick();
    EXPECT_EQ(dial->find("Box")->Password, "s3cret");
}

TEST_F(ConnectionsTest, ButtonsAreWiredToTheirCommands)
{
    TForm1& f = start();
    f.Server->HostCombo->setEditText("");
    f.Server->Button1->click();  // incomplete account: the request for details
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].caption, "Information");
    dialogs.AnswerNo();
    f.Server->Poubelle7->click();
    EXPECT_EQ(dialogs.shown().back().text, "Voulez-vous vraiment supprimer la connexion Box ?");
    f.Server->CreateBtn->click();
    EXPECT_TRUE(dial->Calls.contains("createEntryDialog"));
    f.Server->Button13->click();
    EXPECT_FALSE(dial->Calls.filter("editEntryDialog").isEmpty());
    dialogs.AnswerNo();
    f.Server->RenameBtn->click();
    EXPECT_EQ(dialogs.shown().back().caption, "Renommer");
    dialogs.AnswerNo();
    f.Server->UserBtn->click();
    EXPECT_EQ(dialogs.shown().back().text, "Nom de l'utilisateur :");
    dialogs.AnswerNo();
    f.Server->PWBtn->click();
    EXPECT_EQ(dialogs.shown().back().text, "Mot de passe :");
}

} // namespace
