// TTlsTransport: TLS over the session's connected non-blocking socket (its interface); ECertificateError.
#pragma once

#include "net/SockSession.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// A server certificate that did not pass the checks. The message names every problem found and
// the certificate's SHA-256 fingerprint, so the user can decide to trust that exact certificate
// (TSocketSession::TrustedFingerprint).
class ECertificateError : public ESockError {
public:
    // Problems, as bits.
    enum : unsigned { cpUnknown = 1, cpExpired = 2, cpNotYetValid = 4, cpNameMismatch = 8, cpOther = 16 };

    ECertificateError(const std::string& Host, unsigned Problems, const std::string& Fingerprint);
    unsigned Problems() const { return FProblems; }
    // "AB:CD:…" (32 pairs of upper-case hex digits); empty when the server showed no certificate.
    const std::string& Fingerprint() const { return FFingerprint; }

    // The French words for the problems, joined by ", " ("certificat inconnu, certificat expiré").
    static std::string Reasons(unsigned Problems);

private:
    unsigned FProblems;
    std::string FFingerprint;
};

// A SHA-256 fingerprint as 64 lower-case hex digits, from "AB:CD:…", "ab cd …" or "abcd…"; empty
// when Text is not one.
std::string NormalizeFingerprint(std::string_view Text);
// True when Fingerprint is one of the fingerprints in Trusted, which holds any number of them
// separated by commas, semicolons or line ends, each in any form NormalizeFingerprint reads.
bool FingerprintTrusted(const std::string& Trusted, const std::string& Fingerprint);

// The client side of one TLS connection on a socket that is already connected and non-blocking.
// Every call returns at once: a call that needs the socket to be readable or writable says so,
// and the session waits for that in its ordinary wait step, then calls again with the same
// arguments. Certificates are checked against the system trust store (or CaFile), with the
// server name sent (SNI) and checked against the certificate; TLS 1.2 at least.
class TTlsTransport {
public:
    enum TResult { Done, WantRead, WantWrite, Closed, Failed };

    virtual ~TTlsTransport() = default;
    TTlsTransport(const TTlsTransport&) = delete;
    TTlsTransport& operator=(const TTlsTransport&) = delete;

    // One step of the handshake.
    virtual TResult Handshake() = 0;
    // After the handshake: raises ECertificateError unless the certificate passed every check or
    // its fingerprint is among Trusted (see FingerprintTrusted).
    virtual void CheckCertificate(const std::string& Trusted) const = 0;

    // Up to Length decrypted bytes; Got is set when the result is Done.
    virtual TResult Read(char* Data, std::size_t Length, std::size_t& Got) = 0;
    // Up to Length bytes; Sent is set when the result is Done. After WantRead or WantWrite the
    // next call must offer the same bytes again (more may follow them).
    virtual TResult Write(const char* Data, std::size_t Length, std::size_t& Sent) = 0;
    // Bytes wait inside the library, decrypted or read ahead from the socket (perhaps only part of
    // a record); the socket will not announce them.
    virtual bool HasPending() const = 0;
    // Sends the closing alert if the socket takes it at once; never waits.
    virtual void Shutdown() = 0;

    // After Failed or Closed: what went wrong, in French, and the socket's errno (0 if none).
    const std::string& Failure() const { return FFailure; }
    int SystemError() const { return FErrno; }
    // Bytes that went through the socket in either direction, for the idle clock.
    std::uint64_t RawBytes() const { return FRawBytes; }
    // The server certificate's SHA-256 fingerprint ("AB:CD:…"), empty before the handshake.
    virtual std::string PeerFingerprint() const = 0;
    // The problems the certificate checks found (ECertificateError bits; 0 = none).
    unsigned Problems() const { return FProblems; }
    // The protocol version agreed ("TLSv1.3").
    virtual std::string Version() const = 0;

protected:
    explicit TTlsTransport(std::string Host) : FHost(std::move(Host)) {}

    std::string FHost;
    std::string FFailure;
    int FErrno = 0;
    std::uint64_t FRawBytes = 0;
    unsigned FProblems = 0;
};

// A TLS transport for a connected socket. Host is the name the certificate must carry (an IPv4 or
// IPv6 address is checked as an address). CaFile: a PEM file of trusted authorities used instead
// of the system store; empty = the system store. Throws ESockError when TLS cannot be set up.
// The TLS library is linked only into the programs and modules that hold this function, so that a
// session without TLS never loads it.
std::unique_ptr<TTlsTransport> NewTlsTransport(int Socket, const std::string& Host, const std::string& CaFile);
