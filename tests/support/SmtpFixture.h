// SmtpFixture: an aiosmtpd server (smtp_sink.py, run with Debian's python3) on a free loopback
// port that stores every received message with its envelope in a temporary folder.
#pragma once

#include "TestDirs.h"

#include <QProcess>
#include <string>
#include <vector>

namespace testsupport {

class SmtpFixture {
public:
    struct Received {
        std::string mailFrom;
        std::vector<std::string> rcptTos;
        std::string content;  // the message as received, dot-stuffing undone
        QString file;         // where it is stored
    };

    SmtpFixture() = default;
    ~SmtpFixture();
    SmtpFixture(const SmtpFixture&) = delete;
    SmtpFixture& operator=(const SmtpFixture&) = delete;

    // Offers STARTTLS on port() and TLS from the first byte on tlsPort(), with one of the
    // TestCertificates ("good", "expired", ...). Call before start().
    void enableTls(const std::string& Certificate = "good") { certificate_ = Certificate; }

    // Starts the server and waits until it listens; throws std::runtime_error otherwise.
    void start();
    void stop();
    quint16 port() const { return port_; }
    // The port with TLS from the first byte (0 without enableTls).
    quint16 tlsPort() const { return tlsPort_; }
    QString folder() const { return dir_.path(); }
    // Every message stored so far, in the order received.
    std::vector<Received> messages() const;

private:
    TempFolder dir_;
    QProcess proc_;
    quint16 port_ = 0;
    quint16 tlsPort_ = 0;
    std::string certificate_;
};

} // namespace testsupport
