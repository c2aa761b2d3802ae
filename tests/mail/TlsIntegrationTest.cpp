// Secure connections against real servers: Dovecot with POP3S and STLS, aiosmtpd with STARTTLS and
// TLS from the first byte, certificates from a throw-away authority; and the refusal to go on in
// clear when STARTTLS is asked for and not offered.
#include "mail/KTpop3.h"
#include "mail/KTsmtp.h"
#include "net/TlsTransport.h"
#include "DovecotFixture.h"
#include "MailExamine.h"
#include "ScriptedServer.h"
#include "SmtpFixture.h"
#include "TestCertificates.h"
#include "TestDirs.h"

#include <QByteArray>
#include <QTimer>
#include <gtest/gtest.h>
#include <random>

using namespace testsupport;

namespace {

const char kPlainMessage[] = "From: Ann <ann@example.org>\r\nTo: bob@example.org\r\nSubject: Over TLS\r\n\r\nHello.\r\n";

// A message with one base64 attachment of Size random bytes named big.bin.
std::string MessageWithAttachment(const std::string& Content)
{
    const QByteArray encoded = QByteArray::fromStdString(Content).toBase64();
    std::string text = "From: Ann <ann@example.org>\r\nTo: bob@example.org\r\nSubject: Big\r\nMIME-Version: 1.0\r\n"
                       "Content-Type: multipart/mixed; boundary=\"XX\"\r\n\r\n--XX\r\nContent-Type: text/plain\r\n\r\n"
                       "See the file.\r\n--XX\r\nContent-Type: application/octet-stream; name=\"big.bin\"\r\n"
                       "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"big.bin\"\r\n\r\n";
    for (qsizetype at = 0; at < encoded.size(); at += 76)
        text += encoded.mid(at, 76).toStdString() + "\r\n";
    return text + "--XX--\r\n";
}

std::string RandomBytes(size_t N)
{
    std::mt19937 rng(7);
    std::string s(N, '\0');
    for (auto& c : s)
        c = char(rng() & 0xFF);
    return s;
}

void Configure(TKTPOP3& Pop, quint16 Port, TSecurity Security, const std::string& Host = "localhost")
{
    Pop.Host = Host;
    Pop.Port = Port;
    Pop.Security = Security;
    Pop.CaFile = TestCertificates::get().caFile();
    Pop.UserID = "alice";
    Pop.Password = "s3cret";
    Pop.IdleTimeOut = 20000;
}

// Connect's failure as a certificate error; fails the test when it is anything else.
ECertificateError CertificateFailure(TKTPOP3& Pop)
{
    try {
        Pop.Connect();
    } catch (const ECertificateError& E) {
        return E;
    } catch (const std::exception& E) {
        ADD_FAILURE() << "not a certificate error: " << E.what();
    }
    ADD_FAILURE() << "the connection was accepted";
    return ECertificateError("", 0, "");
}

} // namespace

// POP3S and STLS with the trusted authority, by name and by address: logged in over TLS, and a
// message with a 3 MB attachment comes through whole.
TEST(TlsIntegration, Pop3OverTlsWithTrustedAuthority)
{
    const std::string content = RandomBytes(3 * 1024 * 1024);
    DovecotFixture dovecot;
    dovecot.enableTls("good");
    const std::string message = MessageWithAttachment(content);
    dovecot.addUser("alice", "s3cret", {kPlainMessage, message});
    dovecot.start();
    struct Case {
        TSecurity security;
        bool tlsPort;
        std::string host;
    };
    const Case cases[] = {{secTls, true, "localhost"}, {secStartTls, false, "localhost"}, {secTls, true, "127.0.0.1"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.security) + " " + c.host);
        TKTPOP3 pop;
        Configure(pop, c.tlsPort ? dovecot.tlsPort() : dovecot.port(), c.security, c.host);
        pop.Connect();
        EXPECT_TRUE(pop.Secure());
        EXPECT_EQ(pop.MessageCount(), 2) << dovecot.log();
        EXPECT_EQ(pop.PeerFingerprint(), TestCertificates::get().fingerprint("good"));
        EXPECT_TRUE(pop.Capabilities().Has("USER"));
        EXPECT_FALSE(pop.Capabilities().Has("STLS"));  // not offered again once secure
        // The message as the server sends it, line by line.
        ASSERT_EQ(pop.Transaction("RETR 2").compare(0, 3, "+OK"), 0);
        std::string got;
        for (std::string line = pop.ReadLn(); line != ".\r\n"; line = pop.ReadLn())
            got += line;
        EXPECT_TRUE(got == message) << got.size() << " of " << message.size() << " bytes";
        pop.Disconnect();
        EXPECT_FALSE(pop.Connected());
    }
}

// Each certificate fault is refused with its reason and the certificate's fingerprint, before
// anything is sent through the connection, for both ways of starting TLS. Without CaFile the
// system's authorities are the judges, and they do not know the test authority.
TEST(TlsIntegration, FaultyCertificatesAreRefusedWithTheirReason)
{
    struct Case {
        std::string certificate;
        bool systemStore;
        unsigned problems;
        std::string reason;
    };
    const Case cases[] = {
        {"unknown", false, ECertificateError::cpUnknown, "certificat inconnu"},
        {"expired", false, ECertificateError::cpExpired, "certificat expiré"},
        {"wrongname", false, ECertificateError::cpNameMismatch, "nom ne correspondant pas au serveur"},
        {"good", true, ECertificateError::cpUnknown, "certificat inconnu"},
    };
    for (const Case& c : cases) {
        DovecotFixture dovecot;
        dovecot.enableTls(c.certificate);
        dovecot.addUser("alice", "s3cret", {kPlainMessage});
        dovecot.start();
        for (const TSecurity security : {secTls, secStartTls}) {
            SCOPED_TRACE(c.certificate + " " + std::to_string(security));
            TKTPOP3 pop;
            Configure(pop, security == secTls ? dovecot.tlsPort() : dovecot.port(), security);
            if (c.systemStore)
                pop.CaFile.clear();
            const ECertificateError error = CertificateFailure(pop);
            EXPECT_EQ(error.Problems(), c.problems);
            EXPECT_EQ(error.Fingerprint(), TestCertificates::get().fingerprint(c.certificate));
            const std::string message = error.what();
            EXPECT_NE(message.find(c.reason), std::string::npos) << message;
            EXPECT_NE(message.find("Empreinte SHA-256 : " + error.Fingerprint()), std::string::npos) << message;
            EXPECT_FALSE(pop.Connected());
            EXPECT_FALSE(pop.Secure());
        }
        EXPECT_EQ(dovecot.log().find("user=<alice>"), std::string::npos) << dovecot.log();
    }
}

// A trusted fingerprint lets that certificate in; a different certificate from the same unknown
// authority is refused again, naming its own fingerprint.
TEST(TlsIntegration, TrustedFingerprintAcceptsOnlyThatCertificate)
{
    DovecotFixture first;
    first.enableTls("unknown");
    first.addUser("alice", "s3cret", {kPlainMessage});
    first.start();
    TKTPOP3 pop;
    Configure(pop, first.tlsPort(), secTls);
    const std::string fingerprint = CertificateFailure(pop).Fingerprint();
    ASSERT_EQ(fingerprint, TestCertificates::get().fingerprint("unknown"));

    pop.TrustedFingerprint = fingerprint;
    pop.Connect();
    EXPECT_TRUE(pop.Secure());
    EXPECT_EQ(pop.MessageCount(), 1);
    pop.Disconnect();

    DovecotFixture changed;
    changed.enableTls("unknown2");
    changed.addUser("alice", "s3cret", {kPlainMessage});
    changed.start();
    pop.Port = changed.tlsPort();
    const ECertificateError again = CertificateFailure(pop);
    EXPECT_EQ(again.Fingerprint(), TestCertificates::get().fingerprint("unknown2"));
    EXPECT_NE(again.Fingerprint(), fingerprint);
    EXPECT_EQ(again.Problems(), unsigned(ECertificateError::cpUnknown));
}

// STARTTLS asked for, not offered: the connection ends before any credential goes out.
TEST(TlsIntegration, StartTlsNotOfferedSendsNoPassword)
{
    DovecotFixture dovecot;  // without TLS: no STLS in its capabilities
    dovecot.addUser("alice", "s3cret", {kPlainMessage});
    dovecot.start();
    TKTPOP3 pop;
    Configure(pop, dovecot.port(), secStartTls);
    try {
        pop.Connect();
        ADD_FAILURE() << "connected in clear";
    } catch (const std::runtime_error& E) {
        EXPECT_NE(std::string(E.what()).find("ne propose pas de connexion chiffrée (STLS)"), std::string::npos) << E.what();
    }
    EXPECT_FALSE(pop.Connected());
    EXPECT_EQ(dovecot.log().find("user=<alice>"), std::string::npos) << dovecot.log();

    // The same against scripted peers, where every byte the client sent is seen.
    ScriptedServer pop3;
    pop3.reply("+OK ready").expect("CAPA").reply("+OK").reply("USER").reply("SASL PLAIN").reply(".").expect("QUIT").reply("+OK");
    pop3.start();
    Configure(pop, pop3.port(), secStartTls, "127.0.0.1");
    EXPECT_THROW(pop.Connect(), std::runtime_error);
    ASSERT_TRUE(pop3.waitFinished());
    EXPECT_EQ(pop3.received(), "CAPA\r\nQUIT\r\n");
    EXPECT_TRUE(pop3.failures().empty());

    ScriptedServer smtp;
    const std::string ehlo = "EHLO " + TKTSMTP::EhloName();
    smtp.reply("220 ready").expect(ehlo).reply("250-sink.test").reply("250 AUTH PLAIN LOGIN").expect("QUIT").reply("221 bye");
    smtp.start();
    TKTSMTP sender;
    sender.Host = "127.0.0.1";
    sender.Port = smtp.port();
    sender.Security = secStartTls;
    sender.IdleTimeOut = 20000;
    try {
        sender.Connect();
        ADD_FAILURE() << "connected in clear";
    } catch (const std::runtime_error& E) {
        EXPECT_NE(std::string(E.what()).find("ne propose pas de connexion chiffrée (STARTTLS)"), std::string::npos) << E.what();
    }
    ASSERT_TRUE(smtp.waitFinished());
    EXPECT_EQ(smtp.received(), ehlo + "\r\nQUIT\r\n");
    EXPECT_TRUE(smtp.failures().empty());
}

// Sending over STARTTLS (the submission way) and over TLS from the first byte: the message arrives
// intact, with a 1 MB attachment.
TEST(TlsIntegration, SmtpOverStartTlsAndImplicitTls)
{
    SmtpFixture sink;
    sink.enableTls("good");
    sink.start();
    TempFolder dir;
    const std::string binary = RandomBytes(1024 * 1024);
    writeFileBytes(dir.file("data.bin"), binary);
    const TSecurity modes[] = {secStartTls, secTls};
    for (const TSecurity security : modes) {
        SCOPED_TRACE(std::to_string(security));
        TKTSMTP smtp;
        smtp.Host = "localhost";
        smtp.Port = security == secTls ? sink.tlsPort() : sink.port();
        smtp.Security = security;
        smtp.CaFile = TestCertificates::get().caFile();
        smtp.IdleTimeOut = 20000;
        TPostMessage& m = smtp.PostMessage;
        m.FromAddress = "ann@example.org";
        m.ToAddress = {"bob@example.org"};
        m.Subject = "Secure " + std::to_string(security);
        m.Body = {"line one", ".dot line"};
        m.Attachments = {dir.file("data.bin").toStdString()};
        smtp.Connect();
        EXPECT_TRUE(smtp.Secure());
        EXPECT_EQ(smtp.Capabilities().Has("STARTTLS"), false);  // not offered again once secure
        smtp.Send();
        smtp.Disconnect();
    }
    const auto got = sink.messages();
    ASSERT_EQ(got.size(), 2u);
    for (size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].rcptTos, (std::vector<std::string>{"bob@example.org"}));
        TempFolder out;
        const InspectedMessage message = inspectMessage(got[i].file, out.path());
        EXPECT_EQ(message.header("Subject"), "Secure " + std::to_string(modes[i]));
        ASSERT_EQ(message.parts.size(), 2u);
        EXPECT_EQ(message.parts[0].payload, "line one\n.dot line");
        EXPECT_TRUE(message.parts[1].payload == binary);
    }
}

// A POP3S server that accepts and never answers the hello: the user's Abort, the idle limit and the
// connection time-out each end Connect, and the component can connect again afterwards.
TEST(TlsIntegration, SilentPop3sServerDoesNotHoldConnect)
{
    struct Case {
        const char* name;
        int idle, timeOut;
        bool abortLater;
        std::string expected;
    };
    const Case cases[] = {
        {"abort", 0, 0, true, "Connexion chiffrée annulée"},
        {"idle limit", 300, 0, false, "Délai d'attente dépassé"},
        {"time-out", 0, 300, false, "La connexion chiffrée a dépassé le temps imparti"},
    };
    TKTPOP3 pop;  // one component for every case, as the program uses it
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer silent;
        silent.start();
        Configure(pop, silent.port(), secTls, "127.0.0.1");
        pop.IdleTimeOut = c.idle;
        pop.TimeOut = c.timeOut;
        if (c.abortLater)
            QTimer::singleShot(300, [&] { pop.Abort(); });
        try {
            pop.Connect();
            ADD_FAILURE() << "connected to a silent server";
        } catch (const std::exception& E) {
            EXPECT_EQ(std::string(E.what()), c.expected);
        }
        EXPECT_FALSE(pop.Connected());
        EXPECT_FALSE(pop.Busy());
    }
    DovecotFixture dovecot;
    dovecot.enableTls("good");
    dovecot.addUser("alice", "s3cret", {kPlainMessage});
    dovecot.start();
    Configure(pop, dovecot.tlsPort(), secTls);
    pop.TimeOut = 0;
    pop.Connect();
    EXPECT_EQ(pop.MessageCount(), 1);
    pop.Disconnect();
}

// A server that listens on ::1 only is reached by its address with or without brackets (its
// certificate checked against that address), and by a name that also gives a dead IPv4 address.
TEST(TlsIntegration, Pop3OnIpv6Only)
{
    DovecotFixture dovecot;
    dovecot.setListenAddress("::1");
    dovecot.enableTls("good");
    dovecot.addUser("alice", "s3cret", {kPlainMessage});
    dovecot.start();
    TSocketSession::SetHostResolver([](const std::string&) { return std::vector<std::string>{"127.0.0.1", "::1"}; });
    struct Case {
        std::string host;
        TSecurity security;
    };
    for (const Case& c : {Case{"::1", secNone}, Case{"[::1]", secTls}, Case{"[::1]", secStartTls}, Case{"both.test", secNone}}) {
        SCOPED_TRACE(c.host + " " + std::to_string(c.security));
        TKTPOP3 pop;
        Configure(pop, c.security == secTls ? dovecot.tlsPort() : dovecot.port(), c.security, c.host);
        pop.Connect();
        EXPECT_EQ(pop.Secure(), c.security != secNone);
        EXPECT_EQ(pop.RemoteAddressText(), "::1");
        pop.RetrieveMessage(1);
        EXPECT_EQ(pop.MailMessage().Subject, " Over TLS");
        pop.Disconnect();
    }
    TSocketSession::SetHostResolver(nullptr);
}
