#include "NetWatch.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "UniqueFd.h"

extern char** environ;

namespace {

// ping's complaint when it may not open its socket (capability or sysctl).
bool SaysNotPermitted(const std::string& text) {
    return text.find("not permitted") != std::string::npos ||
           text.find("Permission denied") != std::string::npos;
}

constexpr size_t kMaxErrorText = 4096;

}  // namespace

CNetWatch::CNetWatch(Options options, std::function<void()> onLoss)
    : m_options(std::move(options)), m_onLoss(std::move(onLoss)) {}

CNetWatch::~CNetWatch() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void CNetWatch::Start() {
    if (!m_thread.joinable()) {
        m_thread = std::thread(&CNetWatch::Run, this);
    }
}

void CNetWatch::SetOn(bool on) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_on == on) {
            return;
        }
        m_on = on;
        ++m_switches;
    }
    m_wake.notify_all();
}

bool CNetWatch::Pause(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds delay) {
    unsigned long switches = m_switches;
    m_wake.wait_for(lock, delay, [&] { return m_stop || m_switches != switches; });
    return !m_stop;
}

CNetWatch::Probe CNetWatch::Test() {
    Probe probe = Ping(m_options.program, m_options.address);
    if (probe != Probe::Unreachable) {
        return probe;
    }
    {
        std::unique_lock<std::mutex> lock(m_lock);
        if (!Pause(lock, m_options.retry) || !m_on) {
            return Probe::Reachable;  // switched off meanwhile: nothing to report
        }
    }
    return Ping(m_options.program, m_options.address);
}

void CNetWatch::Run() {
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || m_on; });
        if (m_stop) {
            return;
        }
        lock.unlock();
        std::printf("网络状态\n");
        std::fflush(stdout);
        Probe probe = Test();
        bool lost = false;
        lock.lock();
        if (probe == Probe::Reachable) {
            m_noticeShown = false;
        } else if (probe == Probe::Unavailable) {
            if (!m_warned) {
                m_warned = true;
                std::fprintf(stderr, "network watch: cannot run %s, the network is not watched\n",
                             m_options.program.c_str());
            }
        } else if (m_on) {
            std::printf("网络连接失败，打开弹窗进程\n");
            if (!m_noticeShown) {
                m_noticeShown = lost = true;
                std::printf("弹窗进程创建\n");
            }
            std::fflush(stdout);
        }
        if (lost) {
            lock.unlock();
            m_onLoss();
            lock.lock();
        }
        if (!m_stop && m_on) {
            Pause(lock, m_options.interval);
        }
    }
}

CNetWatch::Probe CNetWatch::Ping(const std::string& program, const std::string& address) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return Probe::Unavailable;
    }
    CUniqueFd readEnd(fds[0]);
    CUniqueFd writeEnd(fds[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    // Standard error is read (and dropped) only to tell "may not ping" from "no answer".
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), STDERR_FILENO);
    std::vector<std::string> args = {program, "-c", "1", "-W", "1", address};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.Reset();
    if (rc != 0) {
        return Probe::Unavailable;
    }

    std::string errors;
    char buffer[512];
    for (;;) {
        ssize_t n = read(readEnd.Get(), buffer, sizeof buffer);
        if (n > 0) {
            if (errors.size() < kMaxErrorText) {
                errors.append(buffer, static_cast<size_t>(n));
            }
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 127 || SaysNotPermitted(errors)) {
        return Probe::Unavailable;
    }
    return WEXITSTATUS(status) == 0 ? Probe::Reachable : Probe::Unreachable;
}
