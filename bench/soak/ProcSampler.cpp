#include "ProcSampler.h"

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

ProcSampler::ProcSampler(pid_t pid) : m_pid(pid), m_thread([this] { Run(); }) {}

void ProcSampler::Stop() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

ProcSampler::Sample ProcSampler::Read(pid_t pid) {
    Sample s;
    s.at = Clock::now();
    std::string dir = "/proc/" + std::to_string(pid);
    std::ifstream status(dir + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) s.rssKiB = std::atol(line.c_str() + 6);
        if (line.rfind("Threads:", 0) == 0) s.threads = std::atol(line.c_str() + 8);
    }
    if (DIR* fds = opendir((dir + "/fd").c_str())) {
        s.fds = 0;
        while (dirent* entry = readdir(fds))
            if (entry->d_name[0] != '.') ++s.fds;
        closedir(fds);
    }
    return s;
}

void ProcSampler::Run() {
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_stop) {
        lock.unlock();
        Sample s = Read(m_pid);
        lock.lock();
        if (s.rssKiB >= 0 && s.fds >= 0 && s.threads >= 0) m_samples.push_back(s);
        m_wake.wait_for(lock, std::chrono::seconds(1), [this] { return m_stop; });
    }
}

ProcSampler::Sample ProcSampler::Window(Clock::time_point from, Clock::time_point to, int* count) const {
    std::lock_guard<std::mutex> guard(m_lock);
    Sample floor;
    int n = 0;
    for (const Sample& s : m_samples) {
        if (s.at < from || s.at >= to) continue;
        auto low = [&](long& mine, long value) { mine = n == 0 ? value : std::min(mine, value); };
        low(floor.rssKiB, s.rssKiB);
        low(floor.fds, s.fds);
        low(floor.threads, s.threads);
        ++n;
    }
    if (count) *count = n;
    return floor;
}
