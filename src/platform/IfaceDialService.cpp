// The dial service for machines without NetworkManager: the up network interfaces, always connected.
#include "platform/IfaceDialService.h"

// <net/if.h> before the kernel headers, which then leave out what it already declares.
#include <net/if.h>

#include <algorithm>
#include <cstring>
#include <ifaddrs.h>
#include <linux/if_arp.h>
#include <linux/if_packet.h>
#include <linux/wireless.h>
#include <map>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool isWireless(const QByteArray& name)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    iwreq req;
    std::memset(&req, 0, sizeof req);
    std::strncpy(req.ifr_name, name.constData(), IFNAMSIZ - 1);
    const bool wireless = ::ioctl(fd, SIOCGIWNAME, &req) == 0;
    ::close(fd);
    return wireless;
}

QString typeName(unsigned short hardwareType, const QByteArray& name)
{
    switch (hardwareType) {
    case ARPHRD_ETHER: return isWireless(name) ? QStringLiteral("wifi") : QStringLiteral("ethernet");
    case ARPHRD_PPP: return QStringLiteral("ppp");
    case ARPHRD_NONE: return QStringLiteral("tun");
    case ARPHRD_TUNNEL:
    case ARPHRD_TUNNEL6:
    case ARPHRD_SIT:
    case ARPHRD_IPGRE: return QStringLiteral("tunnel");
    case ARPHRD_INFINIBAND: return QStringLiteral("infiniband");
    default: return QStringLiteral("other");
    }
}

} // namespace

bool IfaceDialService::upInterfaces(std::vector<Interface>& out)
{
    out.clear();
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return false;
    std::map<QString, Interface> found;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        // One AF_PACKET record per link carries its index and hardware type; the address
        // records of the same link repeat the flags.
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_PACKET)
            continue;
        const unsigned flags = a->ifa_flags;
        if ((flags & IFF_LOOPBACK) || !(flags & IFF_UP) || !(flags & IFF_RUNNING))
            continue;
        const auto* link = reinterpret_cast<const sockaddr_ll*>(a->ifa_addr);
        const QByteArray raw(a->ifa_name);
        Interface i;
        i.name = QString::fromLocal8Bit(raw);
        i.index = uint32_t(link->sll_ifindex);
        i.type = typeName(link->sll_hatype, raw);
        found[i.name] = i;
    }
    ::freeifaddrs(list);
    for (auto& [name, i] : found)
        out.push_back(i);
    return true;
}

bool IfaceDialService::exists(const QString& entry)
{
    std::vector<Interface> up;
    upInterfaces(up);
    return std::any_of(up.begin(), up.end(), [&](const Interface& i) { return i.name == entry; });
}

uint32_t IfaceDialService::listEntries(QStringList& names)
{
    names.clear();
    std::vector<Interface> up;
    if (!upInterfaces(up))
        return DialError::ServiceUnavailable;
    for (const Interface& i : up)
        names << i.name;
    return DialError::Success;
}

uint32_t IfaceDialService::getDialParams(const QString& entry, DialParams& params)
{
    if (!exists(entry))
        return DialError::EntryNotFound;
    params = DialParams{};
    params.EntryName = entry;
    return DialError::Success;
}

uint32_t IfaceDialService::setUserName(const QString&, const QString&) { return DialError::NotSupported; }
uint32_t IfaceDialService::setPassword(const QString&, const QString&) { return DialError::NotSupported; }

uint32_t IfaceDialService::dial(const DialParams&, uint32_t& handle, const Progress&)
{
    handle = 0;
    return DialError::NotSupported;
}

uint32_t IfaceDialService::dialAsync(const DialParams&, uint32_t& handle, Notifier)
{
    handle = 0;
    return DialError::NotSupported;
}

uint32_t IfaceDialService::hangUp(uint32_t handle)
{
    std::vector<Interface> up;
    upInterfaces(up);
    const bool known = std::any_of(up.begin(), up.end(), [&](const Interface& i) { return i.index == handle; });
    return known ? DialError::NotSupported : DialError::InvalidHandle;
}

uint32_t IfaceDialService::listConnections(std::vector<ActiveConnection>& connections)
{
    connections.clear();
    std::vector<Interface> up;
    if (!upInterfaces(up))
        return DialError::ServiceUnavailable;
    for (const Interface& i : up) {
        ActiveConnection c;
        c.Handle = i.index;
        c.State = DialState::Connected;
        c.EntryName = i.name;
        c.DeviceType = i.type;
        c.DeviceName = i.name;
        connections.push_back(c);
    }
    return DialError::Success;
}

uint32_t IfaceDialService::createEntryDialog() { return DialError::NotSupported; }
uint32_t IfaceDialService::editEntryDialog(const QString&) { return DialError::NotSupported; }
uint32_t IfaceDialService::renameEntry(const QString&, const QString&) { return DialError::NotSupported; }
uint32_t IfaceDialService::deleteEntry(const QString&) { return DialError::NotSupported; }

QString IfaceDialService::errorText(uint32_t code)
{
    if (code == DialError::NotSupported)
        return textLanguage() == DialTextLanguage::French
            ? QString::fromUtf8("Sans NetworkManager, les interfaces réseau sont toujours connectées : "
                                "opération impossible.")
            : QStringLiteral("Without NetworkManager, network interfaces are always connected: "
                             "operation refused.");
    return DialService::errorText(code);
}
