#include "PipeService.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "PipeFramer.h"
#include "guard.h"

namespace {

using Guard = CWriteGuard<MutexLock>;

constexpr size_t kReadBlock = 4096;
constexpr int kRetryMillis = 1000;

bool IsFifo(int fd) {
    struct stat info;
    return fstat(fd, &info) == 0 && S_ISFIFO(info.st_mode);
}

// Opens path only if it is a FIFO itself, never through a symbolic link.
CUniqueFd OpenFifo(const char* path, int flags) {
    CUniqueFd fd;
    do {
        fd.Reset(open(path, flags | O_NOFOLLOW | O_CLOEXEC));
    } while (!fd.IsValid() && errno == EINTR);
    if (fd.IsValid() && !IsFifo(fd.Get())) fd.Reset();
    return fd;
}

}  // namespace

CPipeService::CPipeService() : m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CPipeService::~CPipeService() {
    StopMsgEngine();
    RemoveOwnFifo();
}

void CPipeService::RemoveOwnFifo() {
    CAutoString name;
    {
        Guard lock(&m_abortLock);
        name = m_ownName;
    }
    struct stat info;
    if (!name.IsNull() && lstat(name, &info) == 0 && S_ISFIFO(info.st_mode)) unlink(name);
}

void CPipeService::IgnoreSigPipe() {
    struct sigaction action;
    memset(&action, 0, sizeof(action));
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
}

int CPipeService::CreateNamedPipeInServer(const char* name, IPipeCallback* callback) {
    if (!name) return -2;
    Guard guard(&m_pipeLock);
    {
        Guard lock(&m_abortLock);
        m_ownName = name;
    }
    m_pCallback = callback;
    struct stat info;
    if (lstat(name, &info) == 0) {
        // The messages carry tickets and the account: a FIFO that others
        // own or may open is not reused.
        if (S_ISFIFO(info.st_mode) && info.st_uid == geteuid() && (info.st_mode & 0077) == 0) return -1;
        // Writing through whatever else sits here (a link to some file of the
        // user's, a stray file) would spill the messages into it.
        if (unlink(name) != 0) return -2;
    }
    return mkfifo(name, 0600) == 0 ? 0 : -2;
}

int CPipeService::OpenOwnForWriting() {
    if (m_ownName.IsNull()) return -1;
    CUniqueFd fd = OpenFifo(m_ownName, O_WRONLY);
    if (!fd.IsValid() || m_bAbort) return -1;
    Guard guard(&m_pipeLock);
    m_writeFd = std::move(fd);
    m_bConnected = true;
    return 0;
}

int CPipeService::OpenPeerForReading(const char* peerName, int maxAttempts) {
    if (!peerName) return -2;
    {
        Guard lock(&m_abortLock);
        m_peerName = peerName;
    }
    for (int attempt = 1;; ++attempt) {
        if (m_bAbort) return -2;
        CUniqueFd fd = OpenFifo(peerName, O_RDONLY);
        if (fd.IsValid() && m_bAbort) return -2;
        if (fd.IsValid()) {
            m_readFd = std::move(fd);
            // The peer is connected now, so this cannot block.
            m_keepReadFd = OpenFifo(peerName, O_WRONLY | O_NONBLOCK);
            return 0;
        }
        if (maxAttempts != kRetryForever && attempt >= maxAttempts) return -2;
        if (!WaitRetry()) return -2;
    }
}

bool CPipeService::WaitRetry() {
    std::string peer;
    {
        Guard lock(&m_abortLock);
        if (!m_peerName.IsNull()) peer = static_cast<const char*>(m_peerName);
    }
    // The peer usually creates its FIFO well within a retry period: watching
    // the folder lets the next attempt follow at once instead of up to a
    // second later. Without the watch the period alone paces the retries.
    const size_t slash = peer.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : peer.substr(0, slash));
    const std::string base = slash == std::string::npos ? peer : peer.substr(slash + 1);
    CUniqueFd watch(inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
    if (watch.IsValid() && inotify_add_watch(watch.Get(), dir.c_str(), IN_CREATE | IN_MOVED_TO) < 0)
        watch.Reset();

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRetryMillis);
    while (!m_bAbort) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return true;
        struct pollfd fds[2] = {{m_wakeFd.Get(), POLLIN, 0}, {watch.Get(), POLLIN, 0}};
        int ready = poll(fds, watch.IsValid() ? 2 : 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) return !m_bAbort;
        if (ready > 0 && (fds[1].revents & POLLIN) && PeerAppeared(watch.Get(), base)) return !m_bAbort;
    }
    return false;
}

bool CPipeService::PeerAppeared(int watchFd, const std::string& name) {
    alignas(struct inotify_event) char buffer[4096];
    bool appeared = false;
    ssize_t got;
    while ((got = read(watchFd, buffer, sizeof(buffer))) > 0) {
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
            if (event->len > 0 && name == event->name) appeared = true;
            at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
        }
    }
    return appeared;
}

int CPipeService::OpenNamePipeServer(const char* peerName, int maxAttempts) {
    if (OpenOwnForWriting() != 0) return -1;
    return OpenPeerForReading(peerName, maxAttempts);
}

int CPipeService::OpenNamePipeClient(const char* peerName, int maxAttempts) {
    int result = OpenPeerForReading(peerName, maxAttempts);
    if (result != 0) return result;
    return OpenOwnForWriting();
}

void CPipeService::HoldOpenForAbort(const CAutoString& path, CUniqueFd& holder) {
    // Opening a FIFO for reading and writing never blocks and completes any
    // open waiting for a partner on it; holding it keeps later opens from
    // blocking too.
    if (!path.IsNull() && !holder.IsValid()) holder = OpenFifo(path, O_RDWR | O_NONBLOCK);
}

void CPipeService::SetAbort(bool abort) {
    Guard lock(&m_abortLock);
    m_bAbort = abort;
    uint64_t count = 1;
    if (abort) {
        HoldOpenForAbort(m_ownName, m_abortOwnFd);
        HoldOpenForAbort(m_peerName, m_abortPeerFd);
        if (write(m_wakeFd.Get(), &count, sizeof(count)) < 0) {
            // Already signalled: the counter is full, the reader wakes anyway.
        }
    } else {
        m_abortOwnFd.Reset();
        m_abortPeerFd.Reset();
        if (read(m_wakeFd.Get(), &count, sizeof(count)) < 0) {
            // Nothing was signalled.
        }
    }
}

int CPipeService::LoopMsg() {
    if (!m_readFd.IsValid()) return -1;
    StartMsgEngine();
    CPipeFramer framer;
    std::vector<char> block(kReadBlock);
    std::vector<CAutoString> messages;
    int result = 0;
    while (result == 0) {
        struct pollfd fds[2] = {{m_readFd.Get(), POLLIN, 0}, {m_wakeFd.Get(), POLLIN, 0}};
        if (m_bAbort) {
            result = -2;
            break;
        }
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            result = -1;
            break;
        }
        if (fds[1].revents & POLLIN) continue;  // the abort flag is checked above
        if (!fds[0].revents) continue;
        ssize_t count = read(m_readFd.Get(), block.data(), block.size());
        if (count < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            result = -1;
        } else if (count == 0) {
            // No writer (only when the keep-alive writer could not be had):
            // wait a second for the peer, waking early on abort.
            struct pollfd wake = {m_wakeFd.Get(), POLLIN, 0};
            poll(&wake, 1, kRetryMillis);
        } else {
            framer.Feed(block.data(), static_cast<size_t>(count), messages);
            for (CAutoString& message : messages) AddMessage(std::move(message));
            messages.clear();
        }
    }
    StopMsgEngine();
    return result;
}

bool CPipeService::WritePipe(const char* text) {
    if (!text || !m_bConnected) return false;
    Guard guard(&m_pipeLock);
    size_t total = strlen(text) + 1;
    size_t done = 0;
    while (done < total) {
        ssize_t written = write(m_writeFd.Get(), text + done, total - done);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(written);
    }
    return true;
}

void CPipeService::DoMessage(CAutoString message) {
    IPipeCallback* callback = m_pCallback.load();
    if (callback) callback->DoWorkOnPipe(std::move(message));
}
