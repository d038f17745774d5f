// SpawnDetached: starts a program from an argument vector (no shell) in a
// working directory, through an intermediate child that exits at once, so
// the program is reparented and never waits to be reaped by the caller. It
// inherits none of the caller's descriptors beyond the standard three.
// Any thread: after fork the children only make async-signal-safe calls.
#pragma once

#include <string>
#include <vector>

// 0 once argv[0] has been executed, otherwise the errno of the step that
// failed. ownSession: the program gets a session of its own, so that a
// hang-up of the caller's terminal or a signal to its process group does
// not reach it.
int SpawnDetached(const std::vector<std::string>& argv, const std::string& workDir, bool ownSession);
