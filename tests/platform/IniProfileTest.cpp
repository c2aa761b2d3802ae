// The settings file: private-profile lookups, value types, list sections and safe writes.
#include "platform/IniProfile.h"
#include "TestDirs.h"

#include <QDir>
#include <QFile>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::readFileBytes;
using testsupport::TempFolder;
using testsupport::writeFileBytes;

namespace {

struct IniProfileTest : ::testing::Test {
    TempFolder dir;
    QString path = dir.file("brevicor.ini");
    IniProfile ini{path};
};

TEST_F(IniProfileTest, MissingFileGivesDefaultsWithoutCreatingIt)
{
    EXPECT_EQ(ini.ReadString("MainW", "Host", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadInteger("MainW", "w", 600), 600);
    EXPECT_TRUE(ini.ReadBool("Last", "WinStart", true));
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(IniProfileTest, NamesAreComparedWithoutRegardToCase)
{
    writeFileBytes(path, "[MainW]\r\nUserID=alice\r\n[pop.Example.com]\r\nPort=995\r\n");
    EXPECT_EQ(ini.ReadString("mainw", "USERID", ""), "alice");
    EXPECT_EQ(ini.ReadString("POP.EXAMPLE.COM", "port", ""), "995");
    ini.WriteString("MAINW", "userid", "bob");
    EXPECT_EQ(ini.ReadString("MainW", "UserID", ""), "bob");
    // The existing spelling is kept; no second key appears.
    const std::string text = readFileBytes(path);
    EXPECT_NE(text.find("UserID=bob"), std::string::npos);
    EXPECT_EQ(text.find("userid"), std::string::npos);
}

TEST_F(IniProfileTest, IntegerValuesTable)
{
    struct Case { const char* stored; int expected; } cases[] = {
        {"42", 42}, {"-7", -7}, {"0x1F", 31}, {"0X10", 16}, {" 12 ", 12},
        {"abc", 99}, {"", 99}, {"12abc", 99}, {"0x", 99}, {"1.5", 99},
    };
    for (const auto& c : cases) {
        ini.WriteString("S", "k", c.stored);
        EXPECT_EQ(ini.ReadInteger("S", "k", 99), c.expected) << "stored: " << c.stored;
    }
}

TEST_F(IniProfileTest, BooleansAreIntegers)
{
    ini.WriteBool("S", "on", true);
    ini.WriteBool("S", "off", false);
    ini.WriteString("S", "two", "2");
    ini.WriteString("S", "junk", "yes");
    EXPECT_EQ(ini.ReadString("S", "on", ""), "1");
    EXPECT_EQ(ini.ReadString("S", "off", ""), "0");
    EXPECT_TRUE(ini.ReadBool("S", "two", false));
    EXPECT_TRUE(ini.ReadBool("S", "junk", true));
    EXPECT_FALSE(ini.ReadBool("S", "junk", false));
}

TEST_F(IniProfileTest, ValuesAreRawAndSingleLine)
{
    ini.WriteString("S", "path", "c:\\dossier \"x\";y=z");
    EXPECT_EQ(ini.ReadString("S", "path", ""), "c:\\dossier \"x\";y=z");
    ini.WriteString("S", "pw", " espace ");
    EXPECT_EQ(ini.ReadString("S", "pw", ""), " espace ");
    ini.WriteString("S", "broken", "a\r\n[Injected]\nb");
    EXPECT_FALSE(ini.SectionExists("Injected"));
    EXPECT_EQ(ini.ReadString("S", "broken", ""), "a  [Injected] b");
    ini.WriteString("S", "long", QString(3000, 'x'));
    EXPECT_EQ(ini.ReadString("S", "long", "").size(), 2047);
}

TEST_F(IniProfileTest, EraseSectionRemovesOnlyThatSection)
{
    ini.WriteString("Host", "Nombre", "3");
    ini.WriteString("Host", "1", "a");
    ini.WriteString("Host", "2", "b");
    ini.WriteString("Host", "3", "c");
    ini.WriteString("Other", "k", "v");
    ini.EraseSection("HOST");
    EXPECT_FALSE(ini.SectionExists("Host"));
    EXPECT_EQ(ini.ReadString("Host", "3", "gone"), "gone");
    EXPECT_EQ(ini.ReadString("Other", "k", ""), "v");
    ini.EraseSection("Missing");  // not an error
    // A list rewritten shorter keeps no entry beyond its count.
    ini.WriteInteger("Host", "Nombre", 1);
    ini.WriteString("Host", "1", "z");
    EXPECT_EQ(ini.ReadString("Host", "2", "none"), "none");
}

TEST_F(IniProfileTest, FileIsCreatedPrivate)
{
    ini.WriteString("MainW", "Password", "secret");
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(IniProfileTest, EachCallRereadsTheFile)
{
    ini.WriteString("S", "k", "one");
    writeFileBytes(path, "[S]\nk=two\n");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "two");
    ini.WriteString("S", "other", "x");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "two");
    // Values read together under a pin come from one look at the file; the next read looks again.
    {
        const IniProfile::Pin pin(ini);
        EXPECT_EQ(ini.ReadString("S", "k", ""), "two");
        writeFileBytes(path, "[S]\nk=six\n");
        EXPECT_EQ(ini.ReadString("S", "other", "gone"), "x");
    }
    EXPECT_EQ(ini.ReadString("S", "k", ""), "six");
    EXPECT_EQ(ini.ReadString("S", "other", "gone"), "gone");
}

TEST_F(IniProfileTest, RewritingTheSameValueLeavesTheFileAlone)
{
    auto inode = [this] {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : ino_t(0);
    };
    writeFileBytes(path, "[pop.example.com]\nUserName=alice\n");
    const ino_t first = inode();
    // Same value, key spelled otherwise: nothing to write, the file is not replaced.
    ini.WriteString("POP.example.com", "username", "alice");
    EXPECT_EQ(inode(), first);
    EXPECT_EQ(readFileBytes(path), "[pop.example.com]\nUserName=alice\n");
    // A changed value, or a new key, replaces the file.
    ini.WriteString("pop.example.com", "UserName", "bob");
    const ino_t second = inode();
    EXPECT_NE(second, first);
    ini.WriteString("pop.example.com", "Port", "110");
    EXPECT_NE(inode(), second);
    EXPECT_EQ(ini.ReadString("pop.example.com", "UserName", ""), "bob");
}

TEST_F(IniProfileTest, ReadOnlyFileIsRefusedWithThePath)
{
    ini.WriteString("S", "k", "v");
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner));
    try {
        ini.WriteString("S", "k", "w");
        FAIL() << "write accepted";
    } catch (const EIniWriteError& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()), "Impossible d'écrire dans " + path);
    }
    EXPECT_THROW(ini.EraseSection("S"), EIniWriteError);
    EXPECT_EQ(ini.ReadString("S", "k", ""), "v");
}

TEST_F(IniProfileTest, FailedWriteLeavesThePreviousFileIntact)
{
    ini.WriteString("S", "k", "v");
    const std::string before = readFileBytes(path);
    // Limit file sizes so the new file cannot be written in full.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool refused = false;
    try {
        ini.WriteString("S", "big", QString(200, 'y'));
    } catch (const EIniWriteError&) {
        refused = true;
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(refused);
    EXPECT_EQ(readFileBytes(path), before);
    EXPECT_EQ(dir.path().isEmpty(), false);
    // No temporary file is left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
}

// Runs Work in a child process; returns its process id.
template <typename F>
pid_t inChild(F work)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        work();
        ::_exit(0);
    }
    return pid;
}

TEST_F(IniProfileTest, WritersKilledMidWriteLeaveAWholeFileAndNoTemporaryAfterTheNextSave)
{
    ini.WriteString("Base", "whole", "1");
    // Large values make each write long enough to be killed in the middle of it.
    for (int round = 0; round < 40; ++round) {
        const pid_t pid = inChild([this, round] {
            IniProfile writer(path);
            for (int i = 0;; ++i)
                writer.WriteString("S", QStringLiteral("k%1").arg(i % 20), QString(4000, QChar('a' + round % 26)) + QString::number(i));
        });
        ASSERT_GT(pid, 0);
        ::usleep(useconds_t(2000 + (round * 7919) % 15000));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_EQ(ini.ReadString("Base", "whole", ""), "1") << "after kill " << round;
    }
    ini.WriteString("Base", "after", "yes");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).join(", ").toStdString(), "brevicor.ini");
    EXPECT_EQ(ini.ReadString("Base", "whole", ""), "1");
    EXPECT_EQ(ini.ReadString("Base", "after", ""), "yes");
}

TEST_F(IniProfileTest, TwoProcessesWritingAtOnceKeepEachOthersUpdates)
{
    constexpr int kKeys = 120;
    auto writer = [this](char prefix) {
        return inChild([this, prefix] {
            IniProfile own(path);
            for (int i = 0; i < kKeys; ++i)
                own.WriteString("S", QStringLiteral("%1%2").arg(prefix).arg(i), QString::number(i));
        });
    };
    const pid_t a = writer('a');
    const pid_t b = writer('b');
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    for (pid_t pid : {a, b}) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    int missing = 0;
    for (char prefix : {'a', 'b'})
        for (int i = 0; i < kKeys; ++i)
            missing += ini.ReadString("S", QStringLiteral("%1%2").arg(prefix).arg(i), "") != QString::number(i);
    EXPECT_EQ(missing, 0);
}

} // namespace
