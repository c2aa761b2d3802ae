// THostLookup: getaddrinfo on a thread, its answer signalled through an event descriptor that the
// owner's event loop watches. The thread and the lookup share only that descriptor and the answer,
// so neither outlives what it touches.
#include "net/HostLookup.h"

#include "net/SockErrors.h"

#include <QSocketNotifier>
#include <QUrl>

#include <algorithm>
#include <arpa/inet.h>
#include <mutex>
#include <netdb.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

struct THostLookup::TShared {
    int Fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::mutex Lock;
    std::vector<std::string> Addresses;
    std::uint16_t Error = 0;
    ~TShared()
    {
        if (Fd >= 0)
            ::close(Fd);
    }
};

namespace {

// The resolver's answer for Name, as THostLookup gives it.
void Resolve(const std::string& Name, std::vector<std::string>& Addresses, std::uint16_t& Error)
{
    addrinfo Hints{};
    Hints.ai_family = AF_UNSPEC;
    Hints.ai_socktype = SOCK_STREAM;
    Hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* List = nullptr;
    const int Rc = Name.empty() ? EAI_NONAME : ::getaddrinfo(Name.c_str(), nullptr, &Hints, &List);
    if (Rc != 0) {
        Error = Rc == EAI_NONAME || Rc == EAI_FAIL || Rc == EAI_NODATA ? sockerrors::HostNotFound
                                                                       : sockerrors::NoRecovery;
        return;
    }
    for (const addrinfo* A = List; A != nullptr; A = A->ai_next) {
        char Text[INET6_ADDRSTRLEN] = {};
        if (A->ai_family == AF_INET) {
            const in_addr& V4 = reinterpret_cast<const sockaddr_in*>(A->ai_addr)->sin_addr;
            if (V4.s_addr == 0)
                continue;
            ::inet_ntop(AF_INET, &V4, Text, sizeof Text);
        } else if (A->ai_family == AF_INET6) {
            ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(A->ai_addr)->sin6_addr, Text, sizeof Text);
        } else {
            continue;
        }
        // The same address comes once for each socket type the resolver knows of.
        if (std::find(Addresses.begin(), Addresses.end(), Text) == Addresses.end())
            Addresses.emplace_back(Text);
    }
    ::freeaddrinfo(List);
    if (Addresses.empty())
        Error = sockerrors::NoData;
}

} // namespace

THostLookup::THostLookup(const std::string& Name, TDone Done, QObject* Owner)
    : QObject(Owner), FShared(std::make_shared<TShared>()), FDone(std::move(Done))
{
    if (FShared->Fd < 0) {
        // No descriptor to wait on: answered as a failed lookup, through the event loop all the same.
        QMetaObject::invokeMethod(this, [this] { FDone({}, sockerrors::NoRecovery); }, Qt::QueuedConnection);
        return;
    }
    FNotifier = new QSocketNotifier(FShared->Fd, QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, [this] {
        FNotifier->setEnabled(false);
        std::vector<std::string> Addresses;
        std::uint16_t Error = 0;
        {
            const std::lock_guard<std::mutex> Guard(FShared->Lock);
            Addresses = std::move(FShared->Addresses);
            Error = FShared->Error;
        }
        FDone(std::move(Addresses), Error);
    });
    const std::string Ace = QUrl::toAce(QString::fromStdString(Name)).toStdString();
    std::thread([Shared = FShared, Ace] {
        std::vector<std::string> Addresses;
        std::uint16_t Error = 0;
        Resolve(Ace, Addresses, Error);
        {
            const std::lock_guard<std::mutex> Guard(Shared->Lock);
            Shared->Addresses = std::move(Addresses);
            Shared->Error = Error;
        }
        const std::uint64_t One = 1;
        [[maybe_unused]] const ssize_t Written = ::write(Shared->Fd, &One, sizeof One);
    }).detach();
}

THostLookup::~THostLookup()
{
    // The notifier goes before the descriptor it watches can be closed.
    delete FNotifier;
}
