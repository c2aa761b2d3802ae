// TSocketSession: one TCP client socket turned into blocking operations over socket notifications.
#pragma once

#include "net/ReceiveBuffer.h"
#include "net/SendQueue.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

class QSocketNotifier;
class THostLookup;
class TTlsTransport;

// How a session protects its connection: not at all, TLS from the first byte (POP3S, SMTPS), or
// TLS started by a protocol command after the greeting (POP3 STLS, SMTP STARTTLS).
enum TSecurity { secNone = 0, secTls = 1, secStartTls = 2 };

// What went wrong, for the code that decides what to do next; the French text is for the user.
enum TSockErrorKind : int {
    seOther = 0,          // anything not listed below
    seSocketLibrary,      // a socket call failed: "<number>:<English text>"
    seLookupTimedOut,     // the host look-up ran out of time
    seLookupCanceled,     // the host look-up was cancelled
    seLookupFailed,       // the host name gave no address
    seNoAddress,          // no address to connect to ("Adresse distante nulle")
    seAlreadyConnected,
    seConnectTimedOut,    // the connection was not made in time
    seConnectCanceled,
    seConnectFailed,      // every address refused or was unreachable
    seConnectionLost,     // the peer closed or the link failed during a transfer
    seTimedOut,           // nothing moved for IdleTimeOut, or an operation's limit passed
    seTooSlow,            // a long transfer fell below its minimum rate
    seLineTooLong,        // a reply line went past MaxLineLength without a line end
    seReplyTooLong,       // a reply went past the size its operation allows
    seAborted,            // a transfer ended by Cancel (EAbortError)
    seTls,                // the TLS layer failed or could not be set up
    seCertificate,        // the server certificate was refused (ECertificateError)
};

// Socket and connection failures. Messages are the program's French texts, or for a socket
// library error "<number>:<English text>" (see TSocketSession::ErrorText). Kind tells them apart.
class ESockError : public std::runtime_error {
public:
    explicit ESockError(const std::string& Text, TSockErrorKind AKind = seOther)
        : std::runtime_error(Text), FKind(AKind)
    {
    }
    TSockErrorKind Kind() const { return FKind; }

private:
    TSockErrorKind FKind;
};

// A blocking transfer ended by a cancel ("Readln de socket abandonnée", "Send de socket abandonnée").
class EAbortError : public ESockError {
public:
    explicit EAbortError(const std::string& Text, TSockErrorKind AKind = seAborted)
        : ESockError(Text, AKind)
    {
    }
};

// Event types. Sender is the component that fires the event.
using TNotifyEvent = std::function<void(QObject* Sender)>;
// A handler that may repair the situation sets Handled (false on entry); it gets one chance.
using THandlerEvent = std::function<void(bool& Handled)>;
using TOnStatus = std::function<void(QObject* Sender, const std::string& Status)>;
using TOnHostResolved = std::function<void(QObject* Sender)>;
using TOnSocketError = std::function<void(QObject* Sender, std::uint16_t ErrorNo, const std::string& ErrorText)>;

// Field N (counted from 1) of Text cut at every Delimiter. Fields are not trimmed; a field number
// past the last field gives an empty text; the last field keeps whatever ends the text (a reply
// line's CR LF).
std::string NthField(const std::string& Text, char Delimiter, int N);

// A repeating timer component. It fires OnTimer every Interval milliseconds while Enabled and
// Interval is not 0. Runs on the thread that owns it (no thread of its own, despite its name).
class TThreadTimer : public QObject {
    Q_OBJECT
public:
    explicit TThreadTimer(QObject* Owner = nullptr);
    ~TThreadTimer() override;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool Value);
    std::uint32_t Interval() const { return FInterval; }
    void SetInterval(std::uint32_t Value);
    // Assigning through SetOnTimer restarts the timer as a changed setting does.
    void SetOnTimer(TNotifyEvent Handler);

    // True while the system timer runs.
    bool Running() const { return FTimerId != 0; }
    // How many times the system timer was started since construction.
    int StartCount() const { return FStartCount; }

    TNotifyEvent OnTimer;

protected:
    void timerEvent(QTimerEvent* Event) override;

private:
    void UpdateTimer();

    bool FEnabled = true;
    std::uint32_t FInterval = 1000;
    int FTimerId = 0;
    int FStartCount = 0;
};

// One TCP client session. Every operation blocks its caller, but its wait keeps processing the
// application's events (wait for the next event, at most 20 ms, then process everything pending),
// so the user interface keeps running and may call Cancel or Abort. Everything runs on the thread
// that owns the object.
//
// Streams: SendStream takes a seekable std::istream (an std::ifstream for a file, an
// std::stringstream or any istream over memory for composed text). It is read from its start,
// lazily in chunks while the bytes go out, so a 100 MB message is never copied whole; the stream
// must stay alive and unchanged until SendStream returns. A cancelled or failed SendStream sends
// nothing more of it later.
//
// Connection loss: a ReadLn that has no complete line left, or a send that cannot finish, ends with
// ESockError "Connexion perdue" once the peer has closed or the socket failed (complete lines
// already received are returned first). IdleTimeOut (ms, 0 = none) ends a transfer wait in which
// no byte moved for that long with ESockError "Délai d'attente dépassé". A whole exchange (a
// greeting, a sign-in, a short reply) is bounded by a TOperationLimit, so a peer that drips one byte
// now and then cannot hold it either. A wait that gives up for time or a lost link closes the
// connection and empties the receive buffer: a half-read reply must never be taken for the
// answer to a later command.
//
// Note for descendants: C++ does not dispatch virtual calls from a base destructor, so the
// destructor here runs the base Abort; a descendant that must abort on destruction calls its own
// Abort in its destructor.
class TSocketSession : public QObject {
    Q_OBJECT
public:
    // Component messages, numbered as the program always did (user message base 1024 + 101..104).
    enum TMessage : int { SocketEvent = 1125, LookupReply = 1126, SendMore = 1127, ReceiveMore = 1128 };
    // Event codes of SocketEvent.
    enum TSocketEventCode : int { FD_READ = 1, FD_WRITE = 2, FD_OOB = 4, FD_ACCEPT = 8, FD_CONNECT = 16, FD_CLOSE = 32 };
    static constexpr std::uint16_t INVALID_SOCKET_HANDLE = 65535;
    // Largest single send (and the smallest receive size).
    static constexpr std::size_t ChunkSize = 16383;
    // Longest pass of a blocking wait when nothing at all happens (ms).
    static constexpr int WaitSliceMs = 20;

    explicit TSocketSession(QObject* Owner = nullptr);
    ~TSocketSession() override;

    // ---- Published properties (plain members; read at the moment they are needed) ----
    // Host name, dotted IPv4 address or IPv6 address (with or without its brackets: "[::1]").
    // A name is connected through every address it resolves to (see Connect).
    std::string Host;
    int Port = 0;            // remote port; the low 16 bits are used
    int TimeOut = 0;         // ms for host lookup and connection; 0 = none; negative is an error
    int ReportLevel = 0;     // highest status level passed to OnStatus
    int IdleTimeOut = 0;     // ms without a byte moving before a transfer wait gives up; 0 = none
    // ms allowed for one whole short exchange (greeting, sign-in, a one-line or header reply, the
    // logout), whatever trickles in meanwhile; 0 = none. Used by descendants through TOperationLimit.
    int OperationTimeOut = 0;
    // Longest line ReadLn takes, line end included (0 = no bound). A peer that sends more without
    // a line end, or a longer line, ends the connection with ESockError seLineTooLong ("Ligne trop
    // longue reçue du serveur"); receiving pauses once this much of one unfinished line is held,
    // so memory stays bounded whatever the peer sends. Well above what mail servers send (512
    // octets for POP3 and SMTP, 998 for a message line) and roomy enough for long IMAP lines.
    // ReadLnPart is not bound by it: it hands long lines on in pieces.
    std::size_t MaxLineLength = DefaultMaxLineLength;
    static constexpr std::size_t DefaultMaxLineLength = 1024 * 1024;
    // Minimum rate of a transfer run under a TRateLimit: at least MinRateBytes must move in each
    // RateWindowMs, else the transfer ends with ESockError seTooSlow.
    int MinRateBytes = 1024;
    int RateWindowMs = 30000;
    // Delay before the next address of a name is tried while earlier attempts are still under
    // way (ms, RFC 8305 "connection attempt delay").
    int ConnectionAttemptDelay = 250;

    // Bounds every wait of the session for as long as it lives: once Ms have passed since it was
    // made, a wait gives up as a time-out (lookup, connection or transfer, with their own texts)
    // and the connection is closed. Ms <= 0 adds no bound. Nested limits keep the earliest end.
    class TOperationLimit {
    public:
        TOperationLimit(TSocketSession& Session, int Ms);
        ~TOperationLimit();
        TOperationLimit(const TOperationLimit&) = delete;
        TOperationLimit& operator=(const TOperationLimit&) = delete;

    private:
        TSocketSession& FSession;
        QDeadlineTimer FSaved;
    };
    // Bounds the bytes ReadLn and ReadLnPart may take for as long as it lives (a multi-line reply:
    // capabilities, a header, a list); past it the connection ends with ESockError seReplyTooLong
    // ("Réponse du serveur trop longue"). Nested bounds keep the smaller remainder.
    class TReplyLimit {
    public:
        TReplyLimit(TSocketSession& Session, std::size_t MaxBytes);
        ~TReplyLimit();
        TReplyLimit(const TReplyLimit&) = delete;
        TReplyLimit& operator=(const TReplyLimit&) = delete;

    private:
        TSocketSession& FSession;
        std::size_t FSaved;
        std::size_t FStart;
    };

    // For a transfer whose size is legitimately large (a message body, a message sent): for as
    // long as it lives, every wait of the session gives up with ESockError seTooSlow ("Transfert
    // trop lent : …") once a window of RateWindowMs has passed in which fewer than MinRateBytes
    // were received or sent. A slow line passes; a peer that drips a byte now and then does not.
    // MinRateBytes <= 0 or RateWindowMs <= 0 adds no bound.
    class TRateLimit {
    public:
        explicit TRateLimit(TSocketSession& Session);
        ~TRateLimit();
        TRateLimit(const TRateLimit&) = delete;
        TRateLimit& operator=(const TRateLimit&) = delete;

    private:
        TSocketSession& FSession;
        bool FSaved;
    };

    // Replaces the system look-up of host names for the whole process (address literals are never
    // looked up): Resolver gives the addresses of a name as texts ("::1", "127.0.0.1"), none for
    // a name that does not resolve. An empty function restores the system look-up. For tests
    // that need a name with several addresses.
    using THostResolver = std::function<std::vector<std::string>(const std::string& Name)>;
    static void SetHostResolver(THostResolver Resolver);
    // Host without the brackets of an IPv6 literal ("[::1]" -> "::1").
    static std::string BareHost(const std::string& Host);

    // secTls: Connect makes the TLS handshake right after the TCP connection. secStartTls: the
    // descendants ask for TLS with their protocol's command, then call StartTls.
    TSecurity Security = secNone;
    // PEM file of the authorities trusted for TLS instead of the system store; empty = the system.
    std::string CaFile;
    // Server certificates accepted even though they fail the checks: SHA-256 fingerprints, each
    // as 64 hex digits, with or without ":" between the pairs (case does not matter), several
    // separated by commas, semicolons or line ends. A certificate that passes the checks needs no
    // entry here.
    std::string TrustedFingerprint;

    // ---- Events (fired only when assigned) ----
    TNotifyEvent OnDisconnect;         // after the socket was closed
    TNotifyEvent OnConnect;            // connect notification reported success
    THandlerEvent OnInvalidHost;       // asked once when the host gave no address
    TOnHostResolved OnHostResolved;    // after a successful name lookup
    TOnStatus OnStatus;                // status reporting, filtered by ReportLevel
    TNotifyEvent OnConnectionFailed;   // just before Connect raises
    THandlerEvent OnConnectionRequired;// asked by RequireConnection; the descendants publish it
    TNotifyEvent OnPacketRecvd;        // receive progress while SendStream runs
    TNotifyEvent OnPacketSent;         // send progress while SendStream runs
    // Not published: left unassigned by the program's components.
    TNotifyEvent DataArrivedEvent;     // after every receive call that succeeded
    TNotifyEvent AcceptEvent;          // accept notification
    TOnSocketError SocketErrorEvent;   // before CheckSocketError raises; when a receive fails

    // ---- Operations ----
    // Resolves Host and connects to Host:Port; returns when connected, raises ESockError otherwise.
    // A name may give several addresses of both families: they are tried as RFC 8305 says, IPv6
    // first and the families alternating; the next attempt starts when the previous one failed or
    // after ConnectionAttemptDelay, the earlier ones going on meanwhile, and the first connection
    // made wins (the others are closed). TimeOut bounds the look-up and the attempts as a whole.
    virtual void Connect();
    // Status "Déconnexion", then CloseSocket.
    virtual void Disconnect();
    // Nothing in the base; descendants cancel their running operation or drop the connection.
    virtual void Abort();
    // Sets Canceled: every blocked wait of this component ends within one pass of its loop.
    void Cancel();
    // Raises std::runtime_error "Non connecté" unless connected (OnConnectionRequired gets one chance).
    void RequireConnection();

    // Queues Length bytes of Data (0 = up to the first NUL) and waits until they are written out.
    void SendBuffer(const char* Data, std::uint16_t Length);
    // Sends the whole of Text. A NUL in it is refused (std::runtime_error): a command cut there
    // would glue the next command to it.
    void Write(const std::string& Text);
    // Write of Text followed by CR LF.
    void Writeln(const std::string& Text);
    // Waits for a whole line; returns it with its line end (nothing trimmed).
    std::string ReadLn();
    // ReadLn in bounded pieces: waits for a line of at most Max bytes (Complete = true, line end
    // included) or for the first Max bytes of a longer one (Complete = false; the next call goes
    // on with the same line). The view is valid until the next read from this session.
    std::string_view ReadLnPart(std::size_t Max, bool& Complete);
    // Writeln(Command), ReadReply.
    virtual std::string Transaction(const std::string& Command);
    // ReadLn of the reply to a command already sent (several may be in flight when the server
    // allows pipelining): stores it in LastReply, sets ReplyNumber from its leading digits,
    // reports it at level 1 without its line end and returns it whole.
    std::string ReadReply();
    // Sends the whole stream, from its start; BytesSent/BytesTotal and OnPacketSent give progress.
    void SendStream(std::istream& Stream);
    // Accepts a connection on the session's socket (no listening socket exists in this program).
    virtual std::uint16_t Accept();

    // "<number>:<English text>" from the error table, "No. d'erreur inconnu <number>", or "" for 0.
    std::string ErrorText(std::uint16_t ErrorNo);
    // Reads the last socket error into LastErrorNo; returns "" when it equals Tolerated, else fires
    // SocketErrorEvent and raises ESockError with its text.
    std::string CheckSocketError(std::uint16_t Tolerated);
    // Sets Status and fires OnStatus when Level <= ReportLevel.
    void ReportStatus(std::uint8_t Level, const std::string& Text);

    // ---- Read-only state ----
    bool Connected() const { return FConnected; }
    // The connection runs over TLS (handshake done, certificate accepted).
    bool Secure() const;
    // The server certificate's SHA-256 fingerprint ("AB:CD:…") while a TLS connection is up.
    std::string PeerFingerprint() const;
    bool Canceled() const { return FCanceled; }
    bool TimedOut() const { return FTimedOut; }
    bool LastEventOk() const { return FLastEventOk; }
    bool LookupDone() const { return FLookupDone; }
    bool Transferring() const { return FTransferring; }
    bool HandlerBusy() const { return FHandlerBusy; }
    bool SendDone() const { return FSendDone; }
    std::int64_t BytesSent() const { return FBytesSent; }
    std::int64_t BytesTotal() const { return FBytesTotal; }
    std::int64_t BytesRecvd() const { return FBytesRecvd; }
    int ReplyNumber() const { return FReplyNumber; }
    const std::string& LastReply() const { return FLastReply; }
    std::uint32_t LastErrorNo() const { return FLastErrorNo; }
    const std::string& Status() const { return FStatus; }
    // The socket's handle, INVALID_SOCKET_HANDLE when there is none.
    std::uint16_t SocketHandle() const;
    // The resolved IPv4 address in host byte order (0 = none, or an IPv6 connection), and the
    // port of the last Connect.
    std::uint32_t RemoteAddress() const { return FRemoteAddress; }
    // The address of the connection made ("::1", "127.0.0.1"); empty before one is made.
    const std::string& RemoteAddressText() const { return FRemoteAddressText; }
    // Every address the last look-up gave, in the order they are tried.
    const std::vector<std::string>& ResolvedAddresses() const { return FResolvedText; }
    std::uint16_t RemotePort() const { return FRemotePort; }
    // The socket library's start-up report (six lines, filled by the first instance only).
    const std::vector<std::string>& WinsockInfo() const { return FWinsockInfo; }
    // Received bytes not yet taken by ReadLn.
    std::string_view Buffered() const { return ReceiveBuffer.View(); }
    // The time-out timer.
    TThreadTimer* Timer() const { return FTimer; }
    // Instances that have started the socket library, process-wide.
    static int WinsockUsers();
    // Read-ahead cap: once this many unread bytes that hold a line are buffered, receiving pauses
    // until ReadLn has taken some of them (tuning knob, process-wide).
    static std::size_t ReadAheadCap();
    static void SetReadAheadCap(std::size_t Bytes);
    // Largest single receive, straight into the receive buffer (tuning knob, process-wide; at
    // least ChunkSize). Each receive call costs a system call and a window update to the peer, so
    // a fast transfer is taken in large pieces; a slow one delivers less per call anyway.
    static std::size_t ReceiveSize();
    static void SetReceiveSize(std::size_t Bytes);

protected:
    // Internal steps, available to descendants.
    void ResolveHost();
    void StartTimer();
    void StopTimer();
    void TimerFired(QObject* Sender);
    void InitWinsock();
    void CloseSocket();
    // TLS handshake on the connected socket, then the certificate checks (ECertificateError).
    // Bytes received before it are dropped: nothing sent in clear may pass for protected data.
    // Waits like a transfer: Cancel, TimeOut (whole handshake) and IdleTimeOut apply. On failure
    // the connection is closed.
    void StartTls();
    // Receive and send handlers, run from the message dispatch.
    void ReadToStream();
    void WriteFromStream();
    // How many chunks one ReceiveMore or SendMore message may move before other events get a
    // turn (each chunk still reports and fires its events).
    static constexpr int ChunksPerMessage = 16;

    bool event(QEvent* Event) override;

    // Run by ReadToStream when data arrives while Canceled is set (descendants drop the connection).
    TNotifyEvent CancelHook;
    // Unread received bytes; descendants may empty it (ReceiveBuffer.Clear()) outside ReadLn.
    TReceiveBuffer ReceiveBuffer;

    bool FConnected = false;
    bool FCanceled = false;

private:
    class TSessionEvent;
    struct TAttempt;
    void PostMessage(TMessage Message);
    void Dispatch(TMessage Message, int Code, std::uint16_t Error);
    void DispatchGuarded(TMessage Message, int Code, std::uint16_t Error);
    void HandleClose();
    void ReadNotifierActivated();
    void WriteNotifierActivated();
    void LookupFinished(int LookupId, std::vector<std::string> Addresses, std::uint16_t Error);
    // The addresses of the current look-up in the order RFC 8305 tries them.
    void OrderAddresses(const std::vector<std::string>& Texts);
    // Runs the connection attempts over FResolved; returns the connected socket or -1 (the
    // reason in FLastErrorNo / FTimedOut / FCanceled).
    int RaceConnect();
    // Takes Fd, a connected socket, as the session's socket.
    void AdoptSocket(int Fd, bool Linger);
    // Makes Fd the session's socket; Used: a connection is already made on it.
    void TakeSocket(int Fd, bool Linger, bool Used);
    // Fails with seLineTooLong when an unfinished line has reached MaxLineLength.
    void CheckLineLength();
    // Counts Length taken bytes against the reply limit and the line bound.
    void CountTaken(std::size_t Length, bool WholeLine);
    void CheckRate();

    bool NewSocket(bool Linger);
    void DropSocket();
    void ArmRead();
    void ArmWrite();
    void ReleaseHeldRead();
    void WaitStep();
    void WaitForSend();
    void CheckTransferWait();
    bool DeadlinePassed() const { return !FDeadline.isForever() && FDeadline.hasExpired(); }
    // A wait gave up: the connection is closed without a word to the peer and what was received
    // of it is dropped.
    void DropConnection();
    void SetLastSocketError(int Errno);
    // ReportStatus for the fixed texts: builds no string unless the level passes.
    void Report(int Level, const char* Text)
    {
        if (Level <= ReportLevel)
            ReportStatus(static_cast<std::uint8_t>(Level), std::string(Text));
    }
    bool ShouldHoldRead();
    bool ReceiveChunk();
    bool SendChunk();
    ssize_t ReceiveTls(char* Space, std::size_t Size, int& Errno);
    ssize_t SendTls(const char* From, std::size_t Length, int& Errno);
    void DropTls();
    [[noreturn]] void FailTls(const std::string& Message, bool Abandoned, TSockErrorKind Kind = seTls);
    void SendBytes(const char* Data, std::size_t Length);
    void NotificationsOff();
    void AfterHandler();
    // A byte moved: restarts the idle clock (read only when IdleTimeOut is set).
    void NoteActivity()
    {
        if (IdleTimeOut > 0)
            FActivity.restart();
    }

    std::vector<std::string> FWinsockInfo;
    TThreadTimer* FTimer = nullptr;
    TSendQueue SendQueue;
    std::unique_ptr<TTlsTransport> FTls;  // set while the connection runs over TLS

    bool FTransferring = false;
    bool FHandlerBusy = false;
    bool FNoReopen = false;
    bool FDestroying = false;
    bool FLastEventOk = false;
    bool FTimedOut = false;
    bool FLookupDone = false;
    bool FSendDone = false;
    bool FLinkLost = false;        // a send failed for good, or the socket failed
    bool FConnecting = false;      // a connect is in progress on the socket
    bool FConnectAnswered = false; // the connect notification of the current attempt came
    bool FSocketUsed = false;      // the socket has seen a connect attempt
    bool FNotifyOff = false;       // notifications withdrawn for this socket (cancel)
    bool FReadHeld = false;        // read-ahead cap reached: reading waits for ReadLn
    bool FReadDeferred = false;    // a read notification came while a handler was busy
    bool FWriteDeferred = false;   // a write notification came while a handler was busy
    bool FTlsReady = false;        // the TLS handshake is done
    bool FTlsClosed = false;       // the TLS layer saw the end of the connection or failed
    bool FWriteWantsRead = false;  // a TLS write waits for the socket to be readable
    bool FReadWantsWrite = false;  // a TLS read waits for the socket to be writable
    int FPendingPosts = 0;         // own messages posted and not yet handled
    std::int64_t FBytesSent = 0;
    std::int64_t FBytesTotal = 0;
    std::int64_t FBytesRecvd = 0;
    std::uint32_t FLastErrorNo = 0;
    std::uint16_t FLibError = 0;   // the socket library's "last error"
    std::string FStatus;
    std::uint32_t FRemoteAddress = 0;
    std::string FRemoteAddressText;
    std::vector<std::string> FLookupAddresses;  // what the look-up answered
    std::vector<std::string> FResolvedText;     // the addresses to try, in order
    std::unique_ptr<THostLookup> FHostLookup;   // the name being looked up
    std::size_t FReplyLeft = SIZE_MAX;          // bytes the reply limit still allows
    bool FRateOn = false;                       // a TRateLimit is in force
    std::int64_t FMoved = 0;                    // bytes received or sent, ever
    std::int64_t FWindowStartMoved = 0;         // FMoved when the rate window began
    QElapsedTimer FRateWindow;
    bool FLinger = false;          // the socket drops its connection at once when closed
    std::uint16_t FRemotePort = 0;
    std::string FLastReply;
    int FReplyNumber = 0;
    int FSocket = -1;
    unsigned FGeneration = 0;      // bumped with every new socket; stale messages are ignored
    int FLookupId = -1;
    QSocketNotifier* FReadNotifier = nullptr;
    QSocketNotifier* FWriteNotifier = nullptr;
    QElapsedTimer FActivity;       // restarted whenever a byte moves during a transfer wait
    QDeadlineTimer FDeadline{QDeadlineTimer::Forever};  // end of the current operation's limit
};
