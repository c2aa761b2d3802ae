// ScriptedServer: an in-process TCP server on 127.0.0.1 that plays a wire transcript in a thread.
#include "ScriptedServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

// Any single blocking step gives up after this long, so a broken test cannot hang.
constexpr int StepLimitMs = 15000;

std::string Printable(const std::string& Text)
{
    std::string Out;
    for (unsigned char C : Text) {
        if (C == '\r')
            Out += "\\r";
        else if (C == '\n')
            Out += "\\n";
        else if (C < 32 || C > 126)
            Out += "\\x" + std::string(1, "0123456789abcdef"[C >> 4]) + "0123456789abcdef"[C & 15];
        else
            Out += static_cast<char>(C);
    }
    return Out;
}

} // namespace

ScriptedServer::ScriptedServer(Mode AMode)
    : ServerMode(AMode)
{
    if (::pipe2(StopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("ScriptedServer: pipe");
    Listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (Listener < 0)
        throw std::runtime_error("ScriptedServer: socket");
    sockaddr_in Address{};
    Address.sin_family = AF_INET;
    Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Address.sin_port = 0;
    if (::bind(Listener, reinterpret_cast<sockaddr*>(&Address), sizeof Address) != 0)
        throw std::runtime_error("ScriptedServer: bind");
    // With a backlog of 0 the kernel queues one connection; one filler that is never accepted
    // keeps the queue full, so further connection attempts get no answer at all.
    if (::listen(Listener, ServerMode == Mode::NeverAccept ? 0 : 16) != 0)
        throw std::runtime_error("ScriptedServer: listen");
    socklen_t Length = sizeof Address;
    ::getsockname(Listener, reinterpret_cast<sockaddr*>(&Address), &Length);
    Port = ntohs(Address.sin_port);
    if (ServerMode == Mode::NeverAccept) {
        for (int I = 0; I < 2; ++I) {
            const int Filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            ::connect(Filler, reinterpret_cast<sockaddr*>(&Address), sizeof Address);
            Fillers.push_back(Filler);
        }
        // Give the fillers' handshakes time to land in the queue before a client tries.
        pollfd P{Fillers[0], POLLOUT, 0};
        ::poll(&P, 1, 1000);
    }
}

ScriptedServer::~ScriptedServer()
{
    {
        std::lock_guard<std::mutex> Guard(Lock);
        Stopping = true;
        Released = true;
    }
    Changed.notify_all();
    const char Byte = 'x';
    [[maybe_unused]] auto Ignored = ::write(StopPipe[1], &Byte, 1);
    if (Thread.joinable())
        Thread.join();
    for (int Filler : Fillers)
        ::close(Filler);
    if (Listener >= 0)
        ::close(Listener);
    ::close(StopPipe[0]);
    ::close(StopPipe[1]);
}

ScriptedServer& ScriptedServer::send(const std::string& Bytes)
{
    Steps.push_back({Kind::Send, Bytes});
    return *this;
}

ScriptedServer& ScriptedServer::reply(const std::string& Line)
{
    return send(Line + "\r\n");
}

ScriptedServer& ScriptedServer::expect(const std::string& Line)
{
    Steps.push_back({Kind::Expect, Line + "\r\n"});
    return *this;
}

ScriptedServer& ScriptedServer::readBytes(std::size_t Count)
{
    Steps.push_back({Kind::ReadBytes, {}, Count});
    return *this;
}

ScriptedServer& ScriptedServer::readUntil(const std::string& Terminator)
{
    Steps.push_back({Kind::ReadUntil, Terminator});
    return *this;
}

ScriptedServer& ScriptedServer::pause(int Milliseconds)
{
    Steps.push_back({Kind::Pause, {}, static_cast<std::size_t>(Milliseconds)});
    return *this;
}

ScriptedServer& ScriptedServer::waitRelease()
{
    Steps.push_back({Kind::WaitRelease, {}, 0});
    return *this;
}

ScriptedServer& ScriptedServer::close()
{
    Steps.push_back({Kind::Close, {}, 0});
    return *this;
}

ScriptedServer& ScriptedServer::reset()
{
    Steps.push_back({Kind::Reset, {}, 0});
    return *this;
}

ScriptedServer& ScriptedServer::acceptNext()
{
    Steps.push_back({Kind::AcceptNext, {}, 0});
    return *this;
}

ScriptedServer& ScriptedServer::start()
{
    Thread = std::thread([this] { Run(); });
    return *this;
}

void ScriptedServer::release()
{
    {
        std::lock_guard<std::mutex> Guard(Lock);
        Released = true;
    }
    Changed.notify_all();
}

bool ScriptedServer::waitFinished(int TimeoutMs)
{
    std::unique_lock<std::mutex> Guard(Lock);
    return Changed.wait_for(Guard, std::chrono::milliseconds(TimeoutMs), [this] { return Finished; });
}

bool ScriptedServer::waitReceived(std::size_t Count, int TimeoutMs)
{
    std::unique_lock<std::mutex> Guard(Lock);
    return Changed.wait_for(Guard, std::chrono::milliseconds(TimeoutMs),
                            [this, Count] { return TotalReceived >= Count || Finished; })
        && TotalReceived >= Count;
}

std::string ScriptedServer::received() const
{
    std::lock_guard<std::mutex> Guard(Lock);
    std::string All;
    for (const std::string& Part : Received)
        All += Part;
    return All;
}

std::vector<std::string> ScriptedServer::receivedPerConnection() const
{
    std::lock_guard<std::mutex> Guard(Lock);
    return Received;
}

std::vector<std::string> ScriptedServer::failures() const
{
    std::lock_guard<std::mutex> Guard(Lock);
    return Failures;
}

int ScriptedServer::connections() const
{
    std::lock_guard<std::mutex> Guard(Lock);
    return static_cast<int>(Received.size());
}

void ScriptedServer::Fail(const std::string& What)
{
    std::lock_guard<std::mutex> Guard(Lock);
    Failures.push_back(What);
}

bool ScriptedServer::AcceptClient(int& Conn)
{
    pollfd P[2] = {{Listener, POLLIN, 0}, {StopPipe[0], POLLIN, 0}};
    if (::poll(P, 2, StepLimitMs) <= 0 || (P[1].revents & POLLIN) || !(P[0].revents & POLLIN)) {
        if (!(P[1].revents & POLLIN))
            Fail("no client connected");
        return false;
    }
    Conn = ::accept4(Listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (Conn < 0) {
        Fail("accept failed");
        return false;
    }
    std::lock_guard<std::mutex> Guard(Lock);
    Received.emplace_back();
    Pending.clear();
    return true;
}

bool ScriptedServer::ReadMore(int Conn, int TimeoutMs)
{
    pollfd P[2] = {{Conn, POLLIN, 0}, {StopPipe[0], POLLIN, 0}};
    const int Ready = ::poll(P, 2, TimeoutMs);
    if (Ready <= 0 || (P[1].revents & POLLIN))
        return false;
    char Buffer[65536];
    const ssize_t N = ::recv(Conn, Buffer, sizeof Buffer, 0);
    if (N <= 0)
        return false;
    Pending.append(Buffer, static_cast<std::size_t>(N));
    {
        std::lock_guard<std::mutex> Guard(Lock);
        Received.back().append(Buffer, static_cast<std::size_t>(N));
        TotalReceived += static_cast<std::size_t>(N);
    }
    Changed.notify_all();
    return true;
}

void ScriptedServer::DrainUntilClosed(int Conn)
{
    while (ReadMore(Conn, 60000)) {
    }
}

void ScriptedServer::Run()
{
    int Conn = -1;
    if (ServerMode == Mode::Accept && AcceptClient(Conn)) {
        bool Alive = true;
        for (const Step& S : Steps) {
            if (!Alive && S.What != Kind::AcceptNext)
                continue;
            switch (S.What) {
            case Kind::Send: {
                std::size_t Done = 0;
                while (Done < S.Data.size()) {
                    const ssize_t N = ::send(Conn, S.Data.data() + Done, S.Data.size() - Done, MSG_NOSIGNAL);
                    if (N <= 0) {
                        Fail("send failed: " + Printable(S.Data.substr(0, 40)));
                        Alive = false;
                        break;
                    }
                    Done += static_cast<std::size_t>(N);
                }
                break;
            }
            case Kind::Expect: {
                std::size_t End;
                while ((End = Pending.find('\n')) == std::string::npos && ReadMore(Conn, StepLimitMs)) {
                }
                if (End == std::string::npos) {
                    Fail("expected " + Printable(S.Data) + ", got " + Printable(Pending) + " and no line end");
                    Alive = false;
                    break;
                }
                const std::string Line = Pending.substr(0, End + 1);
                Pending.erase(0, End + 1);
                if (Line != S.Data)
                    Fail("expected " + Printable(S.Data) + ", got " + Printable(Line));
                break;
            }
            case Kind::ReadBytes:
                while (Pending.size() < S.Count && ReadMore(Conn, StepLimitMs)) {
                }
                if (Pending.size() < S.Count) {
                    Fail("expected " + std::to_string(S.Count) + " bytes, got " + std::to_string(Pending.size()));
                    Alive = false;
                }
                Pending.erase(0, std::min(S.Count, Pending.size()));
                break;
            case Kind::ReadUntil: {
                std::size_t At;
                while ((At = Pending.find(S.Data)) == std::string::npos && ReadMore(Conn, StepLimitMs)) {
                }
                if (At == std::string::npos) {
                    Fail("expected data ending with " + Printable(S.Data));
                    Alive = false;
                    break;
                }
                Pending.erase(0, At + S.Data.size());
                break;
            }
            case Kind::Pause: {
                pollfd P{StopPipe[0], POLLIN, 0};
                ::poll(&P, 1, static_cast<int>(S.Count));
                break;
            }
            case Kind::WaitRelease: {
                std::unique_lock<std::mutex> Guard(Lock);
                Changed.wait(Guard, [this] { return Released; });
                Released = false;
                break;
            }
            case Kind::Close:
                ::shutdown(Conn, SHUT_WR);
                DrainUntilClosed(Conn);
                ::close(Conn);
                Conn = -1;
                Alive = false;
                break;
            case Kind::Reset: {
                const linger Option{1, 0};
                ::setsockopt(Conn, SOL_SOCKET, SO_LINGER, &Option, sizeof Option);
                ::close(Conn);
                Conn = -1;
                Alive = false;
                break;
            }
            case Kind::AcceptNext:
                if (Conn >= 0) {
                    DrainUntilClosed(Conn);
                    ::close(Conn);
                    Conn = -1;
                }
                Alive = AcceptClient(Conn);
                break;
            }
            {
                std::lock_guard<std::mutex> Guard(Lock);
                if (Stopping)
                    break;
            }
        }
        if (Conn >= 0) {
            DrainUntilClosed(Conn);
            ::close(Conn);
        }
    } else if (ServerMode == Mode::NeverAccept) {
        pollfd P{StopPipe[0], POLLIN, 0};
        ::poll(&P, 1, -1);
    }
    {
        std::lock_guard<std::mutex> Guard(Lock);
        Finished = true;
    }
    Changed.notify_all();
}

} // namespace testsupport
