// TKTIMAP against scripted servers, for what a real server will not do: BYE in the middle of a
// command, a literal that never ends, garbage, a plain-text session offered where TLS was asked;
// and the sign-in forms a real server does not all show (LOGIN with a literal, SASL-IR).
#include "mail/ImapIdle.h"
#include "mail/KTimap.h"
#include "mail/MailErrors.h"
#include "ScriptedServer.h"
#include "SessionBus.h"

#include <QTimer>

#include <gtest/gtest.h>

using testsupport::ScriptedServer;

namespace {

const char kStatus[] = "B2 STATUS \"INBOX\" (MESSAGES UNSEEN UIDNEXT UIDVALIDITY)";

// Greeting and sign-in with LOGIN; the eight-bit password goes as a literal once the server
// invites it.
void SignInWithLiteral(ScriptedServer& S)
{
    S.reply("* OK [CAPABILITY IMAP4rev1 IDLE] ready")
        .expect("B1 LOGIN \"alice\" {7}")
        .reply("+ go on")
        .expect("s\xC3\xA9" "cret")
        .reply("B1 OK [CAPABILITY IMAP4rev1 IDLE] in");
}

// Greeting with SASL-IR: PLAIN goes with its first message on the command line.
void SignInWithSaslIr(ScriptedServer& S)
{
    S.reply("* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR] ready")
        .expect("B1 AUTHENTICATE PLAIN AGFsaWNlAHPDqWNyZXQ=")
        .reply("B1 OK [CAPABILITY IMAP4rev1 IDLE UIDPLUS] in");
}

} // namespace

TEST(ImapScripted, MisbehavingServersEndTheSessionWithTheirReason)
{
    struct Case {
        const char* name;
        std::function<void(ScriptedServer&)> script;
        TSecurity security;
        std::string error;      // start of the error text
        bool authError;
        bool cancel = false;    // the user cancels while the server says nothing
    };
    const Case cases[] = {
        {"BYE mid-command",
         [](ScriptedServer& S) { SignInWithSaslIr(S); S.expect(kStatus).reply("* BYE Server shutting down.").close(); },
         secNone, "Le serveur 127.0.0.1 a mis fin à la session : Server shutting down.", false},
        {"literal that never ends",
         [](ScriptedServer& S) { SignInWithLiteral(S); S.expect(kStatus).send("* STATUS {40}\r\nINBOX").pause(1500); },
         secNone, "Délai d'attente dépassé", false},
        {"garbage",
         [](ScriptedServer& S) { SignInWithLiteral(S); S.expect(kStatus).send("\x16\x03\x01 hello\r\n").pause(1500); },
         secNone, "Réponse du serveur IMAP illisible", false},
        {"oversized literal",
         [](ScriptedServer& S) { SignInWithLiteral(S); S.expect(kStatus).send("* STATUS {999999999}\r\n").pause(1500); },
         secNone, "Réponse du serveur IMAP trop longue", false},
        {"refused password",
         [](ScriptedServer& S) {
             S.reply("* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready")
                 .expect("B1 AUTHENTICATE PLAIN").reply("+ ").expect("AGFsaWNlAHPDqWNyZXQ=")
                 .reply("B1 NO [AUTHENTICATIONFAILED] Authentication failed.")
                 .expect("B2 LOGOUT").reply("* BYE bye").reply("B2 OK done");
         },
         secNone, "Identifiant ou mot de passe refusé par 127.0.0.1 : NO [AUTHENTICATIONFAILED] Authentication failed.", true},
        {"cancelled",
         [](ScriptedServer& S) { SignInWithLiteral(S); S.expect(kStatus).pause(1500); },
         secNone, "Readln de socket abandonnée", false, true},
        {"no STARTTLS",
         [](ScriptedServer& S) { S.reply("* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready").expect("B1 LOGOUT").reply("B1 OK"); },
         secStartTls, "Le serveur 127.0.0.1 ne propose pas de connexion chiffrée (STARTTLS)", false},
        {"PREAUTH in clear",
         [](ScriptedServer& S) { S.reply("* PREAUTH [CAPABILITY IMAP4rev1 STARTTLS] hi").expect("B1 LOGOUT").reply("B1 OK"); },
         secStartTls, "Le serveur 127.0.0.1 a ouvert la session sans chiffrement", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        c.script(server);
        server.start();
        TKTIMAP imap;
        imap.Host = server.host();
        imap.Port = server.port();
        imap.Security = c.security;
        imap.UserID = "alice";
        imap.Password = "s\xC3\xA9" "cret";
        imap.OperationTimeOut = c.cancel ? 0 : 1000;
        if (c.cancel)
            QTimer::singleShot(300, [&imap] { imap.Abort(); });
        std::string error = "(no exception)";
        bool authError = false;
        try {
            imap.Connect();
            imap.Status();
        } catch (const EAuthError& e) {
            error = e.what();
            authError = true;
        } catch (const std::exception& e) {
            error = e.what();
        }
        EXPECT_EQ(error.substr(0, c.error.size()), c.error);
        EXPECT_EQ(authError, c.authError);
        EXPECT_FALSE(imap.Connected());
        ASSERT_TRUE(server.waitFinished());
        EXPECT_TRUE(server.failures().empty()) << server.failures().front();
        // Never a password after a refusal to secure the connection.
        if (c.security == secStartTls)
            EXPECT_EQ(server.received(), "B1 LOGOUT\r\n");
    }
}

// A server that says BYE under an IDLE connection: the supervisor hears why, reconnects after its
// back-off, and is in IDLE again on the next connection; stopping ends IDLE and logs out.
TEST(ImapScripted, PushReconnectsAfterBye)
{
    ScriptedServer server;
    for (int connection = 0; connection < 2; ++connection) {
        server.reply("* OK [CAPABILITY IMAP4rev1 IDLE] ready")
            .expect("B1 LOGIN \"alice\" \"pw\"").reply("B1 OK [CAPABILITY IMAP4rev1 IDLE] in")
            .expect("B2 EXAMINE \"INBOX\"").reply("* 1 EXISTS").reply("* OK [UIDVALIDITY 5] v").reply("* OK [UIDNEXT 2] n")
            .reply("B2 OK [READ-ONLY] done")
            .expect("B3 IDLE").reply("+ idling");
        if (connection == 0)
            server.reply("* BYE going down").close().acceptNext();
    }
    server.expect("DONE").reply("B3 OK idle done").expect("B4 LOGOUT").reply("* BYE").reply("B4 OK");
    server.start();
    TImapIdle idle;
    idle.Session()->Host = server.host();
    idle.Session()->Port = server.port();
    idle.Session()->UserID = "alice";
    idle.Session()->Password = "pw";
    std::vector<std::string> errors;
    idle.OnError = [&](const std::string& Error, int) { errors.push_back(Error); };
    idle.Start();
    ASSERT_TRUE(testsupport::waitUntil([&] { return idle.Connections() == 2 && idle.Idling(); }, 20000))
        << idle.Connections() << " " << errors.size() << " " << (errors.empty() ? "" : errors[0]) << " " << server.received();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Le serveur 127.0.0.1 a mis fin à la session : going down");
    idle.Stop();
    EXPECT_FALSE(idle.Session()->Connected());
    ASSERT_TRUE(server.waitFinished());
    EXPECT_TRUE(server.failures().empty()) << server.failures().front();
}
