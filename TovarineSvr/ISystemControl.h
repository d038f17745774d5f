// ISystemControl: the two host facts the service needs, whether the host
// forwards IP packets and the byte counters of the default-route interface,
// plus the shared types of the system control classes. An implementation
// belongs to one owner thread; Release() destroys it.
#pragma once

#include <cstdint>
#include <string>

#include "ShellExecutor.h"

enum OPERATION_SYSTEM {
    SYSTEM_UBUNTU = 0,
    SYSTEM_FEDORA = 1,
    SYSTEM_CENT = 2,
    SYSTEM_COMMON = 3,
};

struct NET_DEVICE_STATISTICS {
    char szInterface[32] = {0};
    uint64_t un64ReceiveBytes = 0;
    uint64_t un64TransmitBytes = 0;
};

// Where the host facts are read. The defaults are the real ones; tests point
// them at files of their own.
struct SYSTEM_CONTROL_PATHS {
    std::string strOsRelease = "/etc/os-release";
    std::string strIPv4Forwarding = "/proc/sys/net/ipv4/ip_forward";
    std::string strIPv6Forwarding = "/proc/sys/net/ipv6/conf/all/forwarding";
    std::string strNetRoute = "/proc/net/route";
    std::string strNetDev = "/proc/net/dev";
    std::string strProcDir = "/proc";
};

class ISystemControl {
public:
    // Non-zero when the host forwards packets; a test that reads nothing
    // answers 1.
    virtual int NetworkEnableIpForwarding() = 0;
    // Totals of the interface of the first default route since it came up:
    // 0, or -1 when the counters could not be read (both left untouched).
    // Without a default route the values of the previous call are given.
    virtual int NetworkTrafficStatistics(uint64_t& un64TransmitBytes, uint64_t& un64ReceiveBytes) = 0;
    // Replaces the executor's line callback; the object is its parameter.
    virtual void SetSystemControlLogger(SYSTEMCONTROLLOG routine) = 0;
    virtual SYSTEMCONTROLLOG GetLogRoutine() = 0;
    virtual void Release() = 0;
    virtual ~ISystemControl() = default;
};
