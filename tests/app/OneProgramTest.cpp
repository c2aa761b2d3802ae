// One program per user: the real executable started twice; the second start ends at once and
// leaves the first running, while a check from the command line still runs beside it.
#include "DovecotFixture.h"
#include "TestCertificates.h"
#include "TestDirs.h"
#include "platform/IniProfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

namespace {

TEST(OneProgram, ASecondStartEndsAndTheFirstGoesOnAndACheckRunsBesideIt)
{
    testsupport::DovecotFixture dovecot;
    dovecot.addUser("anne", "pa", {"Subject: 1\r\n\r\nx\r\n", "Subject: 2\r\n\r\nx\r\n"});
    dovecot.addUser("bruno", "pb", {});
    dovecot.enableTls("good");
    dovecot.setAuthMechanisms("plain login cram-md5");
    dovecot.start();
    testsupport::TempFolder folder;
    // The program keeps its settings beside itself: a copy in a folder of the test.
    const QString program = folder.copyProgram(QStringLiteral(BREVICOR_EXECUTABLE));
    ASSERT_FALSE(program.isEmpty());
    QFile::setPermissions(program, QFile::permissions(program) | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", folder.file("run"));
    env.insert("XDG_CONFIG_HOME", folder.file("config"));
    QDir().mkpath(folder.file("run"));
    QFile::setPermissions(folder.file("run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env.insert("ASAN_OPTIONS", "detect_leaks=0");

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(program, {});
    ASSERT_TRUE(first.waitForStarted());
    // The first start holds the lock once its socket listens.
    for (int i = 0; i < 200 && !QFile::exists(folder.file("run/brevicor.sock")); ++i)
        QThread::msleep(50);
    ASSERT_TRUE(QFile::exists(folder.file("run/brevicor.sock")));

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(program, {});
    ASSERT_TRUE(second.waitForFinished(15000)) << "the second start did not end";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    // "--check": the current account (or "--all": every account of the list), lines in French,
    // 0 when mail waits, 1 when none, 2 when a server could not be checked. TLS, SASL, the keyring
    // and the security probe come from the program's modules, loaded when first needed.
    const QString closed = QString::number(testsupport::freeLoopbackPort());
    const QString open = QString::number(dovecot.port());
    const QString tls = QString::number(dovecot.tlsPort());
    const QString mail = QStringLiteral("Vous avez 2 messages sur 127.0.0.1 (2 nouveaux)\n");
    const struct {
        QStringList args;
        const char* user;
        QString port;
        int exit;
        QString out;
        const char* security = "none";
        const char* auth = "password";
        bool passwordStored = true;
        const char* oauth = "";
        bool qtLoop = false;  // QT_NO_GLIB: Qt's own event loop, not GLib's
    } rows[] = {
        // New since the program's last check (never, here); the command line remembers nothing.
        {{"--check"}, "anne", open, 0, mail},
        {{"--check"}, "bruno", open, 1, "Vous n'avez aucun message sur bruno@127.0.0.1\n"},
        {{"--check"}, "anne", closed, 2, "Connexion impossible à 127.0.0.1\n"},
        {{"--check", "--all"}, "anne", open, 0, mail + "Connexion impossible à localhost\n"},
        {{"--check"}, "anne", tls, 0, mail, "ssl"},
        // No certificate pinned for this account: the reason comes from the TLS module.
        {{"--check"}, "bruno", tls, 2, "Certificat de bruno@127.0.0.1 refusé : certificat inconnu (autorité non reconnue)\n",
         "ssl"},
        {{"--check"}, "anne", open, 0, mail, "none", "cram-md5"},
        {{"--check"}, "anne", tls, 2,
         "Connexion impossible à 127.0.0.1 : le serveur attend une connexion chiffrée dès l'ouverture sur le port "
             + tls + " : choisissez SSL/TLS\n"},
        // No keyring answers here: without its password the account cannot be checked.
        {{"--check"}, "anne", open, 2, "Aucun compte de messagerie complet n'est enregistré\n", "none", "password", false},
        {{"--check"}, "anne", open, 2, "Aucun compte de messagerie complet n'est enregistré\n", "none", "password", false,
         "", true},
        // A browser sign-in: its refresh token would be in the keyring.
        {{"--check"}, "anne", open, 2,
         "La connexion de 127.0.0.1 par le navigateur a expiré : reconnectez-vous avec « Ajouter un compte » sur la "
         "page « Serveur ».\n",
         "none", "oauth2", false, "google"},
    };
    IniProfile ini(folder.file("brevicor.ini"));
    ini.WriteInteger("Host", "Nombre", 2);
    ini.WriteString("Host", "1", "127.0.0.1");
    ini.WriteString("Host", "2", "localhost");
    for (const char* section : {"127.0.0.1", "localhost"}) {
        ini.WriteString(section, "UserName", "anne");
        ini.WriteString(section, "Password", "pa");
    }
    ini.WriteString("localhost", "Port", closed);
    ini.WriteString("OAuth2", "googleClientId", "brevicor-test");
    QFile::copy(QFileInfo(QStringLiteral(BREVICOR_EXECUTABLE)).dir().filePath("providers.json"), folder.file("providers.json"));
    ini.WriteString("127.0.0.1", "Certificats", QString::fromStdString(testsupport::TestCertificates::get().fingerprint("good")));
    for (const auto& r : rows) {
        SCOPED_TRACE(r.args.join(' ').toStdString() + " " + r.user);
        ini.WriteString("127.0.0.1", "Port", r.port);
        ini.WriteString("MainW", "Host", "127.0.0.1");
        ini.WriteString("MainW", "Port", r.port);
        ini.WriteString("MainW", "UserID", r.user);
        ini.WriteString("MainW", "Password", !r.passwordStored ? "" : r.user == std::string("anne") ? "pa" : "pb");
        ini.WriteString("MainW", "Securite", r.security);
        ini.WriteString("MainW", "Authentification", r.auth);
        ini.WriteString("MainW", "OAuth2", r.oauth);
        QProcess check;
        QProcessEnvironment checkEnv = env;
        if (r.qtLoop)
            checkEnv.insert("QT_NO_GLIB", "1");
        check.setProcessEnvironment(checkEnv);
        check.start(program, r.args);
        ASSERT_TRUE(check.waitForFinished(60000));
        EXPECT_EQ(check.readAllStandardOutput().toStdString(), r.out.toStdString());
        EXPECT_EQ(check.exitCode(), r.exit);
    }
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate();
    if (!first.waitForFinished(10000))
        first.kill();
    first.waitForFinished(5000);
}

} // namespace
