// CServiceStop: the orderly end of VelnorSvr. SIGTERM, SIGINT and SIGHUP
// only record the request (one byte on a self-pipe); a thread of its own
// reads it, runs the stop it was given (log out, put the host's DNS servers
// back, remove the FIFO) and ends the process. A second signal while that
// runs ends the process at once. The console asks the same way, with the
// exit status it wants. A process-wide singleton, never destroyed: its
// thread ends only with the process.
#pragma once

#include <functional>
#include <thread>

#include "UniqueFd.h"

class CServiceStop {
public:
    static CServiceStop* GetInst();

    // Installs the handlers and starts the waiting thread; once, before the
    // threads that should see the handlers exist. false when the self-pipe
    // or the thread cannot be had (signals then end the process as before).
    bool Start(std::function<void()> stop);
    // Any thread: stop, then end with this status. Only the first request counts.
    void Request(int status);

    // Status of a stop asked for by a signal.
    static constexpr int kSignalStatus = 0;

private:
    CServiceStop() = default;
    static void OnSignal(int signo);
    void Wait();

    CUniqueFd m_readFd, m_writeFd;
    std::function<void()> m_stop;
    std::thread m_thread;
};
