// The connection question and "Renommer" against the real NetworkManager (in a network
// namespace): only the line the program brought up is offered for closing, with "Non" as the
// default; a line the user brought up is left alone; renaming changes the profile's name.
#include "AppFixture.h"
#include "NmFixture.h"
#include "dialup/DialUp.h"
#include "platform/NmDialService.h"

#include <QComboBox>

using testsupport::NmFixture;

namespace {

class ConnectionQuestionNmTest : public AppFixture {
protected:
    NmFixture nm;

    void SetUp() override
    {
        const NmFixture::Status status = nm.start();
        if (status == NmFixture::Status::NoNamespaces)
            GTEST_SKIP() << nm.message().toStdString();
        ASSERT_EQ(status, NmFixture::Status::Running) << nm.message().toStdString();
        for (const auto& [name, iface] : {std::pair{"Maison", "br5"}, std::pair{"Pont", "br7"}}) {
            QString error;
            ASSERT_FALSE(nm.addProfile(NmFixture::bridgeProfile(name, iface), &error).isEmpty()) << error.toStdString();
        }
        context.makeDialService = [this] { return std::make_unique<NmDialService>(nm.bus()); };
    }

    // The user brings a connection up with the desktop's own tools.
    void userBringsUp(const QString& name)
    {
        TDialUp user(nullptr, std::make_unique<NmDialService>(nm.bus()));
        user.DialMode = dmSync;
        user.Entry = name;
        ASSERT_EQ(user.Dial(), 0u);
    }

    QStringList activeNames()
    {
        std::vector<ActiveConnection> active;
        NmDialService(nm.bus()).listConnections(active);
        QStringList names;
        for (const ActiveConnection& c : active)
            names << c.EntryName;
        names.sort();
        return names;
    }
};

TEST_F(ConnectionQuestionNmTest, OnlyTheLineTheProgramBroughtUpIsOfferedForClosing)
{
    struct Case {
        const char* name;
        bool programDials;  // the program dials "Pont" (no line up before)
        bool answerYes;
        QStringList asked;
        QStringList activeAfter;
    };
    const Case cases[] = {
        {"the user's line", false, true, {}, {"Maison"}},
        {"the program's line, Oui", true, true, {"Voulez-vous aussi fermer la connexion \"Pont\" ?"}, {}},
        {"the program's line, Non", true, false, {"Voulez-vous aussi fermer la connexion \"Pont\" ?"}, {"Pont"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            // Every line down before the case.
            NmDialService service(nm.bus());
            std::vector<ActiveConnection> active;
            service.listConnections(active);
            for (const ActiveConnection& a : active)
                service.hangUp(a.Handle);
        }
        ASSERT_TRUE(NmFixture::waitUntil([this] { return activeNames().isEmpty(); }));
        if (!c.programDials)
            userBringsUp("Maison");
        TForm1& f = start();
        f.Server->ComboBox1->setCurrentIndex(f.Server->ComboBox1->findText("Pont"));
        if (c.programDials)
            ASSERT_EQ(f.Connections->ConnectLine(), TDialLine::TResult::Dialed);
        else
            ASSERT_EQ(f.Connections->ConnectLine(), TDialLine::TResult::AlreadyUp);
        dialogs.clear();
        if (c.answerYes)
            dialogs.AnswerYes();
        else
            dialogs.AnswerNo();
        // "Quitter": the hidden window's close offers to close the line.
        windows.HiddenForm->FormClose();
        QStringList asked;
        for (const auto& shown : dialogs.shown()) {
            asked << shown.text;
            EXPECT_TRUE(shown.defaultNo);
        }
        EXPECT_EQ(asked, c.asked);
        EXPECT_TRUE(NmFixture::waitUntil([&] { return activeNames() == c.activeAfter; }))
            << activeNames().join(", ").toStdString();
        stop();
    }
}

TEST_F(ConnectionQuestionNmTest, RenameChangesTheProfilesName)
{
    TForm1& f = start();
    f.Server->ComboBox1->setCurrentIndex(f.Server->ComboBox1->findText("Pont"));
    dialogs.AnswerInput("Pont du bureau");
    f.Connections->RenameBtnClick();
    EXPECT_EQ(f.Server->ComboBox1->currentText(), "Pont du bureau");
    QStringList names;
    NmDialService(nm.bus()).listEntries(names);
    EXPECT_EQ(names, QStringList({"Maison", "Pont du bureau"}));
    // A name another profile has is refused, in French.
    dialogs.AnswerInput("Maison");
    f.Connections->RenameBtnClick();
    EXPECT_EQ(dialogs.shown().back().text, "Une connexion s'appelle déjà \"Maison\".");
    NmDialService(nm.bus()).listEntries(names);
    EXPECT_EQ(names, QStringList({"Maison", "Pont du bureau"}));
}

} // namespace
