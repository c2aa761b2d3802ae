// The desktop services: default programs and their command lines, detached starts, the session
// autostart entry and the help window.
#include "platform/Autostart.h"
#include "platform/Launcher.h"
#include "platform/TextBrowserHelp.h"
#include "TestDirs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextBrowser>
#include <QThread>
#include <gtest/gtest.h>
#include <map>
#include <optional>

using testsupport::readFileBytes;
using testsupport::TempFolder;
using testsupport::writeFileBytes;

namespace {

// Sets environment variables for the life of a test and puts the old values back.
class EnvGuard {
public:
    void set(const char* name, const std::optional<QString>& value)
    {
        if (!saved_.count(name))
            saved_[name] = qEnvironmentVariableIsSet(name) ? std::optional<QByteArray>(qgetenv(name)) : std::nullopt;
        if (value)
            qputenv(name, value->toUtf8());
        else
            qunsetenv(name);
    }
    ~EnvGuard()
    {
        for (const auto& [name, value] : saved_) {
            if (value)
                qputenv(name.c_str(), *value);
            else
                qunsetenv(name.c_str());
        }
    }

private:
    std::map<std::string, std::optional<QByteArray>> saved_;
};

TEST(DesktopExec, ArgumentsFieldCodesAndQuoting)
{
    struct Case {
        QString exec;
        QString argument;
        QStringList argv;
    };
    const Case cases[] = {
        {"firefox %u", "https://a.example/", {"firefox", "https://a.example/"}},
        {"firefox %u", "", {"firefox"}},
        {"thunderbird -compose %U", "mailto:x@y", {"thunderbird", "-compose", "mailto:x@y"}},
        {"browser", "https://a.example/", {"browser", "https://a.example/"}},
        {"browser --new-window %f %F", "p", {"browser", "--new-window", "p"}},
        {"app %i %c %k --url=%u", "u", {"app", "--url=u"}},
        {"app 100%% %u", "u", {"app", "100%", "u"}},
        {"\"/opt/My Browser/run\" %u", "u", {"/opt/My Browser/run", "u"}},
        {"sh -c \"echo \\\"\\$1\\\"\" x", "", {"sh", "-c", "echo \"$1\"", "x"}},
        {"a  \"\"  b", "", {"a", "", "b"}},
        {"  spaced\targs  ", "z", {"spaced", "args", "z"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExpandDesktopExec(c.exec, c.argument), c.argv) << c.exec.toStdString();
}

TEST(DesktopExec, ReadsTheExecOfTheDesktopEntryGroupWithItsEscapes)
{
    const QString text = "# comment\n"
                         "[Desktop Action new]\nExec=wrong --new\n"
                         "[Desktop Entry]\nName=Browser\nExec[fr]=localised\n"
                         "Exec = \"/opt/a\\\\\\\\b/run\"\\s%u\n"
                         "Exec=second\n";
    EXPECT_EQ(DesktopEntryExec(text), "\"/opt/a\\\\b/run\" %u");
    EXPECT_EQ(ExpandDesktopExec(DesktopEntryExec(text), "x"), (QStringList{"/opt/a\\b/run", "x"}));
    EXPECT_EQ(DesktopEntryExec("[Desktop Entry]\nName=No command\n"), "");
}

TEST(DesktopExec, QuotedProgramPathsComeBackUnchanged)
{
    for (const QString& path : {QStringLiteral("/usr/bin/brevicor"), QStringLiteral("/home/jo/Mes programmes/brevicor"),
                               QStringLiteral("/tmp/a\"b$c`d\\e/100%/brevicor"), QStringLiteral("/tmp/l'été/brevicor")}) {
        const QString quoted = QuoteDesktopExecArgument(path);
        EXPECT_EQ(ExpandDesktopExec(quoted, QString()), QStringList{path}) << quoted.toStdString();
    }
    EXPECT_EQ(QuoteDesktopExecArgument("/usr/bin/brevicor"), "/usr/bin/brevicor");
}

// A private desktop: its own associations and application entries, and a fake browser that
// writes the arguments it was started with to a file.
class DesktopLauncherTest : public ::testing::Test {
protected:
    TempFolder dir;
    EnvGuard env;
    // xdg-mime only accepts an entry whose program it finds by its unquoted first word.
    QString toolDir = dir.file("tools");
    QString argsFile = dir.file("args.txt");

    void SetUp() override
    {
        env.set("XDG_CONFIG_HOME", dir.file("config"));
        env.set("XDG_DATA_HOME", dir.file("data"));
        env.set("XDG_DATA_DIRS", dir.file("system"));
        env.set("XDG_CURRENT_DESKTOP", QStringLiteral("X-Brevicor-Test"));
        env.set("KDE_FULL_SESSION", std::nullopt);
        env.set("KDE_SESSION_VERSION", std::nullopt);

        writeFileBytes(dir.file("config/mimeapps.list"),
                       "[Default Applications]\n"
                       "text/html=testbrowser.desktop;other.desktop;\n"
                       "x-scheme-handler/mailto=vendor-mail.desktop\n"
                       "application/x-brevicor-empty=noexec.desktop\n");
        const QString script = toolDir + "/browser";
        writeFileBytes(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + argsFile.toStdString() + ".tmp\"\nmv \""
                                   + argsFile.toStdString() + ".tmp\" \"" + argsFile.toStdString() + "\"\n");
        QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        writeFileBytes(dir.file("data/applications/testbrowser.desktop"),
                       "[Desktop Entry]\nType=Application\nName=Test\nExec=" + script.toStdString() + " %u\n");
        writeFileBytes(dir.file("system/applications/vendor/mail.desktop"),
                       "[Desktop Entry]\nType=Application\nName=Mail\nExec=" + script.toStdString() + " -compose %u\n");
        writeFileBytes(dir.file("system/applications/noexec.desktop"), "[Desktop Entry]\nType=Application\n");
    }

    // The arguments the fake browser was started with, once it has written them.
    QStringList waitForArguments()
    {
        for (int i = 0; i < 1000 && !QFile::exists(argsFile); ++i)
            QThread::msleep(10);
        QString text = QString::fromStdString(readFileBytes(argsFile));
        if (text.endsWith('\n'))
            text.chop(1);
        return text.split('\n');
    }
};

TEST_F(DesktopLauncherTest, FindsTheDesktopsDefaultProgramsAndTheirCommands)
{
    DesktopLauncher launcher;
    const DefaultProgram browser = launcher.DefaultProgramFor("text/html");
    ASSERT_TRUE(browser.found());
    EXPECT_EQ(browser.exec, toolDir + "/browser %u");

    // A desktop id with a dash may name a file in a vendor folder.
    const DefaultProgram mail = launcher.DefaultProgramFor("x-scheme-handler/mailto");
    ASSERT_TRUE(mail.found());
    EXPECT_EQ(mail.exec, toolDir + "/browser -compose %u");
    EXPECT_EQ(DesktopLauncher::LocateDesktopEntry("vendor-mail.desktop"),
              dir.file("system/applications/vendor/mail.desktop"));

    EXPECT_EQ(launcher.DefaultProgramFor("application/x-brevicor-nothing").status, DefaultProgram::Status::NotFound);
    EXPECT_EQ(launcher.DefaultProgramFor("application/x-brevicor-empty").status, DefaultProgram::Status::NotFound);
}

TEST_F(DesktopLauncherTest, NoLookupToolMeansNoProgram)
{
    QDir().mkpath(dir.file("empty"));
    env.set("PATH", dir.file("empty"));
    DesktopLauncher launcher;
    EXPECT_EQ(launcher.DefaultProgramFor("text/html").status, DefaultProgram::Status::NotFound);
}

TEST_F(DesktopLauncherTest, StartsTheProgramWithTheAddressWithoutWaiting)
{
    DesktopLauncher launcher;
    const DefaultProgram browser = launcher.DefaultProgramFor("text/html");
    ASSERT_TRUE(browser.found());
    ASSERT_TRUE(launcher.StartDetached(ExpandDesktopExec(browser.exec, "https://brevicor.example.org/?a=1&b=2")));
    EXPECT_EQ(waitForArguments(), QStringList{"https://brevicor.example.org/?a=1&b=2"});

    EXPECT_FALSE(launcher.StartDetached({dir.file("no-such-program")}));
    EXPECT_FALSE(launcher.StartDetached({}));
}

class XdgAutostartTest : public ::testing::Test {
protected:
    TempFolder dir;
    XdgAutostart autostart{dir.file("config/autostart")};

    static std::string errorOf(const std::function<void()>& action)
    {
        try {
            action();
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "no error";
    }
};

TEST_F(XdgAutostartTest, WritesAnEntryNamedAfterTheProgramAndRemovesIt)
{
    const QString program = dir.file("Mes programmes/brevicor");
    autostart.Register("Brevicor", program);
    const QString entry = dir.file("config/autostart/Brevicor.desktop");
    EXPECT_EQ(autostart.EntryPath("Brevicor"), entry);
    const QString text = QString::fromStdString(readFileBytes(entry));
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nType=Application\n"));
    EXPECT_TRUE(text.contains("\nName=Brevicor\n"));
    EXPECT_EQ(ExpandDesktopExec(DesktopEntryExec(text), QString()), QStringList{program});

    // Writing again replaces the entry.
    autostart.Register("Brevicor", "/usr/bin/brevicor");
    EXPECT_TRUE(QString::fromStdString(readFileBytes(entry)).contains("\nExec=/usr/bin/brevicor\n"));

    autostart.Unregister("Brevicor");
    EXPECT_FALSE(QFile::exists(entry));
    autostart.Unregister("Brevicor"); // nothing left to remove: not an error
    EXPECT_FALSE(QFile::exists(entry));
}

TEST_F(XdgAutostartTest, FailuresCarryTheProgramsMessages)
{
    // The folder cannot be made: a file is in the way.
    writeFileBytes(dir.file("config/autostart"), "x");
    EXPECT_EQ(errorOf([&] { autostart.Register("Brevicor", "/usr/bin/brevicor"); }),
              "Erreur de création de la clé " + dir.file("config/autostart").toStdString());

    // The entry cannot be written or removed: a folder is in its place.
    XdgAutostart other{dir.file("other")};
    QDir().mkpath(dir.file("other/Brevicor.desktop/inside"));
    EXPECT_EQ(errorOf([&] { other.Register("Brevicor", "/usr/bin/brevicor"); }),
              "Erreur à définition des données pour 'Brevicor'");
    EXPECT_EQ(errorOf([&] { other.Unregister("Brevicor"); }), "Erreur de suppression de 'Brevicor'");
}

TEST(XdgAutostartFolder, FollowsXdgConfigHome)
{
    TempFolder dir;
    EnvGuard env;
    env.set("XDG_CONFIG_HOME", dir.file("cfg"));
    XdgAutostart autostart;
    EXPECT_EQ(autostart.Folder(), dir.file("cfg/autostart"));
    autostart.Register("Brevicor", "/usr/bin/brevicor");
    EXPECT_TRUE(QFile::exists(dir.file("cfg/autostart/Brevicor.desktop")));
}

TEST(TextBrowserHelp, ShowsTheHelpPageFromItsTopAndReportsAMissingFile)
{
    TempFolder dir;
    TextBrowserHelp help;
    EXPECT_EQ(help.Window(), nullptr);

    // The program's own help file, whatever its extension, is read as HTML.
    help.ShowContents(QStringLiteral(BREVICOR_SOURCE_DIR "/data/BREVICOR.HLP"));
    ASSERT_NE(help.Window(), nullptr);
    EXPECT_TRUE(help.Window()->isVisible());
    EXPECT_EQ(help.Window()->windowTitle(), "Aide de Brevicor");
    EXPECT_TRUE(help.Browser()->toPlainText().contains("Sommaire"));
    EXPECT_FALSE(help.Browser()->toPlainText().contains("<h1>"));

    help.ShowContents(dir.file("SORTILO.HLP"));
    EXPECT_TRUE(help.Browser()->toPlainText().contains("Impossible d'ouvrir le fichier d'aide"));
    EXPECT_TRUE(help.Browser()->toPlainText().contains(dir.file("SORTILO.HLP")));
}

} // namespace
