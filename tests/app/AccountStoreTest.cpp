// The stored accounts: files of earlier versions, where a further user on a host goes, and a
// settings file that a load and a save leave byte for byte as it was.
#include "AppFixture.h"
#include "TestDirs.h"
#include "app/AccountStore.h"

namespace {

using testsupport::readFileBytes;
using testsupport::writeFileBytes;

struct AccountStoreTest : ::testing::Test {
    testsupport::TempFolder dir;
    QString path = dir.file("brevicor.ini");
    TAccountStore store{path};
};

TEST_F(AccountStoreTest, FilesOfEarlierVersionsLoadUnchanged)
{
    writeFileBytes(path, "[MainW]\r\nHost=pop.b.org\r\nPort=995\r\nUserID=bea\r\nPassword=pb\r\n\r\n"
                         "[Host]\r\nNombre=3\r\n1=pop.a.org\r\n2=pop.b.org\r\n3=Pop.C.org\r\n\r\n"
                         "[pop.a.org]\r\nUserName=al\r\nPassword=pa\r\nPort=1110\r\n\r\n"
                         "[POP.B.ORG]\r\nUserName=bea\r\nPassword=pb\r\n\r\n");
    EXPECT_EQ(store.ReadList(), QStringList({"pop.a.org", "pop.b.org", "Pop.C.org"}));
    struct Row {
        const char* name;
        const char* host;
        const char* port;
        const char* user;
        const char* password;
    } rows[] = {
        {"pop.a.org", "pop.a.org", "1110", "al", "pa"},
        {"pop.b.org", "pop.b.org", "110", "bea", "pb"},  // section named in other case, no port
        {"Pop.C.org", "Pop.C.org", "110", "", ""},       // listed without a section
    };
    const QList<TAccount> all = store.ReadAll();
    ASSERT_EQ(all.size(), 3);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(rows[i].name);
        EXPECT_EQ(all[i].Section, rows[i].name);
        EXPECT_EQ(all[i].Host, rows[i].host);
        EXPECT_EQ(all[i].Port, rows[i].port);
        EXPECT_EQ(all[i].UserID, rows[i].user);
        EXPECT_EQ(all[i].Password, rows[i].password);
        EXPECT_EQ(all[i].Protocol, TProtocol::Pop3);
    }
    // The protocol is written only for IMAP, waiting for new mail only when turned off; both read back.
    EXPECT_TRUE(all[0].Idle);
    TAccount imap = all[0];
    imap.Protocol = TProtocol::Imap;
    imap.Idle = false;
    store.Write(imap);
    EXPECT_EQ(store.Read("pop.a.org").Protocol, TProtocol::Imap);
    EXPECT_FALSE(store.Read("pop.a.org").Idle);
    store.Write(all[1]);
    const std::string file = readFileBytes(path);
    EXPECT_NE(file.find("Port=1110\r\nProtocole=imap\r\nAttente=0\r\n"), std::string::npos);
    EXPECT_EQ(file.find("Protocole=pop3"), std::string::npos);
    EXPECT_EQ(file.find("Attente=1"), std::string::npos);
    const TAccount current = store.ReadCurrent();
    EXPECT_EQ(current.Name(), "pop.b.org");
    EXPECT_EQ(current.Port, "995");
    EXPECT_EQ(current.UserID, "bea");
}

TEST_F(AccountStoreTest, WhereAnAccountIsStored)
{
    writeFileBytes(path, "[pop.a.org]\r\nUserName=al\r\nPassword=pa\r\n\r\n"
                         "[bob@pop.a.org]\r\nUserName=bob\r\nPassword=pb\r\n\r\n"
                         "[pop.n.org]\r\nPassword=x\r\n");
    const QStringList list{"pop.a.org", "bob@pop.a.org", "pop.n.org"};
    struct Row {
        const char* text;
        const char* user;
        const char* section;
    } rows[] = {
        {"pop.a.org", "al", "pop.a.org"},              // the usual case: the host's own section
        {"POP.A.org", "AL", "POP.A.org"},              // names and users compared without case
        {"pop.a.org", "bob", "bob@pop.a.org"},         // a further user already stored
        {"bob@pop.a.org", "bob", "bob@pop.a.org"},     // chosen from the list
        {"bob@pop.a.org", "carol", "carol@pop.a.org"}, // the user changed: a new account
        {"pop.a.org", "carol", "carol@pop.a.org"},
        {"pop.n.org", "nina", "pop.n.org"},            // a section without a user takes any
        {"pop.new.org", "zoe", "pop.new.org"},         // a new host
        {"pop.a.org", "", "pop.a.org"},                // no user: the text names it
        {"", "al", ""},
        {"zoe@x.org@pop.a.org", "zoe@x.org", "zoe@x.org@pop.a.org"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(store.SectionFor(r.text, r.user, list), r.section) << r.text << " / " << r.user;
    EXPECT_EQ(TAccountStore::HostOf("zoe@x.org@pop.a.org"), "pop.a.org");
}

// A settings file of a single-account user as the program has always written it (with a window
// that fits the tests' screen, 800 pixels wide: a larger one opens within the screen).
const char kSingleAccountFile[] =
    "[pop.example.org]\r\nUserName=alice\r\nPassword=s3cret\r\nPort=110\r\n\r\n"
    "[Last]\r\nMinute=30\r\nRadioButton1=1\r\nRadioButton2=0\r\nHeureQ=00:00\r\nRadioButton3=0\r\nJour=0\r\n"
    "HeureH=00:00\r\nShowOnStart=1\r\nWinStart=1\r\n\r\n"
    "[MainW]\r\nComboBox1=-1\r\nx=0\r\ny=44\r\nw=784\r\nh=540\r\nMaxi=0\r\nHost=pop.example.org\r\nPort=110\r\n"
    "UserID=alice\r\nPassword=s3cret\r\nMemo2=60\r\nAttachmentsFolder=c:\\\r\nAutomail=0\r\nPrevSiNo=0\r\n"
    "ConnectOnStart=0\r\nJustCurrentMess=1\r\n\r\n"
    "[Host]\r\nNombre=1\r\n1=pop.example.org\r\n\r\n"
    "[Adresses]\r\nNombre=0\r\n\r\n"
    "[Nom]\r\nNombre=0\r\nTexte=\r\n\r\n"
    "[Email]\r\nNombre=0\r\nTexte=\r\n";

TEST_F(AppFixture, ASingleAccountFileIsSavedBackByteForByte)
{
    writeFileBytes(iniPath(), kSingleAccountFile);
    TForm1& f = start();
    EXPECT_EQ(f.Server->HostCombo->currentText(), "pop.example.org");
    EXPECT_EQ(f.Server->Edit3->text(), "alice");
    f.Accounts->SaveAccount();
    f.SaveSettings();
    EXPECT_EQ(readFileBytes(iniPath()), kSingleAccountFile);
}

} // namespace
