// Account set-up against real servers in the tests' namespace: each source in its turn, a domain
// with nothing, a server without encryption, and OAuth 2 through a stand-in browser, a mock
// authorization server and Dovecot checking the tokens at its introspection endpoint.
#include "app/AddAccountDialog.h"
#include "app/AccountStore.h"
#include "app/AppContext.h"
#include "app/MailController.h"
#include "setup/Discovery.h"
#include "setup/OAuth2.h"
#include "setup/Verifier.h"

#include "DovecotFixture.h"
#include "SmtpFixture.h"
#include "TestCertificates.h"
#include "platform/FakeDialService.h"
#include "platform/IniProfile.h"
#include "platform/Launcher.h"
#include "platform/ScriptedDialogs.h"
#include "platform/SecretStore.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QProcess>
#include <QTcpServer>
#include <gtest/gtest.h>

extern std::string gNamespaceProblem;
using namespace testsupport;

namespace {

const QString kSupport = QStringLiteral(BREVICOR_SOURCE_DIR "/tests/support/");

// The browser: opens the address with the test authority trusted and follows the redirect.
class BrowserStandIn : public Launcher {
public:
    DefaultProgram DefaultProgramFor(const QString&) override
    {
        return {DefaultProgram::Status::Found,
                "/usr/bin/python3 " + kSupport + "browser.py " + QString::fromStdString(TestCertificates::get().caFile()) + " %u"};
    }
    bool StartDetached(const QStringList& argv) override { return QProcess::startDetached(argv[0], argv.mid(1)); }
};

QString AutoconfigXml(quint16 Pop3s, quint16 Smtps)
{
    return QStringLiteral("<clientConfig version=\"1.1\"><emailProvider id=\"x\">"
                          "<incomingServer type=\"pop3\"><hostname>localhost</hostname><port>1</port><socketType>plain</socketType></incomingServer>"
                          "<incomingServer type=\"pop3\"><hostname>localhost</hostname><port>%1</port><socketType>SSL</socketType>"
                          "<authentication>OAuth2</authentication><authentication>password-cleartext</authentication>"
                          "<username>%EMAILLOCALPART%</username></incomingServer>"
                          "<outgoingServer type=\"smtp\"><hostname>localhost</hostname><port>%2</port><socketType>SSL</socketType>"
                          "<username>%EMAILLOCALPART%</username></outgoingServer></emailProvider></clientConfig>").arg(Pop3s).arg(Smtps);
}

class SetupTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!gNamespaceProblem.empty())
            return;
        const quint16 introspection = freeLoopbackPort();
        dovecot = new DovecotFixture;
        dovecot->addUser("user", "secret");
        dovecot->enableTls();
        dovecot->enableImap();
        dovecot->enableOAuth2("http://127.0.0.1:" + std::to_string(introspection) + "/introspect");
        dovecot->start();
        plain = new DovecotFixture;
        plain->addUser("user", "secret");
        plain->start();
        smtp = new SmtpFixture;
        smtp->enableTls();
        smtp->requireAuth("user", "secret");
        smtp->start();

        const QString a = "[{\"type\":\"A\",\"value\":\"127.0.0.1\"}]";
        const QString srv = "{\"type\":\"SRV\",\"prio\":%1,\"weight\":1,\"port\":%2,\"target\":\"%3\"}";
        const QString zone = QString("{\"autoconfig.auto.test\":%1,\"wellknown.test\":%1,\"autoconfig.hosted.test\":%1,"
                                     "\"pop.guess.test\":%1,\"smtp.guess.test\":%1,\"auth.test\":%1,"
                                     "\"_pop3s._tcp.auto.test\":[%2],"
                                     "\"_imaps._tcp.srv.test\":[%3],\"_pop3s._tcp.srv.test\":[%4,%5],\"_submissions._tcp.srv.test\":[%6],"
                                     "\"srv.test\":[%7],\"mx.test\":[%7]}")
                                 .arg(a, srv.arg(0).arg(1).arg("localhost"), srv.arg(0).arg(0).arg("."),
                                      srv.arg(5).arg(2).arg("localhost"), srv.arg(1).arg(dovecot->tlsPort()).arg("localhost"),
                                      srv.arg(0).arg(smtp->tlsPort()).arg("localhost"),
                                      "{\"type\":\"MX\",\"pref\":10,\"host\":\"mail.hosted.test\"}");
        writeFileBytes(dir->file("zone.json"), zone.toStdString());
        const std::string xml = AutoconfigXml(dovecot->tlsPort(), smtp->tlsPort()).toStdString();
        for (const QString f : {"www/autoconfig.auto.test/mail", "www/wellknown.test/.well-known/autoconfig/mail",
                                "www/autoconfig.hosted.test/mail"}) {
            QDir().mkpath(dir->file(f));
            writeFileBytes(dir->file(f + "/config-v1.1.xml"), xml);
        }
        servers = new QProcess;
        servers->start("/usr/bin/python3", {kSupport + "setup_servers.py", dir->file("zone.json"), dir->file("www"),
                                            TestCertificates::get().certFile("names"), TestCertificates::get().keyFile(),
                                            QString::number(introspection)});
        if (!servers->waitForReadyRead(15000) || !servers->readLine().startsWith("ready"))
            throw std::runtime_error("setup_servers.py: " + servers->readAllStandardError().toStdString());
    }
    static void TearDownTestSuite()
    {
        if (servers) {
            servers->kill();
            servers->waitForFinished();
        }
        delete servers;
        delete dovecot;
        delete plain;
        delete smtp;
    }
    void SetUp() override
    {
        if (!gNamespaceProblem.empty())
            GTEST_SKIP() << gNamespaceProblem;
        control.CaFile = QString::fromStdString(TestCertificates::get().caFile());
    }
    TProviderTable Table() const { return TProviderTable::Parse(TableJson()); }
    QByteArray TableJson() const
    {
        const QString pop3s = QString::number(dovecot->tlsPort()), smtps = QString::number(smtp->tlsPort());
        const QString entry = "{\"id\":\"%1\",\"name\":\"%1\",\"domains\":[\"%1.test\"],\"incoming\":[{\"protocol\":\"pop3\","
                              "\"host\":\"localhost\",\"port\":%2,\"security\":\"%3\",\"auth\":\"%4\",\"username\":\"%EMAILLOCALPART%\"}],"
                              "\"outgoing\":[{\"protocol\":\"smtp\",\"host\":\"localhost\",\"port\":%5,\"security\":\"tls\",\"username\":\"%EMAILLOCALPART%\"}]%6}";
        const QString oauth = ",\"oauth2\":{\"authorizationEndpoint\":\"https://auth.test/authorize\",\"tokenEndpoint\":\"https://auth.test/token\",\"scope\":\"mail\"}";
        // The same server by POP3 and by IMAP: the search takes IMAP.
        const QString both = entry.arg("imap", pop3s, "tls", "password", smtps, "").replace(
            "}],\"outgoing", "},{\"protocol\":\"imap\",\"host\":\"localhost\",\"port\":" + QString::number(dovecot->imapsPort())
                                 + ",\"security\":\"tls\",\"username\":\"%EMAILLOCALPART%\"}],\"outgoing");
        return ("{\"providers\":[" + both + "," + entry.arg("table", pop3s, "tls", "password", smtps, "") + ","
                + entry.arg("plain").arg(plain->port()).arg("none", "password", smtps, "") + ","
                + entry.arg("oauth", pop3s, "tls", "oauth2", smtps, oauth) + "]}").toUtf8();
    }
    TOAuthProvider OAuthProvider() const { return Table().ForId("oauth")->OAuth; }

    static inline TempFolder* dir = new TempFolder;
    static inline DovecotFixture* dovecot = nullptr;
    static inline DovecotFixture* plain = nullptr;
    static inline SmtpFixture* smtp = nullptr;
    static inline QProcess* servers = nullptr;
    TSetupControl control;
    MemorySecretStore keyring;
};

TEST_F(SetupTest, EachSourceInItsTurnAndWhatItFindsSignsIn)
{
    // Listeners where the guesses look (the namespace's own ports).
    QTcpServer pop3s, smtps;
    ASSERT_TRUE(pop3s.listen(QHostAddress::LocalHost, 995) && smtps.listen(QHostAddress::LocalHost, 465));
    const QString pop3sAt = QString::number(dovecot->tlsPort());
    const struct {
        const char* address;
        TFoundSource source;
        QString incoming;
        bool signsIn;
        TProtocol protocol = TProtocol::Pop3;
    } cases[] = {
        {"user@table.test", TFoundSource::ProviderTable, "localhost:" + pop3sAt, true},
        {"user@imap.test", TFoundSource::ProviderTable, "localhost:" + QString::number(dovecot->imapsPort()), true, TProtocol::Imap},
        {"user@auto.test", TFoundSource::Autoconfig, "localhost:" + pop3sAt, true},      // SRV present too
        {"user@wellknown.test", TFoundSource::Autoconfig, "localhost:" + pop3sAt, true}, // no autoconfig. host
        {"user@srv.test", TFoundSource::DnsSrv, "localhost:" + pop3sAt, false},          // MX present too
        {"user@mx.test", TFoundSource::MxProvider, "localhost:" + pop3sAt, true},
        {"user@guess.test", TFoundSource::Guess, "pop.guess.test:995", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        TDiscovery discovery(control, Table());
        TFoundAccount found = discovery.Find(c.address);
        EXPECT_EQ(found.Source, c.source) << discovery.Tried().join("\n").toStdString();
        EXPECT_EQ(found.Incoming.Host + ":" + QString::number(found.Incoming.Port), c.incoming);
        EXPECT_EQ(found.Incoming.Security, secTls);
        EXPECT_EQ(found.Outgoing.Security, secTls);
        if (c.signsIn) {
            EXPECT_EQ(found.Incoming.UserName, "user");
            TVerifier verifier(control);
            verifier.SecretSource = [] { return std::string("secret"); };
            EXPECT_NO_THROW(verifier.CheckAccount(found));
            const TAccount account = AccountFromFound({found, "secret"});
            EXPECT_EQ(account.Host + ":" + account.Port + " " + QString::number(int(account.Protocol)),
                      c.incoming + " " + QString::number(int(c.protocol)));
        }
    }
}

TEST_F(SetupTest, ADomainWithNothingSaysInFrenchWhatWasTried)
{
    TDiscovery discovery(control, Table());
    try {
        discovery.Find("user@nothing.test");
        FAIL() << "found something";
    } catch (const ESetupError& e) {
        EXPECT_EQ(e.Kind(), ESetupError::NothingFound);
        for (const char* step : {"Aucun serveur de messagerie", "liste des fournisseurs", "https://autoconfig.nothing.test/",
                                 "https://nothing.test/.well-known/", "SRV de nothing.test : aucun", "MX de nothing.test : aucun",
                                 "noms habituels"})
            EXPECT_TRUE(e.Text().contains(step)) << step << "\n" << e.what();
    }
    // Cancelled during the SRV step: nothing after it is tried.
    discovery.OnStep = [this](const QString& Step) {
        if (Step.contains("SRV"))
            control.Cancel();
    };
    try {
        discovery.Find("user@nothing.test");
        FAIL() << "not cancelled";
    } catch (const ESetupError& e) {
        EXPECT_EQ(e.Kind(), ESetupError::Canceled);
        EXPECT_FALSE(discovery.Tried().join("").contains("MX"));
    }
}

TEST_F(SetupTest, AddAccountDialogFindsChecksAndHandsBackOnlyWhatSignedIn)
{
    ScriptedDialogs dialogs;
    AppContext context;
    context.dialogs = &dialogs;
    TempFolder settingsDir;
    IniProfile settings(settingsDir.file("brevicor.ini"));
    TAddAccountDialog dialog(context, settings, Table());
    dialog.CaFile = control.CaFile;
    int added = 0;
    dialog.OnAccountAdded = [&](const TAddedAccount&) { ++added; };

    dialog.AddressEdit->setText("user@nothing.test");
    dialog.FindButtonClick();
    EXPECT_TRUE(dialog.StatusLabel->text().startsWith("Aucun serveur de messagerie")) << dialog.StatusLabel->text().toStdString();
    EXPECT_FALSE(dialog.AddButton->isEnabled());

    dialog.AddressEdit->setText("user@table.test");
    dialog.PasswordEdit->setText("secret");
    dialog.FindButtonClick();
    EXPECT_EQ(dialog.IncomingHostEdit->text(), "localhost");
    EXPECT_EQ(dialog.IncomingPortSpin->value(), dovecot->tlsPort());
    // Changed by the user to a server without encryption: refused, then accepted with consent.
    dialog.IncomingPortSpin->setValue(plain->port());
    dialog.IncomingSecurityCombo->setCurrentIndex(secNone);
    dialogs.AnswerNo();
    dialog.AddButtonClick();
    EXPECT_TRUE(dialog.StatusLabel->text().contains("aucune connexion chiffrée"));
    EXPECT_FALSE(dialog.Result());
    dialogs.AnswerYes();
    dialog.AddButtonClick();
    ASSERT_TRUE(dialog.Result());
    EXPECT_EQ(added, 1);
    EXPECT_EQ(dialog.Result()->Account.Incoming.Port, plain->port());
    EXPECT_EQ(dialog.Result()->Account.Outgoing.Security, secTls);
    EXPECT_EQ(dialog.Result()->Password, "secret");
    EXPECT_FALSE(QFile::exists(settings.path())); // nothing written to the settings
}

TEST_F(SetupTest, AServerWithoutEncryptionNeedsTheUsersConsent)
{
    TFoundAccount found = TDiscovery(control, Table()).Find("user@plain.test");
    TVerifier verifier(control);
    verifier.SecretSource = [] { return std::string("secret"); };
    try {
        verifier.Check(found.Incoming);
        FAIL() << "signed in without encryption";
    } catch (const ESetupError& e) {
        EXPECT_EQ(e.Kind(), ESetupError::PlainTextOnly) << e.what();
    }
    verifier.AllowPlainText = true;
    verifier.Check(found.Incoming);
    EXPECT_EQ(found.Incoming.Security, secNone);
    // A server that offers STLS is never used in clear, whatever the source said.
    TFoundServer tls = found.Incoming;
    tls.Port = dovecot->port();
    verifier.Check(tls);
    EXPECT_EQ(tls.Security, secStartTls);
    // A certificate for another name is refused until the user trusts that one certificate.
    tls.Host = "auth.test";
    try {
        verifier.Check(tls);
        FAIL() << "a certificate for localhost was taken for auth.test";
    } catch (const ESetupError& e) {
        EXPECT_EQ(e.Kind(), ESetupError::CertificateRefused) << e.what();
        tls.TrustedFingerprint = e.Fingerprint();
    }
    verifier.Check(tls);
}

TEST_F(SetupTest, OAuthSignInRefreshAndRevocation)
{
    const QString address = "user@oauth.test";
    TempFolder settingsDir;
    IniProfile settings(settingsDir.file("brevicor.ini"));
    try {
        TOAuthSettings(settings).ClientFor(OAuthProvider());
        FAIL() << "a client without identifier";
    } catch (const ESetupError& e) {
        EXPECT_EQ(e.Kind(), ESetupError::NoClientId);
        EXPECT_TRUE(e.Text().contains("oauthClientId") && e.Text().contains("README")) << e.what();
    }
    TOAuthSettings(settings).SetClient("oauth", {"brevicor-test", ""});
    const TOAuthClient client = TOAuthSettings(settings).ClientFor(OAuthProvider());

    BrowserStandIn browser;
    TOAuthFlow flow(control, browser);
    flow.BrowserLimitMs = 30000;
    const TOAuthTokens tokens = flow.Authorize(OAuthProvider(), client, address);
    TTokenKeeper keeper(control, keyring, OAuthProvider(), client, address);
    keeper.Keep(tokens);
    EXPECT_EQ(keyring.Read(RefreshTokenKey("oauth", address)), tokens.RefreshToken);

    TFoundAccount found = TDiscovery(control, Table()).Find(address);
    ASSERT_TRUE(found.UsesOAuth());
    TVerifier verifier(control);
    verifier.SecretSource = keeper.Source();
    verifier.OnRefused = keeper.RetryAfterRefusal();
    verifier.Check(found.Incoming); // the token from the browser
    EXPECT_EQ(keeper.AccessToken(), tokens.AccessToken.toStdString());

    // An access token past its time is refreshed before use.
    keeper.Keep({tokens.AccessToken, {}, QDateTime::currentDateTimeUtc().addSecs(-10)});
    const std::string second = keeper.AccessToken();
    EXPECT_NE(second, tokens.AccessToken.toStdString());
    // One the server no longer accepts is refreshed after the refusal.
    THttpsClient http(control);
    EXPECT_EQ(http.Get(QUrl("https://auth.test/expire?token=" + QString::fromStdString(second)), 5000).Status, 200);
    verifier.Check(found.Incoming);
    EXPECT_NE(keeper.AccessToken(), second);

    // A revoked refresh token: the user is asked to sign in again and the token is forgotten.
    EXPECT_EQ(http.Get(QUrl("https://auth.test/revoke?token=" + tokens.RefreshToken), 5000).Status, 200);
    keeper.Refused();
    try {
        keeper.AccessToken();
        FAIL() << "a revoked refresh token was used";
    } catch (const ESetupError& e) {
        EXPECT_EQ(e.Kind(), ESetupError::SignInAgain) << e.what();
    }
    EXPECT_FALSE(keyring.Read(RefreshTokenKey("oauth", address)));
}

TEST_F(SetupTest, ABrowserSignInAccountIsCheckedWithItsTokensRenewed)
{
    TempFolder folder;
    IniProfile settings(folder.file("brevicor.ini"));
    TOAuthSettings(settings).SetClient("oauth", {"brevicor-test", ""});
    writeFileBytes(folder.file("providers.json"), TableJson().toStdString());
    BrowserStandIn browser;
    TOAuthFlow flow(control, browser);
    const TOAuthTokens tokens = flow.Authorize(OAuthProvider(), TOAuthSettings(settings).ClientFor(OAuthProvider()), "user@oauth.test");
    keyring.Write(RefreshTokenKey("oauth", "user"), tokens.RefreshToken);

    // The account as "Ajouter un compte" stores it, read back from the settings.
    TAccountStore store(settings.path(), &keyring);
    TAccount account = AccountFromFound({TDiscovery(control, Table()).Find("user@oauth.test"), {}});
    account.Section = account.Host;
    store.Write(account);
    account = store.Read(account.Section);
    ASSERT_TRUE(account.UsesBrowserSignIn() && account.Complete());

    auto line = std::make_unique<FakeDialService>();
    ActiveConnection up;
    up.State = DialState::Connected;
    line->Active.push_back(up);
    TMailController mail(std::move(line), settings.path(), folder.file("nouveaux/"), &keyring);
    mail.Tokens().ProvidersPath = folder.file("providers.json");
    mail.Tokens().Control().CaFile = control.CaFile;
    mail.Pop3()->CaFile = mail.Imap()->CaFile = control.CaFile.toStdString();
    // The same account over IMAP, checked first: its session takes the tokens as well.
    TAccount overImap = account;
    overImap.Protocol = TProtocol::Imap;
    overImap.Port = QString::number(dovecot->imapsPort());
    THttpsClient http(control);
    const auto results = [&] { return mail.Check({overImap, account}, TCheckKind::CommandLine, false, true).Results; };
    const auto check = [&] { return results().value(0); };
    // The first access token comes from the refresh token; the second after the server dropped it.
    for (int round = 0; round < 2; ++round) {
        for (const TAccountResult& counted : results())
            EXPECT_EQ(counted.Outcome, TCheckOutcome::Counted) << round << counted.Error.toStdString();
        EXPECT_EQ(http.Get(QUrl("https://auth.test/expire"), 5000).Status, 200);
    }
    // A revoked refresh token: the account asks to sign in again.
    EXPECT_EQ(http.Get(QUrl("https://auth.test/revoke?token=" + tokens.RefreshToken), 5000).Status, 200);
    const TAccountResult refused = check();
    EXPECT_EQ(refused.Outcome, TCheckOutcome::Refused) << refused.Error.toStdString();
    EXPECT_EQ(ResultLine(refused, true), TAccountTokens::SignInAgainText(account));
}

} // namespace

namespace {

TEST(ShippedProviderTable, ReadsAndAnswersByAddressAndByMxHost)
{
    const TProviderTable table = TProviderTable::Load(QStringLiteral(BREVICOR_SOURCE_DIR "/data/providers.json"));
    TSetupControl control;
    const TFoundAccount orange = TDiscovery(control, table).Find("prenom.nom@orange.fr");
    EXPECT_EQ(orange.Incoming.Describe(), "imap.orange.fr:993 (IMAP, TLS)");
    EXPECT_EQ(orange.Alternative.Describe(), "pop.orange.fr:995 (POP3, TLS)");
    EXPECT_EQ(orange.Outgoing.Describe(), "smtp.orange.fr:465 (SMTP, TLS)");
    EXPECT_EQ(orange.Incoming.UserName, "prenom.nom@orange.fr");
    EXPECT_EQ(table.ForDomain("free.fr")->Incoming.front().UserName, "%EMAILLOCALPART%");
    EXPECT_EQ(table.ForMxHost("alt1.aspmx.l.google.com.")->Id, "google");
    EXPECT_TRUE(table.ForId("microsoft")->OAuth.Valid());
    EXPECT_TRUE(table.ForId("microsoft")->OAuth.DefaultClientId.isEmpty());
}

} // namespace
