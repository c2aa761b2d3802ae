// TestCertificates: throw-away authority and server certificates for the TLS tests, made once per
// test process with openssl (make_certs.sh).
#include "TestCertificates.h"

#include <QProcess>
#include <stdexcept>

namespace testsupport {

const TestCertificates& TestCertificates::get()
{
    static const TestCertificates certificates;
    return certificates;
}

TestCertificates::TestCertificates()
{
    QProcess proc;
    proc.start("/bin/sh", {QStringLiteral(BREVICOR_SOURCE_DIR "/tests/support/make_certs.sh"), dir_.path()});
    if (!proc.waitForFinished(60000) || proc.exitStatus() != QProcess::NormalExit || proc.exitCode() != 0)
        throw std::runtime_error("cannot make the test certificates: " + proc.readAllStandardError().toStdString());
}

std::string TestCertificates::caFile() const
{
    return dir_.file("ca.pem").toStdString();
}

QString TestCertificates::certFile(const std::string& Name) const
{
    return dir_.file(QString::fromStdString(Name) + ".pem");
}

QString TestCertificates::keyFile() const
{
    return dir_.file("server.key");
}

std::string TestCertificates::fingerprint(const std::string& Name) const
{
    QProcess proc;
    proc.start("openssl", {"x509", "-noout", "-fingerprint", "-sha256", "-in", certFile(Name)});
    if (!proc.waitForFinished(10000) || proc.exitCode() != 0)
        throw std::runtime_error("openssl cannot read " + certFile(Name).toStdString());
    const QByteArray out = proc.readAllStandardOutput().trimmed();
    return out.mid(out.indexOf('=') + 1).toStdString();
}

} // namespace testsupport
