// CSimListener: one listening HTTP server of the simulator (an address and a
// port) that can be stopped and started again on the same port. The routes
// are installed by the owner's setup function each time it starts. Start and
// Stop may be called from any thread but not concurrently with each other
// (the owner serialises them). Owns its server and its listening thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

class CSimListener {
public:
    using Setup = std::function<void(httplib::Server&)>;

    // netnsFd: a network namespace to bind in (-1: the caller's own).
    CSimListener(std::string host, int port, Setup setup, int netnsFd);
    ~CSimListener();
    CSimListener(const CSimListener&) = delete;
    CSimListener& operator=(const CSimListener&) = delete;

    bool Start(std::string* error);
    void Stop();
    bool IsRunning() const { return m_server != nullptr; }
    int Port() const { return m_port; }
    const std::string& Host() const { return m_host; }
    // "http://host:port", with brackets around an IPv6 host.
    std::string Url() const;
    // host:port as announced in a server list.
    std::string HostPort() const;

private:
    std::string m_host;
    int m_port;
    Setup m_setup;
    int m_netnsFd;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
};
