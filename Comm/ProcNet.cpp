#include "ProcNet.h"

#include <cstring>
#include <fstream>
#include <functional>
#include <vector>

#include "Decimal.h"

namespace ProcNet {

namespace {

constexpr const char* kBlanks = " \t\r\n";
// Device-list columns after the name.
constexpr size_t kReceiveBytesColumn = 0;
constexpr size_t kTransmitBytesColumn = 8;
// Route-table columns.
constexpr size_t kRouteDestination = 1;
constexpr size_t kRouteFlags = 3;
constexpr size_t kRouteMask = 7;

std::vector<std::string> Fields(const char* text) {
    std::vector<std::string> fields;
    while (*text) {
        text += strspn(text, kBlanks);
        size_t length = strcspn(text, kBlanks);
        if (length) fields.emplace_back(text, length);
        text += length;
    }
    return fields;
}

bool IsZeroHex(const std::string& field) {
    return !field.empty() && field.find_first_not_of('0') == std::string::npos;
}

// RTF_UP is bit 0, so the last hex digit tells.
bool HasUpFlag(const std::string& field) {
    if (field.empty() || field.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
    char last = field.back();
    int value = last <= '9' ? last - '0' : (last | 0x20) - 'a' + 10;
    return value & 1;
}

// False when the file cannot be opened; stops early once visit says so.
bool ForEachLine(const char* path, const std::function<bool(const std::string&)>& visit) {
    std::ifstream file(path ? path : "");
    if (!file) return false;
    for (std::string line; std::getline(file, line);)
        if (visit(line)) break;
    return true;
}

}  // namespace

bool ReadDefaultRoute(const char* line, std::string& name) {
    if (!line) return false;
    std::vector<std::string> fields = Fields(line);
    if (fields.size() <= kRouteMask || fields[0].size() > kMaxInterfaceName) return false;
    if (!IsZeroHex(fields[kRouteDestination]) || !IsZeroHex(fields[kRouteMask])) return false;
    if (!HasUpFlag(fields[kRouteFlags])) return false;
    name = fields[0];
    return true;
}

bool ReadDeviceCounters(const char* line, const char* name, uint64_t& received, uint64_t& transmitted) {
    if (!line || !name || !*name) return false;
    const char* colon = strchr(line, ':');
    if (!colon) return false;
    const char* start = line + strspn(line, " \t");
    size_t length = static_cast<size_t>(colon - start);
    if (length != strlen(name) || strncmp(start, name, length) != 0) return false;
    std::vector<std::string> fields = Fields(colon + 1);
    if (fields.size() <= kTransmitBytesColumn) return false;
    uint64_t counters[kTransmitBytesColumn + 1];
    for (size_t column = 0; column <= kTransmitBytesColumn; ++column)
        if (!Decimal::Parse(fields[column].c_str(), counters[column])) return false;
    received = counters[kReceiveBytesColumn];
    transmitted = counters[kTransmitBytesColumn];
    return true;
}

int TableHasInterface(const char* path, const char* name, int column) {
    if (!name || !*name) return 0;
    bool found = false;
    bool read = ForEachLine(path, [&](const std::string& line) {
        std::vector<std::string> fields = Fields(line.c_str());
        if (fields.empty()) return false;
        size_t index = column < 0 ? fields.size() - 1 : static_cast<size_t>(column);
        found = index < fields.size() && fields[index] == name;
        return found;
    });
    if (!read) return -1;
    return found ? 1 : 0;
}

bool FindDefaultRoute(const char* path, std::string& name) {
    bool found = false;
    ForEachLine(path, [&](const std::string& line) { return found = ReadDefaultRoute(line.c_str(), name); });
    return found;
}

bool FindDeviceCounters(const char* path, const char* name, uint64_t& received, uint64_t& transmitted) {
    bool found = false;
    ForEachLine(path, [&](const std::string& line) {
        return found = ReadDeviceCounters(line.c_str(), name, received, transmitted);
    });
    return found;
}

}  // namespace ProcNet
