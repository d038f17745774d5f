// ProcSampler: samples a process's resident memory, open descriptors and
// threads from /proc once a second on a thread of its own, until stopped or
// destroyed. The process is looked up anew for each sample, so one that is
// restarted (the module helper) is followed under its new number. Window()
// gives the floor (smallest sample) of each figure over a span of time, the
// level a leak would raise. Any thread may call Window and Pids.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class ProcSampler {
public:
    using Clock = std::chrono::steady_clock;
    struct Sample {
        Clock::time_point at;
        long rssKiB = -1;
        long fds = -1;
        long threads = -1;
    };

    // find gives the process to sample now, or -1 when there is none.
    explicit ProcSampler(std::function<pid_t()> find);
    ~ProcSampler() { Stop(); }
    ProcSampler(const ProcSampler&) = delete;
    ProcSampler& operator=(const ProcSampler&) = delete;

    void Stop();
    // The smallest value of each figure sampled in [from, to); count is how
    // many samples fell in it (0: the figures are -1).
    Sample Window(Clock::time_point from, Clock::time_point to, int* count) const;
    // Every process number sampled: more than one means restarts.
    std::set<pid_t> Pids() const;
    static Sample Read(pid_t pid);
    // A child of parent (from any of its threads) called name, or -1.
    static pid_t ChildNamed(pid_t parent, const std::string& name);

private:
    void Run();

    std::function<pid_t()> m_find;
    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::vector<Sample> m_samples;
    std::set<pid_t> m_pids;
    std::thread m_thread;
};
