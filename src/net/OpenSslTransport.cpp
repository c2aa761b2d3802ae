// TOpenSslTransport: TLS through OpenSSL over the session's connected non-blocking socket.
#include "net/OpenSslTransport.h"

#include "net/TextHelpers.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <sys/socket.h>
#include <sys/stat.h>

// ---------------------------------------------------------------------------------------------
// Process-wide TLS set-up

namespace {

// The socket as an OpenSSL BIO: sends never raise SIGPIPE, and every byte is counted.
BIO_METHOD* SocketMethod();

int ProblemOf(int Error)
{
    switch (Error) {
    case X509_V_OK:
        return 0;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_CERT_REJECTED:
        return ECertificateError::cpUnknown;
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return ECertificateError::cpExpired;
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return ECertificateError::cpNotYetValid;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return ECertificateError::cpNameMismatch;
    default:
        return ECertificateError::cpOther;
    }
}

// One context per trust source, kept for the whole run: loading the system store costs more
// than a handshake. A CA file that changed on disk gets a new context.
SSL_CTX* ContextFor(const std::string& CaFile, int (*Verify)(int, X509_STORE_CTX*))
{
    // Kept until the process ends (never destroyed, so no handshake can meet a freed context).
    static auto& Contexts = *new std::map<std::string, SSL_CTX*>;
    std::string Key = CaFile;
    if (!CaFile.empty()) {
        struct stat St {};
        if (::stat(CaFile.c_str(), &St) != 0)
            throw ESockError("Fichier des autorités de certification introuvable : " + CaFile, seTls);
        Key += "\n" + std::to_string(St.st_mtim.tv_sec) + "." + std::to_string(St.st_mtim.tv_nsec) + "."
               + std::to_string(St.st_size);
    }
    if (auto Found = Contexts.find(Key); Found != Contexts.end())
        return Found->second;

    SSL_CTX* Context = SSL_CTX_new(TLS_client_method());
    if (Context == nullptr)
        throw ESockError("TLS indisponible : impossible de préparer la connexion chiffrée", seTls);
    SSL_CTX_set_min_proto_version(Context, TLS1_2_VERSION);
    // AES-128-GCM first: as safe for mail as AES-256, and a third cheaper on large transfers.
    SSL_CTX_set_ciphersuites(Context, "TLS_AES_128_GCM_SHA256:TLS_CHACHA20_POLY1305_SHA256:TLS_AES_256_GCM_SHA384");
    SSL_CTX_set_mode(Context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Records are taken from the socket in large reads rather than header then body; what is read
    // ahead is served before the session waits on the socket again (HasPending).
    SSL_CTX_set_read_ahead(Context, 1);
    SSL_CTX_set_default_read_buffer_len(Context, 256 * 1024);
    // A peer that ends the connection without the closing alert ends it all the same: the mail
    // protocols mark the end of their data themselves.
    SSL_CTX_set_options(Context, SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_RENEGOTIATION);
    // Every problem of the chain is recorded and judged after the handshake, so the message can
    // name them all and a trusted fingerprint can be honoured; nothing is sent before that.
    SSL_CTX_set_verify(Context, SSL_VERIFY_PEER, Verify);
    const int Loaded = CaFile.empty() ? SSL_CTX_set_default_verify_paths(Context)
                                      : SSL_CTX_load_verify_locations(Context, CaFile.c_str(), nullptr);
    if (Loaded != 1) {
        SSL_CTX_free(Context);
        ERR_clear_error();
        throw ESockError(CaFile.empty() ? std::string("Magasin des certificats du système illisible")
                                        : "Fichier des autorités de certification illisible : " + CaFile,
                         seTls);
    }
    Contexts.emplace(Key, Context);
    return Context;
}

// A French reason for a failed handshake, from the library's last error.
std::string HandshakeReason(unsigned long Error)
{
    if (ERR_GET_LIB(Error) == ERR_LIB_SSL) {
        switch (ERR_GET_REASON(Error)) {
        case SSL_R_UNSUPPORTED_PROTOCOL:
        case SSL_R_TLSV1_ALERT_PROTOCOL_VERSION:
        case SSL_R_NO_PROTOCOLS_AVAILABLE:
            return "le serveur ne propose pas TLS 1.2 ou plus récent";
        case SSL_R_WRONG_VERSION_NUMBER:
        case SSL_R_PACKET_LENGTH_TOO_LONG:
            return "le serveur ne répond pas en TLS (port ou mode de sécurité erroné ?)";
        case SSL_R_NO_SHARED_CIPHER:
        case SSL_R_SSLV3_ALERT_HANDSHAKE_FAILURE:
            return "aucun chiffrement commun avec le serveur";
        default:
            break;
        }
    }
    const char* Text = Error != 0 ? ERR_reason_error_string(Error) : nullptr;
    return Text != nullptr ? std::string("erreur TLS (") + Text + ")" : std::string("erreur TLS");
}

} // namespace

struct TTlsBio {
    static int Write(BIO* Bio, const char* Data, int Length)
    {
        return TOpenSslTransport::SocketWrite(BIO_get_data(Bio), Data, Length);
    }
    static int Read(BIO* Bio, char* Data, int Length)
    {
        return TOpenSslTransport::SocketRead(BIO_get_data(Bio), Data, Length);
    }
    static long Control(BIO*, int Command, long, void*)
    {
        return Command == BIO_CTRL_FLUSH ? 1 : 0;
    }
    static int Create(BIO* Bio)
    {
        BIO_set_init(Bio, 1);
        return 1;
    }
};

namespace {

BIO_METHOD* SocketMethod()
{
    static BIO_METHOD* Method = [] {
        BIO_METHOD* M = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "session socket");
        BIO_meth_set_write(M, TTlsBio::Write);
        BIO_meth_set_read(M, TTlsBio::Read);
        BIO_meth_set_ctrl(M, TTlsBio::Control);
        BIO_meth_set_create(M, TTlsBio::Create);
        return M;
    }();
    return Method;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TOpenSslTransport

int TOpenSslTransport::SocketRead(void* Self, char* Data, int Length)
{
    auto* T = static_cast<TOpenSslTransport*>(Self);
    const ssize_t N = ::recv(T->FSocket, Data, static_cast<std::size_t>(Length), MSG_DONTWAIT);
    T->FErrno = N < 0 ? errno : 0;
    BIO* Bio = SSL_get_rbio(T->FSsl);
    BIO_clear_retry_flags(Bio);
    if (N < 0 && (T->FErrno == EAGAIN || T->FErrno == EWOULDBLOCK || T->FErrno == EINTR))
        BIO_set_retry_read(Bio);
    if (N > 0)
        T->FRawBytes += static_cast<std::uint64_t>(N);
    return static_cast<int>(N);
}

int TOpenSslTransport::SocketWrite(void* Self, const char* Data, int Length)
{
    auto* T = static_cast<TOpenSslTransport*>(Self);
    const ssize_t N = ::send(T->FSocket, Data, static_cast<std::size_t>(Length), MSG_NOSIGNAL | MSG_DONTWAIT);
    T->FErrno = N < 0 ? errno : 0;
    BIO* Bio = SSL_get_wbio(T->FSsl);
    BIO_clear_retry_flags(Bio);
    if (N < 0 && (T->FErrno == EAGAIN || T->FErrno == EWOULDBLOCK || T->FErrno == EINTR))
        BIO_set_retry_write(Bio);
    if (N > 0)
        T->FRawBytes += static_cast<std::uint64_t>(N);
    return static_cast<int>(N);
}

int TOpenSslTransport::VerifyCallback(int Ok, void* StoreContext)
{
    auto* Store = static_cast<X509_STORE_CTX*>(StoreContext);
    auto* Ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(Store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* T = Ssl != nullptr ? static_cast<TOpenSslTransport*>(SSL_get_app_data(Ssl)) : nullptr;
    if (!Ok && T != nullptr)
        T->FProblems |= static_cast<unsigned>(ProblemOf(X509_STORE_CTX_get_error(Store)));
    return 1;
}

TOpenSslTransport::TOpenSslTransport(int Socket, const std::string& Host, const std::string& CaFile)
    : TTlsTransport(Host), FSocket(Socket)
{
    ERR_clear_error();
    SSL_CTX* Context = ContextFor(CaFile, [](int Ok, X509_STORE_CTX* Store) { return VerifyCallback(Ok, Store); });
    FSsl = SSL_new(Context);
    BIO* Bio = FSsl != nullptr ? BIO_new(SocketMethod()) : nullptr;
    if (Bio == nullptr) {
        SSL_free(FSsl);
        FSsl = nullptr;
        throw ESockError("TLS indisponible : impossible de préparer la connexion chiffrée", seTls);
    }
    BIO_set_data(Bio, this);
    SSL_set_bio(FSsl, Bio, Bio);
    SSL_set_app_data(FSsl, this);
    SSL_set_connect_state(FSsl);

    // An address typed as the host (IPv4, or IPv6 with or without its brackets) must be one of
    // the certificate's IP address entries; a name goes by the name entries.
    const std::string Bare = Host.size() > 2 && Host.front() == '[' && Host.back() == ']' ? Host.substr(1, Host.size() - 2) : Host;
    in_addr Address{};
    in6_addr Address6{};
    const bool IsAddress = ::inet_pton(AF_INET, Bare.c_str(), &Address) == 1 || ::inet_pton(AF_INET6, Bare.c_str(), &Address6) == 1;
    X509_VERIFY_PARAM* Param = SSL_get0_param(FSsl);
    if (IsAddress) {
        X509_VERIFY_PARAM_set1_ip_asc(Param, Bare.c_str());
    } else {
        // The name goes out with the hello (several servers on one address), and the certificate
        // must carry it.
        SSL_set_tlsext_host_name(FSsl, Host.c_str());
        X509_VERIFY_PARAM_set_hostflags(Param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        SSL_set1_host(FSsl, Host.c_str());
    }
}

TOpenSslTransport::~TOpenSslTransport()
{
    SSL_free(FSsl);
}

TTlsTransport::TResult TOpenSslTransport::Outcome(int Ret)
{
    switch (SSL_get_error(FSsl, Ret)) {
    case SSL_ERROR_WANT_READ:
        return WantRead;
    case SSL_ERROR_WANT_WRITE:
        return WantWrite;
    case SSL_ERROR_ZERO_RETURN:
        FFailure = "le serveur a fermé la connexion";
        return Closed;
    case SSL_ERROR_SYSCALL:
        if (FErrno == 0 && ERR_peek_error() == 0) {
            FFailure = "le serveur a fermé la connexion";
            return Closed;
        }
        FFailure = FErrno != 0 ? std::string("erreur de la connexion (") + std::strerror(FErrno) + ")"
                               : HandshakeReason(ERR_peek_last_error());
        ERR_clear_error();
        return Failed;
    default:
        FFailure = HandshakeReason(ERR_peek_last_error());
        ERR_clear_error();
        return Failed;
    }
}

TTlsTransport::TResult TOpenSslTransport::Handshake()
{
    ERR_clear_error();
    const int Ret = SSL_do_handshake(FSsl);
    return Ret == 1 ? Done : Outcome(Ret);
}

void TOpenSslTransport::CheckCertificate(const std::string& Trusted) const
{
    unsigned Problems = FProblems;
    if (SSL_get0_peer_certificate(FSsl) == nullptr)
        Problems |= ECertificateError::cpOther;
    else if (SSL_get_verify_result(FSsl) != X509_V_OK && Problems == 0)
        Problems |= static_cast<unsigned>(ProblemOf(static_cast<int>(SSL_get_verify_result(FSsl))));
    if (Problems == 0)
        return;
    const std::string Fingerprint = PeerFingerprint();
    if (!Fingerprint.empty() && FingerprintTrusted(Trusted, Fingerprint))
        return;
    throw ECertificateError(FHost, Problems, Fingerprint);
}

TTlsTransport::TResult TOpenSslTransport::Read(char* Data, std::size_t Length, std::size_t& Got)
{
    ERR_clear_error();
    Got = 0;
    const int Ret = SSL_read_ex(FSsl, Data, Length, &Got);
    return Ret == 1 ? Done : Outcome(Ret);
}

TTlsTransport::TResult TOpenSslTransport::Write(const char* Data, std::size_t Length, std::size_t& Sent)
{
    ERR_clear_error();
    Sent = 0;
    if (Length == 0)
        return Done;
    const int Ret = SSL_write_ex(FSsl, Data, Length, &Sent);
    return Ret == 1 ? Done : Outcome(Ret);
}

bool TOpenSslTransport::HasPending() const
{
    return SSL_has_pending(FSsl) == 1;
}

void TOpenSslTransport::Shutdown()
{
    ERR_clear_error();
    if (SSL_is_init_finished(FSsl))
        SSL_shutdown(FSsl);
    ERR_clear_error();
}

std::string TOpenSslTransport::PeerFingerprint() const
{
    X509* Certificate = SSL_get0_peer_certificate(FSsl);
    if (Certificate == nullptr)
        return {};
    unsigned char Digest[EVP_MAX_MD_SIZE];
    unsigned int Length = 0;
    if (X509_digest(Certificate, EVP_sha256(), Digest, &Length) != 1)
        return {};
    std::string Text;
    for (unsigned I = 0; I < Length; ++I) {
        if (I > 0)
            Text += ':';
        Text += HexDigit(Digest[I] >> 4);
        Text += HexDigit(Digest[I]);
    }
    return Text;
}

std::string TOpenSslTransport::Version() const
{
    return SSL_get_version(FSsl);
}

std::unique_ptr<TTlsTransport> NewTlsTransport(int Socket, const std::string& Host, const std::string& CaFile)
{
    return std::make_unique<TOpenSslTransport>(Socket, Host, CaFile);
}
