#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {
int PidFdOpen(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

bool ReadAllWithTimeout(int fd, std::string& out, int timeoutMs) {
    char buffer[4096];
    struct pollfd p = {fd, POLLIN, 0};
    while (poll(&p, 1, timeoutMs) > 0) {
        ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n <= 0) return true;
        out.append(buffer, static_cast<size_t>(n));
    }
    return false;
}
}  // namespace

ChildProcess::~ChildProcess() { Stop(); }

bool ChildProcess::Start(const Options& options, std::string* error) {
    if (options.argv.empty()) {
        if (error) *error = "empty command";
        return false;
    }
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return false;
    int out[2] = {-1, -1};
    if (options.pipeStdout && pipe2(out, O_CLOEXEC) != 0) {
        close(report[0]);
        close(report[1]);
        return false;
    }
    std::vector<char*> argv;
    for (const auto& a : options.argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0) {
        if (error) *error = std::strerror(errno);
        for (int fd : {report[0], report[1], out[0], out[1]}) {
            if (fd >= 0) close(fd);
        }
        return false;
    }
    if (pid == 0) {
        setpgid(0, 0);
        // A test runner may have blocked or ignored signals; the child starts clean.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) {
            int e = errno;
            (void)!write(report[1], &e, sizeof(e));
            _exit(127);
        }
        if (!options.outputFile.empty()) {
            int fd = open(options.outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (fd >= 0) {
                dup2(fd, 2);
                if (!options.pipeStdout) dup2(fd, 1);
                close(fd);
            }
        }
        if (options.pipeStdout) dup2(out[1], 1);
        execvp(argv[0], argv.data());
        int e = errno;
        (void)!write(report[1], &e, sizeof(e));
        _exit(127);
    }
    close(report[1]);
    if (options.pipeStdout) close(out[1]);
    int childErrno = 0;
    ssize_t n = read(report[0], &childErrno, sizeof(childErrno));
    close(report[0]);
    m_pid = pid;
    m_pidfd.Reset(PidFdOpen(pid));
    m_stdout.Reset(options.pipeStdout ? out[0] : -1);
    m_reaped = false;
    if (n == static_cast<ssize_t>(sizeof(childErrno))) {
        WaitExit(std::chrono::milliseconds(5000));
        if (error) *error = options.argv[0] + ": " + std::strerror(childErrno);
        return false;
    }
    return true;
}

bool ChildProcess::IsRunning() {
    if (m_pid <= 0 || m_reaped) return false;
    return !WaitExit(std::chrono::milliseconds(0));
}

bool ChildProcess::WaitExit(std::chrono::milliseconds timeout, int* status) {
    if (m_pid <= 0) return false;
    if (!m_reaped) {
        if (m_pidfd.IsValid()) {
            struct pollfd p = {m_pidfd.Get(), POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
        }
        int st = 0;
        pid_t got = waitpid(m_pid, &st, m_pidfd.IsValid() ? 0 : WNOHANG);
        if (got != m_pid) return false;
        m_reaped = true;
        m_status = st;
    }
    if (status) *status = m_status;
    return true;
}

int ChildProcess::Stop(std::chrono::milliseconds grace) {
    if (m_pid <= 0) return -1;
    if (!m_reaped) {
        if (grace.count() >= 0) {
            kill(-m_pid, SIGTERM);
            kill(m_pid, SIGTERM);
        }
        if (grace.count() < 0 || !WaitExit(grace)) {
            kill(-m_pid, SIGKILL);
            kill(m_pid, SIGKILL);
            WaitExit(std::chrono::milliseconds(10000));
        }
    }
    m_pidfd.Reset();
    m_stdout.Reset();
    int status = m_status;
    m_pid = -1;
    return status;
}

int ChildProcess::Run(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                      std::string* output) {
    ChildProcess child;
    Options options;
    options.argv = argv;
    options.pipeStdout = output != nullptr;
    if (!child.Start(options, nullptr)) return -1;
    if (output) ReadAllWithTimeout(child.StdoutFd(), *output, static_cast<int>(timeout.count()));
    int status = 0;
    if (!child.WaitExit(timeout, &status)) {
        child.Stop(std::chrono::milliseconds(0));
        return -1;
    }
    child.Stop();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
