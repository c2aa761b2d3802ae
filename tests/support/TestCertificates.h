// TestCertificates: throw-away authority and server certificates for the TLS tests, made once per
// test process with openssl (make_certs.sh).
#pragma once

#include "TestDirs.h"

#include <QString>
#include <string>

namespace testsupport {

class TestCertificates {
public:
    // The process-wide set, made on first use; throws std::runtime_error when openssl fails.
    static const TestCertificates& get();

    // The authority the tests trust (a session's CaFile).
    std::string caFile() const;
    // A server certificate by name: "good" (localhost, 127.0.0.1), "expired", "wrongname"
    // (other.example), "unknown" and "unknown2" (an authority nobody trusts).
    QString certFile(const std::string& Name) const;
    // The key of every server certificate.
    QString keyFile() const;
    // The certificate's SHA-256 fingerprint as openssl prints it ("AB:CD:…").
    std::string fingerprint(const std::string& Name) const;

private:
    TestCertificates();
    TempFolder dir_;
};

} // namespace testsupport
