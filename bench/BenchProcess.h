// Helpers of the benchmarks that run the programs: start and stop a
// process, wait for a file, read one, and count a process's context switches.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "UniqueStream.h"

namespace bench {

// argv[index] as a number of at least 1, or fallback when absent.
inline int CountArg(int argc, char** argv, int index, int fallback) {
    return argc > index ? std::max(1, atoi(argv[index])) : fallback;
}

// A fresh directory /tmp/<name>.XXXXXX with conf/ under "velnor" in it; "" on failure.
inline std::string MakeWorkDir(const std::string& name) {
    std::string pattern = "/tmp/" + name + ".XXXXXX";
    if (!mkdtemp(pattern.data())) return "";
    std::filesystem::create_directories(pattern + "/velnor/conf");
    return pattern;
}

inline pid_t Spawn(const std::vector<std::string>& argv, const std::string& cwd, const std::string& output) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
    int in = open("/dev/null", O_RDONLY);
    int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in >= 0) dup2(in, 0);
    if (out >= 0) {
        dup2(out, 1);
        dup2(out, 2);
    }
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

inline void Stop(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

inline bool WaitForFile(const std::string& path) {
    for (int i = 0; i < 200; ++i) {
        if (std::filesystem::exists(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::string JsonField(const std::string& json, const std::string& key) {
    size_t at = json.find("\"" + key + "\":\"");
    if (at == std::string::npos) return "";
    at += key.size() + 4;
    return json.substr(at, json.find('"', at) - at);
}

inline long ContextSwitches(pid_t pid) {
    long total = 0;
    std::string dir = "/proc/" + std::to_string(pid) + "/task";
    CUniqueDir tasks(opendir(dir.c_str()));
    if (!tasks) return -1;
    while (dirent* entry = readdir(tasks.get())) {
        if (entry->d_name[0] == '.') continue;
        std::ifstream status(dir + "/" + entry->d_name + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.find("ctxt_switches:") != std::string::npos)
                total += atol(line.c_str() + line.find(':') + 1);
    }
    return total;
}

// The portal simulator with the sample module on 127.0.0.1, scenario from
// work/scenario.json; it announces itself in work/sim.ready.
inline pid_t SpawnSim(const std::string& bin, const std::string& work) {
    return Spawn({bin + "/portal-sim", "--scenario", work + "/scenario.json", "--module",
                  bin + "/libsample_algo.so", "--ready-file", work + "/sim.ready"},
                 work, work + "/sim.out");
}

}  // namespace bench
