// Helpers for tests of threaded code: an inbox and a latch to wait on with a
// limit, and a watchdog so that a hang fails the run instead of stalling it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace threadtest {

constexpr std::chrono::seconds kLimit(10);

// Collects what worker threads report, in arrival order.
class Inbox {
public:
    void Push(std::string item) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_items.push_back(std::move(item));
        m_cv.notify_all();
    }
    // Everything so far once count items have arrived, or whatever came within the limit.
    std::vector<std::string> WaitFor(size_t count, std::chrono::milliseconds limit = kLimit) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait_for(lock, limit, [&] { return m_items.size() >= count; });
        return m_items;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::string> m_items;
};

// A flag one thread raises and others wait for.
struct Latch : Inbox {
    void Open() { Push({}); }
    bool Wait(std::chrono::milliseconds limit = kLimit) { return !WaitFor(1, limit).empty(); }
};

// A hung body still refers to the test's stack, so all that is left is to end the process.
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
