// Fake host files for the host environment tests, inside a test's own directory.
#pragma once

#include <cstdint>
#include <string>

#include "ISystemControl.h"
#include "TempDir.h"

// One device-list line in the kernel's layout.
inline std::string Device(const std::string& name, uint64_t receive, uint64_t transmit) {
    return "  " + name + ": " + std::to_string(receive) + " 7 0 0 0 0 0 0 " + std::to_string(transmit) +
           " 9 0 0 0 0 0 0\n";
}

inline std::string DeviceList(const std::string& lines) {
    return "Inter-|   Receive                            |  Transmit\n"
           " face |bytes    packets errs drop fifo frame|bytes    packets errs drop\n" +
           lines;
}

// A route-table line; destination and mask 0 make a default route.
inline std::string Route(const std::string& device, const char* destination = "00000000",
                         const char* flags = "0003") {
    return device + "\t" + destination + "\t0102A8C0\t" + flags + "\t0\t0\t100\t00000000\t0\t0\t0\n";
}

inline SYSTEM_CONTROL_PATHS PathsIn(const TempDir& dir) {
    SYSTEM_CONTROL_PATHS paths;
    paths.strOsRelease = dir / "os-release";
    paths.strIPv4Forwarding = dir / "ip_forward";
    paths.strIPv6Forwarding = dir / "ipv6_forwarding";
    paths.strNetRoute = dir / "route";
    paths.strNetDev = dir / "dev";
    paths.strProcDir = dir / "proc";
    return paths;
}
