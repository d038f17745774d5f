// Helpers for process ids that programs record in their settings files, and
// for what /proc says about them. Stateless; any thread.
#pragma once

#include <sys/types.h>

#include <string>

namespace ProcessInfo {

// A recorded process id: a whole number above 1 that fits a pid, blanks and
// line ends around it allowed. False for anything else.
bool ParsePid(const char* text, pid_t* pid);
// The process's short name (/proc/<pid>/comm), "" when it is gone.
std::string Name(pid_t pid);
// The same from the process directory pid (its number as text) under procDir.
std::string NameIn(const std::string& procDir, const std::string& pid);
// Ended, but not yet reaped by its parent.
bool IsZombie(pid_t pid);
// Whether pidText names another live (not zombie) process called name.
// After a reboot a recorded number may belong to anyone, hence the name.
bool IsNamedProcessAlive(const char* pidText, const char* name);

}  // namespace ProcessInfo
