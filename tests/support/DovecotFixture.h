// DovecotFixture: a private Dovecot POP3 server on a free loopback port, in a temporary folder,
// with passwd-file users and Maildir mailboxes filled from given messages.
#pragma once

#include "TestDirs.h"

#include <QString>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class DovecotFixture {
public:
    DovecotFixture();
    ~DovecotFixture();
    DovecotFixture(const DovecotFixture&) = delete;
    DovecotFixture& operator=(const DovecotFixture&) = delete;

    // Adds a user whose mailbox holds Messages (raw message text, CR LF or LF line ends), in
    // that order: message 1 on the server is Messages[0]. Call before start().
    void addUser(const std::string& Name, const std::string& Password,
                 const std::vector<std::string>& Messages = {});

    // The sign-in mechanisms the server offers (Dovecot's auth_mechanisms, "apop" included);
    // "plain login" unless set. Call before start().
    void setAuthMechanisms(const std::string& Mechanisms) { mechanisms_ = Mechanisms; }
    // Serves TLS with one of the TestCertificates ("good", "expired", ...): POP3S on tlsPort()
    // and STLS on port(). Call before start().
    void enableTls(const std::string& Certificate = "good");
    // The one address the server listens on ("127.0.0.1" unless set; "::1" for IPv6 only).
    // Call before start().
    void setListenAddress(const std::string& Address) { listen_ = Address; }

    // Starts the server and waits until it greets; throws std::runtime_error when it does not.
    void start();
    // Stops the server (also done by the destructor).
    void stop();

    // Delivers one more message to a user's mailbox while the server runs; it becomes the last
    // message of the next session (a session already open does not see it).
    void deliver(const std::string& User, const std::string& Message);

    quint16 port() const { return port_; }
    // The POP3S port (0 without enableTls).
    quint16 tlsPort() const { return tlsPort_; }
    QString folder() const { return dir_.path(); }
    // Messages currently stored in the user's Maildir (new and cur).
    int storedMessageCount(const std::string& User) const;
    // The server's log, for failure messages.
    std::string log() const;

private:
    struct User {
        std::string name, password;
        std::vector<std::string> messages;
    };
    QString maildir(const std::string& User) const;

    TempFolder dir_;
    std::vector<User> users_;
    quint16 port_ = 0;
    quint16 tlsPort_ = 0;
    std::string certificate_;  // empty: no TLS
    long pid_ = 0;
    int delivered_ = 0;
    std::string mechanisms_ = "plain login";
    std::string listen_ = "127.0.0.1";
};

// A free TCP port on 127.0.0.1 at the time of the call.
quint16 freeLoopbackPort();

} // namespace testsupport
