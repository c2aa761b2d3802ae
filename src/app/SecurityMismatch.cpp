// SecurityMismatch: after a failed session, whether the server speaks TLS from the first byte or
// clear text on the account's port, when that is not what the account's security setting expects.
#include "app/SecurityMismatch.h"

#include "net/HostLookup.h"
#include "net/TlsTransport.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <netdb.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A socket descriptor closed with its holder.
struct TSocketFd {
    int Fd = -1;
    explicit TSocketFd(int F) : Fd(F) {}
    ~TSocketFd()
    {
        if (Fd >= 0)
            ::close(Fd);
    }
    TSocketFd(const TSocketFd&) = delete;
    TSocketFd& operator=(const TSocketFd&) = delete;
};

bool WaitFor(int Fd, short Events, const QDeadlineTimer& Deadline)
{
    pollfd Poll{Fd, Events, 0};
    int Rc;
    do
        Rc = ::poll(&Poll, 1, int(Deadline.remainingTime()));
    while (Rc < 0 && errno == EINTR);
    return Rc > 0 && (Poll.revents & Events) != 0;
}

// The addresses of Host (a name or an address), looked up within the deadline: a resolver that is
// slow to answer must not hold the diagnosis of a failure longer than its limit.
std::vector<std::string> Lookup(const std::string& Host, const QDeadlineTimer& Deadline)
{
    std::vector<std::string> Found;
    QEventLoop Loop;
    bool Done = false;
    const THostLookup Pending(Host, [&](std::vector<std::string> Addresses, std::uint16_t) {
        Found = std::move(Addresses);
        Done = true;
        Loop.quit();
    });
    QTimer::singleShot(std::max<qint64>(Deadline.remainingTime(), 0), &Loop, &QEventLoop::quit);
    if (!Done)
        Loop.exec(QEventLoop::ExcludeUserInputEvents);
    return Found;
}

// A non-blocking socket connected to one of Addresses on Port, or -1 when none could be within
// the deadline.
int ConnectTo(const std::vector<std::string>& Addresses, int Port, const QDeadlineTimer& Deadline)
{
    for (const std::string& Address : Addresses) {
        if (Deadline.hasExpired())
            break;
        addrinfo Hints{};
        Hints.ai_socktype = SOCK_STREAM;
        Hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
        addrinfo* Peer = nullptr;
        if (::getaddrinfo(Address.c_str(), std::to_string(Port).c_str(), &Hints, &Peer) != 0)
            continue;
        const std::unique_ptr<addrinfo, void (*)(addrinfo*)> Owner(Peer, ::freeaddrinfo);
        const int Fd = ::socket(Peer->ai_family, Peer->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, Peer->ai_protocol);
        if (Fd < 0)
            continue;
        int Error = ::connect(Fd, Peer->ai_addr, Peer->ai_addrlen) == 0 ? 0 : errno;
        if (Error == EINPROGRESS) {
            socklen_t Length = sizeof Error;
            if (!WaitFor(Fd, POLLOUT, Deadline) || ::getsockopt(Fd, SOL_SOCKET, SO_ERROR, &Error, &Length) != 0)
                Error = ETIMEDOUT;
        }
        if (Error == 0)
            return Fd;
        ::close(Fd);
    }
    return -1;
}

} // namespace

TPortTalk ProbePortTalk(const QString& Host, int Port, int LimitMs)
{
    QString Bare = Host;
    if (Bare.startsWith(QLatin1Char('[')) && Bare.endsWith(QLatin1Char(']')))
        Bare = Bare.mid(1, Bare.size() - 2);
    const std::vector<std::string> Addresses = Lookup(Bare.toStdString(), QDeadlineTimer(LimitMs));
    {
        // A server that talks first in clear text greets at once (POP3 "+OK", SMTP "220").
        const QDeadlineTimer Deadline(LimitMs);
        const TSocketFd Plain(ConnectTo(Addresses, Port, Deadline));
        if (Plain.Fd < 0)
            return TPortTalk::Unknown;
        unsigned char First[2] = {};
        const ssize_t Got = WaitFor(Plain.Fd, POLLIN, QDeadlineTimer(LimitMs)) ? ::recv(Plain.Fd, First, 2, MSG_PEEK) : -1;
        if (Got > 0) {
            // A TLS record starts with a content-type byte (20 to 24) and version 3.x.
            if (Got >= 2 && First[0] >= 20 && First[0] <= 24 && First[1] == 3)
                return TPortTalk::Tls;
            return TPortTalk::Clear;
        }
    }
    // Silent: it may be waiting for a TLS hello. The certificate is not looked at.
    const QDeadlineTimer Deadline(LimitMs);
    const TSocketFd Socket(ConnectTo(Addresses, Port, Deadline));
    if (Socket.Fd < 0)
        return TPortTalk::Unknown;
    try {
        const std::unique_ptr<TTlsTransport> Tls = NewTlsTransport(Socket.Fd, Bare.toStdString(), std::string());
        for (;;) {
            switch (Tls->Handshake()) {
            case TTlsTransport::Done:
                return TPortTalk::Tls;
            case TTlsTransport::WantRead:
                if (!WaitFor(Socket.Fd, POLLIN, Deadline))
                    return TPortTalk::Unknown;
                break;
            case TTlsTransport::WantWrite:
                if (!WaitFor(Socket.Fd, POLLOUT, Deadline))
                    return TPortTalk::Unknown;
                break;
            default:
                return TPortTalk::Unknown;
            }
        }
    } catch (const ESockError&) {
        return TPortTalk::Unknown;
    }
}

QString SecurityMismatchText(TSecurity Chosen, TPortTalk Talk, int Port)
{
    if (Chosen == secTls && Talk == TPortTalk::Clear)
        return QStringLiteral("le serveur répond en clair sur le port %1 : ce port attend STARTTLS ou aucune "
                              "sécurité, pas SSL/TLS")
            .arg(Port);
    if (Chosen != secTls && Talk == TPortTalk::Tls)
        return QStringLiteral("le serveur attend une connexion chiffrée dès l'ouverture sur le port %1 : "
                              "choisissez SSL/TLS")
            .arg(Port);
    return QString();
}
