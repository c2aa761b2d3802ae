// TSocketSession: one TCP client socket turned into blocking operations over socket notifications.
#include "net/SockSession.h"
#include "net/HostLookup.h"
#include "net/SockErrors.h"
#include "net/TlsTransport.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimerEvent>
#include <QtGlobal>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

// ---------------------------------------------------------------------------------------------
// Process-wide state

namespace {

int s_WinsockUsers = 0;
TSocketSession::THostResolver s_Resolver;

// A socket address for a numeric address text (IPv4 or IPv6, an IPv6 zone included) and Port.
struct TPeerAddress {
    sockaddr_storage Storage{};
    socklen_t Length = 0;
};

bool ParseAddress(const std::string& Text, std::uint16_t Port, TPeerAddress& Out)
{
    addrinfo Hints{};
    Hints.ai_flags = AI_NUMERICHOST;
    Hints.ai_family = AF_UNSPEC;
    Hints.ai_socktype = SOCK_STREAM;
    addrinfo* Found = nullptr;
    if (Text.empty() || ::getaddrinfo(Text.c_str(), nullptr, &Hints, &Found) != 0 || Found == nullptr)
        return false;
    const bool Usable = (Found->ai_family == AF_INET || Found->ai_family == AF_INET6) && Found->ai_addrlen <= sizeof Out.Storage;
    if (Usable) {
        std::memcpy(&Out.Storage, Found->ai_addr, Found->ai_addrlen);
        Out.Length = Found->ai_addrlen;
        if (Found->ai_family == AF_INET)
            reinterpret_cast<sockaddr_in&>(Out.Storage).sin_port = htons(Port);
        else
            reinterpret_cast<sockaddr_in6&>(Out.Storage).sin6_port = htons(Port);
    }
    ::freeaddrinfo(Found);
    return Usable;
}
std::size_t s_ReadAheadCap = 256 * 1024;
std::size_t s_ReceiveSize = 128 * 1024;

QEvent::Type SessionEventType()
{
    static const QEvent::Type Type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return Type;
}

// Starting and shutting down the socket library: POSIX sockets need no start-up; the report
// lines describe what the program runs on.
std::vector<std::string> StartSocketLibrary()
{
    rlimit Limit{};
    long MaxSockets = 65535;
    if (getrlimit(RLIMIT_NOFILE, &Limit) == 0 && Limit.rlim_cur != RLIM_INFINITY)
        MaxSockets = static_cast<long>(std::min<rlim_t>(Limit.rlim_cur, 65535));
    return {
        "Version= 1.1",
        "High Version= 2.2",
        "Description= POSIX sockets",
        "System= Running",
        "Max Sockets= " + std::to_string(MaxSockets),
        "Max Udp pack size= 65507",
    };
}

void ShutDownSocketLibrary() {}

} // namespace

// ---------------------------------------------------------------------------------------------
// NthField

std::string NthField(const std::string& Text, char Delimiter, int N)
{
    std::string Result;
    int Count = 0;
    for (char C : Text) {
        if (Count >= N)
            break;
        if (C == Delimiter)
            ++Count;
        else if (Count == N - 1)
            Result += C;
    }
    return Result;
}

// ---------------------------------------------------------------------------------------------
// TThreadTimer

TThreadTimer::TThreadTimer(QObject* Owner)
    : QObject(Owner)
{
}

TThreadTimer::~TThreadTimer()
{
    FEnabled = false;
    if (FTimerId != 0)
        killTimer(FTimerId);
    FTimerId = 0;
}

void TThreadTimer::SetEnabled(bool Value)
{
    if (Value == FEnabled)
        return;
    FEnabled = Value;
    UpdateTimer();
}

void TThreadTimer::SetInterval(std::uint32_t Value)
{
    if (Value == FInterval)
        return;
    FInterval = Value;
    UpdateTimer();
}

void TThreadTimer::SetOnTimer(TNotifyEvent Handler)
{
    OnTimer = std::move(Handler);
    UpdateTimer();
}

void TThreadTimer::UpdateTimer()
{
    if (FTimerId != 0)
        killTimer(FTimerId);
    FTimerId = 0;
    if (FInterval != 0 && FEnabled && OnTimer) {
        const int Period = static_cast<int>(std::min<std::uint32_t>(FInterval, INT_MAX));
        FTimerId = startTimer(Period, Qt::PreciseTimer);
        if (FTimerId == 0)
            throw std::runtime_error("Aucun timer");
        ++FStartCount;
    }
}

void TThreadTimer::timerEvent(QTimerEvent* Event)
{
    if (Event->timerId() != FTimerId) {
        QObject::timerEvent(Event);
        return;
    }
    if (!OnTimer)
        return;
    // An exception must not unwind through the event loop: report it and carry on.
    try {
        OnTimer(this);
    } catch (const std::exception& E) {
        qWarning("TThreadTimer: %s", E.what());
    } catch (...) {
        qWarning("TThreadTimer: exception inconnue");
    }
}

// ---------------------------------------------------------------------------------------------
// TSocketSession: messages

class TSocketSession::TSessionEvent : public QEvent {
public:
    TSessionEvent(TMessage AMessage, unsigned AGeneration)
        : QEvent(SessionEventType()), Message(AMessage), Generation(AGeneration)
    {
    }
    TMessage Message;
    unsigned Generation;
};

int TSocketSession::WinsockUsers()
{
    return s_WinsockUsers;
}

std::size_t TSocketSession::ReadAheadCap()
{
    return s_ReadAheadCap;
}

void TSocketSession::SetReadAheadCap(std::size_t Bytes)
{
    s_ReadAheadCap = std::max<std::size_t>(Bytes, ChunkSize);
}

std::size_t TSocketSession::ReceiveSize()
{
    return s_ReceiveSize;
}

void TSocketSession::SetReceiveSize(std::size_t Bytes)
{
    s_ReceiveSize = std::max<std::size_t>(Bytes, ChunkSize);
}

// ---------------------------------------------------------------------------------------------
// Construction and destruction

TSocketSession::TSocketSession(QObject* Owner)
    : QObject(Owner)
{
    Report(8, "Créer");
    FTimer = new TThreadTimer(this);
    FTimer->SetEnabled(false);
    FTimer->SetOnTimer([this](QObject* Sender) { TimerFired(Sender); });
    FCanceled = false;
    FTransferring = false;
    FNoReopen = false;
    FConnected = false;

    FReadNotifier = new QSocketNotifier(QSocketNotifier::Read, this);
    FWriteNotifier = new QSocketNotifier(QSocketNotifier::Write, this);
    FReadNotifier->setEnabled(false);
    FWriteNotifier->setEnabled(false);
    connect(FReadNotifier, &QSocketNotifier::activated, this, [this] { ReadNotifierActivated(); });
    connect(FWriteNotifier, &QSocketNotifier::activated, this, [this] { WriteNotifierActivated(); });

    InitWinsock();
}

TSocketSession::~TSocketSession()
{
    FDestroying = true;
    Report(8, "Détruire");
    try {
        Abort();
        Cancel();
    } catch (...) {
    }
    FLookupId = -1;
    FWinsockInfo.clear();
    delete FTimer;
    FTimer = nullptr;
    FNoReopen = true;
    try {
        CloseSocket();
    } catch (...) {
    }
    if (--s_WinsockUsers == 0)
        ShutDownSocketLibrary();
}

void TSocketSession::InitWinsock()
{
    Report(8, "Initialisation de Winsock");
    if (++s_WinsockUsers == 1)
        FWinsockInfo = StartSocketLibrary();
    if (!NewSocket(true)) {
        if (--s_WinsockUsers == 0)
            ShutDownSocketLibrary();
        throw ESockError("L'initialisation des sockets Windows a échoué", seSocketLibrary);
    }
}

// A fresh non-blocking IPv4 TCP socket with its two notifiers, both off until a connect starts.
bool TSocketSession::NewSocket(bool Linger)
{
    const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, Linger ? IPPROTO_TCP : 0);
    if (Fd < 0) {
        SetLastSocketError(errno);
        return false;
    }
    if (Fd >= INVALID_SOCKET_HANDLE) {
        ::close(Fd);
        SetLastSocketError(EMFILE);
        return false;
    }
    TakeSocket(Fd, Linger, false);
    return true;
}

void TSocketSession::TakeSocket(int Fd, bool Linger, bool Used)
{
    if (Linger) {
        const linger Option{1, 0};
        ::setsockopt(Fd, SOL_SOCKET, SO_LINGER, &Option, sizeof Option);
    }
    FSocket = Fd;
    FLinger = Linger;
    ++FGeneration;
    FConnecting = false;
    FSocketUsed = Used;
    FNotifyOff = false;
    FReadHeld = false;
    FLinkLost = false;
    FReadNotifier->setSocket(Fd);
    FWriteNotifier->setSocket(Fd);
}

// Closes the socket without any report or event; the next socket gets a new generation, so
// messages still queued for this one are ignored.
void TSocketSession::DropSocket()
{
    FReadNotifier->setEnabled(false);
    FWriteNotifier->setEnabled(false);
    if (FSocket >= 0)
        ::close(FSocket);
    FSocket = -1;
    ++FGeneration;
    FConnecting = false;
    FReadHeld = false;
    SendQueue.Clear();
    DropTls();
}

std::uint16_t TSocketSession::SocketHandle() const
{
    return FSocket < 0 ? INVALID_SOCKET_HANDLE : static_cast<std::uint16_t>(FSocket);
}

// ---------------------------------------------------------------------------------------------
// Status, errors

void TSocketSession::ReportStatus(std::uint8_t Level, const std::string& Text)
{
    if (static_cast<int>(Level) <= ReportLevel) {
        FStatus = Text;
        if (!FDestroying && OnStatus)
            OnStatus(this, FStatus);
    }
}

std::string TSocketSession::ErrorText(std::uint16_t ErrorNo)
{
    Report(8, "Recherche du message d'erreur");
    if (ErrorNo == 0)
        return {};
    if (const char* Text = sockerrors::LookUp(ErrorNo))
        return std::to_string(ErrorNo) + ":" + Text;
    return "No. d'erreur inconnu " + std::to_string(ErrorNo);
}

void TSocketSession::SetLastSocketError(int Errno)
{
    FLibError = sockerrors::FromErrno(Errno);
}

std::string TSocketSession::CheckSocketError(std::uint16_t Tolerated)
{
    Report(16, "Vérification de l'erreur dans le gestionnaire d'erreur");
    FLastErrorNo = FLibError;
    if (FLastErrorNo == Tolerated)
        return {};
    const std::string Text = ErrorText(static_cast<std::uint16_t>(FLastErrorNo));
    if (SocketErrorEvent)
        SocketErrorEvent(this, static_cast<std::uint16_t>(FLastErrorNo), Text);
    throw ESockError(Text, seSocketLibrary);
}

// ---------------------------------------------------------------------------------------------
// Notifications and message dispatch

void TSocketSession::PostMessage(TMessage Message)
{
    ++FPendingPosts;
    QCoreApplication::postEvent(this, new TSessionEvent(Message, FGeneration));
}

bool TSocketSession::event(QEvent* Event)
{
    if (Event->type() == SessionEventType()) {
        auto* Message = static_cast<TSessionEvent*>(Event);
        if (FPendingPosts > 0)
            --FPendingPosts;
        if (Message->Generation == FGeneration)
            DispatchGuarded(Message->Message, 0, 0);
        return true;
    }
    return QObject::event(Event);
}

// Every message is handled under a guard: an exception from the component or from an event
// handler it fires is dropped here, as the window procedure did.
void TSocketSession::DispatchGuarded(TMessage Message, int Code, std::uint16_t Error)
{
    try {
        Dispatch(Message, Code, Error);
    } catch (...) {
    }
}

void TSocketSession::Dispatch(TMessage Message, int Code, std::uint16_t Error)
{
    if (Message == SocketEvent || Message == LookupReply)
        FLastEventOk = (Error == 0);
    switch (Message) {
    case SocketEvent:
        switch (Code) {
        case FD_READ:
            ReadToStream();
            break;
        case FD_WRITE:
            WriteFromStream();
            break;
        case FD_CONNECT:
            FConnectAnswered = true;
            if (FLastEventOk) {
                FConnected = true;
                if (OnConnect)
                    OnConnect(this);
            }
            break;
        case FD_CLOSE:
            HandleClose();
            break;
        case FD_ACCEPT:
            FConnected = true;
            if (AcceptEvent)
                AcceptEvent(this);
            break;
        default:
            break;
        }
        break;
    case LookupReply:
        FLookupDone = true;
        break;
    case SendMore:
        WriteFromStream();
        break;
    case ReceiveMore:
        ReadToStream();
        break;
    }
}

// Readable: data (read), end of stream or a failed socket (close). The notifier stays off until
// the next receive, as a read notification is not repeated before the data is taken.
void TSocketSession::ReadNotifierActivated()
{
    FReadNotifier->setEnabled(false);
    if (FSocket < 0 || FNotifyOff)
        return;
    // During a TLS handshake the notification only wakes the handshake's wait.
    if (FTls && !FTlsReady)
        return;
    char Byte;
    const ssize_t N = ::recv(FSocket, &Byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (N > 0) {
        DispatchGuarded(SocketEvent, FD_READ, 0);
    } else if (N == 0) {
        DispatchGuarded(SocketEvent, FD_CLOSE, 0);
    } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        ArmRead();
    } else {
        const std::uint16_t Error = sockerrors::FromErrno(errno);
        FLastErrorNo = Error;
        DispatchGuarded(SocketEvent, FD_CLOSE, Error);
    }
}

// Writable: the end of a connect attempt (connect notification, then the write notification that
// follows a new connection), or room again after a send that would have blocked.
void TSocketSession::WriteNotifierActivated()
{
    FWriteNotifier->setEnabled(false);
    if (FSocket < 0 || FNotifyOff)
        return;
    if (FTls && !FTlsReady)
        return;
    if (FReadWantsWrite) {
        FReadWantsWrite = false;
        PostMessage(ReceiveMore);
    }
    if (FConnecting) {
        FConnecting = false;
        int Error = 0;
        socklen_t Length = sizeof Error;
        if (::getsockopt(FSocket, SOL_SOCKET, SO_ERROR, &Error, &Length) != 0)
            Error = errno;
        const std::uint16_t Code = sockerrors::FromErrno(Error);
        if (Code != 0)
            FLastErrorNo = Code;
        const unsigned Generation = FGeneration;
        DispatchGuarded(SocketEvent, FD_CONNECT, Code);
        if (Code == 0 && Generation == FGeneration && FSocket >= 0) {
            ArmRead();
            DispatchGuarded(SocketEvent, FD_WRITE, 0);
        }
        return;
    }
    DispatchGuarded(SocketEvent, FD_WRITE, 0);
}

void TSocketSession::ArmRead()
{
    if (FSocket >= 0 && FConnected && !FNotifyOff && !FReadHeld)
        FReadNotifier->setEnabled(true);
}

void TSocketSession::ArmWrite()
{
    if (FSocket >= 0 && !FNotifyOff)
        FWriteNotifier->setEnabled(true);
}

// No more notifications for this socket (a cancel arrived with data).
void TSocketSession::NotificationsOff()
{
    FNotifyOff = true;
    FReadNotifier->setEnabled(false);
    FWriteNotifier->setEnabled(false);
}

void TSocketSession::LookupFinished(int LookupId, std::vector<std::string> Addresses, std::uint16_t Error)
{
    // A lookup abandoned by a time-out or a cancel changes nothing when it answers late.
    if (LookupId != FLookupId)
        return;
    FLookupId = -1;
    FLookupAddresses = std::move(Addresses);
    DispatchGuarded(LookupReply, 0, Error);
}

// The peer closed or the socket failed: take what is left in the socket, then close it and make
// the fresh socket for the next Connect.
void TSocketSession::HandleClose()
{
    if (FSocket >= 0 && FTls) {
        // What the TLS layer can still decrypt is kept, as for a plain connection.
        while (FTlsReady && !FTlsClosed && !FCanceled) {
            std::size_t Got = 0;
            if (FTls->Read(ReceiveBuffer.Reserve(ChunkSize), ChunkSize, Got) != TTlsTransport::Done)
                break;
            ReceiveBuffer.Commit(Got);
        }
    } else if (FSocket >= 0) {
        char Chunk[ChunkSize + 1];
        for (;;) {
            const ssize_t N = ::recv(FSocket, Chunk, ChunkSize, MSG_DONTWAIT);
            if (N <= 0)
                break;
            ReceiveBuffer.Append(Chunk, static_cast<std::size_t>(N));
            if (FCanceled)
                break;
        }
    }
    FConnected = false;
    CloseSocket();
}

// ---------------------------------------------------------------------------------------------
// Host resolution, connection

std::string TSocketSession::BareHost(const std::string& Host)
{
    if (Host.size() > 2 && Host.front() == '[' && Host.back() == ']')
        return Host.substr(1, Host.size() - 2);
    return Host;
}

void TSocketSession::SetHostResolver(THostResolver Resolver)
{
    s_Resolver = std::move(Resolver);
}

// The addresses of one look-up in the order RFC 8305 (section 4) tries them: IPv6 first, then
// the families alternating, each family in the order the resolver gave. Texts that are not
// addresses are dropped.
void TSocketSession::OrderAddresses(const std::vector<std::string>& Texts)
{
    std::vector<std::string> V6, V4;
    for (const std::string& Text : Texts) {
        TPeerAddress Peer;
        if (!ParseAddress(Text, 0, Peer))
            continue;
        (Peer.Storage.ss_family == AF_INET6 ? V6 : V4).push_back(Text);
    }
    FResolvedText.clear();
    for (std::size_t I = 0; I < std::max(V6.size(), V4.size()); ++I) {
        if (I < V6.size())
            FResolvedText.push_back(V6[I]);
        if (I < V4.size())
            FResolvedText.push_back(V4[I]);
    }
    FRemoteAddress = 0;
    for (const std::string& Text : V4) {
        TPeerAddress Peer;
        if (ParseAddress(Text, 0, Peer)) {
            FRemoteAddress = ntohl(reinterpret_cast<const sockaddr_in&>(Peer.Storage).sin_addr.s_addr);
            break;
        }
    }
}

void TSocketSession::ResolveHost()
{
    Report(8, "Résolution d'hôte");
    FResolvedText.clear();
    // The name buffer holds 127 characters: a longer name is not looked up and counts as a name
    // that did not resolve.
    const std::string Name = BareHost(Host);
    const bool TooLong = Name.size() > 127;
    if (!TooLong) {
        // An address literal needs no look-up: dotted IPv4 (the old short forms included) or IPv6.
        const in_addr_t Address = ::inet_addr(Name.c_str());
        if (Address == 0) {
            FRemoteAddress = 0;  // "0.0.0.0" is no remote address
            return;
        }
        if (Address != INADDR_NONE) {
            char Text[INET_ADDRSTRLEN] = {};
            in_addr A{};
            A.s_addr = Address;
            ::inet_ntop(AF_INET, &A, Text, sizeof Text);
            OrderAddresses({Text});
            return;
        }
        TPeerAddress Peer;
        if (Name.find(':') != std::string::npos && ParseAddress(Name, 0, Peer)) {
            OrderAddresses({Name});
            return;
        }
    }
    FRemoteAddress = 0;
    StartTimer();
    FLookupDone = false;
    if (TooLong) {
        FLookupId = -1;
        FLastEventOk = false;
        FLookupDone = true;
    } else {
        // Each lookup carries its own number, so a reply to an abandoned one is recognised (a reply
        // from the lookup cache carries no lookup id of its own).
        static int LookupSerial = 0;
        const int Token = ++LookupSerial;
        FLookupId = Token;
        if (s_Resolver) {
            std::vector<std::string> Found = s_Resolver(Name);
            QMetaObject::invokeMethod(
                this,
                [this, Token, Found = std::move(Found)]() mutable {
                    const std::uint16_t Error = Found.empty() ? sockerrors::HostNotFound : 0;
                    LookupFinished(Token, std::move(Found), Error);
                },
                Qt::QueuedConnection);
        } else {
            FHostLookup = std::make_unique<THostLookup>(
                Name, [this, Token](std::vector<std::string> Found, std::uint16_t Error) {
                    LookupFinished(Token, std::move(Found), Error);
                });
        }
    }
    while (!FLookupDone && !FTimedOut && !FCanceled) {
        WaitStep();
        if (DeadlinePassed())
            FTimedOut = true;
    }
    StopTimer();
    // A lookup still running is abandoned: its reply, when it comes, no longer matches.
    if (!FLookupDone)
        FLookupId = -1;
    FHostLookup.reset();
    if (FTimedOut)
        throw ESockError("Temps imparti pour Recherche d'hôte dépassé", seLookupTimedOut);
    if (FCanceled)
        throw ESockError("La recherche d'hôte a été annulée", seLookupCanceled);
    if (!FLastEventOk)
        throw ESockError("La recherche d'hôte a échoué", seLookupFailed);
    OrderAddresses(FLookupAddresses);
    if (FResolvedText.empty())
        throw ESockError("La recherche d'hôte a échoué", seLookupFailed);
    if (OnHostResolved)
        OnHostResolved(this);
}

void TSocketSession::Connect()
{
    Report(8, "Connexion");
    FCanceled = false;
    if (FConnected)
        throw ESockError("Déjà connecté", seAlreadyConnected);
    // Whatever an earlier connection left unread is no greeting of this one.
    ReceiveBuffer.Clear();
    FRemoteAddressText.clear();

    for (int Attempt = 0;; ++Attempt) {
        try {
            ResolveHost();
        } catch (const ESockError& E) {
            // Time and the user's cancel end the connection; a name without address gets the
            // handler's chance below.
            if (E.Kind() == seLookupTimedOut || E.Kind() == seLookupCanceled)
                throw;
            FResolvedText.clear();
            FRemoteAddress = 0;
        }
        if (!FResolvedText.empty())
            break;
        if (Attempt > 0 || !OnInvalidHost)
            throw ESockError("Adresse distante nulle", seNoAddress);
        bool Handled = false;
        OnInvalidHost(Handled);
        if (!Handled)
            throw ESockError("Adresse distante nulle", seNoAddress);
    }

    // The session's idle socket is replaced by the one that wins; it keeps the idle one's kind.
    const bool Linger = FSocket < 0 ? false : FLinger;
    FRemotePort = static_cast<std::uint16_t>(Port & 0xFFFF);
    FLastEventOk = true;
    FLinkLost = false;

    StartTimer();
    const int Winner = RaceConnect();
    if (Winner >= 0) {
        AdoptSocket(Winner, Linger);
        // As for a single socket: the connect notification, then the write notification that
        // follows a new connection.
        const unsigned Generation = FGeneration;
        DispatchGuarded(SocketEvent, FD_CONNECT, 0);
        if (Generation == FGeneration && FSocket >= 0) {
            ArmRead();
            DispatchGuarded(SocketEvent, FD_WRITE, 0);
        }
    }
    StopTimer();
    if (Winner >= 0 && !FTimedOut && !FCanceled) {
        if (Security == secTls) {
            try {
                StartTls();
            } catch (...) {
                if (OnConnectionFailed)
                    OnConnectionFailed(this);
                throw;
            }
        }
        return;
    }
    if (Winner >= 0)
        CloseSocket();
    FLastEventOk = false;
    if (OnConnectionFailed)
        OnConnectionFailed(this);
    if (FTimedOut)
        throw ESockError("La connexion a dépassé le temps imparti", seConnectTimedOut);
    if (FCanceled)
        throw ESockError("Connexion annulée", seConnectCanceled);
    throw ESockError("Connexion échoué", seConnectFailed);
}

// One connection attempt of RaceConnect: a non-blocking socket whose connect is under way.
struct TSocketSession::TAttempt {
    int Fd = -1;
    QSocketNotifier* Notifier = nullptr;
    bool Answered = false;
    std::string Address;
};

int TSocketSession::RaceConnect()
{
    std::vector<std::unique_ptr<TAttempt>> Running;
    std::size_t Next = 0;
    QElapsedTimer SinceStart;
    int Winner = -1;
    std::string WinnerText;
    auto Close = [](TAttempt& A) {
        delete A.Notifier;
        A.Notifier = nullptr;
        if (A.Fd >= 0)
            ::close(A.Fd);
        A.Fd = -1;
    };
    auto Fail = [this](int Errno) {
        FLastErrorNo = sockerrors::FromErrno(Errno);
        FLibError = static_cast<std::uint16_t>(FLastErrorNo);
    };
    try {
        while (Winner < 0 && !FTimedOut && !FCanceled) {
            // The next address: at once when nothing is under way, else after the attempt delay.
            if (Next < FResolvedText.size()
                && (Running.empty() || !SinceStart.isValid() || SinceStart.elapsed() >= std::max(ConnectionAttemptDelay, 0))) {
                TPeerAddress Peer;
                const std::string& Text = FResolvedText[Next++];
                if (!ParseAddress(Text, FRemotePort, Peer))
                    continue;
                const int Fd = ::socket(Peer.Storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
                if (Fd < 0) {
                    Fail(errno);
                    continue;
                }
                if (Fd >= INVALID_SOCKET_HANDLE) {
                    ::close(Fd);
                    Fail(EMFILE);
                    continue;
                }
                SinceStart.start();
                if (::connect(Fd, reinterpret_cast<const sockaddr*>(&Peer.Storage), Peer.Length) == 0) {
                    Winner = Fd;
                    WinnerText = Text;
                    break;
                }
                if (errno != EINPROGRESS && errno != EINTR) {
                    // Refused or unreachable at once: the next address goes now.
                    Fail(errno);
                    ::close(Fd);
                    continue;
                }
                // A non-blocking connect that is under way is the normal outcome ("would block").
                SetLastSocketError(EWOULDBLOCK);
                CheckSocketError(10035);
                auto A = std::make_unique<TAttempt>();
                A->Fd = Fd;
                A->Notifier = new QSocketNotifier(Fd, QSocketNotifier::Write);
                TAttempt* Raw = A.get();
                QObject::connect(A->Notifier, &QSocketNotifier::activated, A->Notifier, [Raw] {
                    Raw->Answered = true;
                    Raw->Notifier->setEnabled(false);
                });
                A->Address = Text;
                Running.push_back(std::move(A));
                continue;
            }
            for (auto It = Running.begin(); It != Running.end() && Winner < 0;) {
                TAttempt& A = **It;
                if (!A.Answered) {
                    ++It;
                    continue;
                }
                int Error = 0;
                socklen_t Length = sizeof Error;
                if (::getsockopt(A.Fd, SOL_SOCKET, SO_ERROR, &Error, &Length) != 0)
                    Error = errno;
                if (Error == 0) {
                    Winner = A.Fd;
                    WinnerText = A.Address;
                    A.Fd = -1;
                }
                Fail(Error);
                Close(A);
                It = Running.erase(It);
            }
            if (Winner >= 0)
                break;
            if (Running.empty() && Next >= FResolvedText.size())
                break;  // every address failed
            // Another address is waiting: do not sleep past its start.
            WaitStep();
            if (DeadlinePassed())
                FTimedOut = true;
        }
    } catch (...) {
        for (auto& A : Running)
            Close(*A);
        if (Winner >= 0)
            ::close(Winner);
        throw;
    }
    for (auto& A : Running)
        Close(*A);
    if (Winner >= 0) {
        FLastErrorNo = 0;
        FLibError = 0;
        FRemoteAddressText = WinnerText;
        TPeerAddress Peer;
        FRemoteAddress = ParseAddress(WinnerText, 0, Peer) && Peer.Storage.ss_family == AF_INET
                             ? ntohl(reinterpret_cast<const sockaddr_in&>(Peer.Storage).sin_addr.s_addr)
                             : 0;
    }
    return Winner;
}

void TSocketSession::AdoptSocket(int Fd, bool Linger)
{
    DropSocket();
    TakeSocket(Fd, Linger, true);
    FConnectAnswered = false;
}

void TSocketSession::Disconnect()
{
    Report(8, "Déconnexion");
    ReceiveBuffer.Clear();
    CloseSocket();
}

void TSocketSession::DropConnection()
{
    ReceiveBuffer.Clear();
    FReadHeld = false;
    // A connection the peer ended is already closed (and a fresh socket waits for the next one).
    if (!FConnected)
        return;
    try {
        CloseSocket();
    } catch (...) {
        // The failure being reported is the wait's, not the close's.
    }
}

TSocketSession::TOperationLimit::TOperationLimit(TSocketSession& Session, int Ms)
    : FSession(Session), FSaved(Session.FDeadline)
{
    if (Ms > 0) {
        const QDeadlineTimer Limit(Ms, Qt::PreciseTimer);
        if (FSaved.isForever() || Limit < FSaved)
            FSession.FDeadline = Limit;
    }
}

TSocketSession::TOperationLimit::~TOperationLimit()
{
    FSession.FDeadline = FSaved;
}

void TSocketSession::CloseSocket()
{
    Report(4, "Requête fermeture de socket");
    FConnected = false;
    if (FSocket < 0)
        return;
    // A TLS connection says goodbye with its closing alert when the socket takes it at once.
    if (FTls && FTlsReady && !FTlsClosed)
        FTls->Shutdown();
    // Bytes still queued were meant for the connection that is gone.
    const int Fd = FSocket;
    FSocket = -1;
    DropSocket();
    if (::close(Fd) != 0 && errno != EINTR) {
        SetLastSocketError(errno);
        CheckSocketError(10035);
        return;
    }
    if (!FDestroying && OnDisconnect)
        OnDisconnect(this);
    if (!FNoReopen && FSocket < 0) {
        if (!NewSocket(false))
            CheckSocketError(10035);
    }
}

void TSocketSession::Cancel()
{
    Report(8, "Annulation");
    FCanceled = true;
}

void TSocketSession::Abort()
{
}

void TSocketSession::RequireConnection()
{
    int Attempt = 0;
    while (!FConnected) {
        if (Attempt > 0 || !OnConnectionRequired)
            throw std::runtime_error("Non connecté");
        bool Handled = false;
        OnConnectionRequired(Handled);
        if (!Handled)
            throw std::runtime_error("Non connecté");
        ++Attempt;
    }
}

// ---------------------------------------------------------------------------------------------
// Time-outs

void TSocketSession::StartTimer()
{
    Report(8, "Timer activé");
    FTimedOut = false;
    if (TimeOut < 0)
        throw std::runtime_error("TimeOut négatif");
    FTimer->SetInterval(static_cast<std::uint32_t>(TimeOut));
    FTimer->SetEnabled(true);
}

void TSocketSession::StopTimer()
{
    Report(8, "Timer désactivé");
    FTimer->SetEnabled(false);
}

void TSocketSession::TimerFired(QObject*)
{
    Report(8, "Timer déclenché");
    StopTimer();
    FTimedOut = true;
    Abort();
}

// ---------------------------------------------------------------------------------------------
// The wait step

// One pass of a blocking wait: wait for the next event, then process everything pending. The
// wait is not a blind sleep: it ends as soon as anything arrives (socket notification, timer,
// posted message, user input), and after WaitSliceMs at the latest, so a waiting operation
// notices its flags at once and costs nothing while the line is silent. It is skipped when one of
// this session's own messages is already queued.
void TSocketSession::WaitStep()
{
    ReleaseHeldRead();
    if (FPendingPosts == 0) {
        const int Wake = startTimer(WaitSliceMs, Qt::PreciseTimer);
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (Wake != 0)
            killTimer(Wake);
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// ---------------------------------------------------------------------------------------------
// Receiving

// Receiving pauses at the read-ahead cap while complete lines wait for the reader, and once an
// unfinished line has reached MaxLineLength (the reader then fails it, or takes it in pieces).
bool TSocketSession::ShouldHoldRead()
{
    const std::size_t Held = ReceiveBuffer.Size();
    if (MaxLineLength > 0 && Held >= MaxLineLength)
        return true;
    return Held >= s_ReadAheadCap && ReceiveBuffer.HasLine();
}

// Reading paused at the read-ahead cap resumes once the reader has taken half of it (or every
// complete line).
void TSocketSession::ReleaseHeldRead()
{
    if (!FReadHeld)
        return;
    if (ReceiveBuffer.Size() >= s_ReadAheadCap / 2 && ReceiveBuffer.HasLine())
        return;
    if (MaxLineLength > 0 && ReceiveBuffer.Size() >= MaxLineLength)
        return;
    FReadHeld = false;
    PostMessage(ReceiveMore);
}

// Clears the handler guard and replays a notification that came while it was set.
void TSocketSession::AfterHandler()
{
    FHandlerBusy = false;
    if (FReadDeferred) {
        FReadDeferred = false;
        // Over TLS the library may hold bytes the socket will not announce: read again instead.
        if (FTls && FTlsReady)
            PostMessage(ReceiveMore);
        else
            ArmRead();
    }
    if (FWriteDeferred) {
        FWriteDeferred = false;
        PostMessage(SendMore);
    }
}

// The receive handler, run for a read notification and for ReceiveMore. A full receive means more
// is waiting: up to ChunksPerMessage receives are done in a row, then ReceiveMore goes to the back
// of the queue so that timers and input get their turn.
void TSocketSession::ReadToStream()
{
    const unsigned Generation = FGeneration;
    for (int Chunk = 0; Chunk < ChunksPerMessage; ++Chunk) {
        const bool More = ReceiveChunk();
        if (Generation != FGeneration)
            return;
        // The TLS layer saw the end of the connection (the socket's own end of stream is found
        // by the read notification).
        if (FTlsClosed) {
            HandleClose();
            return;
        }
        if (!More)
            return;
    }
    PostMessage(ReceiveMore);
}

// One receive of at most ReceiveSize() bytes with its reports and events; true when it filled the
// request and reading should go on at once.
bool TSocketSession::ReceiveChunk()
{
    if (FCanceled) {
        NotificationsOff();
        if (CancelHook)
            CancelHook(this);
    }
    if (FHandlerBusy) {
        FReadDeferred = true;
        return false;
    }
    FHandlerBusy = true;
    bool Received = false;
    bool More = false;
    try {
        Report(8, "ReadToStream");
        ssize_t N = -1;
        int Errno = EBADF;
        std::size_t Size = 0;
        if (FSocket >= 0) {
            Size = s_ReceiveSize;
            char* Space = ReceiveBuffer.Reserve(Size);
            if (FTls) {
                N = ReceiveTls(Space, Size, Errno);
            } else {
                N = ::recv(FSocket, Space, Size, MSG_DONTWAIT);
                Errno = errno;
            }
            if (N > 0) {
                ReceiveBuffer.Commit(static_cast<std::size_t>(N));
                FMoved += N;
            }
        }
        if (N < 0) {
            if (Errno != EAGAIN && Errno != EWOULDBLOCK && Errno != EINTR) {
                FLastErrorNo = sockerrors::FromErrno(Errno);
                const std::string Text = ErrorText(static_cast<std::uint16_t>(FLastErrorNo));
                if (SocketErrorEvent)
                    SocketErrorEvent(this, static_cast<std::uint16_t>(FLastErrorNo), Text);
            }
            ArmRead();
        } else {
            Received = true;
            if (N > 0)
                NoteActivity();
            if (ShouldHoldRead())
                FReadHeld = true;
            else if (static_cast<std::size_t>(N) == Size)
                More = true;
            else if (FTls && FTls->HasPending())
                More = true;             // bytes the library holds, which the socket will not announce
            else if (!FTlsClosed)
                ArmRead();
            if (FTransferring) {
                FBytesRecvd += N;
                if (OnPacketRecvd)
                    OnPacketRecvd(this);
            }
        }
    } catch (...) {
        AfterHandler();
        throw;
    }
    AfterHandler();
    if (Received && DataArrivedEvent)
        DataArrivedEvent(this);
    if (FWriteWantsRead && Received) {
        FWriteWantsRead = false;
        PostMessage(SendMore);
    }
    return More;
}

std::string TSocketSession::ReadLn()
{
    Report(8, "ReadLn");
    if (!FCanceled && ReceiveBuffer.HasLine()) {
        std::string Line = ReceiveBuffer.TakeLine();
        CountTaken(Line.size(), true);
        ReleaseHeldRead();
        return Line;
    }
    FActivity.restart();
    for (;;) {
        if (FCanceled || ReceiveBuffer.HasLine())
            break;
        CheckLineLength();
        CheckTransferWait();
        WaitStep();
    }
    if (FCanceled)
        throw EAbortError("Readln de socket abandonnée");
    std::string Line = ReceiveBuffer.TakeLine();
    CountTaken(Line.size(), true);
    ReleaseHeldRead();
    return Line;
}

void TSocketSession::CheckLineLength()
{
    if (MaxLineLength > 0 && ReceiveBuffer.Size() >= MaxLineLength && !ReceiveBuffer.HasLine()) {
        DropConnection();
        throw ESockError("Ligne trop longue reçue du serveur (plus de " + std::to_string(MaxLineLength) + " octets)",
                         seLineTooLong);
    }
}

// A line taken whole must fit MaxLineLength; every taken byte counts against the reply limit.
// Either failure ends the connection: the rest of the reply would be read as the next answer.
void TSocketSession::CountTaken(std::size_t Length, bool WholeLine)
{
    if (WholeLine && MaxLineLength > 0 && Length > MaxLineLength) {
        DropConnection();
        throw ESockError("Ligne trop longue reçue du serveur (plus de " + std::to_string(MaxLineLength) + " octets)",
                         seLineTooLong);
    }
    if (FReplyLeft == SIZE_MAX)
        return;
    if (Length > FReplyLeft) {
        FReplyLeft = 0;
        DropConnection();
        throw ESockError("Réponse du serveur trop longue", seReplyTooLong);
    }
    FReplyLeft -= Length;
}

std::string_view TSocketSession::ReadLnPart(std::size_t Max, bool& Complete)
{
    // Receiving pauses at MaxLineLength of an unfinished line: a piece never waits for more.
    if (MaxLineLength > 0)
        Max = std::min(Max, MaxLineLength);
    std::string_view Piece;
    if (!FCanceled) {
        Piece = ReceiveBuffer.TakeUpTo(Max, Complete);
        if (!Piece.empty()) {
            CountTaken(Piece.size(), false);
            ReleaseHeldRead();
            return Piece;
        }
    }
    FActivity.restart();
    for (;;) {
        if (FCanceled)
            throw EAbortError("Readln de socket abandonnée");
        Piece = ReceiveBuffer.TakeUpTo(Max, Complete);
        if (!Piece.empty())
            break;
        CheckTransferWait();
        WaitStep();
    }
    CountTaken(Piece.size(), false);
    // The piece stays where it is until the next receive: releasing a held read only posts.
    ReleaseHeldRead();
    return Piece;
}

// A transfer wait gives up when the connection is gone, with IdleTimeOut when nothing moved, and
// when the running operation's limit has passed. The connection goes with it: the rest of the
// reply may still come, and the next command must not read it as its own answer.
void TSocketSession::CheckTransferWait()
{
    if (!FConnected || FLinkLost) {
        if (!FReadHeld) {
            DropConnection();
            throw ESockError("Connexion perdue", seConnectionLost);
        }
    }
    if ((IdleTimeOut > 0 && FActivity.isValid() && FActivity.elapsed() >= IdleTimeOut) || DeadlinePassed()) {
        DropConnection();
        throw ESockError("Délai d'attente dépassé", seTimedOut);
    }
    if (FRateOn)
        CheckRate();
}

// Under a TRateLimit: each window of RateWindowMs must have moved MinRateBytes.
void TSocketSession::CheckRate()
{
    if (MinRateBytes <= 0 || RateWindowMs <= 0)
        return;
    if (!FRateWindow.isValid()) {
        FRateWindow.start();
        FWindowStartMoved = FMoved;
        return;
    }
    if (FRateWindow.elapsed() < RateWindowMs)
        return;
    if (FMoved - FWindowStartMoved < MinRateBytes) {
        DropConnection();
        throw ESockError("Transfert trop lent : moins de " + std::to_string(MinRateBytes) + " octets en "
                             + std::to_string((RateWindowMs + 999) / 1000) + " s",
                         seTooSlow);
    }
    FRateWindow.start();
    FWindowStartMoved = FMoved;
}

TSocketSession::TReplyLimit::TReplyLimit(TSocketSession& Session, std::size_t MaxBytes)
    : FSession(Session), FSaved(Session.FReplyLeft)
{
    FStart = FSession.FReplyLeft = std::min(FSaved, MaxBytes);
}

TSocketSession::TReplyLimit::~TReplyLimit()
{
    // An outer limit also pays for what was taken under this one.
    const std::size_t Taken = FStart - std::min(FStart, FSession.FReplyLeft);
    FSession.FReplyLeft = FSaved == SIZE_MAX ? SIZE_MAX : FSaved - std::min(FSaved, Taken);
}

TSocketSession::TRateLimit::TRateLimit(TSocketSession& Session)
    : FSession(Session), FSaved(Session.FRateOn)
{
    if (!FSaved) {
        FSession.FRateOn = true;
        FSession.FRateWindow.start();
        FSession.FWindowStartMoved = FSession.FMoved;
    }
}

TSocketSession::TRateLimit::~TRateLimit()
{
    FSession.FRateOn = FSaved;
}

std::string TSocketSession::Transaction(const std::string& Command)
{
    Report(8, "Transaction");
    FReplyNumber = 0;
    Writeln(Command);
    return ReadReply();
}

std::string TSocketSession::ReadReply()
{
    FReplyNumber = 0;
    FLastReply = ReadLn();
    if (!FLastReply.empty()) {
        if (ReportLevel >= 1) {
            std::size_t End = FLastReply.size();
            while (End > 0 && (FLastReply[End - 1] == '\n' || FLastReply[End - 1] == '\r'))
                --End;
            ReportStatus(1, FLastReply.substr(0, End));
        }
        std::size_t Digits = 0;
        while (Digits < FLastReply.size() && Digits < 10 && FLastReply[Digits] >= '0' && FLastReply[Digits] <= '9')
            ++Digits;
        if (Digits > 0) {
            unsigned long long Value = 0;
            for (std::size_t I = 0; I < Digits; ++I)
                Value = Value * 10 + static_cast<unsigned>(FLastReply[I] - '0');
            FReplyNumber = Value <= static_cast<unsigned long long>(INT_MAX) ? static_cast<int>(Value) : 0;
        }
    }
    return FLastReply;
}

// ---------------------------------------------------------------------------------------------
// Sending

// The send handler, run for a write notification and for SendMore. Up to ChunksPerMessage chunks
// go out in a row while the socket takes them; then SendMore goes to the back of the queue.
void TSocketSession::WriteFromStream()
{
    const unsigned Generation = FGeneration;
    for (int Chunk = 0; Chunk < ChunksPerMessage; ++Chunk) {
        if (!SendChunk() || Generation != FGeneration)
            return;
    }
    PostMessage(SendMore);
}

// One send call of at most ChunkSize bytes from the front of the queue, with its report and
// events; true when bytes remain and the socket may take more at once.
bool TSocketSession::SendChunk()
{
    if (FHandlerBusy) {
        FWriteDeferred = true;
        return false;
    }
    FHandlerBusy = true;
    bool More = false;
    try {
        Report(8, "WriteFromStream");
        if (!SendQueue.Empty() && !FCanceled) {
            const std::string_view Front = SendQueue.Front(ChunkSize);
            ssize_t N = 0;
            if (!Front.empty()) {
                int Errno = EBADF;
                if (FSocket < 0)
                    N = -1;
                else if (FTls)
                    N = SendTls(Front.data(), Front.size(), Errno);
                else {
                    N = ::send(FSocket, Front.data(), Front.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                    Errno = errno;
                }
                if (N < 0) {
                    FLastErrorNo = sockerrors::FromErrno(Errno);
                    if (Errno == EAGAIN || Errno == EWOULDBLOCK) {
                        // Sending resumes when the socket takes data again (or, for TLS, when
                        // the data the library needs first has come).
                        if (FWriteWantsRead)
                            ArmRead();
                        else
                            ArmWrite();
                    } else if (Errno == EINTR) {
                        More = true;
                    } else {
                        FLinkLost = true;    // the connection cannot carry data any more
                    }
                    AfterHandler();
                    return More;
                }
            }
            SendQueue.Consume(static_cast<std::size_t>(N));
            if (!SendQueue.Empty()) {
                More = true;
            } else {
                SendQueue.Clear();
                FSendDone = true;
            }
            FBytesSent += N;
            FMoved += N;
            if (N > 0)
                NoteActivity();
            if (FTransferring && OnPacketSent)
                OnPacketSent(this);
        }
    } catch (...) {
        AfterHandler();
        throw;
    }
    AfterHandler();
    return More;
}

// Waits until the send queue is written out or Canceled is set.
void TSocketSession::WaitForSend()
{
    FActivity.restart();
    try {
        while (!FSendDone && !FCanceled) {
            CheckTransferWait();
            WaitStep();
        }
    } catch (...) {
        // The rest of an abandoned send must not prefix the next command.
        SendQueue.Clear();
        throw;
    }
    if (FCanceled)
        SendQueue.Clear();
}

void TSocketSession::SendBuffer(const char* Data, std::uint16_t Length)
{
    Report(4, "Envoi du tampon");
    if (FCanceled)
        return;
    std::size_t Count = Length;
    if (Count == 0) {
        Count = std::strlen(Data);
        if (Count > 65535)
            throw ESockError("Tampon d'envoi trop long");
    }
    // Nothing to send: the queue would never report it written out.
    if (Count == 0)
        return;
    SendBytes(Data, Count);
}

// Queues the bytes and waits until they are written out (or Canceled).
void TSocketSession::SendBytes(const char* Data, std::size_t Length)
{
    SendQueue.Append(Data, Length);
    FSendDone = false;
    PostMessage(SendMore);
    WaitForSend();
    if (FCanceled) {
        FCanceled = false;
        throw EAbortError("Send de socket abandonnée");
    }
}

void TSocketSession::Write(const std::string& Text)
{
    Report(8, "Write");
    if (Text.find('\0') != std::string::npos)
        throw std::runtime_error("Caractère nul interdit dans une commande");
    Report(4, "Envoi du tampon");
    if (FCanceled || Text.empty())
        return;
    SendBytes(Text.data(), Text.size());
}

void TSocketSession::Writeln(const std::string& Text)
{
    Report(8, "Writeln");
    Write(Text + "\r\n");
}

void TSocketSession::SendStream(std::istream& Stream)
{
    FTransferring = true;
    auto Finish = [this] {
        FTransferring = false;
        // Whatever of the stream did not go out is not sent later.
        if (SendQueue.HasSource())
            SendQueue.Clear();
        if (FCanceled) {
            FCanceled = false;
            SendQueue.Clear();
            throw EAbortError("Send de socket abandonnée");
        }
    };
    try {
        Report(8, "SendStream");
        if (!FCanceled) {
            Stream.clear();
            Stream.seekg(0, std::ios::end);
            const std::streamoff Size = Stream.tellg();
            Stream.seekg(0, std::ios::beg);
            if (Size < 0 || !Stream)
                throw std::runtime_error("Flux illisible");
            Report(8, "SendFile");
            FBytesSent = 0;
            FBytesTotal = Size;
            if (Size > 0) {
                SendQueue.SetSource(Stream, Size);
                FSendDone = false;
                PostMessage(SendMore);
                WaitForSend();
                if (SendQueue.SourceFailed() && !FCanceled) {
                    SendQueue.ResetSourceFailed();
                    throw std::runtime_error("Flux illisible");
                }
            }
        }
    } catch (...) {
        Finish();
        throw;
    }
    Finish();
}

std::uint16_t TSocketSession::Accept()
{
    while (!FLookupDone && !FCanceled)
        WaitStep();
    if (FCanceled)
        throw ESockError("Acceptation annulée");
    if (!FLastEventOk)
        throw ESockError("Erreur à la création de connexion de données");
    Report(4, "Acceptation");
    sockaddr_in Peer{};
    socklen_t Length = sizeof Peer;
    const int Fd = FSocket >= 0 ? ::accept4(FSocket, reinterpret_cast<sockaddr*>(&Peer), &Length, SOCK_NONBLOCK | SOCK_CLOEXEC) : -1;
    if (Fd < 0) {
        SetLastSocketError(FSocket >= 0 ? errno : EBADF);
        CheckSocketError(10035);
        return INVALID_SOCKET_HANDLE;
    }
    FRemoteAddress = ntohl(Peer.sin_addr.s_addr);
    FRemotePort = ntohs(Peer.sin_port);
    if (Fd >= INVALID_SOCKET_HANDLE) {
        ::close(Fd);
        SetLastSocketError(EMFILE);
        CheckSocketError(10035);
        return INVALID_SOCKET_HANDLE;
    }
    if (FCanceled) {
        ::close(Fd);
        FCanceled = false;
        throw EAbortError("Send de socket abandonnée");
    }
    return static_cast<std::uint16_t>(Fd);
}
