// The secure-connection and sign-in settings of an account: stored only when changed, read back
// as written.
#include "AppFixture.h"
#include "TestDirs.h"
#include "app/AccountStore.h"

namespace {

using testsupport::readFileBytes;
using testsupport::writeFileBytes;

struct AccountSecurityTest : ::testing::Test {
    testsupport::TempFolder dir;
    QString path = dir.file("brevicor.ini");
    TAccountStore store{path};
};

const char kOldFile[] = "[MainW]\r\nHost=pop.a.org\r\nPort=110\r\nUserID=al\r\nPassword=pa\r\n\r\n"
                        "[Host]\r\nNombre=1\r\n1=pop.a.org\r\n\r\n"
                        "[pop.a.org]\r\nUserName=al\r\nPassword=pa\r\nPort=110\r\n";

TEST_F(AccountSecurityTest, OldAccountsKeepTheOriginalBehaviourAndTheirFile)
{
    writeFileBytes(path, kOldFile);
    const TAccount a = store.Read("pop.a.org");
    EXPECT_EQ(a.Security, secNone);
    EXPECT_EQ(a.Auth, TAuthMethod::Password);
    EXPECT_EQ(a.SmtpServer(), "pop.a.org");
    EXPECT_EQ(a.SmtpPort, "25");
    EXPECT_EQ(a.SmtpSecurity, secNone);
    EXPECT_EQ(a.SmtpSignIn, TSmtpSignIn::None);
    EXPECT_TRUE(a.PasswordCommand.isEmpty());
    EXPECT_TRUE(a.TrustedFingerprints.isEmpty());
    store.Write(a);
    store.WriteCurrent(store.ReadCurrent());
    EXPECT_EQ(readFileBytes(path), kOldFile);
}

TEST_F(AccountSecurityTest, EachChangedSettingAddsOnlyItsKey)
{
    struct Row {
        const char* name;
        std::function<void(TAccount&)> change;
        const char* line;  // the one line the change adds to the account's section
    };
    const Row rows[] = {
        {"security", [](TAccount& a) { a.Security = secTls; }, "Securite=ssl"},
        {"STARTTLS", [](TAccount& a) { a.Security = secStartTls; }, "Securite=starttls"},
        {"authentication", [](TAccount& a) { a.Auth = TAuthMethod::ScramSha256; }, "Authentification=scram-sha-256"},
        {"SMTP server", [](TAccount& a) { a.SmtpHost = "smtp.a.org"; }, "SmtpHost=smtp.a.org"},
        {"SMTP port", [](TAccount& a) { a.SmtpPort = "587"; }, "SmtpPort=587"},
        {"SMTP security", [](TAccount& a) { a.SmtpSecurity = secStartTls; }, "SmtpSecurite=starttls"},
        {"SMTP sign-in", [](TAccount& a) { a.SmtpSignIn = TSmtpSignIn::SameAsPop3; }, "SmtpIdentification=reception"},
        {"SMTP own sign-in", [](TAccount& a) { a.SmtpSignIn = TSmtpSignIn::Own; }, "SmtpIdentification=propre"},
        {"SMTP user", [](TAccount& a) { a.SmtpUserID = "al@a.org"; }, "SmtpUserName=al@a.org"},
        {"SMTP password", [](TAccount& a) { a.SmtpPassword = "sp w"; }, "SmtpPassword=sp w"},
        {"password command", [](TAccount& a) { a.PasswordCommand = "pass show mail/a"; },
         "CommandeMotDePasse=pass show mail/a"},
        {"trusted certificate", [](TAccount& a) { a.TrustedFingerprints = "AB:CD"; }, "Certificats=AB:CD"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        writeFileBytes(path, kOldFile);
        TAccount a = store.Read("pop.a.org");
        row.change(a);
        store.Write(a);
        const std::string expected = std::string(kOldFile) + row.line + "\r\n";
        EXPECT_EQ(readFileBytes(path), expected);
        // Read back as written, also as the current account.
        const TAccount back = store.Read("pop.a.org");
        store.WriteCurrent(back);
        for (const TAccount& got : {back, store.ReadCurrent()}) {
            EXPECT_EQ(got.Security, a.Security);
            EXPECT_EQ(got.Auth, a.Auth);
            EXPECT_EQ(got.SmtpHost, a.SmtpHost);
            EXPECT_EQ(got.SmtpPort, a.SmtpPort);
            EXPECT_EQ(got.SmtpSecurity, a.SmtpSecurity);
            EXPECT_EQ(got.SmtpSignIn, a.SmtpSignIn);
            EXPECT_EQ(got.SmtpUserID, a.SmtpUserID);
            EXPECT_EQ(got.SmtpPassword, a.SmtpPassword);
            EXPECT_EQ(got.PasswordCommand, a.PasswordCommand);
            EXPECT_EQ(got.TrustedFingerprints, a.TrustedFingerprints);
        }
        // Back to the default: the key stays, with the default value, and reads as the default.
        TAccount plain;
        plain.Section = a.Section;
        plain.Host = a.Host;
        plain.Port = a.Port;
        plain.UserID = a.UserID;
        plain.Password = a.Password;
        store.Write(plain);
        const TAccount reset = store.Read("pop.a.org");
        EXPECT_EQ(reset.Security, secNone);
        EXPECT_EQ(reset.Auth, TAuthMethod::Password);
        EXPECT_EQ(reset.SmtpServer(), "pop.a.org");
        EXPECT_EQ(reset.SmtpPort, "25");
        EXPECT_EQ(reset.SmtpSignIn, TSmtpSignIn::None);
    }
}

} // namespace
