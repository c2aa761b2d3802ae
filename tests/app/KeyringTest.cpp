// Passwords in the desktop's secret store: a real gnome-keyring-daemon on a private session bus,
// the move of an old file's clear password, and the settings file when there is no store.
#include "AppFixture.h"
#include "SessionBus.h"
#include "platform/SecretStore.h"

#include <QFile>
#include <QLabel>
#include <QStatusBar>

namespace {

class KeyringTest : public AppFixture {
protected:
    void writeOldFile()
    {
        IniProfile i = ini();
        i.WriteInteger("Host", "Nombre", 1);
        i.WriteString("Host", "1", "pop.example.com");
        i.WriteString("pop.example.com", "UserName", "alice");
        i.WriteString("pop.example.com", "Password", "vieux-secret");
        i.WriteString("pop.example.com", "Port", "110");
        i.WriteString("MainW", "Host", "pop.example.com");
        i.WriteString("MainW", "UserID", "alice");
        i.WriteString("MainW", "Password", "vieux-secret");
    }
    QString settingsText() const { return QString::fromUtf8(testsupport::readFileBytes(iniPath())); }
};

// What each kind of store leaves in the settings file after the first save of an old file, and
// what the next start reads back.
TEST_F(KeyringTest, AnOldClearPasswordMovesToTheStoreOnTheFirstSave)
{
    struct Case {
        const char* name;
        bool present;
        bool passwordInFile;
        bool statusSaysWhere;
    };
    const Case cases[] = {
        {"with a secret store", true, false, false},
        {"without a secret store", false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemorySecretStore store;
        store.Present = c.present;
        context.secrets = &store;
        QFile::remove(iniPath());
        writeOldFile();
        TForm1& f = start();
        EXPECT_EQ(f.Server->Edit4->text(), "vieux-secret");
        EXPECT_EQ(f.StatusText().contains(iniPath()), c.statusSaysWhere) << f.StatusText().toStdString();
        f.SaveSettings();
        EXPECT_EQ(settingsText().contains("vieux-secret"), c.passwordInFile) << settingsText().toStdString();
        EXPECT_EQ(store.Secrets.count("alice@pop.example.com"), c.present ? 1u : 0u);
        EXPECT_EQ(QFile::permissions(iniPath()) & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
        // Said once only.
        f.SetStatusText(QString());
        f.SaveSettings();
        EXPECT_EQ(f.StatusText(), QString());
        stop();

        TForm1& again = start();
        EXPECT_EQ(again.Server->Edit4->text(), "vieux-secret");
        EXPECT_EQ(again.StatusText().contains(iniPath()), c.statusSaysWhere);
        again.HostComboClick();
        EXPECT_EQ(again.Server->Edit4->text(), "vieux-secret");
        stop();
    }
}

TEST_F(KeyringTest, DeletingAnAccountForgetsItsPassword)
{
    MemorySecretStore store;
    context.secrets = &store;
    writeOldFile();
    TForm1& f = start();
    f.SaveSettings();
    ASSERT_EQ(store.Secrets.size(), 1u);
    dialogs.AnswerYes();
    f.Accounts->Poubelle6Click();
    EXPECT_TRUE(store.Secrets.empty());
}

TEST_F(KeyringTest, PasswordsGoToARealSecretServiceAndComeBack)
{
    testsupport::SessionBus bus;
    ASSERT_TRUE(bus.startKeyring()) << "gnome-keyring-daemon did not come up";
    bus.becomeSessionBus();
    qputenv("XDG_CURRENT_DESKTOP", "GNOME");
    KeychainStore store(QStringLiteral("Brevicor-test"));
    ASSERT_TRUE(store.Available());
    context.secrets = &store;
    {
        TForm1& f = start();
        f.Server->HostCombo->setEditText("pop.example.com");
        f.Server->Edit3->setText("alice");
        f.Server->Edit4->setText("très-secret");
        f.SaveSettings();
        stop();
    }
    EXPECT_FALSE(settingsText().contains("secret")) << settingsText().toStdString();
    EXPECT_EQ(store.Read("alice@pop.example.com"), QString("très-secret"));
    TForm1& f = start();
    EXPECT_EQ(f.Server->Edit4->text(), "très-secret");
}

TEST_F(KeyringTest, NoSecretServiceOnTheBusMeansNoStore)
{
    testsupport::SessionBus bus;
    bus.becomeSessionBus();
    qputenv("XDG_CURRENT_DESKTOP", "GNOME");
    KeychainStore store(QStringLiteral("Brevicor-test"));
    EXPECT_FALSE(store.Available());
    EXPECT_FALSE(store.Write("k", "v"));
    EXPECT_EQ(store.Read("k"), std::nullopt);
}

} // namespace
