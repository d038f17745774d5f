#include "FakeClient.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <pugixml.hpp>

#include "XmlText.h"

namespace {

Envelope Parse(const std::string& raw) {
    pugi::xml_document doc;
    doc.load_string(raw.c_str());
    return Envelope{raw, doc.child("M").child_value("OpC")};
}
}  // namespace

std::string Envelope::Param(const std::string& name) const {
    pugi::xml_document doc;
    if (!doc.load_string(raw.c_str())) return "";
    return doc.child("M").child("P").child(name.c_str()).text().get();
}

int Envelope::NewState() const {
    std::string value = Param("newState");
    return value.empty() ? -1 : std::atoi(value.c_str());
}

int Envelope::ErrorCode() const {
    std::string value = Param("ErrorCode");
    return value.empty() ? -1 : std::atoi(value.c_str());
}

std::string FakeClient::Format(const std::string& ops, const std::string& opt, const std::string& opc,
                               const std::string& p) {
    return "<M><OpS>" + ops + "</OpS><OpT>" + opt + "</OpT><OpC>" + opc + "</OpC><P>" + p + "</P></M>";
}

FakeClient::FakeClient(std::string dir) : m_dir(std::move(dir)) {
    // A service that dies must fail a send, not end the test program before
    // it can report and clean up. Children get the default back (ChildProcess).
    signal(SIGPIPE, SIG_IGN);
}

FakeClient::~FakeClient() { Close(); }

bool FakeClient::WaitForFile(const std::string& path, std::chrono::milliseconds timeout) {
    int fd = inotify_init1(IN_CLOEXEC);
    if (fd < 0) return false;
    inotify_add_watch(fd, m_dir.c_str(), IN_CREATE | IN_MOVED_TO);
    auto deadline = std::chrono::steady_clock::now() + timeout;
    bool found = false;
    while (!(found = access(path.c_str(), F_OK) == 0)) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        struct pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[4096];
        (void)!read(fd, buffer, sizeof(buffer));
    }
    close(fd);
    return found;
}

bool FakeClient::Open(std::chrono::milliseconds timeout, std::string* error) {
    std::string own = m_dir + "/" + kClientPipe;
    if (mkfifo(own.c_str(), 0600) != 0 && errno != EEXIST) {
        if (error) *error = "cannot create " + own;
        return false;
    }
    if (!WaitForFile(m_dir + "/" + kServicePipe, timeout)) {
        if (error) *error = std::string("the service never created ") + kServicePipe;
        return false;
    }
    m_stopFd = eventfd(0, EFD_CLOEXEC);
    m_reader = std::thread([this] { ReaderThread(); });
    std::unique_lock<std::mutex> lock(m_lock);
    if (!m_changed.wait_for(lock, timeout, [this] { return m_opened || m_finished; }) || !m_opened) {
        lock.unlock();
        if (error) *error = "the service did not open the pipes";
        Close();
        return false;
    }
    return true;
}

void FakeClient::ReaderThread() {
    std::string servicePipe = m_dir + "/" + kServicePipe;
    std::string clientPipe = m_dir + "/" + kClientPipe;
    // Blocking opens pair with the service's: it writes first, then reads.
    int readFd = open(servicePipe.c_str(), O_RDONLY | O_CLOEXEC);
    int writeFd = -1;
    bool stop;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        stop = m_stop;
    }
    if (readFd >= 0 && !stop) writeFd = open(clientPipe.c_str(), O_WRONLY | O_CLOEXEC);
    bool opened;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_readFd = readFd;
        m_writeFd = writeFd;
        opened = m_opened = readFd >= 0 && writeFd >= 0 && !m_stop;
        m_finished = !opened;
    }
    m_changed.notify_all();
    if (!opened) return;

    std::string pending;
    char buffer[4096];
    for (;;) {
        struct pollfd fds[2] = {{readFd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
        if (fds[1].revents) break;
        if (!fds[0].revents) continue;
        ssize_t n = read(readFd, buffer, sizeof(buffer));
        if (n <= 0) break;
        pending.append(buffer, static_cast<size_t>(n));
        std::vector<Envelope> parsed;
        size_t nul;
        while ((nul = pending.find('\0')) != std::string::npos) {
            parsed.push_back(Parse(pending.substr(0, nul)));
            pending.erase(0, nul + 1);
        }
        if (!parsed.empty()) {
            std::lock_guard<std::mutex> guard(m_lock);
            for (auto& e : parsed) m_received.push_back(std::move(e));
        }
        m_changed.notify_all();
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_finished = true;
    }
    m_changed.notify_all();
}

void FakeClient::Close() {
    if (m_reader.joinable()) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_stop = true;
        }
        uint64_t one = 1;
        if (m_stopFd >= 0) (void)!write(m_stopFd, &one, sizeof(one));
        // A reader still blocked in open() is released by opening the other end.
        std::string servicePipe = m_dir + "/" + kServicePipe;
        std::string clientPipe = m_dir + "/" + kClientPipe;
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::unique_lock<std::mutex> lock(m_lock);
            if (m_changed.wait_for(lock, std::chrono::milliseconds(50), [this] { return m_finished; })) break;
            lock.unlock();
            int a = open(servicePipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            int b = open(clientPipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            if (a >= 0) close(a);
            if (b >= 0) close(b);
        }
        m_reader.join();
    }
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_readFd >= 0) close(m_readFd);
    if (m_writeFd >= 0) close(m_writeFd);
    if (m_stopFd >= 0) close(m_stopFd);
    m_readFd = m_writeFd = m_stopFd = -1;
    m_opened = false;
}

bool FakeClient::Send(const std::string& opc, const std::string& p) {
    std::string framed = Format("client", "Portal", opc, p) + '\0';
    std::lock_guard<std::mutex> guard(m_lock);
    return m_writeFd >= 0 &&
           write(m_writeFd, framed.data(), framed.size()) == static_cast<ssize_t>(framed.size());
}

bool FakeClient::SendLogin(const std::string& user, const std::string& password) {
    return Send("PortalConnect",
                "<user>" + XmlText(user) + "</user><password>" + XmlText(password) + "</password>");
}

bool FakeClient::Handshake(std::chrono::milliseconds timeout) {
    if (!Send("ClientStart", "ClientStart")) return false;
    if (!WaitForOpc("ClientStartComplete", timeout)) return false;
    return Send("CheckEnv", "CheckEnv");
}

std::optional<Envelope> FakeClient::WaitFor(const std::function<bool(const Envelope&)>& match,
                                            std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_lock);
    std::optional<Envelope> found;
    auto scan = [&] {
        for (size_t i = m_cursor; i < m_received.size(); ++i) {
            if (match(m_received[i])) {
                found = m_received[i];
                m_cursor = i + 1;
                return true;
            }
        }
        return m_finished;
    };
    m_changed.wait_for(lock, timeout, scan);
    return found;
}

std::optional<Envelope> FakeClient::WaitForOpc(const std::string& opc, std::chrono::milliseconds timeout) {
    return WaitFor([&](const Envelope& e) { return e.opc == opc; }, timeout);
}

std::optional<Envelope> FakeClient::WaitForState(int newState, std::chrono::milliseconds timeout) {
    return WaitFor(
        [&](const Envelope& e) { return e.opc == "NetStateMessageResp" && e.NewState() == newState; },
        timeout);
}

std::vector<Envelope> FakeClient::Received() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_received;
}
