#include "SimListener.h"

#include <fcntl.h>
#include <httplib.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "UniqueFd.h"

namespace {
// Switches the calling thread into a network namespace for its lifetime, so
// that sockets created meanwhile belong to it, and back afterwards.
class NetnsScope {
public:
    explicit NetnsScope(int target) {
        if (target < 0) return;
        m_home.Reset(open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC));
        if (m_home.IsValid() && setns(target, CLONE_NEWNET) != 0) {
            m_home.Reset();
            m_failed = true;
        }
    }
    ~NetnsScope() {
        if (m_home.IsValid()) setns(m_home.Get(), CLONE_NEWNET);
    }
    bool Failed() const { return m_failed; }

private:
    CUniqueFd m_home;
    bool m_failed = false;
};
}  // namespace

CSimListener::CSimListener(std::string host, int port, Setup setup, int netnsFd)
    : m_host(std::move(host)), m_port(port), m_setup(std::move(setup)), m_netnsFd(netnsFd) {}

CSimListener::~CSimListener() { Stop(); }

bool CSimListener::Start(std::string* error) {
    if (m_server) return true;
    auto server = std::make_unique<httplib::Server>();
    m_setup(*server);
    {
        NetnsScope scope(m_netnsFd);
        if (scope.Failed()) {
            if (error) *error = std::string("cannot enter the network namespace: ") + std::strerror(errno);
            return false;
        }
        if (m_port == 0) {
            int port = server->bind_to_any_port(m_host);
            if (port <= 0) {
                if (error) *error = "cannot listen on " + m_host;
                return false;
            }
            m_port = port;
        } else if (!server->bind_to_port(m_host, m_port)) {
            if (error) *error = "cannot listen on " + HostPort();
            return false;
        }
    }
    httplib::Server* raw = server.get();
    m_server = std::move(server);
    m_thread = std::thread([raw] { raw->listen_after_bind(); });
    // stop() is a no-op until the loop runs, so wait for it to start; the
    // server sets its flag at once, the bound only guards against a hang.
    for (int i = 0; i < 5000 && !raw->is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void CSimListener::Stop() {
    if (!m_server) return;
    m_server->stop();
    if (m_thread.joinable()) m_thread.join();
    m_server.reset();
}

std::string CSimListener::HostPort() const {
    std::string host = m_host.find(':') != std::string::npos ? "[" + m_host + "]" : m_host;
    return host + ":" + std::to_string(m_port);
}

std::string CSimListener::Url() const { return "http://" + HostPort(); }
