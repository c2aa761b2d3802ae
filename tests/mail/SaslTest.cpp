// Sign-in: the choice of mechanism, and the exact wire dialogue of APOP, SASL and the OAuth 2
// mechanisms (their single message and the server's error continuation) against scripted peers.
#include "mail/KTpop3.h"
#include "mail/KTsmtp.h"
#include "mail/MailErrors.h"
#include "mail/Sasl.h"
#include "ScriptedServer.h"

#include <QByteArray>
#include <gtest/gtest.h>

using testsupport::ScriptedServer;

namespace {

std::string B64(const std::string& Raw) { return QByteArray::fromStdString(Raw).toBase64().toStdString(); }

struct ChoiceCase {
    const char* name;
    TAuthMethod method;
    bool pop3;
    std::vector<std::string> offered;
    bool known, apop, encrypted, clearAllowed;
    std::string mechanism;  // expected, empty when refused
    std::string error;
};

TEST(SignInChoice, MechanismForEachMethod)
{
    using M = TAuthMethod;
    const std::vector<std::string> all{"PLAIN", "LOGIN", "CRAM-MD5", "SCRAM-SHA-1", "SCRAM-SHA-256"};
    const std::vector<std::string> clear{"PLAIN", "LOGIN"};
    const std::string noSafe = "Le serveur h ne propose aucune authentification sûre : le mot de passe ne sera pas "
                               "envoyé en clair sur une connexion non chiffrée";
    const ChoiceCase cases[] = {
        {"password is USER/PASS in POP3", M::Password, true, all, true, true, false, false, "USER", ""},
        {"password prefers PLAIN in SMTP", M::Password, false, {"LOGIN", "PLAIN"}, true, false, false, true, "PLAIN", ""},
        {"password falls back to LOGIN", M::Password, false, {"LOGIN", "CRAM-MD5"}, true, false, false, true, "LOGIN", ""},
        {"password without PLAIN or LOGIN", M::Password, false, {"CRAM-MD5"}, true, false, false, true, "",
         "Le serveur h ne propose pas la méthode d'authentification « Mot de passe »"},
        {"automatic takes the strongest", M::Automatic, true, all, true, true, false, false, "SCRAM-SHA-256", ""},
        {"automatic: SCRAM-SHA-1 next", M::Automatic, false, {"PLAIN", "SCRAM-SHA-1", "CRAM-MD5"}, true, false, false,
         false, "SCRAM-SHA-1", ""},
        {"automatic: APOP before clear ones", M::Automatic, true, clear, true, true, false, false, "APOP", ""},
        {"automatic refuses clear on plain link", M::Automatic, true, clear, true, false, false, false, "", noSafe},
        {"automatic refuses USER on plain link", M::Automatic, true, {}, false, false, false, false, "", noSafe},
        {"automatic: clear allowed with security none", M::Automatic, true, clear, true, false, false, true, "PLAIN", ""},
        {"automatic: clear over TLS", M::Automatic, false, {"LOGIN"}, true, false, true, false, "LOGIN", ""},
        {"automatic: USER when CAPA unknown", M::Automatic, true, {}, false, false, true, false, "USER", ""},
        {"automatic never picks OAuth", M::Automatic, false, {"XOAUTH2"}, true, false, true, false, "",
         "Le serveur h ne propose aucune méthode d'authentification"},
        {"APOP needs a timestamp", M::Apop, true, all, true, false, false, true, "",
         "Le serveur h ne propose pas la méthode d'authentification APOP"},
        {"APOP in SMTP means automatic", M::Apop, false, all, true, false, false, false, "SCRAM-SHA-256", ""},
        {"fixed CRAM-MD5 not offered", M::CramMd5, true, clear, true, false, true, false, "",
         "Le serveur h ne propose pas la méthode d'authentification CRAM-MD5"},
        {"fixed SCRAM-SHA-1 tried when CAPA unknown", M::ScramSha1, true, {}, false, false, false, false, "SCRAM-SHA-1", ""},
        {"OAuth prefers OAUTHBEARER", M::OAuth2, false, {"XOAUTH2", "OAUTHBEARER"}, true, false, true, false,
         "OAUTHBEARER", ""},
        {"OAuth with XOAUTH2 only", M::OAuth2, true, {"XOAUTH2"}, true, false, true, false, "XOAUTH2", ""},
        {"OAuth not offered", M::OAuth2, true, all, true, false, true, false, "",
         "Le serveur h ne propose pas la méthode d'authentification OAuth 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TSignInContext context;
        context.Pop3 = c.pop3;
        context.Offered = c.offered;
        context.CapabilitiesKnown = c.known;
        context.ApopOffered = c.apop;
        context.Encrypted = c.encrypted;
        context.ClearAllowed = c.clearAllowed;
        context.Host = "h";
        std::string got, error;
        try {
            got = ChooseMechanism(c.method, context);
        } catch (const std::exception& e) {
            error = e.what();
        }
        EXPECT_EQ(got, c.mechanism);
        EXPECT_EQ(error, c.error);
    }
}

TEST(SignInChoice, ApopDigestAndTimestamp)
{
    // The example of the POP3 standard.
    EXPECT_EQ(ApopDigest("<1896.697170952@dbc.mtview.ca.us>", "tanstaaf"), "c4c9334bac560ecc979e58001b3e22fb");
    EXPECT_EQ(ApopTimestamp("+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>\r\n"),
              "<1896.697170952@dbc.mtview.ca.us>");
    EXPECT_EQ(ApopTimestamp("+OK <ready> now\r\n"), "");
    EXPECT_EQ(ApopTimestamp("+OK ready\r\n"), "");
}

// One scripted sign-in: the server's lines ('<' prefix: the server sends it; '>' prefix: the
// client must send it) and the outcome.
struct WireCase {
    const char* name;
    bool pop3;
    TAuthMethod method;
    std::string secret;
    std::vector<std::string> script;
    std::string error;      // expected exception text, empty for success
    bool authError;         // the exception is an EAuthError
};

std::string Ehlo() { return "EHLO " + TKTSMTP::EhloName(); }

TEST(SignInWire, Transcripts)
{
    using M = TAuthMethod;
    const std::string longToken(300, 't');
    const std::string xoauth = B64("user=u@x.org\x01" "auth=Bearer ya29-Tk9\x01\x01");
    const std::string bearer = B64("n,a=u@x.org,\x01" "host=127.0.0.1\x01" "port=PORT\x01" "auth=Bearer ya29-Tk9\x01\x01");
    const std::string jsonError = B64("{\"status\":\"401\",\"schemes\":\"bearer\"}");
    const WireCase cases[] = {
        {"POP3 XOAUTH2 accepted", true, M::OAuth2, "ya29-Tk9",
         {"<+OK ready", ">CAPA", "<+OK", "<SASL XOAUTH2", "<.", ">AUTH XOAUTH2 " + xoauth, "<+OK signed in", ">STAT",
          "<+OK 0 0"},
         "", false},
        {"POP3 XOAUTH2 error continuation", true, M::OAuth2, "ya29-Tk9",
         {"<+OK ready", ">CAPA", "<+OK", "<SASL XOAUTH2", "<.", ">AUTH XOAUTH2 " + xoauth, "<+ " + jsonError, ">",
          "<-ERR [AUTH] invalid token", ">QUIT", "<+OK"},
         "Identifiant ou mot de passe refusé par 127.0.0.1 : -ERR [AUTH] invalid token", true},
        {"POP3 long token after the empty challenge", true, M::OAuth2, longToken,
         {"<+OK ready", ">CAPA", "<+OK", "<SASL XOAUTH2", "<.", ">AUTH XOAUTH2", "<+ ",
          ">" + B64("user=u@x.org\x01" "auth=Bearer " + longToken + "\x01\x01"), "<+OK", ">STAT", "<+OK 1 9"},
         "", false},
        {"SMTP OAUTHBEARER accepted", false, M::OAuth2, "ya29-Tk9",
         {"<220 sink", ">" + Ehlo(), "<250-sink", "<250 AUTH XOAUTH2 OAUTHBEARER", ">AUTH OAUTHBEARER " + bearer,
          "<235 2.7.0 ok"},
         "", false},
        {"SMTP OAUTHBEARER error continuation", false, M::OAuth2, "ya29-Tk9",
         {"<220 sink", ">" + Ehlo(), "<250-sink", "<250 AUTH OAUTHBEARER", ">AUTH OAUTHBEARER " + bearer,
          "<334 " + jsonError, ">AQ==", "<535 5.7.8 token expired", ">QUIT", "<221 bye"},
         "Identifiant ou mot de passe refusé par 127.0.0.1 : 5.7.8 token expired", true},
        {"SMTP XOAUTH2 error continuation", false, M::OAuth2, "ya29-Tk9",
         {"<220 sink", ">" + Ehlo(), "<250-sink", "<250 AUTH XOAUTH2", ">AUTH XOAUTH2 " + xoauth, "<334 " + jsonError,
          ">", "<535-5.7.8 bad", "<535 5.7.8 credentials", ">QUIT", "<221 bye"},
         "Identifiant ou mot de passe refusé par 127.0.0.1 : 5.7.8 credentials", true},
        {"SMTP LOGIN answers each prompt", false, M::Password, "pw",
         {"<220 sink", ">" + Ehlo(), "<250-sink", "<250-AUTH LOGIN", "<250 8BITMIME", ">AUTH LOGIN",
          "<334 " + B64("Username:"), ">" + B64("u@x.org"), "<334 " + B64("Password:"), ">" + B64("pw"),
          "<235 ok"},
         "", false},
        {"SMTP server failure is no refusal", false, M::Password, "pw",
         {"<220 sink", ">" + Ehlo(), "<250-sink", "<250 AUTH PLAIN", ">AUTH PLAIN " + B64(std::string("\0u@x.org\0pw", 11)),
          "<454 4.7.0 try later", ">QUIT", "<221 bye"},
         "454 4.7.0 try later\r\n", false},
        {"SMTP EHLO refused", false, M::Password, "pw",
         {"<220 sink", ">" + Ehlo(), "<502 no EHLO here", ">QUIT", "<221 bye"}, "502 no EHLO here\r\n", false},
        {"APOP from the greeting", true, M::Apop, "tanstaaf",
         {"<+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>",
          ">APOP u@x.org " + ApopDigest("<1896.697170952@dbc.mtview.ca.us>", "tanstaaf"), "<+OK maildrop", ">STAT",
          "<+OK 2 20"},
         "", false},
        {"automatic uses USER/PASS with security none", true, M::Automatic, "pw",
         {"<+OK ready", ">CAPA", "<-ERR unknown command", ">USER u@x.org", "<+OK", ">PASS pw", "<+OK", ">STAT",
          "<+OK 0 0"},
         "", false},
        {"undecodable challenge cancels the exchange", true, M::CramMd5, "pw",
         {"<+OK ready", ">CAPA", "<+OK", "<SASL CRAM-MD5", "<.", ">AUTH CRAM-MD5", "<+ !!not base64!!", ">*",
          "<-ERR cancelled", ">QUIT", "<+OK"},
         "Réponse du serveur invalide pendant l'authentification CRAM-MD5", false},
        {"POP3 server failure is no refusal", true, M::ScramSha256, "pw",
         {"<+OK ready", ">CAPA", "<+OK", "<SASL SCRAM-SHA-256", "<.", "*AUTH SCRAM-SHA-256 ",
          "<-ERR [SYS/TEMP] try later", ">QUIT", "<+OK"},
         "-ERR [SYS/TEMP] try later\r\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        std::unique_ptr<TSocketSession> session;
        TKTPOP3* pop = nullptr;
        TKTSMTP* smtp = nullptr;
        if (c.pop3) {
            pop = new TKTPOP3;
            session.reset(pop);
            pop->UserID = "u@x.org";
            pop->Password = c.secret;
            pop->AuthMethod = c.method;
            pop->Security = secNone;
        } else {
            smtp = new TKTSMTP;
            session.reset(smtp);
            smtp->UserID = "me";
            smtp->SignInRequired = true;
            smtp->AuthUserID = "u@x.org";
            smtp->AuthPassword = c.secret;
            smtp->AuthMethod = c.method;
            smtp->Security = secNone;
        }
        session->Host = server.host();
        session->IdleTimeOut = 10000;
        // Every status, whatever its level: none may show the secret or the exchange.
        std::vector<std::string> statuses;
        session->ReportLevel = 255;
        session->OnStatus = [&](QObject*, const std::string& Status) { statuses.push_back(Status); };
        const std::string port = std::to_string(server.port());
        std::string expected;
        for (std::string step : c.script) {
            // The OAUTHBEARER message names the port, known only now.
            if (step.find(bearer) != std::string::npos)
                step.replace(step.find(bearer), bearer.size(),
                             B64("n,a=u@x.org,\x01" "host=127.0.0.1\x01" "port=" + port + "\x01" "auth=Bearer ya29-Tk9\x01\x01"));
            if (step[0] == '<') {
                server.reply(step.substr(1));
            } else if (step[0] == '>') {
                server.expect(step.substr(1));
                expected += step.substr(1) + "\r\n";
            } else {
                // '*': a line that begins so (its random part cannot be scripted).
                server.readUntil("\r\n");
                expected += "*";
            }
        }
        server.start();
        session->Port = server.port();
        std::string error;
        bool authError = false;
        try {
            session->Connect();
        } catch (const EAuthError& e) {
            error = e.what();
            authError = true;
        } catch (const std::exception& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(authError, c.authError);
        for (const std::string& shown : statuses) {
            EXPECT_EQ(shown.find(c.secret), std::string::npos) << shown;
            EXPECT_EQ(shown.find("AUTH "), std::string::npos) << shown;
            EXPECT_EQ(shown.find(xoauth.substr(0, 12)), std::string::npos) << shown;
        }
        session->OnStatus = nullptr;
        session->Abort();
        EXPECT_TRUE(server.waitFinished());
        EXPECT_TRUE(server.failures().empty()) << server.failures().front();
        // Nothing was sent beyond the script.
        const std::string received = server.received();
        const size_t star = expected.find('*');
        if (star == std::string::npos) {
            EXPECT_EQ(received, expected);
        } else {
            EXPECT_EQ(received.substr(0, star), expected.substr(0, star));
            EXPECT_TRUE(received.ends_with(expected.substr(star + 1)));
        }
    }
}

TEST(SignInWire, PasswordSourceIsAskedForEachConnection)
{
    ScriptedServer server;
    server.reply("+OK").expect("USER u").reply("+OK").expect("PASS from-command").reply("+OK").expect("STAT")
        .reply("+OK 0 0").expect("QUIT").reply("+OK");
    server.start();
    TKTPOP3 pop;
    pop.Host = server.host();
    pop.Port = server.port();
    pop.UserID = "u";
    pop.Password = "stored";
    int asked = 0;
    pop.PasswordSource = [&] {
        ++asked;
        return std::string("from-command");
    };
    pop.Connect();
    pop.Disconnect();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(server.waitFinished());
    EXPECT_TRUE(server.failures().empty());

    // A failing command stops the sign-in before anything is connected.
    ScriptedServer idle;
    idle.start();
    pop.Port = idle.port();
    pop.PasswordSource = []() -> std::string { throw std::runtime_error("La commande du mot de passe n'a rien affiché"); };
    EXPECT_THROW(pop.Connect(), std::runtime_error);
    EXPECT_EQ(idle.connections(), 0);
}

} // namespace
