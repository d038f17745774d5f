// CUpdaterLauncher: starts the updater program from an argument vector (its
// path, then the configuration as one argument) in a working directory of
// our choice, without a shell and without waiting for it. The updater runs
// in a session of its own, outlives the caller, is never left a zombie and
// inherits none of the caller's descriptors beyond the standard three.
// Any thread; it forks, so the child only makes async-signal-safe calls.
#pragma once

#include <string>

class CUpdaterLauncher {
public:
    // True once the program has been executed; false (with errno's text
    // printed) when it could not be started.
    static bool Start(const std::string& program, const std::string& argument, const std::string& workDir);
};
