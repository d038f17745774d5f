// RunProgram: runs a program from an argument vector (never through a shell),
// collects what it writes to stdout and stderr, and waits for it with a time
// limit; a program that overruns is killed. For test code on any thread.
#pragma once

#include <string>
#include <vector>

struct ProgramResult {
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;   // -1 unless it exited normally
    std::string output;  // stdout and stderr, interleaved
};

ProgramResult RunProgram(const std::vector<std::string>& argv, int timeoutMs = 30000);
