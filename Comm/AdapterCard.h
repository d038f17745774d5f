// CAdapterCard: finds the interface that carries the host's traffic, its
// IPv4/IPv6 address and MAC, from the kernel's interface list, interface
// requests and the routing tables under /proc. It keeps no state between
// calls beyond the paths of the files it reads, so any thread may use its own
// instance. Results: 0 on success, -1 on failure, unless said otherwise.
#pragma once

#include "AutoString.h"

class CAdapterCard {
public:
    // Where the kernel's tables are read; tests point these at sample files.
    struct ProcFiles {
        CAutoString route = "/proc/net/route";
        CAutoString ipv6Route = "/proc/net/ipv6_route";
    };

    // The classes of an IPv6 address, tested in this order; only Global is
    // ever reported as the interface's address.
    enum EIPv6Class {
        IPV6_MULTICAST,
        IPV6_LINK_LOCAL,
        IPV6_LOOPBACK,
        IPV6_UNSPECIFIED,
        IPV6_SITE_LOCAL,
        IPV6_V4_MAPPED,
        IPV6_V4_COMPATIBLE,
        IPV6_GLOBAL,
    };

    CAdapterCard() = default;
    explicit CAdapterCard(const ProcFiles& files) : m_files(files) {}

    int InitAdapterCard() { return 0; }

    // The first interface with an IPv4 address that is not "lo" or a
    // virtual-machine bridge. 0 when it also has a line in the route table;
    // -1 otherwise (name then still holds it when one was found).
    int GetActiveCardName(CAutoString& name);
    // The same for IPv6; an unreadable IPv6 route table counts as a route.
    int GetActiveInterfaceNameIPv6(CAutoString& name);
    // MAC ("00-1a-2b-3c-4d-5e") and IPv4 address of the interface. When the
    // interface has no IPv4 address the result is -1 with mac already set.
    int GetIpAndMac(const CAutoString& name, CAutoString& ip, CAutoString& mac);
    // The last global IPv6 address of the interface (name matched ignoring
    // case, interface up). Finding none is no error: ipv6 stays unchanged.
    // -1 only when the interface list cannot be read. family is not consulted.
    int GetIPAddress(int family, const CAutoString& name, CAutoString& ipv6);
    // uname field "sysname", "nodename", "release", "version" or "machine";
    // other keys leave value unchanged and give 0.
    int GetSystemInfo(const CAutoString& key, CAutoString& value);
    int GetHostName(CAutoString& name);
    // Network byte order; all ones for invalid text.
    unsigned long IpString2Ulong(const CAutoString& ip);

    // 1 when the table has a route through the interface (name compared
    // exactly), 0 when not, -1 when the table cannot be read.
    int HasIPv4Route(const char* name) const;
    int HasIPv6Route(const char* name) const;

    // Interfaces never chosen: exactly "lo", or containing "virbr0".
    static bool IsExcludedName(const char* name);
    static EIPv6Class ClassifyIPv6(const unsigned char bytes[16]);

private:
    ProcFiles m_files;
};
