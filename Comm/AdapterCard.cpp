#include "AdapterCard.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "ProcNet.h"
#include "UniqueFd.h"

namespace {

struct IfAddrsFree {
    void operator()(ifaddrs* list) const noexcept { freeifaddrs(list); }
};
using IfAddrsPtr = std::unique_ptr<ifaddrs, IfAddrsFree>;

IfAddrsPtr ReadInterfaceList() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return IfAddrsPtr();
    return IfAddrsPtr(list);
}

// The first usable interface with an address of the family, in kernel order.
bool FindFirstInterface(ifaddrs* list, int family, CAutoString& name) {
    for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || !entry->ifa_name) continue;
        if (entry->ifa_addr->sa_family != family) continue;
        if (CAdapterCard::IsExcludedName(entry->ifa_name)) continue;
        name = entry->ifa_name;
        return true;
    }
    return false;
}

// Diagnostic trace in the form "[file,function,line]:message".
#define ADAPTER_TRACE(...) Trace(__FILE__, __func__, __LINE__, __VA_ARGS__)

void Trace(const char* file, const char* function, int line, const char* format, const char* value)
    __attribute__((format(printf, 4, 0)));

void Trace(const char* file, const char* function, int line, const char* format, const char* value) {
    const char* base = strrchr(file, '/');
    char where[256];
    snprintf(where, sizeof(where), "%s,%d", function, line);
    char message[1200];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    snprintf(message, sizeof(message), format, value);
#pragma GCC diagnostic pop
    fprintf(stderr, "[%s,%s]:%s", base ? base + 1 : file, where, message);
}

}  // namespace

bool CAdapterCard::IsExcludedName(const char* name) {
    if (!name) return true;
    // "virbr0-nic" contains "virbr0", so one test covers both bridges.
    return strcmp(name, "lo") == 0 || strstr(name, "virbr0") != nullptr;
}

int CAdapterCard::GetActiveCardName(CAutoString& name) {
    IfAddrsPtr list = ReadInterfaceList();
    if (!list) return -1;
    if (!FindFirstInterface(list.get(), AF_INET, name)) {
        printf("No active IPv4 interface found.\n");
        return -1;
    }
    list.reset();
    return HasIPv4Route(name.GetBuffer()) == 1 ? 0 : -1;
}

int CAdapterCard::GetActiveInterfaceNameIPv6(CAutoString& name) {
    IfAddrsPtr list = ReadInterfaceList();
    if (!list) {
        perror("getifaddrs");
        return -1;
    }
    if (!FindFirstInterface(list.get(), AF_INET6, name)) {
        printf("No active IPv6 interface found.\n");
        return -1;
    }
    list.reset();
    // A table that cannot be read says nothing against the interface.
    return HasIPv6Route(name.GetBuffer()) == 0 ? -1 : 0;
}

int CAdapterCard::GetIpAndMac(const CAutoString& name, CAutoString& ip, CAutoString& mac) {
    CUniqueFd sock(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (sock.Get() < 0) {
        printf("%s:%d Open socket error!\n", __FILE__, __LINE__);
        return -1;
    }
    struct ifreq request;
    memset(&request, 0, sizeof(request));
    strncpy(request.ifr_name, name.GetBuffer(), IFNAMSIZ - 1);
    if (ioctl(sock.Get(), SIOCGIFHWADDR, &request) != 0) {
        printf("SIOCGIFHWADDR IOCTL error!\n");
        return -1;
    }
    const unsigned char* hw = reinterpret_cast<const unsigned char*>(request.ifr_hwaddr.sa_data);
    CAutoString text;
    text.Format("%02x-%02x-%02x-%02x-%02x-%02x", hw[0], hw[1], hw[2], hw[3], hw[4], hw[5]);
    mac = text;
    request.ifr_addr.sa_family = AF_INET;
    if (ioctl(sock.Get(), SIOCGIFADDR, &request) != 0) {
        printf("SIOCGIFADDR IOCTL error!\n");
        return -1;
    }
    struct sockaddr_in address;
    memcpy(&address, &request.ifr_addr, sizeof(address));
    char dotted[INET_ADDRSTRLEN] = {0};
    if (!inet_ntop(AF_INET, &address.sin_addr, dotted, sizeof(dotted))) return -1;
    ip = dotted;
    return 0;
}

CAdapterCard::EIPv6Class CAdapterCard::ClassifyIPv6(const unsigned char bytes[16]) {
    static const unsigned char kZero[16] = {0};
    if (bytes[0] == 0xff) return IPV6_MULTICAST;
    if (bytes[0] == 0xfe && (bytes[1] & 0xc0) == 0x80) return IPV6_LINK_LOCAL;
    bool firstTwelveZero = memcmp(bytes, kZero, 12) == 0;
    unsigned long last = (static_cast<unsigned long>(bytes[12]) << 24) |
                         (static_cast<unsigned long>(bytes[13]) << 16) |
                         (static_cast<unsigned long>(bytes[14]) << 8) | bytes[15];
    if (firstTwelveZero && last == 1) return IPV6_LOOPBACK;
    if (firstTwelveZero && last == 0) return IPV6_UNSPECIFIED;
    if (bytes[0] == 0xfe && (bytes[1] & 0xc0) == 0xc0) return IPV6_SITE_LOCAL;
    if (memcmp(bytes, kZero, 10) == 0 && bytes[10] == 0xff && bytes[11] == 0xff) return IPV6_V4_MAPPED;
    if (firstTwelveZero && last > 1) return IPV6_V4_COMPATIBLE;
    return IPV6_GLOBAL;
}

int CAdapterCard::GetIPAddress(int /*family*/, const CAutoString& name, CAutoString& ipv6) {
    IfAddrsPtr list = ReadInterfaceList();
    if (!list) {
        perror("getifaddrs");
        return -1;
    }
    static const char* const kTraces[] = {
        "IPv6 Multicast address: %s\n",
        "IPv6 Unicast link-local address: %s\n",
        "IPv6 Loopback address: %s\n",
        "IPv6 Unspecified address: %s\n",
        "IPv6 Unicast site-local  address: %s\n",
        "IPv6 IPv4 mapped address: %s\n",
        "IPv6 IPv4-compatible address: %s\n",
        "IPv6 address: %s\n",
    };
    for (ifaddrs* entry = list.get(); entry; entry = entry->ifa_next) {
        if (!entry->ifa_name) continue;
        ADAPTER_TRACE("Interface name: %s\n", entry->ifa_name);
        if (strcasecmp(entry->ifa_name, name.GetBuffer()) != 0) continue;
        if (!entry->ifa_addr || !(entry->ifa_flags & IFF_UP)) continue;
        int family = entry->ifa_addr->sa_family;
        if (family != AF_INET && family != AF_INET6) continue;
        char text[1025] = {0};
        socklen_t length = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
        if (getnameinfo(entry->ifa_addr, length, text, sizeof(text), nullptr, 0, NI_NUMERICHOST) != 0)
            continue;
        if (family == AF_INET) {
            ADAPTER_TRACE("IPv4 Address: %s\n", text);
            continue;
        }
        const sockaddr_in6* address = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
        EIPv6Class kind = ClassifyIPv6(address->sin6_addr.s6_addr);
        ADAPTER_TRACE(kTraces[kind], text);
        if (kind == IPV6_GLOBAL) ipv6 = text;
    }
    return 0;
}

int CAdapterCard::GetSystemInfo(const CAutoString& key, CAutoString& value) {
    struct utsname info;
    if (uname(&info) != 0) {
        perror("uname");
        return -1;
    }
    if (key == "sysname")
        value = info.sysname;
    else if (key == "nodename")
        value = info.nodename;
    else if (key == "release")
        value = info.release;
    else if (key == "version")
        value = info.version;
    else if (key == "machine")
        value = info.machine;
    return 0;
}

int CAdapterCard::GetHostName(CAutoString& name) {
    char buffer[100] = {0};
    if (gethostname(buffer, sizeof(buffer) - 1) != 0) {
        perror("gethostname");
        return -1;
    }
    name = buffer;
    return 0;
}

unsigned long CAdapterCard::IpString2Ulong(const CAutoString& ip) {
    return static_cast<unsigned long>(inet_addr(ip.GetBuffer()));
}

int CAdapterCard::HasIPv4Route(const char* name) const {
    // "Iface Destination Gateway ..."; the header names no interface.
    return ProcNet::TableHasInterface(m_files.route.GetBuffer(), name, 0);
}

int CAdapterCard::HasIPv6Route(const char* name) const {
    // The device is the last of ten columns.
    return ProcNet::TableHasInterface(m_files.ipv6Route.GetBuffer(), name, -1);
}
