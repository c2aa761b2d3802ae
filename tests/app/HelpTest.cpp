// Help, About, the author's pages and the start with the desktop session.
#include "AppFixture.h"

#include "app/Application.h"
#include "app/sabout.h"
#include "platform/Launcher.h"

#include <QFile>
#include <QFileInfo>
#include <QToolButton>

namespace {

using Kind = ScriptedDialogs::Kind;

class HelpTest : public AppFixture {
protected:
    QString entry() const { return folder.file("config/autostart/Brevicor.desktop"); }
    // The program the autostart entry starts, or nothing when there is no entry.
    QStringList entryCommand() const
    {
        QFile file(entry());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return ExpandDesktopExec(DesktopEntryExec(QString::fromUtf8(file.readAll())), QString());
    }
    void writeLumo() { testsupport::writeFileBytes(context.paths.programDir + "lumo.htm", "<html></html>"); }
};

TEST_F(HelpTest, TheSessionEntryFollowsTheCheckBox)
{
    // First start: the setting defaults to on, so the entry is written at once.
    TForm1& f = start();
    EXPECT_TRUE(f.Server->WinStart->isChecked());
    EXPECT_EQ(entryCommand(), QStringList{context.paths.programFile});

    f.Server->WinStart->click(); // cleared
    EXPECT_FALSE(QFile::exists(entry()));
    f.Help->WinStartClick(); // cleared again: nothing to remove, no error
    EXPECT_FALSE(QFile::exists(entry()));

    f.Server->WinStart->click(); // checked again
    EXPECT_EQ(entryCommand(), QStringList{context.paths.programFile});
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(HelpTest, EveryStartWritesTheEntryAgainWhileTheSettingIsOn)
{
    start();
    QFile::remove(entry());
    stop();
    start();
    EXPECT_EQ(entryCommand(), QStringList{context.paths.programFile});

    // Off in the settings: a start neither writes nor removes anything.
    form().Server->WinStart->setChecked(false);
    form().SaveSettings();
    stop();
    testsupport::writeFileBytes(entry(), "[Desktop Entry]\nExec=/elsewhere\n");
    TForm1& f = start();
    EXPECT_FALSE(f.Server->WinStart->isChecked());
    EXPECT_EQ(entryCommand(), QStringList{"/elsewhere"});
}

TEST_F(HelpTest, AnEntryThatCannotBeWrittenIsReported)
{
    testsupport::writeFileBytes(folder.file("config/autostart"), "not a folder");
    start();
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].kind, Kind::Error);
    EXPECT_EQ(dialogs.shown()[0].text, "Erreur de création de la clé " + folder.file("config/autostart"));
}

TEST_F(HelpTest, OpenInBrowserOutcomes)
{
    struct Case {
        const char* name;
        bool lumo;
        QString exec;       // the default program of text/html, "" = none
        bool lookupFails;
        QString message;    // "" = no message
        QList<QStringList> started;
    };
    const QString home = THelpPanel::HomePage();
    const Case cases[] = {
        {"lumo.htm missing", false, "firefox %u", false, "Le fichier lumo.HTM est introuvable.", {}},
        {"no browser", true, "", false, "Navigateur internet introuvable.", {}},
        {"look-up impossible", true, "", true, "Ressources insuffisantes.", {}},
        {"browser found", true, "firefox --new-window %u", false, "", {{"firefox", "--new-window", home}}},
    };
    TForm1& f = start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(context.paths.programDir + "lumo.htm");
        if (c.lumo)
            writeLumo();
        launcher = RecordingLauncher();
        launcher.Associate("text/html", c.exec);
        launcher.FailLookups(c.lookupFails);
        dialogs.clear();
        f.Server->WebBtn->click();
        EXPECT_EQ(launcher.started(), c.started);
        if (c.message.isEmpty()) {
            EXPECT_TRUE(dialogs.shown().empty());
        } else {
            ASSERT_EQ(dialogs.shown().size(), 1u);
            EXPECT_EQ(dialogs.shown()[0].kind, Kind::Message);
            EXPECT_EQ(dialogs.shown()[0].icon, MessageIcon::Error);
            EXPECT_EQ(dialogs.shown()[0].text, c.message);
        }
        if (!c.lumo) {
            EXPECT_TRUE(launcher.lookups().empty());
        }
    }
}

TEST_F(HelpTest, HelpShowsTheProgramsHelpAndTheCatalogueLeavesItInPlace)
{
    TForm1& f = start();
    const QString own = context.paths.programDir + "BREVICOR.HLP";
    EXPECT_EQ(Application().HelpFile, own);
    f.Server->HelpBtn->click();
    f.Server->KatalBtn->click();
    EXPECT_EQ(Application().HelpFile, own);
    f.Server->HelpBtn->click();
    EXPECT_EQ(help.shown(), (QStringList{own, context.paths.programDir + "SORTILO.HLP", own}));
}

TEST_F(HelpTest, AboutShowsTheAboutBoxModally)
{
    TForm1& f = start();
    ASSERT_NE(f.Help->AboutBox, nullptr);
    bool wasModal = false;
    QTimer::singleShot(0, [&] {
        wasModal = f.Help->AboutBox->isVisible() && f.Help->AboutBox->isModal();
        f.Help->AboutBox->OKButton->click();
    });
    f.Server->AboutBtn->click();
    EXPECT_TRUE(wasModal);
    EXPECT_FALSE(f.Help->AboutBox->isVisible());
    EXPECT_EQ(f.Help->AboutBox->result(), QDialog::Accepted);
}

TEST(ProgramFolder, HoldsTheHelpFilesTheLocalPageAndTheDefaultSound)
{
    const QString bin = QFileInfo(QStringLiteral(BREVICOR_EXECUTABLE)).absolutePath() + "/";
    const std::string help = testsupport::readFileBytes(bin + "BREVICOR.HLP");
    // The help describes every page, the tray menu, the alert window and the settings file.
    for (const char* topic : {"« Serveur »", "« Liste des messages »", "« Lecture des messages »",
                              "« Envoi d'un message »", "« Connexions automatiques »", "Vérifier les messages maintenant",
                              "Brevicor - Messages", "[MainW]", "[Adresses]", "[Last]", "trousseau", "empreinte SHA-256",
                              "Annuler", "nouveaux messages et les notifications", "brevicor --check"})
        EXPECT_NE(help.find(topic), std::string::npos) << topic;
    // Nothing of another system, and passwords are no longer said to sit unprotected in the file.
    for (const char* gone : {"Windows", "en clair"})
        EXPECT_EQ(help.find(gone), std::string::npos) << gone;
    EXPECT_NE(testsupport::readFileBytes(bin + "SORTILO.HLP").find("<html"), std::string::npos);
    EXPECT_TRUE(QFile::exists(bin + "lumo.htm"));

    // A RIFF/WAVE file of 16-bit PCM.
    const std::string wav = testsupport::readFileBytes(bin + "default.wav");
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(wav[20], 1); // PCM
    EXPECT_EQ(wav[34], 16);
}

} // namespace
