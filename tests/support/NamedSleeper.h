// NamedSleeper: a child process that runs /bin/sleep under a command name of
// the test's choice (through a link in the test's directory), so that
// /proc/<pid>/comm reads that name. Stopped and reaped on destruction; one
// test thread owns it.
#pragma once

#include <sys/types.h>

#include <string>

#include "ChildProcess.h"
#include "TempDir.h"

class NamedSleeper {
public:
    NamedSleeper(const TempDir& dir, const std::string& name);

    pid_t Pid() const { return m_child.Pid(); }
    // Kills it but leaves it unreaped: a zombie until destruction.
    void KillWithoutReaping();

private:
    ChildProcess m_child;
};
