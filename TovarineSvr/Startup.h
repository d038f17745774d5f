// Start-up steps of VelnorSvr that run on the main thread before any other
// thread exists: the single-instance guard, the dated log, leftovers of an
// earlier run, and the console password.
#pragma once

#include <string>

#include "UniqueFd.h"

class ISvrInfoCenter;

// The lock file whose exclusive flock marks the running service.
constexpr const char* kInstanceLockFile = "VelnorSvr.lock";

// True when this process may run; it then holds lockPath's lock in lock (for
// the life of the process) and records its PID under "PID" for the desktop
// client. Only when the lock file cannot be opened at all does the recorded
// PID decide instead.
bool StartSingle(ISvrInfoCenter* infoCenter, const char* lockPath, CUniqueFd& lock);
// Opens Log/<YYYYMMDD>_Info.log under the working directory at level 4.
void InitLog();
// Whether the recorded PID text names another live VelnorSvr. Only a whole
// number above 1 that belongs to a running process called VelnorSvr counts:
// after a reboot the number may belong to anyone.
bool IsServiceAlive(const char* pidText);
// Overwrites an argument in place so /proc/<pid>/cmdline no longer shows it.
void WipeArgument(char* argument);
// One line from the descriptor (line end removed), not echoed when it is a
// terminal; false at the end of the input before any byte.
bool ReadPassword(int fd, std::string& password);
