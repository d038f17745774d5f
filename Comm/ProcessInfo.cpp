#include "ProcessInfo.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "UniqueStream.h"

namespace ProcessInfo {

bool ParsePid(const char* text, pid_t* pid) {
    if (!text) return false;
    while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n') ++text;
    if (*text < '0' || *text > '9') return false;
    errno = 0;
    char* end = nullptr;
    long value = strtol(text, &end, 10);
    if (errno != 0 || value <= 1 || value > INT_MAX) return false;
    while (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\n') ++end;
    if (*end != '\0') return false;
    *pid = static_cast<pid_t>(value);
    return true;
}

std::string Name(pid_t pid) {
    std::string path = "/proc/" + std::to_string(pid) + "/comm";
    CUniqueFile file(fopen(path.c_str(), "re"));
    if (!file) return std::string();
    char name[64] = {0};
    if (!fgets(name, sizeof(name), file.get())) name[0] = '\0';
    name[strcspn(name, "\n")] = '\0';
    return name;
}

bool IsZombie(pid_t pid) {
    std::string path = "/proc/" + std::to_string(pid) + "/stat";
    CUniqueFile file(fopen(path.c_str(), "re"));
    if (!file) return false;
    char line[512] = {0};
    if (!fgets(line, sizeof(line), file.get())) line[0] = '\0';
    // "pid (comm) S ...": the name may hold blanks and parentheses.
    const char* close = strrchr(line, ')');
    return close && close[1] == ' ' && close[2] == 'Z';
}

bool IsNamedProcessAlive(const char* pidText, const char* name) {
    pid_t pid = 0;
    if (!name || !ParsePid(pidText, &pid) || pid == getpid()) return false;
    if (kill(pid, 0) == -1) return false;
    // A process that has ended but is not yet reaped is gone for our purposes.
    return !IsZombie(pid) && Name(pid) == name;
}

}  // namespace ProcessInfo
