// Host-file fixtures shared by the host environment tests: fake route table,
// device list and forwarding switches inside a test's own directory.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "ISystemControl.h"
#include "TempDir.h"

struct DeviceCounters {
    std::string name;
    uint64_t receive;
    uint64_t transmit;
};

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// A device list in the kernel's layout; received bytes lead the receive
// columns, transmitted bytes the transmit columns.
inline std::string DeviceList(const std::vector<DeviceCounters>& devices) {
    std::string text =
        "Inter-|   Receive                                                |  Transmit\n"
        " face |bytes    packets errs drop fifo frame compressed multicast|bytes    packets errs drop fifo colls "
        "carrier compressed\n";
    for (const DeviceCounters& d : devices) {
        text += "  " + d.name + ": " + std::to_string(d.receive) + " 7 0 0 0 0 0 0 " + std::to_string(d.transmit) +
                " 9 0 0 0 0 0 0\n";
    }
    return text;
}

inline std::string RouteHeader() {
    return "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
}

inline std::string DefaultRoute(const std::string& device, const char* flags = "0003") {
    return device + "\t00000000\t0102A8C0\t" + flags + "\t0\t0\t100\t00000000\t0\t0\t0\n";
}

inline std::string SubnetRoute(const std::string& device) {
    return device + "\t0002A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n";
}

// Every path points into the directory; the files exist only once written.
inline SYSTEM_CONTROL_PATHS PathsIn(const TempDir& dir) {
    SYSTEM_CONTROL_PATHS paths;
    paths.strOsRelease = dir / "os-release";
    paths.strIPv4Forwarding = dir / "ip_forward";
    paths.strIPv6Forwarding = dir / "ipv6_forwarding";
    paths.strNetRoute = dir / "route";
    paths.strNetDev = dir / "dev";
    paths.strProcDir = dir / "proc";
    paths.strSysctlCommand = "true";
    return paths;
}
