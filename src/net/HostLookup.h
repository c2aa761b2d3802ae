// THostLookup: one host name looked up by the system's resolver on a thread of its own.
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

// The answer (the addresses as text, IPv4 dotted, IPv6 as RFC 5952 writes them, in the resolver's
// order; or a sockerrors code) comes back through the owner's event loop. Destroying the lookup
// abandons it: the thread finishes alone, and its answer goes nowhere. International names are
// looked up in their ASCII form.
class THostLookup : public QObject {
public:
    using TDone = std::function<void(std::vector<std::string> Addresses, std::uint16_t Error)>;

    THostLookup(const std::string& Name, TDone Done, QObject* Owner = nullptr);
    ~THostLookup() override;

private:
    struct TShared;
    std::shared_ptr<TShared> FShared;
    QSocketNotifier* FNotifier = nullptr;
    TDone FDone;
};
