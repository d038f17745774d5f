#include "ModuleHost.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "Log.h"

extern char** environ;

namespace {

// The descriptor the helper finds its socket on.
constexpr int kHelperFd = 3;

std::string ProgramBesideSelf() {
    char self[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (length <= 0) return CModuleHost::kProgramName;
    std::string path(self, static_cast<size_t>(length));
    size_t slash = path.rfind('/');
    return path.substr(0, slash + 1) + CModuleHost::kProgramName;
}

struct SpawnActions {
    posix_spawn_file_actions_t actions;
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
};

}  // namespace

CModuleHost::CModuleHost(std::string program)
    : m_program(program.empty() ? ProgramBesideSelf() : std::move(program)) {}

CModuleHost::~CModuleHost() {
    if (m_pid > 0) Stop(nullptr);
}

bool CModuleHost::Start() {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
    CUniqueFd mine(ends[0]);
    CUniqueFd theirs(ends[1]);
    // dup2 onto itself would keep close-on-exec set.
    if (theirs.Get() == kHelperFd) theirs.Reset(fcntl(ends[1], F_DUPFD_CLOEXEC, kHelperFd + 1));
    SpawnActions spawn;
    if (theirs.Get() < 0 || posix_spawn_file_actions_adddup2(&spawn.actions, theirs.Get(), kHelperFd) != 0 ||
        posix_spawn_file_actions_addopen(&spawn.actions, 0, "/dev/null", O_RDONLY, 0) != 0 ||
        posix_spawn_file_actions_addopen(&spawn.actions, 1, "/dev/null", O_WRONLY, 0) != 0)
        return false;
    std::vector<char> program(m_program.begin(), m_program.end());
    program.push_back('\0');
    char* argv[] = {program.data(), nullptr};
    pid_t pid = -1;
    int failed = posix_spawn(&pid, program.data(), &spawn.actions, nullptr, argv, environ);
    if (failed != 0) {
        CLog::GetInst()->WriteLog(kLogInfo, "cannot start %s: %s", m_program.c_str(), strerror(failed));
        return false;
    }
    if (fcntl(mine.Get(), F_SETFL, O_NONBLOCK) != 0) {
        m_pid = pid;
        Stop(nullptr);
        return false;
    }
    m_pid = pid;
    m_socket = std::move(mine);
    return true;
}

void CModuleHost::Stop(const char* why) {
    m_socket.Reset();
    if (m_pid <= 0) return;
    kill(m_pid, SIGKILL);
    int status = 0;
    pid_t reaped;
    do {
        reaped = waitpid(m_pid, &status, 0);
    } while (reaped < 0 && errno == EINTR);
    m_pid = -1;
    if (!why || reaped < 0) return;
    if (WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL)
        CLog::GetInst()->WriteLog(kLogAlways, "zsm module helper %s, killed by signal %d", why,
                                  WTERMSIG(status));
    else if (WIFEXITED(status))
        CLog::GetInst()->WriteLog(kLogAlways, "zsm module helper %s, exit status %d", why,
                                  WEXITSTATUS(status));
    else
        CLog::GetInst()->WriteLog(kLogAlways, "zsm module helper %s", why);
}

bool CModuleHost::Call(const ModuleWire::Request& request, ModuleWire::Reply& reply, int timeoutMs) {
    const int64_t deadline = ModuleWire::NowMs() + timeoutMs;
    if (m_pid <= 0 && !Start()) return false;
    std::string frame;
    if (!ModuleWire::WriteFrame(m_socket.Get(), ModuleWire::Encode(request), deadline) ||
        !ModuleWire::ReadFrame(m_socket.Get(), frame, deadline)) {
        Stop(ModuleWire::NowMs() >= deadline ? "timed out" : "failed");
        return false;
    }
    if (!ModuleWire::Decode(frame, reply)) {
        Stop("answered nonsense");
        return false;
    }
    // It ends by itself after a module that stayed loaded.
    if (reply.retire) Stop(nullptr);
    return true;
}
