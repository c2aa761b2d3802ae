// TOpenSslTransport: the TLS transport through OpenSSL.
#pragma once

#include "net/TlsTransport.h"

struct ssl_st;

class TOpenSslTransport final : public TTlsTransport {
public:
    // Throws ESockError when TLS cannot be set up.
    TOpenSslTransport(int Socket, const std::string& Host, const std::string& CaFile);
    ~TOpenSslTransport() override;

    TResult Handshake() override;
    void CheckCertificate(const std::string& Trusted) const override;
    TResult Read(char* Data, std::size_t Length, std::size_t& Got) override;
    TResult Write(const char* Data, std::size_t Length, std::size_t& Sent) override;
    bool HasPending() const override;
    void Shutdown() override;
    std::string PeerFingerprint() const override;
    std::string Version() const override;

private:
    TResult Outcome(int Ret);

    static int SocketRead(void* Self, char* Data, int Length);
    static int SocketWrite(void* Self, const char* Data, int Length);
    static int VerifyCallback(int Ok, void* StoreContext);
    friend struct TTlsBio;

    ssl_st* FSsl = nullptr;
    int FSocket;
};
