// ChildProcess: a program started from an argument vector (fork/exec, no
// shell) in its own process group, stopped with SIGTERM and then SIGKILL
// after a grace period. Waits use a pidfd, never a sleep loop. Owned by one
// test thread; the destructor stops the child if it still runs.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "UniqueFd.h"

class ChildProcess {
public:
    struct Options {
        std::vector<std::string> argv;  // argv[0] is looked up in PATH when it has no "/"
        std::string cwd;                // empty: the caller's
        std::string outputFile;         // stdout and stderr go here when set
        bool pipeStdout = false;        // stdout readable through StdoutFd()
    };

    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // False with a reason when the program cannot be started (exec failure included).
    bool Start(const Options& options, std::string* error);
    pid_t Pid() const { return m_pid; }
    int StdoutFd() const { return m_stdout.Get(); }
    bool IsRunning();
    // Waits for the exit; true with the raw wait status when it came in time.
    bool WaitExit(std::chrono::milliseconds timeout, int* status = nullptr);
    // SIGTERM to the group, then SIGKILL after grace; returns the wait status (-1 if none ran).
    int Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(5000));
    // SIGKILL to the group, no chance to clean up; the wait status.
    int Kill() { return Stop(std::chrono::milliseconds(-1)); }

    // Runs a program to its end (bounded by timeout, then killed); its exit code or -1.
    static int Run(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                   std::string* output = nullptr);

private:
    pid_t m_pid = -1;
    CUniqueFd m_pidfd;
    CUniqueFd m_stdout;
    bool m_reaped = false;
    int m_status = -1;
};
