// How often an idle timer table's dispatch thread wakes up, and how soon a
// run-now task reaches its handler.
//
//   bench_timer_idle [seconds]   (idle window, default 10)
//
// Wake-ups are the dispatch thread's context switches (voluntary and
// involuntary) from /proc/self/task/<tid>/status over the idle window.
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TableTimer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kReportTid = 1;
constexpr int kFarAway = 2;
constexpr int kRunNow = 3;

class BenchTimer : public CTableTimer {
public:
    ~BenchTimer() override { DispatchTask(false); }

    void DoTimeTask(int id) override {
        CAutoString none;
        DoTimeTask(id, none);
    }
    void DoTimeTask(int id, CAutoString&) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (id == kReportTid) m_tid = static_cast<long>(syscall(SYS_gettid));
        if (id == kRunNow) {
            m_firedAt = Clock::now();
            ++m_fired;
        }
        m_cv.notify_all();
    }

    long WaitTid() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait_for(lock, std::chrono::seconds(10), [this] { return m_tid != 0; });
        return m_tid;
    }
    // When firing number `count` happened; false on time-out.
    bool WaitFired(int count, Clock::time_point& at) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_cv.wait_for(lock, std::chrono::seconds(10), [&] { return m_fired >= count; })) return false;
        at = m_firedAt;
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    long m_tid = 0;
    int m_fired = 0;
    Clock::time_point m_firedAt;
};

long ContextSwitches(long tid) {
    std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
    long total = 0;
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
            line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
            total += std::strtol(line.c_str() + line.find(':') + 1, nullptr, 10);
    }
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

    BenchTimer timer;
    timer.AddTask(kReportTid, 1, true, 0, false);
    timer.AddTask(kFarAway, 1, false, 3600, false);
    if (!timer.DispatchTask(true)) {
        std::fprintf(stderr, "dispatch thread did not start\n");
        return 1;
    }
    const long tid = timer.WaitTid();
    if (tid == 0) {
        std::fprintf(stderr, "dispatch thread never ran its first task\n");
        return 1;
    }

    // Let the first handler's switch settle before the window opens.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const long before = ContextSwitches(tid);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const long after = ContextSwitches(tid);
    const double perSecond = static_cast<double>(after - before) / seconds;
    std::printf("idle timer table, one task due in an hour, %d s window\n", seconds);
    std::printf("  dispatch thread wake-ups: %ld (%.2f per second, target < 1: %s)\n", after - before,
                perSecond, perSecond < 1.0 ? "met" : "MISSED");

    constexpr int kSamples = 100;
    std::vector<double> micros;
    for (int i = 1; i <= kSamples; ++i) {
        const Clock::time_point added = Clock::now();
        timer.AddTask(kRunNow, 1, true, 3600, true);
        Clock::time_point fired;
        if (!timer.WaitFired(i, fired)) {
            std::fprintf(stderr, "run-now task %d never fired\n", i);
            return 1;
        }
        micros.push_back(std::chrono::duration<double, std::micro>(fired - added).count());
    }
    std::sort(micros.begin(), micros.end());
    std::printf("run-now firing latency over %d AddTask calls\n", kSamples);
    std::printf("  median %.1f us, p90 %.1f us, max %.1f us\n", micros[kSamples / 2],
                micros[kSamples * 9 / 10], micros.back());

    timer.DispatchTask(false);
    return 0;
}
