// Fuzz target: the replies of a POP3 or SMTP server (the first byte chooses which session)
// sent by a loopback server, which then closes; the session goes through its usual steps and
// must end each with a result or an error.
#include "FuzzSupport.h"
#include "mail/KTpop3.h"
#include "mail/KTsmtp.h"

#include <arpa/inet.h>
#include <cstdint>
#include <exception>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace {

int Listener(int& Port)
{
    static int fd = -1, port = 0;
    if (fd < 0) {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || listen(fd, 4) != 0
            || getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            abort();
        port = ntohs(a.sin_port);
    }
    Port = port;
    return fd;
}

// Accepts one client, sends Replies, stops sending and reads until the client closes.
void Serve(int ListenFd, std::string Replies)
{
    const int c = accept(ListenFd, nullptr, nullptr);
    if (c < 0)
        return;
    std::size_t sent = 0;
    while (sent < Replies.size()) {
        const ssize_t n = send(c, Replies.data() + sent, Replies.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += std::size_t(n);
    }
    shutdown(c, SHUT_WR);
    char sink[4096];
    while (recv(c, sink, sizeof sink, 0) > 0) {
    }
    close(c);
}

template <typename F>
void Step(F Action)
{
    try {
        Action();
    } catch (const std::exception&) {
        // Every failure of a step is an exception with a text for the user.
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::StartApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    if (Size == 0)
        return 0;
    int port = 0;
    const int listenFd = Listener(port);
    std::thread server(Serve, listenFd, std::string(reinterpret_cast<const char*>(Data) + 1, Size - 1));
    if (Data[0] & 1) {
        TKTSMTP smtp;
        smtp.Host = "127.0.0.1";
        smtp.Port = port;
        smtp.IdleTimeOut = 2000;
        smtp.PostMessage.FromAddress = "a@x.fr";
        smtp.PostMessage.ToAddress = {"b@y.fr"};
        smtp.PostMessage.Subject = "s";
        smtp.PostMessage.Body = {"corps"};
        Step([&] { smtp.Connect(); });
        Step([&] { smtp.Send(); });
        Step([&] { smtp.Disconnect(); });
    } else {
        TKTPOP3 pop;
        pop.Host = "127.0.0.1";
        pop.Port = port;
        pop.IdleTimeOut = 2000;
        pop.UserID = "u";
        pop.Password = "p";
        pop.AttachFilePath = fuzzsupport::ScratchFolder();
        Step([&] { pop.Connect(); });
        Step([&] { pop.ReadCapabilities(); });
        Step([&] { pop.RetrieveSummary(1); });
        Step([&] { pop.ListSummaries(1, 3, [](int, const TSummary&) { return true; }); });
        Step([&] {
            std::vector<std::string> ids;
            pop.UIDL(ids);
        });
        Step([&] { pop.RetrieveMessage(1); });
        Step([&] { pop.Disconnect(); });
    }
    server.join();
    fuzzsupport::EmptyScratchFolder();
    return 0;
}
