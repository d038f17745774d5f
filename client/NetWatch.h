// CNetWatch: while the user is logged in, tests now and then whether the
// Internet is reachable by pinging one address, and reports each loss once
// (again only after the network was reachable in between).
//
// Pacing: at most one test per interval while on; a failed test is repeated
// once after the retry delay before it counts. SetOn wakes the thread at once.
// ping runs from an argument vector, no shell, output discarded; when it
// cannot run or may not open its socket, that is said once on standard error
// and the network is not taken as lost.
//
// Threads: Start once; SetOn from any thread; the loss handler runs on the
// watch thread and must not block. The destructor stops and joins the thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class CNetWatch {
public:
    // A well-known public resolver; installations and tests set "pingAddress".
    static constexpr const char* kDefaultAddress = "223.5.5.5";

    struct Options {
        std::string address = kDefaultAddress;
        std::chrono::milliseconds interval{10000};
        std::chrono::milliseconds retry{500};
        std::string program = "ping";  // looked up in PATH
    };
    enum class Probe { Reachable, Unreachable, Unavailable };

    CNetWatch(Options options, std::function<void()> onLoss);
    ~CNetWatch();
    CNetWatch(const CNetWatch&) = delete;
    CNetWatch& operator=(const CNetWatch&) = delete;

    void Start();
    void SetOn(bool on);

    // One run of ping against the address (blocking, about a second at most).
    static Probe Ping(const std::string& program, const std::string& address);

private:
    void Run();
    // Waits while on and unchanged for at most delay; false when stopping.
    bool Pause(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds delay);
    Probe Test();

    Options m_options;
    std::function<void()> m_onLoss;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_on = false;
    bool m_stop = false;
    unsigned long m_switches = 0;  // counts SetOn changes, so a pause ends on any
    bool m_noticeShown = false;
    bool m_warned = false;
    std::thread m_thread;
};
