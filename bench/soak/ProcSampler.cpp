#include "ProcSampler.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "ProcessInfo.h"
#include "UniqueStream.h"

ProcSampler::ProcSampler(std::function<pid_t()> find)
    : m_find(std::move(find)), m_thread([this] { Run(); }) {}

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
    if (CUniqueDir fds{opendir((dir + "/fd").c_str())}) {
        s.fds = 0;
        while (dirent* entry = readdir(fds.get()))
            if (entry->d_name[0] != '.') ++s.fds;
    }
    return s;
}

pid_t ProcSampler::ChildNamed(pid_t parent, const std::string& name) {
    std::string tasks = "/proc/" + std::to_string(parent) + "/task";
    CUniqueDir dir{opendir(tasks.c_str())};
    if (!dir) return -1;
    while (dirent* task = readdir(dir.get())) {
        if (task->d_name[0] == '.') continue;
        std::ifstream children(tasks + "/" + task->d_name + "/children");
        for (pid_t child; children >> child;)
            if (ProcessInfo::Name(child) == name) return child;
    }
    return -1;
}

void ProcSampler::Run() {
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_stop) {
        lock.unlock();
        pid_t pid = m_find();
        Sample s = pid > 0 ? Read(pid) : Sample{};
        lock.lock();
        if (s.rssKiB >= 0 && s.fds >= 0 && s.threads >= 0) {
            m_samples.push_back(s);
            m_pids.insert(pid);
        }
        m_wake.wait_for(lock, std::chrono::seconds(1), [this] { return m_stop; });
    }
}

std::set<pid_t> ProcSampler::Pids() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_pids;
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
