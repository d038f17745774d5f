#include "ProcessInfo.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>

#include "Decimal.h"
#include "UniqueFd.h"

namespace ProcessInfo {

namespace {

// Room for a command name (15 bytes) and its line end, with some to spare.
constexpr size_t kNameRead = 64;
constexpr size_t kStatRead = 511;

// The first bytes of a small /proc file, "" when it cannot be read.
std::string ReadHead(const std::string& path, size_t most) {
    CUniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return std::string();
    std::string text(most, '\0');
    ssize_t length = read(fd.Get(), &text[0], most);
    text.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return text;
}

}  // namespace

bool ParsePid(const char* text, pid_t* pid) { return pid && Decimal::Parse<pid_t>(text, *pid, 2); }

std::string NameIn(const std::string& procDir, const std::string& pid) {
    std::string name = ReadHead(procDir + "/" + pid + "/comm", kNameRead);
    name.resize(std::min(name.find('\n'), name.size()));
    return name;
}

std::string Name(pid_t pid) { return NameIn("/proc", std::to_string(pid)); }

bool IsZombie(pid_t pid) {
    std::string line = ReadHead("/proc/" + std::to_string(pid) + "/stat", kStatRead);
    // "pid (comm) S ...": the name may hold blanks and parentheses.
    size_t close = line.rfind(')');
    return close != std::string::npos && line.compare(close + 1, 2, " Z") == 0;
}

bool IsNamedProcessAlive(const char* pidText, const char* name) {
    pid_t pid = 0;
    if (!name || !ParsePid(pidText, &pid) || pid == getpid()) return false;
    if (kill(pid, 0) == -1) return false;
    // A process that has ended but is not yet reaped is gone for our purposes.
    return !IsZombie(pid) && Name(pid) == name;
}

}  // namespace ProcessInfo
