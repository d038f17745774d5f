#include "ServiceLauncher.h"

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "DetachedProcess.h"
#include "IMainWindow.h"
#include "ProcessInfo.h"
#include "UniqueFd.h"
#include "XMLOpt.h"

namespace {

const char kServiceFile[] = "VelnorSvr";
constexpr int kExitWaitMillis = 3000;

int PidfdOpen(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

int PidfdSignal(int pidfd, int signal) {
    return static_cast<int>(syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
}

std::string Directory(const char* directory) { return directory && *directory ? directory : "."; }

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::string ExecutableOf(pid_t pid) {
    std::string link = "/proc/" + std::to_string(pid) + "/exe";
    char target[PATH_MAX];
    ssize_t length = readlink(link.c_str(), target, sizeof(target) - 1);
    return length > 0 ? std::string(target, static_cast<size_t>(length)) : std::string();
}

// Whether the process runs directory's service executable (also one that an
// update has replaced on disk since it started).
bool RunsServiceOf(pid_t pid, const std::string& directory) {
    std::string running = ExecutableOf(pid);
    if (running.empty()) return false;
    const std::string deleted = " (deleted)";
    std::string candidates[] = {RealPath(directory + "/" + kServiceFile),
                                RealPath(directory) + "/" + kServiceFile};
    for (const std::string& candidate : candidates) {
        if (candidate.empty() || candidate[0] != '/') continue;
        if (running == candidate || running == candidate + deleted) return true;
    }
    return false;
}

bool WaitGone(int pidfd, int millis) {
    struct pollfd gone = {pidfd, POLLIN, 0};
    for (;;) {
        int ready = poll(&gone, 1, millis);
        if (ready >= 0) return ready > 0;
        if (errno != EINTR) return false;
    }
}

// chmod +x for whoever may read it.
void MakeRunnable(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
    mode_t mode = info.st_mode & 07777;
    mode_t wanted = mode | ((mode & 0444) >> 2);
    if (wanted != mode) chmod(path.c_str(), wanted);
}

}  // namespace

bool StopRecordedService(const char* directory) {
    std::string dir = Directory(directory);
    CXMLOpt settings;
    if (!settings.LoadFile((dir + "/conf/conf.xml").c_str())) return true;
    pid_t pid = 0;
    if (!ProcessInfo::ParsePid(settings.GetValue("PID"), &pid) || pid == getpid()) return true;
    // Holding a pidfd, the number cannot pass to another process between the
    // check and the signal.
    CUniqueFd process(PidfdOpen(pid));
    if (!process.IsValid()) return true;
    if (!RunsServiceOf(pid, dir)) return true;
    if (PidfdSignal(process.Get(), SIGTERM) != 0) return errno == ESRCH;
    if (WaitGone(process.Get(), kExitWaitMillis)) return true;
    if (PidfdSignal(process.Get(), SIGKILL) != 0) return errno == ESRCH;
    return WaitGone(process.Get(), kExitWaitMillis);
}

int LaunchService(IMainWindow* window, const char* directory) {
    std::string dir = Directory(directory);
    StopRecordedService(dir.c_str());
    MakeRunnable(dir + "/" + kServiceFile);
    int status = SpawnDetached({"./VelnorSvr"}, dir, false);
    printf("open svr %d\n", status);
    fflush(stdout);
    if (window) {
        char text[256];
        snprintf(text, sizeof(text), "server start: %d", status);
        window->SetInitText(text);
    }
    return status;
}

void LaunchService(IMainWindow* window) { LaunchService(window, nullptr); }
