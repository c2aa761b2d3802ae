// Tests of the session's TLS: handshake waits that end (silence, time-out, cancel, a peer that does
// not speak TLS), bytes received in clear dropped at the switch, reading what the library holds,
// and fingerprint forms.
#include "NetTestUtil.h"
#include "ScriptedServer.h"
#include "TestCertificates.h"
#include "net/TlsTransport.h"

#include <gtest/gtest.h>

#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace nettest;
using testsupport::ScriptedServer;
using testsupport::TestCertificates;

namespace {

class TTlsSession : public TSocketSession {
public:
    using TSocketSession::StartTls;
};

// A peer in its own thread that speaks in clear, then switches to TLS (test certificate "good")
// and sends Secure through it. Plain is sent in one piece right before the switch. MaxVersion
// limits the TLS versions it offers (0 = any).
class TStartTlsPeer {
public:
    TStartTlsPeer(std::string APlain, std::string ASecure, int AMaxVersion = 0)
        : Plain(std::move(APlain)), Secure(std::move(ASecure)), MaxVersion(AMaxVersion)
    {
        Listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in A{};
        A.sin_family = AF_INET;
        A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t L = sizeof A;
        ::bind(Listener, reinterpret_cast<sockaddr*>(&A), sizeof A);
        ::listen(Listener, 1);
        ::getsockname(Listener, reinterpret_cast<sockaddr*>(&A), &L);
        Port = ntohs(A.sin_port);
        Thread = std::thread([this] { Run(); });
    }
    ~TStartTlsPeer()
    {
        Thread.join();
        ::close(Listener);
    }
    std::string host() const { return "127.0.0.1"; }
    std::uint16_t port() const { return Port; }
    std::atomic<bool> Handshaken{false};

private:
    void Run()
    {
        const int Conn = ::accept(Listener, nullptr, nullptr);
        if (Conn < 0)
            return;
        ::send(Conn, Plain.data(), Plain.size(), MSG_NOSIGNAL);
        const TestCertificates& Certs = TestCertificates::get();
        SSL_CTX* Context = SSL_CTX_new(TLS_server_method());
        if (MaxVersion != 0) {
            // Old versions are refused by the library's default level: allow them on this side.
            SSL_CTX_set_security_level(Context, 0);
            SSL_CTX_set_cipher_list(Context, "DEFAULT:@SECLEVEL=0");
            SSL_CTX_set_min_proto_version(Context, 0);
            SSL_CTX_set_max_proto_version(Context, MaxVersion);
        }
        SSL_CTX_use_certificate_file(Context, Certs.certFile("good").toStdString().c_str(), SSL_FILETYPE_PEM);
        SSL_CTX_use_PrivateKey_file(Context, Certs.keyFile().toStdString().c_str(), SSL_FILETYPE_PEM);
        SSL* Ssl = SSL_new(Context);
        SSL_set_fd(Ssl, Conn);
        if (SSL_accept(Ssl) == 1) {
            Handshaken = true;
            SSL_write(Ssl, Secure.data(), static_cast<int>(Secure.size()));
            char Byte;
            SSL_read(Ssl, &Byte, 1);  // until the client closes
        }
        SSL_free(Ssl);
        SSL_CTX_free(Context);
        ::close(Conn);
    }

    std::string Plain, Secure;
    int MaxVersion = 0;
    int Listener = -1;
    std::uint16_t Port = 0;
    std::thread Thread;
};

} // namespace

// A peer that never answers the hello, a whole-handshake limit, a cancel, and a peer that does not
// speak TLS: each ends the handshake with its own error, the connection closed.
TEST(Tls, HandshakeWaitsEnd)
{
    struct Case {
        const char* Name;
        int IdleTimeOut, TimeOut;
        bool CancelLater;
        bool PlainPeer;
        std::string Expected;
    };
    const Case Cases[] = {
        {"silent peer, idle limit", 300, 0, false, false, "ESockError: Délai d'attente dépassé"},
        {"silent peer, time-out", 0, 300, false, false, "ESockError: La connexion chiffrée a dépassé le temps imparti"},
        {"silent peer, cancel", 0, 0, true, false, "EAbortError: Connexion chiffrée annulée"},
        {"peer speaking in clear", 0, 0, false, true,
         "ESockError: Échec de la connexion chiffrée avec 127.0.0.1 : le serveur ne répond pas en TLS (port ou mode "
         "de sécurité erroné ?)"},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Name);
        ScriptedServer Server;
        Server.readBytes(5);  // the record header of the client's hello
        if (C.PlainPeer)
            Server.reply("+OK POP3 server ready in clear, and more text to make a record header");
        Server.start();
        TSocketSession Session;
        Session.Security = secTls;
        Session.IdleTimeOut = C.IdleTimeOut;
        Session.TimeOut = C.TimeOut;
        bool Failed = false;
        Session.OnConnectionFailed = [&](QObject*) { Failed = true; };
        if (C.CancelLater)
            Later(300, [&] { Session.Cancel(); });
        EXPECT_EQ(Raised([&] { ConnectTo(Session, Server); }), C.Expected);
        EXPECT_TRUE(Failed);
        EXPECT_FALSE(Session.Connected());
        EXPECT_FALSE(Session.Secure());
        // The client's hello went out and nothing else.
        EXPECT_GT(Server.received().size(), 0u);
        EXPECT_EQ(Server.received().rfind("\x16\x03", 0), 0u);
    }
}

// Bytes that arrive in clear before the switch (here a forged reply glued to the go-ahead) are
// dropped; the first line read afterwards is the one sent through TLS.
TEST(Tls, StartTlsDropsWhatCameInClear)
{
    TStartTlsPeer Peer("+OK begin TLS\r\n+OK forged in clear\r\n", "+OK secure\r\n");
    TTlsSession Session;
    Session.CaFile = TestCertificates::get().caFile();
    Session.IdleTimeOut = 10000;
    ConnectTo(Session, Peer);
    EXPECT_EQ(Session.ReadLn(), "+OK begin TLS\r\n");
    ASSERT_TRUE(PumpUntil([&] { return Session.Buffered().find("forged") != std::string_view::npos; }));
    Session.StartTls();
    EXPECT_TRUE(Session.Secure());
    EXPECT_TRUE(Session.Buffered().empty());
    EXPECT_EQ(Session.ReadLn(), "+OK secure\r\n");
    EXPECT_EQ(Session.PeerFingerprint(), TestCertificates::get().fingerprint("good"));
    Session.Disconnect();
}

// Many lines sent in one burst through TLS are all read: what the library has decrypted is served
// without waiting for the socket to announce more.
TEST(Tls, BurstOfLinesIsReadWhole)
{
    std::string Burst;
    for (int I = 0; I < 5000; ++I)
        Burst += "line " + std::to_string(I) + " of the burst\r\n";
    Burst += ".\r\n";
    TStartTlsPeer Peer("", Burst);
    TTlsSession Session;
    Session.CaFile = TestCertificates::get().caFile();
    Session.IdleTimeOut = 5000;
    ConnectTo(Session, Peer);
    Session.StartTls();
    std::string Got;
    for (;;) {
        const std::string Line = Session.ReadLn();
        Got += Line;
        if (Line == ".\r\n")
            break;
    }
    EXPECT_TRUE(Got == Burst) << Got.size() << " of " << Burst.size() << " bytes";
    Session.Disconnect();
}

// A server that offers nothing newer than TLS 1.1 is refused; TLS 1.2 is accepted.
TEST(Tls, OlderThanTls12IsRefused)
{
    struct Case {
        int ServerMax;
        bool Accepted;
    };
    const Case Cases[] = {{TLS1_VERSION, false}, {TLS1_1_VERSION, false}, {TLS1_2_VERSION, true}};
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.ServerMax);
        TStartTlsPeer Peer("", "+OK secure\r\n", C.ServerMax);
        TTlsSession Session;
        Session.CaFile = TestCertificates::get().caFile();
        Session.IdleTimeOut = 10000;
        ConnectTo(Session, Peer);
        if (C.Accepted) {
            Session.StartTls();
            EXPECT_EQ(Session.ReadLn(), "+OK secure\r\n");
            Session.Disconnect();
        } else {
            EXPECT_EQ(Raised([&] { Session.StartTls(); }),
                      "ESockError: Échec de la connexion chiffrée avec 127.0.0.1 : le serveur ne propose pas TLS 1.2 ou "
                      "plus récent");
            EXPECT_FALSE(Session.Connected());
        }
    }
}

TEST(Tls, FingerprintForms)
{
    const std::string Colons = "DF:2A:E7:DD:3D:C1:A1:20:32:EB:5D:FF:19:35:D7:3C:DB:24:A9:DA:EF:4F:40:8A:F5:60:4B:0C:56:15:BB:BF";
    const std::string Plain = "df2ae7dd3dc1a12032eb5dff1935d73cdb24a9daef4f408af5604b0c5615bbbf";
    struct Case {
        std::string Trusted;
        bool Accepted;
    };
    const Case Cases[] = {
        {Colons, true},
        {Plain, true},
        {"DF 2A E7 DD 3D C1 A1 20 32 EB 5D FF 19 35 D7 3C DB 24 A9 DA EF 4F 40 8A F5 60 4B 0C 56 15 BB BF", true},
        {"00" + Plain.substr(2) + ";" + Colons, true},   // the second of two
        {"00" + Plain.substr(2) + "\n" + Plain, true},
        {Plain.substr(0, 62), false},                    // too short
        {Plain + "00", false},                           // too long
        {"zz" + Plain.substr(2), false},                 // not hex
        {"00" + Plain.substr(2), false},                 // another certificate
        {"", false},
    };
    EXPECT_EQ(NormalizeFingerprint(Colons), Plain);
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Trusted);
        EXPECT_EQ(FingerprintTrusted(C.Trusted, Colons), C.Accepted);
    }
}
