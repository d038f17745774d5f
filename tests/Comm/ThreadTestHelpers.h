// Helpers for tests of threaded code: wait for a condition with a limit, and
// run a body under a watchdog so that a hang fails the test instead of
// stalling the run.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace threadtest {

constexpr std::chrono::seconds kLimit(10);

// A flag one thread raises and another waits for.
class Latch {
public:
    void Open() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_open = true;
        }
        m_cv.notify_all();
    }
    bool Wait(std::chrono::milliseconds limit = kLimit) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, limit, [this] { return m_open; });
    }
    bool IsOpen() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_open;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_open = false;
};

// For states nobody signals: checks pred every millisecond up to the limit.
inline bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit = kLimit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Runs body on its own thread; if it has not finished within the limit the
// process ends with a message (the body still refers to the test's stack, so
// there is nothing safe left to do).
inline void RunWithWatchdog(const char* what, std::chrono::seconds limit, const std::function<void()>& body) {
    std::packaged_task<void()> task(body);
    std::future<void> done = task.get_future();
    std::thread runner(std::move(task));
    if (done.wait_for(limit) != std::future_status::ready) {
        std::fprintf(stderr, "watchdog: %s did not finish within %lld s\n", what,
                     static_cast<long long>(limit.count()));
        std::abort();
    }
    runner.join();
    done.get();
}

}  // namespace threadtest
