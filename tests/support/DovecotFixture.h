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
    // Serves IMAP as well: on imapPort() (STARTTLS there with enableTls) and IMAPS on
    // imapsPort() with enableTls; IDLE sessions hear of new mail at once and get a keep-alive
    // every IdleNotifySeconds. Call before start().
    void enableImap(int IdleNotifySeconds = 2);
    // Messages of a user (indexes into its Messages) stored as already read. Call before start().
    void setSeen(const std::string& User, const std::vector<int>& Indexes);

    // Also accepts OAuth 2 access tokens (XOAUTH2, OAUTHBEARER) that the introspection endpoint at
    // Url (plain http on the loopback) says are active for the user. Call before start().
    void enableOAuth2(const std::string& IntrospectionUrl) { introspection_ = IntrospectionUrl; }
    // The one address the server listens on ("127.0.0.1" unless set; "::1" for IPv6 only).
    // Call before start().
    void setListenAddress(const std::string& Address) { listen_ = Address; }

    // Starts the server and waits until it greets; throws std::runtime_error when it does not.
    void start();
    // Stops the server (also done by the destructor); open connections end at once.
    void stop();
    // Stops the server and starts it again on the same ports with the same mailboxes.
    void restart();

    // Delivers one more message to a user's mailbox while the server runs; it becomes the last
    // message of the next session (a session already open does not see it).
    void deliver(const std::string& User, const std::string& Message);

    quint16 port() const { return port_; }
    // The POP3S port (0 without enableTls).
    quint16 tlsPort() const { return tlsPort_; }
    // The IMAP and IMAPS ports (0 when not served).
    quint16 imapPort() const { return imapPort_; }
    quint16 imapsPort() const { return imapsPort_; }
    QString folder() const { return dir_.path(); }
    // Messages currently stored in the user's Maildir (new and cur).
    int storedMessageCount(const std::string& User) const;
    // The server's log, for failure messages.
    std::string log() const;

private:
    struct User {
        std::string name, password;
        std::vector<std::string> messages;
        std::vector<int> seen;
    };
    QString maildir(const std::string& User) const;

    TempFolder dir_;
    std::vector<User> users_;
    quint16 port_ = 0;
    quint16 tlsPort_ = 0;
    quint16 imapPort_ = 0;
    quint16 imapsPort_ = 0;
    int idleNotify_ = 0;  // 0: no IMAP
    bool filled_ = false; // mailboxes written by the first start
    std::string certificate_;  // empty: no TLS
    long pid_ = 0;
    int delivered_ = 0;
    std::string mechanisms_ = "plain login";
    std::string introspection_;
    std::string listen_ = "127.0.0.1";
};

// A free TCP port on 127.0.0.1 at the time of the call.
quint16 freeLoopbackPort();

} // namespace testsupport
