// ProcSampler: samples a process's resident memory, open descriptors and
// threads from /proc once a second on a thread of its own, until stopped or
// destroyed. Window() gives the floor (smallest sample) of each figure over
// a span of time, the level a leak would raise. Any thread may call Window.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
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

    explicit ProcSampler(pid_t pid);
    ~ProcSampler() { Stop(); }
    ProcSampler(const ProcSampler&) = delete;
    ProcSampler& operator=(const ProcSampler&) = delete;

    void Stop();
    // The smallest value of each figure sampled in [from, to); count is how
    // many samples fell in it (0: the figures are -1).
    Sample Window(Clock::time_point from, Clock::time_point to, int* count) const;
    static Sample Read(pid_t pid);

private:
    void Run();

    pid_t m_pid;
    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::vector<Sample> m_samples;
    std::thread m_thread;
};
