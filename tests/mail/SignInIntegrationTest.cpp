// Sign-in against real servers: every mechanism against Dovecot, and SMTP AUTH against aiosmtpd.
#include "mail/KTpop3.h"
#include "mail/KTsmtp.h"
#include "mail/MailErrors.h"
#include "DovecotFixture.h"
#include "SmtpFixture.h"
#include "TestCertificates.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const std::string kAllMechanisms = "plain login cram-md5 scram-sha-256 scram-sha-1 apop";
const std::string kMessage = "From: a@x\r\nSubject: one\r\n\r\nbody\r\n";

struct Pop3Case {
    const char* name;
    std::string offered;   // Dovecot's mechanisms
    TSecurity security;
    TAuthMethod method;
    std::string password;
    std::string mechanism; // used, when accepted
    bool refused;
};

TEST(SignInIntegration, Pop3MechanismsAgainstDovecot)
{
    using M = TAuthMethod;
    const Pop3Case cases[] = {
        {"USER/PASS", kAllMechanisms, secNone, M::Password, "open sesame", "USER", false},
        {"PLAIN", "plain login", secNone, M::Automatic, "open sesame", "PLAIN", false},
        {"LOGIN", "login", secNone, M::Automatic, "open sesame", "LOGIN", false},
        {"CRAM-MD5", kAllMechanisms, secNone, M::CramMd5, "open sesame", "CRAM-MD5", false},
        {"SCRAM-SHA-1", kAllMechanisms, secNone, M::ScramSha1, "open sesame", "SCRAM-SHA-1", false},
        {"SCRAM-SHA-256", kAllMechanisms, secNone, M::ScramSha256, "open sesame", "SCRAM-SHA-256", false},
        {"APOP", kAllMechanisms, secNone, M::Apop, "open sesame", "APOP", false},
        {"automatic takes SCRAM-SHA-256", kAllMechanisms, secNone, M::Automatic, "open sesame", "SCRAM-SHA-256", false},
        {"SCRAM with a wrong password", kAllMechanisms, secNone, M::ScramSha256, "wrong", "SCRAM-SHA-256", true},
        {"APOP with a wrong password", kAllMechanisms, secNone, M::Apop, "wrong", "APOP", true},
        // Over TLS a mechanism that shows the password is fine for "Automatique".
        {"automatic PLAIN over STLS", "plain login", secStartTls, M::Automatic, "open sesame", "PLAIN", false},
        {"SCRAM over POP3S", kAllMechanisms, secTls, M::ScramSha1, "open sesame", "SCRAM-SHA-1", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DovecotFixture dovecot;
        dovecot.setAuthMechanisms(c.offered);
        if (c.security != secNone)
            dovecot.enableTls("good");
        dovecot.addUser("ann", "open sesame", {kMessage, kMessage});
        dovecot.start();

        TKTPOP3 pop;
        pop.Host = "127.0.0.1";
        pop.Port = c.security == secTls ? dovecot.tlsPort() : dovecot.port();
        pop.Security = c.security;
        pop.CaFile = TestCertificates::get().caFile();
        pop.IdleTimeOut = 30000;
        pop.UserID = "ann";
        pop.Password = c.password;
        pop.AuthMethod = c.method;
        std::string error;
        try {
            pop.Connect();
        } catch (const EAuthError& e) {
            error = e.what();
        }
        EXPECT_EQ(pop.SignInMechanism(), c.mechanism);
        if (c.refused) {
            EXPECT_TRUE(error.starts_with("Identifiant ou mot de passe refusé par 127.0.0.1 : -ERR")) << error;
            EXPECT_FALSE(pop.Connected());
        } else {
            EXPECT_EQ(error, "") << dovecot.log();
            EXPECT_EQ(pop.MessageCount(), 2);
            EXPECT_EQ(pop.Secure(), c.security != secNone);
            pop.Disconnect();
        }
    }
}

struct SmtpCase {
    const char* name;
    TSecurity security;
    TAuthMethod method;
    std::string excluded;  // mechanisms the server withholds
    bool signIn;
    std::string password;
    std::string error;     // expected exception text (prefix), empty for a delivered message
    bool authError;
};

TEST(SignInIntegration, SmtpAuthAgainstAiosmtpd)
{
    using M = TAuthMethod;
    const SmtpCase cases[] = {
        {"AUTH PLAIN", secNone, M::Password, "", true, "pw 1", "", false},
        {"AUTH LOGIN", secNone, M::Password, "PLAIN", true, "pw 1", "", false},
        {"refused sign-in", secNone, M::Password, "", true, "nope", "Identifiant ou mot de passe refusé par 127.0.0.1 : 5.7.8",
         true},
        {"no sign-in where one is required", secNone, M::Password, "", false, "", "530", false},
        {"automatic with security none", secNone, M::Automatic, "", true, "pw 1", "", false},
        {"587 STARTTLS, automatic", secStartTls, M::Automatic, "", true, "pw 1", "", false},
        {"465 SSL/TLS, LOGIN", secTls, M::Password, "PLAIN", true, "pw 1", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpFixture sink;
        sink.requireAuth("bob", "pw 1", c.excluded);
        if (c.security != secNone)
            sink.enableTls("good");
        sink.start();
        TKTSMTP smtp;
        smtp.Host = "127.0.0.1";
        smtp.Port = c.security == secTls ? sink.tlsPort() : sink.port();
        smtp.Security = c.security;
        smtp.CaFile = TestCertificates::get().caFile();
        smtp.AuthMethod = c.method;
        smtp.IdleTimeOut = 30000;
        smtp.UserID = "bob";
        smtp.SignInRequired = c.signIn;
        smtp.AuthUserID = "bob";
        smtp.AuthPassword = c.password;
        smtp.PostMessage.FromAddress = "bob@example.org";
        smtp.PostMessage.ToAddress = {"ann@example.org"};
        smtp.PostMessage.Subject = "Signed";
        smtp.PostMessage.Body = {"hello"};
        std::string error;
        bool authError = false;
        try {
            smtp.Connect();
            smtp.Send();
            smtp.Disconnect();
        } catch (const EAuthError& e) {
            error = e.what();
            authError = true;
        } catch (const std::exception& e) {
            error = e.what();
        }
        EXPECT_TRUE(error.starts_with(c.error)) << error;
        EXPECT_EQ(error.empty(), c.error.empty()) << error;
        EXPECT_EQ(authError, c.authError);
        const auto got = sink.messages();
        if (c.error.empty()) {
            ASSERT_EQ(got.size(), 1u);
            EXPECT_EQ(got[0].login, "bob");
            EXPECT_EQ(got[0].rcptTos, std::vector<std::string>{"ann@example.org"});
            EXPECT_NE(got[0].content.find("Subject: Signed"), std::string::npos);
            EXPECT_NE(got[0].content.find("hello"), std::string::npos);
        } else {
            EXPECT_TRUE(got.empty());
        }
    }
}

} // namespace
