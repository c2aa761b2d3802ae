// ScriptedServer: an in-process TCP server on 127.0.0.1 that plays a wire transcript in a thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// A listening socket on 127.0.0.1, port 0, served by its own thread. The test adds the steps of
// a transcript (what the server sends, which client lines it expects, pauses, closing), then
// start()s it. Everything the client sends is recorded byte for byte. When the steps are done the
// server stays silent and keeps recording until the client closes the connection.
//
//   ScriptedServer Server;
//   Server.reply("+OK ready").expect("STAT").reply("+OK 3 5120").start();
//   ... client connects to Server.host():Server.port() ...
//   ASSERT_TRUE(Server.waitFinished());
//   EXPECT_EQ(Server.received(), "STAT\r\nQUIT\r\n");
//   EXPECT_TRUE(Server.failures().empty());
class ScriptedServer {
public:
    enum class Mode {
        Accept,       // accepts the client and plays the script
        NeverAccept,  // the listen queue is kept full: a client's connect never completes
    };

    explicit ScriptedServer(Mode AMode = Mode::Accept);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::string host() const { return "127.0.0.1"; }
    std::uint16_t port() const { return Port; }

    // ---- Steps (add before start) ----
    ScriptedServer& send(const std::string& Bytes);   // sends the bytes as they are
    ScriptedServer& reply(const std::string& Line);   // sends Line followed by CR LF
    // Reads one client line (up to LF) and compares it with Line + CR LF; a difference is
    // recorded in failures().
    ScriptedServer& expect(const std::string& Line);
    ScriptedServer& readBytes(std::size_t Count);      // reads exactly Count bytes
    ScriptedServer& readUntil(const std::string& Terminator);  // reads up to and including Terminator
    ScriptedServer& pause(int Milliseconds);
    ScriptedServer& waitRelease();                     // blocks until release() is called
    ScriptedServer& close();      // ends its side (FIN), then records until the client closes
    ScriptedServer& reset();      // drops the connection at once (RST)
    ScriptedServer& acceptNext(); // the current connection ends; the next client is accepted

    ScriptedServer& start();

    // Opens the gate of a waitRelease step (may be called before the step is reached).
    void release();
    // Waits until the script has ended and the client has closed (or the wait limit passed).
    bool waitFinished(int TimeoutMs = 20000);
    // Waits until at least Count bytes were received in all.
    bool waitReceived(std::size_t Count, int TimeoutMs = 20000);

    std::string received() const;                          // all connections, in order
    std::vector<std::string> receivedPerConnection() const;
    std::vector<std::string> failures() const;
    int connections() const;

private:
    enum class Kind { Send, Expect, ReadBytes, ReadUntil, Pause, WaitRelease, Close, Reset, AcceptNext };
    struct Step {
        Kind What;
        std::string Data;
        std::size_t Count = 0;
    };

    void Run();
    bool AcceptClient(int& Conn);
    // Reads more bytes from Conn into Pending (and the record); false on end of stream, error,
    // stop or the read limit.
    bool ReadMore(int Conn, int TimeoutMs);
    void DrainUntilClosed(int Conn);
    void Fail(const std::string& What);

    Mode ServerMode;
    int Listener = -1;
    std::vector<int> Fillers;
    int StopPipe[2] = {-1, -1};
    std::uint16_t Port = 0;
    std::vector<Step> Steps;
    std::thread Thread;

    mutable std::mutex Lock;
    std::condition_variable Changed;
    std::vector<std::string> Received;
    std::vector<std::string> Failures;
    std::string Pending;   // bytes read but not yet consumed by a step (server thread only)
    bool Released = false;
    bool Finished = false;
    bool Stopping = false;
    std::size_t TotalReceived = 0;
};

} // namespace testsupport
