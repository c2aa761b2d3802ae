// Session layer benchmark: ReadLn and SendStream throughput against a raw blocking socket loop.
//
// A loopback server sends 100 MB of 76-character CRLF lines and a sink swallows 100 MB. In one
// run the program measures: the raw blocking recv loop, a blocking loop that returns each line as
// a new string (the least any such line reader does) and TSocketSession::ReadLn on the line
// server, the raw blocking send loop and TSocketSession::SendStream into the sink, the peak
// resident memory while ReadLn reads, how late a 10 ms QTimer in the same process gets during
// both transfers, and the processor time of a wait with nothing arriving.
//
// Usage: net_bench [--runs N] [--mb M] [--cap BYTES] [--recv BYTES] [--compare-recv BYTES]
//   --compare-recv also measures ReadLn with receives of that size in every run, for comparison.
#include "net/SockSession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t LineLength = 78;  // 76 characters and CR LF

// ---- Loopback servers ---------------------------------------------------------------------

int Listen(std::uint16_t& Port)
{
    const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int One = 1;
    ::setsockopt(Fd, SOL_SOCKET, SO_REUSEADDR, &One, sizeof One);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(Fd, reinterpret_cast<sockaddr*>(&A), sizeof A) != 0 || ::listen(Fd, 16) != 0) {
        std::perror("listen");
        std::exit(2);
    }
    socklen_t L = sizeof A;
    ::getsockname(Fd, reinterpret_cast<sockaddr*>(&A), &L);
    Port = ntohs(A.sin_port);
    return Fd;
}

int ConnectBlocking(std::uint16_t Port)
{
    const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    A.sin_port = htons(Port);
    if (::connect(Fd, reinterpret_cast<sockaddr*>(&A), sizeof A) != 0) {
        std::perror("connect");
        std::exit(2);
    }
    return Fd;
}

// Serves every connection with the same Total bytes of lines, then closes it.
class LineServer {
public:
    explicit LineServer(std::size_t Lines) : LineCount(Lines)
    {
        // One block of distinct lines, sent over and over.
        for (std::size_t I = 0; I < 8192; ++I) {
            char Line[LineLength + 1];
            std::snprintf(Line, sizeof Line, "%07zu ", I);
            for (std::size_t C = 8; C < LineLength - 2; ++C)
                Line[C] = static_cast<char>('A' + (I + C) % 26);
            Line[LineLength - 2] = '\r';
            Line[LineLength - 1] = '\n';
            Block.append(Line, LineLength);
        }
        Listener = Listen(Port);
        Thread = std::thread([this] { Run(); });
    }
    ~LineServer()
    {
        Stop = true;
        ::shutdown(Listener, SHUT_RDWR);
        Thread.join();
        ::close(Listener);
    }
    std::uint16_t Port = 0;
    std::size_t Total() const { return LineCount * LineLength; }

private:
    void Run()
    {
        while (!Stop) {
            const int Conn = ::accept4(Listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (Conn < 0)
                return;
            std::size_t Left = Total();
            std::size_t At = 0;
            while (Left > 0) {
                const std::size_t Want = std::min(Left, Block.size() - At);
                const ssize_t N = ::send(Conn, Block.data() + At, Want, MSG_NOSIGNAL);
                if (N <= 0)
                    break;
                Left -= static_cast<std::size_t>(N);
                At = (At + static_cast<std::size_t>(N)) % Block.size();
            }
            ::shutdown(Conn, SHUT_WR);
            char Sink[4096];
            while (::recv(Conn, Sink, sizeof Sink, 0) > 0) {
            }
            ::close(Conn);
        }
    }
    std::size_t LineCount;
    std::string Block;
    int Listener = -1;
    std::thread Thread;
    std::atomic<bool> Stop{false};
};

// Swallows everything sent to it; Received counts the bytes of the current connection.
class SinkServer {
public:
    SinkServer()
    {
        Listener = Listen(Port);
        Thread = std::thread([this] { Run(); });
    }
    ~SinkServer()
    {
        Stop = true;
        ::shutdown(Listener, SHUT_RDWR);
        Thread.join();
        ::close(Listener);
    }
    std::uint16_t Port = 0;
    std::atomic<std::size_t> Received{0};

private:
    void Run()
    {
        std::vector<char> Buffer(256 * 1024);
        while (!Stop) {
            const int Conn = ::accept4(Listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (Conn < 0)
                return;
            Received = 0;
            ssize_t N;
            while ((N = ::recv(Conn, Buffer.data(), Buffer.size(), 0)) > 0)
                Received += static_cast<std::size_t>(N);
            ::close(Conn);
        }
    }
    int Listener = -1;
    std::thread Thread;
    std::atomic<bool> Stop{false};
};

// A read-only istream over memory that is not copied.
class MemoryBuf : public std::streambuf {
public:
    MemoryBuf(const char* Data, std::size_t Size)
    {
        char* P = const_cast<char*>(Data);
        setg(P, P, P + Size);
    }

protected:
    pos_type seekoff(off_type Off, std::ios_base::seekdir Dir, std::ios_base::openmode) override
    {
        char* Target = Dir == std::ios_base::beg ? eback() + Off : Dir == std::ios_base::end ? egptr() + Off : gptr() + Off;
        if (Target < eback() || Target > egptr())
            return pos_type(off_type(-1));
        setg(eback(), Target, egptr());
        return pos_type(Target - eback());
    }
    pos_type seekpos(pos_type Pos, std::ios_base::openmode Which) override
    {
        return seekoff(off_type(Pos), std::ios_base::beg, Which);
    }
};

// ---- Measuring helpers --------------------------------------------------------------------

long StatusKiB(const char* Key)
{
    std::ifstream In("/proc/self/status");
    std::string Line;
    const std::size_t KeyLength = std::strlen(Key);
    while (std::getline(In, Line))
        if (Line.compare(0, KeyLength, Key) == 0)
            return std::atol(Line.c_str() + KeyLength + 1);
    return -1;
}

// Resets the peak resident size, where the kernel allows it.
bool ResetPeak()
{
    std::ofstream Out("/proc/self/clear_refs");
    Out << "5";
    Out.flush();
    return Out.good();
}

double CpuSeconds()
{
    timespec T{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &T);
    return static_cast<double>(T.tv_sec) + static_cast<double>(T.tv_nsec) / 1e9;
}

// A 10 ms timer whose largest delay past its due time is recorded.
class LatenessProbe {
public:
    LatenessProbe()
    {
        Timer.setTimerType(Qt::PreciseTimer);
        Timer.setInterval(10);
        QObject::connect(&Timer, &QTimer::timeout, [this] {
            const qint64 Now = Clock.nsecsElapsed();
            if (Last >= 0)
                MaxLateMs = std::max(MaxLateMs, static_cast<double>(Now - Last) / 1e6 - 10.0);
            Last = Now;
            ++Ticks;
        });
    }
    void Start()
    {
        MaxLateMs = 0;
        Ticks = 0;
        Last = -1;
        Clock.start();
        Timer.start();
    }
    void Stop() { Timer.stop(); }
    double MaxLateMs = 0;
    int Ticks = 0;

private:
    QTimer Timer;
    QElapsedTimer Clock;
    qint64 Last = -1;
};

double Median(std::vector<double> V)
{
    std::sort(V.begin(), V.end());
    return V.empty() ? 0 : V[V.size() / 2];
}

double MBps(std::size_t Bytes, double Seconds)
{
    return static_cast<double>(Bytes) / 1e6 / Seconds;
}

// ---- The measurements ---------------------------------------------------------------------

double RawRecv(LineServer& Server, std::size_t BufferSize)
{
    const int Fd = ConnectBlocking(Server.Port);
    std::vector<char> Buffer(BufferSize);
    std::size_t Got = 0;
    QElapsedTimer Clock;
    Clock.start();
    ssize_t N;
    while ((N = ::recv(Fd, Buffer.data(), Buffer.size(), 0)) > 0)
        Got += static_cast<std::size_t>(N);
    const double Seconds = static_cast<double>(Clock.nsecsElapsed()) / 1e9;
    ::close(Fd);
    if (Got != Server.Total())
        std::fprintf(stderr, "raw recv: got %zu of %zu bytes\n", Got, Server.Total());
    return MBps(Got, Seconds);
}

// The least a line reader that returns each line as its own std::string can do: a blocking
// receive loop of 64 KiB that finds each line feed and copies the line into a new string, with the
// same check of every line as the ReadLn measure. No event loop, no flags, no reports.
double BareLines(LineServer& Server)
{
    const int Fd = ConnectBlocking(Server.Port);
    std::vector<char> Buffer(256 * 1024);
    std::size_t Start = 0, End = 0, Bytes = 0;
    bool Ok = true;
    QElapsedTimer Clock;
    Clock.start();
    for (;;) {
        if (Buffer.size() - End < 64 * 1024) {
            std::memmove(Buffer.data(), Buffer.data() + Start, End - Start);
            End -= Start;
            Start = 0;
            if (Buffer.size() - End < 64 * 1024)
                Buffer.resize(End + 64 * 1024);   // one line longer than the buffer
        }
        const ssize_t N = ::recv(Fd, Buffer.data() + End, 64 * 1024, 0);
        if (N <= 0)
            break;
        End += static_cast<std::size_t>(N);
        while (const void* Found = std::memchr(Buffer.data() + Start, '\n', End - Start)) {
            const std::size_t Stop = static_cast<std::size_t>(static_cast<const char*>(Found) - Buffer.data()) + 1;
            const std::string Line(Buffer.data() + Start, Stop - Start);
            if (Line.size() != LineLength || Line[LineLength - 1] != '\n')
                Ok = false;
            Bytes += Line.size();
            Start = Stop;
        }
    }
    const double Seconds = static_cast<double>(Clock.nsecsElapsed()) / 1e9;
    ::close(Fd);
    if (!Ok || Bytes != Server.Total())
        std::fprintf(stderr, "bare line loop: wrong data (%zu bytes)\n", Bytes);
    return MBps(Bytes, Seconds);
}

double SessionReadLn(LineServer& Server, std::size_t Lines, LatenessProbe& Probe)
{
    TSocketSession Session;
    Session.Host = "127.0.0.1";
    Session.Port = Server.Port;
    Session.Connect();
    std::size_t Bytes = 0;
    std::size_t Count = 0;
    bool Ok = true;
    Probe.Start();
    QElapsedTimer Clock;
    Clock.start();
    while (Count < Lines) {
        const std::string Line = Session.ReadLn();
        if (Line.size() != LineLength || Line[LineLength - 1] != '\n')
            Ok = false;
        Bytes += Line.size();
        ++Count;
    }
    const double Seconds = static_cast<double>(Clock.nsecsElapsed()) / 1e9;
    Probe.Stop();
    Session.Disconnect();
    if (!Ok || Bytes != Server.Total())
        std::fprintf(stderr, "ReadLn: wrong data (%zu bytes)\n", Bytes);
    return MBps(Bytes, Seconds);
}

double RawSend(SinkServer& Sink, const std::string& Data, std::size_t ChunkSize)
{
    const int Fd = ConnectBlocking(Sink.Port);
    QElapsedTimer Clock;
    Clock.start();
    std::size_t Done = 0;
    while (Done < Data.size()) {
        const ssize_t N = ::send(Fd, Data.data() + Done, std::min<std::size_t>(ChunkSize, Data.size() - Done), MSG_NOSIGNAL);
        if (N <= 0)
            break;
        Done += static_cast<std::size_t>(N);
    }
    const double Seconds = static_cast<double>(Clock.nsecsElapsed()) / 1e9;
    ::close(Fd);
    return MBps(Done, Seconds);
}

double SessionSendStream(SinkServer& Sink, const std::string& Data, LatenessProbe& Probe)
{
    TSocketSession Session;
    Session.Host = "127.0.0.1";
    Session.Port = Sink.Port;
    Session.Connect();
    MemoryBuf Buffer(Data.data(), Data.size());
    std::istream Stream(&Buffer);
    Probe.Start();
    QElapsedTimer Clock;
    Clock.start();
    Session.SendStream(Stream);
    const double Seconds = static_cast<double>(Clock.nsecsElapsed()) / 1e9;
    Probe.Stop();
    if (Session.BytesSent() != static_cast<std::int64_t>(Data.size()))
        std::fprintf(stderr, "SendStream: sent %lld of %zu\n", static_cast<long long>(Session.BytesSent()), Data.size());
    Session.Disconnect();
    return MBps(Data.size(), Seconds);
}

// Processor share of one core while ReadLn waits for a line that never comes.
double IdleWaitCpu(int Milliseconds)
{
    std::uint16_t Port = 0;
    const int Listener = Listen(Port);
    TSocketSession Session;
    Session.Host = "127.0.0.1";
    Session.Port = Port;
    Session.Connect();
    const int Conn = ::accept4(Listener, nullptr, nullptr, SOCK_CLOEXEC);
    Session.IdleTimeOut = Milliseconds;
    const double Cpu0 = CpuSeconds();
    QElapsedTimer Clock;
    Clock.start();
    try {
        Session.ReadLn();
    } catch (const ESockError&) {
    }
    const double Wall = static_cast<double>(Clock.nsecsElapsed()) / 1e9;
    const double Cpu = CpuSeconds() - Cpu0;
    Session.Disconnect();
    ::close(Conn);
    ::close(Listener);
    return 100.0 * Cpu / Wall;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication App(argc, argv);
    int Runs = 5;
    std::size_t Megabytes = 100;
    std::string Phase = "all";
    std::size_t CompareRecv = 0;
    for (int I = 1; I + 1 < argc; I += 2) {
        const std::string Arg = argv[I];
        if (Arg == "--runs")
            Runs = std::max(1, std::atoi(argv[I + 1]));
        else if (Arg == "--mb")
            Megabytes = static_cast<std::size_t>(std::max(1, std::atoi(argv[I + 1])));
        else if (Arg == "--phase")
            Phase = argv[I + 1];
        else if (Arg == "--cap")
            TSocketSession::SetReadAheadCap(static_cast<std::size_t>(std::atol(argv[I + 1])));
        else if (Arg == "--recv")
            TSocketSession::SetReceiveSize(static_cast<std::size_t>(std::atol(argv[I + 1])));
        else if (Arg == "--compare-recv")
            CompareRecv = static_cast<std::size_t>(std::atol(argv[I + 1]));
    }
    const std::size_t Lines = Megabytes * 1000 * 1000 / LineLength;

    LineServer Lines_(Lines);
    SinkServer Sink;
    LatenessProbe Probe;
    std::printf("Session layer benchmark: %zu lines of 76 characters + CR LF (%.1f MB), %d runs, "
                "read-ahead cap %zu bytes, receives of up to %zu bytes\n",
                Lines, static_cast<double>(Lines_.Total()) / 1e6, Runs, TSocketSession::ReadAheadCap(),
                TSocketSession::ReceiveSize());

    // Reading first, before the 100 MB send buffer exists, so the peak below is the reader's.
    // Each run measures the raw loops and the session back to back; ratios are taken per run.
    const long BaseRss = StatusKiB("VmRSS:");
    const bool PeakReset = ResetPeak();
    constexpr std::size_t Big = 64 * 1024, Chunk = TSocketSession::ChunkSize;
    std::vector<double> Raw64, Raw16, Bare, BareRatio64, ReadLn, ReadRatio64, ReadRatio16, ReadRatioBare, ReadLate, ReadAlt,
        AltRatio64;
    for (int R = 0; R < Runs && Phase != "send"; ++R) {
        if (Phase != "readln") {
            Raw64.push_back(RawRecv(Lines_, Big));
            Raw16.push_back(RawRecv(Lines_, Chunk));
            Bare.push_back(BareLines(Lines_));
            BareRatio64.push_back(Bare.back() / Raw64.back());
        }
        ReadLn.push_back(SessionReadLn(Lines_, Lines, Probe));
        ReadLate.push_back(Probe.MaxLateMs);
        if (CompareRecv != 0) {
            const std::size_t Default = TSocketSession::ReceiveSize();
            TSocketSession::SetReceiveSize(CompareRecv);
            ReadAlt.push_back(SessionReadLn(Lines_, Lines, Probe));
            TSocketSession::SetReceiveSize(Default);
            if (!Raw64.empty())
                AltRatio64.push_back(ReadAlt.back() / Raw64.back());
        }
        if (Phase != "readln") {
            ReadRatio64.push_back(ReadLn.back() / Raw64.back());
            ReadRatio16.push_back(ReadLn.back() / Raw16.back());
            ReadRatioBare.push_back(ReadLn.back() / Bare.back());
        }
    }
    const long PeakRss = StatusKiB("VmHWM:");
    if (Phase == "readln") {
        std::printf("ReadLn %.1f MB/s", Median(ReadLn));
        if (CompareRecv != 0)
            std::printf(", with %zu-byte receives %.1f MB/s", CompareRecv, Median(ReadAlt));
        std::printf("\n");
        return 0;
    }

    const std::string Data(Lines_.Total(), 'x');
    std::vector<double> Out64, Out16, Stream, SendRatio64, SendRatio16, SendLate;
    for (int R = 0; R < Runs; ++R) {
        if (Phase != "sendstream") {
            Out64.push_back(RawSend(Sink, Data, Big));
            Out16.push_back(RawSend(Sink, Data, Chunk));
        }
        Stream.push_back(SessionSendStream(Sink, Data, Probe));
        SendLate.push_back(Probe.MaxLateMs);
        if (Phase != "sendstream") {
            SendRatio64.push_back(Stream.back() / Out64.back());
            SendRatio16.push_back(Stream.back() / Out16.back());
        }
    }
    if (Phase == "sendstream") {
        std::printf("SendStream %.1f MB/s\n", Median(Stream));
        return 0;
    }
    // Let the sink finish draining what the last send left in the socket before measuring idle.
    QThread::msleep(300);
    const double Idle = IdleWaitCpu(3000);

    std::printf("\n%-40s %9s\n", "measure (median of runs)", "value");
    std::printf("%-40s %9.1f MB/s\n", "raw blocking recv loop, 64 KiB buffer", Median(Raw64));
    std::printf("%-40s %9.1f MB/s\n", "raw blocking recv loop, 16383-byte recv", Median(Raw16));
    std::printf("%-40s %9.1f MB/s\n", "bare line loop, a string per line", Median(Bare));
    std::printf("%-40s %9.2f\n", "  ratio bare line loop / raw 64 KiB", Median(BareRatio64));
    std::printf("%-40s %9.1f MB/s  (target >= 150)\n", "TSocketSession::ReadLn", Median(ReadLn));
    std::printf("%-40s %9.2f       (target >= 0.5)\n", "  ratio ReadLn / raw 64 KiB", Median(ReadRatio64));
    std::printf("%-40s %9.2f\n", "  ratio ReadLn / raw 16383", Median(ReadRatio16));
    std::printf("%-40s %9.2f\n", "  ratio ReadLn / bare line loop", Median(ReadRatioBare));
    if (CompareRecv != 0) {
        const std::string Name = "ReadLn, " + std::to_string(CompareRecv) + "-byte receives";
        std::printf("%-40s %9.1f MB/s\n", Name.c_str(), Median(ReadAlt));
        std::printf("%-40s %9.2f\n", "  ratio to raw 64 KiB", Median(AltRatio64));
    }
    std::printf("%-40s %9.1f MB/s\n", "raw blocking send loop, 64 KiB chunks", Median(Out64));
    std::printf("%-40s %9.1f MB/s\n", "raw blocking send loop, 16383-byte send", Median(Out16));
    std::printf("%-40s %9.1f MB/s\n", "TSocketSession::SendStream", Median(Stream));
    std::printf("%-40s %9.2f       (target >= 0.5)\n", "  ratio SendStream / raw 64 KiB", Median(SendRatio64));
    std::printf("%-40s %9.2f\n", "  ratio SendStream / raw 16383", Median(SendRatio16));
    std::printf("%-40s %9.1f MiB   (process before reading %.1f MiB; %s; target < 32)\n", "peak RSS while reading",
                static_cast<double>(PeakRss) / 1024, static_cast<double>(BaseRss) / 1024,
                PeakReset ? "peak reset before reading" : "peak since process start");
    std::printf("%-40s %9.1f ms    (worst run, target <= 50)\n", "10 ms QTimer lateness during ReadLn",
                *std::max_element(ReadLate.begin(), ReadLate.end()));
    std::printf("%-40s %9.1f ms    (worst run, target <= 50)\n", "10 ms QTimer lateness during SendStream",
                *std::max_element(SendLate.begin(), SendLate.end()));
    std::printf("%-40s %9.2f %%     (of one core, target <= 2)\n", "CPU of a ReadLn wait, nothing arriving", Idle);
    auto Row = [](const char* Name, const std::vector<double>& V) {
        std::printf("  %-22s", Name);
        for (double X : V)
            std::printf(" %7.0f", X);
        std::printf("\n");
    };
    std::printf("\nevery run (MB/s):\n");
    Row("raw recv 64 KiB", Raw64);
    Row("raw recv 16383", Raw16);
    Row("bare line loop", Bare);
    Row("ReadLn", ReadLn);
    if (CompareRecv != 0)
        Row("ReadLn, compared", ReadAlt);
    Row("raw send 64 KiB", Out64);
    Row("raw send 16383", Out16);
    Row("SendStream", Stream);
    return 0;
}
