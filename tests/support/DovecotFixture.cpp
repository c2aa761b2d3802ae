// DovecotFixture: a private Dovecot POP3 server on a free loopback port, in a temporary folder,
// with passwd-file users and Maildir mailboxes filled from given messages.
#include "DovecotFixture.h"
#include "TestCertificates.h"

#include <algorithm>
#include <cctype>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <arpa/inet.h>

namespace testsupport {

namespace {

// The account that owns the mailboxes and runs the mail processes: nobody when run as root.
struct MailAccount {
    uid_t uid;
    gid_t gid;
    std::string user, group;
};

MailAccount mailAccount()
{
    if (geteuid() == 0) {
        const passwd* pw = getpwnam("nobody");
        const group* gr = pw ? getgrgid(pw->pw_gid) : nullptr;
        if (pw && gr)
            return {pw->pw_uid, pw->pw_gid, "nobody", gr->gr_name};
    }
    const passwd* pw = getpwuid(geteuid());
    const group* gr = getgrgid(getegid());
    return {geteuid(), getegid(), pw ? pw->pw_name : "root", gr ? gr->gr_name : "root"};
}

void chownTree(const QString& Path, uid_t Uid, gid_t Gid)
{
    if (::chown(QFile::encodeName(Path).constData(), Uid, Gid) != 0 && geteuid() == 0)
        throw std::runtime_error("chown failed: " + Path.toStdString());
    const QFileInfo info(Path);
    if (info.isDir() && !info.isSymLink())
        for (const QString& entry : QDir(Path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            chownTree(Path + "/" + entry, Uid, Gid);
}

// Connects to the port and reads the first line; true when it starts with "+OK".
bool greets(const std::string& Address, quint16 Port)
{
    const bool v6 = Address.find(':') != std::string::npos;
    const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    timeval tv{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(Port);
    ::inet_pton(AF_INET, Address.c_str(), &addr.sin_addr);
    sockaddr_in6 addr6{};
    addr6.sin6_family = AF_INET6;
    addr6.sin6_port = htons(Port);
    ::inet_pton(AF_INET6, Address.c_str(), &addr6.sin6_addr);
    bool ok = false;
    if (v6 ? ::connect(fd, reinterpret_cast<sockaddr*>(&addr6), sizeof addr6) == 0
           : ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        char buf[64] = {};
        const ssize_t n = ::recv(fd, buf, sizeof buf - 1, 0);
        ok = n >= 3 && std::strncmp(buf, "+OK", 3) == 0;
        if (ok)
            ::send(fd, "QUIT\r\n", 6, MSG_NOSIGNAL);
    }
    ::close(fd);
    return ok;
}

std::atomic<int> instanceCounter{0};

// True while the process runs; a zombie waiting for its reaper counts as ended.
bool alive(pid_t Pid)
{
    QFile stat(QString("/proc/%1/stat").arg(Pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const int close = text.lastIndexOf(')');
    return close >= 0 && close + 2 < text.size() && text[close + 2] != 'Z' && text[close + 2] != 'X';
}

} // namespace

quint16 freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (fd >= 0)
            ::close(fd);
        throw std::runtime_error("no free loopback port");
    }
    ::close(fd);
    return ntohs(addr.sin_port);
}

DovecotFixture::DovecotFixture() = default;

DovecotFixture::~DovecotFixture()
{
    try {
        stop();
    } catch (...) {
    }
}

void DovecotFixture::addUser(const std::string& Name, const std::string& Password,
                             const std::vector<std::string>& Messages)
{
    users_.push_back({Name, Password, Messages});
}

QString DovecotFixture::maildir(const std::string& User) const
{
    return dir_.file("home/" + QString::fromStdString(User) + "/Maildir");
}

void DovecotFixture::enableTls(const std::string& Certificate)
{
    certificate_ = Certificate;
}

void DovecotFixture::enableImap(int IdleNotifySeconds)
{
    idleNotify_ = std::max(IdleNotifySeconds, 1);
}

void DovecotFixture::setSeen(const std::string& Name, const std::vector<int>& Indexes)
{
    for (User& user : users_)
        if (user.name == Name)
            user.seen = Indexes;
}

void DovecotFixture::restart()
{
    stop();
    // A killed master may linger as a zombie nobody reaps; its pid file would stop the new one.
    QFile::remove(dir_.file("run/master.pid"));
    start();
}

void DovecotFixture::start()
{
    if (pid_)
        return;
    const MailAccount account = mailAccount();
    const QString base = dir_.path();
    QDir().mkpath(base + "/run");
    QDir().mkpath(base + "/state");

    std::string passwd;
    for (const User& user : users_) {
        const QString md = maildir(user.name);
        for (const char* sub : {"cur", "new", "tmp"})
            QDir().mkpath(md + "/" + sub);
        // Files named in delivery order, so that the server numbers the messages in that order.
        for (size_t i = 0; i < user.messages.size() && !filled_; ++i) {
            const bool seen = std::find(user.seen.begin(), user.seen.end(), int(i)) != user.seen.end();
            const QString name = QString("%1.M%2P1.brevicor:2,%3").arg(1600000000 + i).arg(i, 6, 10, QChar('0')).arg(seen ? "S" : "");
            writeFileBytes(md + "/cur/" + name, user.messages[i]);
        }
        chownTree(dir_.file("home/" + QString::fromStdString(user.name)), account.uid, account.gid);
        passwd += user.name + ":{PLAIN}" + user.password + ":" + std::to_string(account.uid) + ":"
                  + std::to_string(account.gid) + "::" + dir_.file("home/" + QString::fromStdString(user.name)).toStdString()
                  + "::\n";
    }
    writeFileBytes(dir_.file("passwd"), passwd);
    filled_ = true;

    // A restart keeps its ports, so that clients find the server where it was.
    auto another = [this] {
        quint16 p;
        do
            p = freeLoopbackPort();
        while (p == port_ || p == tlsPort_ || p == imapPort_ || p == imapsPort_);
        return p;
    };
    if (!port_)
        port_ = another();
    if (idleNotify_ && !imapPort_)
        imapPort_ = another();
    std::string ssl = "ssl = no\n";
    if (!certificate_.empty()) {
        const TestCertificates& certs = TestCertificates::get();
        if (!tlsPort_)
            tlsPort_ = another();
        if (idleNotify_ && !imapsPort_)
            imapsPort_ = another();
        ssl = "ssl = yes\n"
              "ssl_cert = <" + certs.certFile(certificate_).toStdString() + "\n"
              "ssl_key = <" + certs.keyFile().toStdString() + "\n"
              "ssl_min_protocol = TLSv1.2\n";
    }
    const std::string b = base.toStdString();
    std::string oauth2, mechanisms = mechanisms_;
    if (!introspection_.empty()) {
        writeFileBytes(dir_.file("oauth2.conf"), "introspection_mode = post\nintrospection_url = " + introspection_
                                                     + "\nusername_attribute = username\nactive_attribute = active\n"
                                                       "active_value = true\nforce_introspection = yes\n");
        oauth2 = "passdb {\n  driver = oauth2\n  mechanisms = xoauth2 oauthbearer\n  args = " + b + "/oauth2.conf\n}\n";
        mechanisms += " xoauth2 oauthbearer";
    }
    const std::string conf =
        "base_dir = " + b + "/run\n"
        "state_dir = " + b + "/state\n"
        "instance_name = brevicor-test-" + std::to_string(getpid()) + "-" + std::to_string(++instanceCounter) + "\n"
        "protocols = pop3" + std::string(idleNotify_ ? " imap" : "") + "\n"
        + (idleNotify_ ? "imap_idle_notify_interval = " + std::to_string(idleNotify_) + " secs\n" : std::string()) +
        "listen = " + listen_ + "\n"
        + ssl +
        "disable_plaintext_auth = no\n"
        "auth_mechanisms = " + mechanisms + "\n"
        "first_valid_uid = 1\n"
        "first_valid_gid = 1\n"
        "mail_location = maildir:~/Maildir\n"
        "log_path = " + b + "/dovecot.log\n"
        "default_internal_user = " + account.user + "\n"
        "default_login_user = " + account.user + "\n"
        "default_internal_group = " + account.group + "\n"
        + oauth2 +
        "passdb {\n  driver = passwd-file\n  args = " + b + "/passwd\n}\n"
        "userdb {\n  driver = passwd-file\n  args = " + b + "/passwd\n}\n"
        "service pop3-login {\n"
        "  inet_listener pop3 {\n    address = " + listen_ + "\n    port = " + std::to_string(port_) + "\n  }\n"
        "  inet_listener pop3s {\n    address = " + listen_ + "\n    port = " + std::to_string(tlsPort_) + "\n  }\n"
        "}\n"
        "service imap-login {\n"
        "  inet_listener imap {\n    address = " + listen_ + "\n    port = " + std::to_string(imapPort_) + "\n  }\n"
        "  inet_listener imaps {\n    address = " + listen_ + "\n    port = " + std::to_string(imapsPort_) + "\n  }\n"
        "}\n";
    writeFileBytes(dir_.file("dovecot.conf"), conf);

    QProcess proc;
    proc.start("/usr/sbin/dovecot", {"-c", dir_.file("dovecot.conf")});
    if (!proc.waitForFinished(15000) || proc.exitCode() != 0)
        throw std::runtime_error("dovecot did not start: " + proc.readAllStandardError().toStdString() + log());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    // The pid file may exist before its number is written.
    for (;;) {
        if (QFile::exists(dir_.file("run/master.pid"))) {
            const std::string text = readFileBytes(dir_.file("run/master.pid"));
            if (!text.empty() && std::isdigit(static_cast<unsigned char>(text[0]))) {
                pid_ = std::stol(text);
                break;
            }
        }
        if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("dovecot wrote no pid file\n" + log());
        QThread::msleep(10);
    }
    while (!greets(listen_, port_)) {
        if (std::chrono::steady_clock::now() > deadline) {
            stop();
            throw std::runtime_error("dovecot does not greet on its port\n" + log());
        }
        QThread::msleep(20);
    }
}

void DovecotFixture::stop()
{
    if (!pid_)
        return;
    const pid_t pid = pid_t(pid_);
    pid_ = 0;
    // The master leads its own session with all its helper processes; a graceful stop takes it
    // seconds, and nothing is lost by ending them at once (POP3 sessions commit at QUIT).
    if (::getpgid(pid) == pid)
        ::kill(-pid, SIGKILL);
    else
        ::kill(pid, SIGKILL);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (alive(pid) && std::chrono::steady_clock::now() < deadline)
        QThread::msleep(5);
}

void DovecotFixture::deliver(const std::string& User, const std::string& Message)
{
    const MailAccount account = mailAccount();
    const QString md = maildir(User);
    // Named after a later time than every message stored at start, so the server numbers
    // deliveries after them and in order.
    const QString name = QString("%1.M%2P1.brevicor").arg(1700000000 + delivered_).arg(delivered_, 6, 10, QChar('0'));
    ++delivered_;
    const QString tmp = md + "/tmp/" + name;
    writeFileBytes(tmp, Message);
    chownTree(tmp, account.uid, account.gid);
    if (!QFile::rename(tmp, md + "/new/" + name))
        throw std::runtime_error("cannot deliver to " + md.toStdString());
}

int DovecotFixture::storedMessageCount(const std::string& User) const
{
    const QString md = maildir(User);
    return int(QDir(md + "/cur").entryList(QDir::Files).size() + QDir(md + "/new").entryList(QDir::Files).size());
}

std::string DovecotFixture::log() const
{
    try {
        return readFileBytes(dir_.file("dovecot.log"));
    } catch (...) {
        return {};
    }
}

} // namespace testsupport
