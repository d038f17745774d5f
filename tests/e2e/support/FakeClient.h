// FakeClient: plays the desktop client's side of the two FIFOs in an
// installation directory: creates "velnorclientpipe", opens "velnorsvrpipe",
// sends envelopes (each followed by its NUL), and collects what the service
// writes on a reader thread. Tests wait for a message with a time limit.
// One test thread calls the public methods; the reader thread only appends.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct Envelope {
    std::string raw;
    std::string opc;
    // Text of a child of P ("newState"), entities decoded; "" when absent.
    std::string Param(const std::string& name) const;
    // The state message's new state, or -1.
    int NewState() const;
    int ErrorCode() const;
};

class FakeClient {
public:
    static constexpr const char* kServicePipe = "velnorsvrpipe";
    static constexpr const char* kClientPipe = "velnorclientpipe";

    explicit FakeClient(std::string dir);
    ~FakeClient();
    FakeClient(const FakeClient&) = delete;
    FakeClient& operator=(const FakeClient&) = delete;

    // Creates our FIFO, waits for the service's and connects both ways.
    bool Open(std::chrono::milliseconds timeout, std::string* error);
    void Close();

    // OpS "client", OpT "Portal".
    bool Send(const std::string& opc, const std::string& p);
    bool SendLogin(const std::string& user, const std::string& password);
    bool SendLogout() { return Send("PortalDisConnect", "<src>2</src>"); }
    // What the desktop client does after connecting: "ClientStart", wait for
    // "ClientStartComplete", then "CheckEnv". False when the answer does not come in time.
    bool Handshake(std::chrono::milliseconds timeout);

    // The next message after the last one a wait returned that matches.
    std::optional<Envelope> WaitFor(const std::function<bool(const Envelope&)>& match,
                                    std::chrono::milliseconds timeout);
    std::optional<Envelope> WaitForOpc(const std::string& opc, std::chrono::milliseconds timeout);
    std::optional<Envelope> WaitForState(int newState, std::chrono::milliseconds timeout);
    std::vector<Envelope> Received() const;

    static std::string Format(const std::string& ops, const std::string& opt, const std::string& opc,
                              const std::string& p);

private:
    void ReaderThread();
    bool WaitForFile(const std::string& path, std::chrono::milliseconds timeout);

    std::string m_dir;
    std::thread m_reader;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Envelope> m_received;
    size_t m_cursor = 0;
    bool m_opened = false;
    bool m_finished = false;
    bool m_stop = false;
    int m_readFd = -1;
    int m_writeFd = -1;
    int m_stopFd = -1;
};
