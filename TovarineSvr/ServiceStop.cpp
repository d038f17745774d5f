#include "ServiceStop.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Log.h"

namespace {

// Shared with the signal handler: only lock-free atomics and a descriptor.
std::atomic<bool> g_stopping{false};
std::atomic<int> g_writeFd{-1};
static_assert(std::atomic<bool>::is_always_lock_free, "used in a signal handler");

void SendStatus(int status) {
    unsigned char byte = static_cast<unsigned char>(status);
    int fd = g_writeFd.load();
    while (fd >= 0 && write(fd, &byte, 1) < 0 && errno == EINTR) {
    }
}

}  // namespace

CServiceStop* CServiceStop::GetInst() {
    static CServiceStop* instance = new CServiceStop();
    return instance;
}

void CServiceStop::OnSignal(int signo) {
    if (g_stopping.exchange(true)) _exit(128 + signo);
    int saved = errno;
    SendStatus(kSignalStatus);
    errno = saved;
}

bool CServiceStop::Start(std::function<void()> stop) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    m_readFd.Reset(fds[0]);
    m_writeFd.Reset(fds[1]);
    g_writeFd = fds[1];
    m_stop = std::move(stop);
    m_thread = std::thread(&CServiceStop::Wait, this);
    struct sigaction action;
    memset(&action, 0, sizeof(action));
    action.sa_handler = &CServiceStop::OnSignal;
    sigemptyset(&action.sa_mask);
    // Blocking calls elsewhere (FIFO opens, reads) carry on undisturbed.
    action.sa_flags = SA_RESTART;
    for (int signo : {SIGTERM, SIGINT, SIGHUP}) sigaction(signo, &action, nullptr);
    return true;
}

void CServiceStop::Request(int status) {
    if (g_stopping.exchange(true)) return;
    SendStatus(status);
}

void CServiceStop::Wait() {
    unsigned char status = 0;
    ssize_t got;
    do {
        got = read(m_readFd.Get(), &status, 1);
    } while (got < 0 && errno == EINTR);
    if (got != 1) return;
    CLog::GetInst()->WriteLog(kLogInfo, "service stopping, exit status %d", status);
    if (m_stop) m_stop();
    CLog::GetInst()->WriteLog(kLogInfo, "service stopped");
    fflush(nullptr);
    // Other threads may still be inside the program: no destructors now.
    _exit(status);
}
