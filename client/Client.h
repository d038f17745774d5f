// CClient: the desktop client's end of the pipe pair and its one-business
// hub. It owns the transport, hands every received envelope to the single
// registered business (OpT is not looked at) and writes what the business
// posts.
//
// Threads: Connect and Work on the pipe thread (both block); PostMessage and
// Stop from any thread; DoWorkOnPipe runs on the transport's engine worker.
// Ownership: the business is not owned and must outlive Work. Destroying the
// endpoint closes both FIFOs and removes "velnorclientpipe"; end Work first
// (Stop, or a failed read) and let whoever posts through it forget it.
#pragma once

#include <atomic>
#include <string>

#include "AutoString.h"
#include "IPipeCallback.h"
#include "IServer.h"
#include "PipeService.h"

class CClient : public IPipeCallback, public IServer {
public:
    static constexpr const char* kOwnPipe = "velnorclientpipe";
    static constexpr const char* kServicePipe = "velnorsvrpipe";

    // The FIFOs live in directory (the working directory when null or "").
    explicit CClient(const char* directory = nullptr);
    ~CClient() override;
    CClient(const CClient&) = delete;
    CClient& operator=(const CClient&) = delete;

    // Creates "velnorclientpipe" (0600), then opens "velnorsvrpipe" for
    // reading, retrying every second until the service has it open, at most
    // maxAttempts times (kRetryForever: until Stop), then the own FIFO for
    // writing. 0 on success, -1 on failure (also after Stop).
    int Connect(int maxAttempts = CPipeService::kRetryForever);
    // Runs the read loop until reading fails or Stop; tells the business
    // ServerStatus with the loop's result and returns it.
    int Work();
    // Ends a waiting Connect or a running Work; any thread, any time.
    void Stop();
    bool IsConnected() const { return m_pipeSvr.IsConnected(); }

    void DoWorkOnPipe(CAutoString message) override;
    // Keeps the business (the name is not used) and initialises it with
    // this endpoint as its hub.
    void RegisterBusiness(const char* name, IBusiness* business) override;
    // Nothing is written before the pipes are open or after the service left.
    void PostMessage(const char* envelope) override;
    // The client's information center is reached through CInfoCenter::GetInst().
    ISvrInfoCenter* GetInfoCenter() override { return nullptr; }

private:
    std::string PathOf(const char* name) const;

    std::string m_directory;
    CPipeService m_pipeSvr;
    std::atomic<IBusiness*> m_pBusiness{nullptr};
};
