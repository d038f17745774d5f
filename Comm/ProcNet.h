// ProcNet: the kernel's network tables under /proc, the route tables and
// the device list. The line readers serve callers that are handed lines one
// at a time (the service's system control); the file readers serve those
// that read the table themselves (interface discovery). Stateless; any
// thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ProcNet {

// The longest interface name the kernel gives (IFNAMSIZ - 1); a longer
// field is no interface.
constexpr size_t kMaxInterfaceName = 15;

// The interface of a route-table line ("Iface Destination Gateway Flags
// RefCnt Use Metric Mask ...") that is an up default route: destination and
// mask 0, flag RTF_UP set. False for the header and every other line.
bool ReadDefaultRoute(const char* line, std::string& name);
// The received and transmitted bytes of a device-list line ("  eth0: rx-bytes
// packets errs drop fifo frame compressed multicast tx-bytes ...") when it
// belongs to the named interface and its counters are whole decimals.
bool ReadDeviceCounters(const char* line, const char* name, uint64_t& received, uint64_t& transmitted);

// Whether a line of the table at path names the interface (compared
// exactly) in the given column, 0-based, -1 for the last: 1 yes, 0 no or no
// name, -1 when the table cannot be read.
int TableHasInterface(const char* path, const char* name, int column);
// ReadDefaultRoute on the lines of the file at path: the first match.
bool FindDefaultRoute(const char* path, std::string& name);
// ReadDeviceCounters on the lines of the file at path: the first match.
bool FindDeviceCounters(const char* path, const char* name, uint64_t& received, uint64_t& transmitted);

}  // namespace ProcNet
