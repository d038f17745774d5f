// CServer: the service's message hub. It owns the pipe transport, hands each
// envelope read from the client to the business registered under its target,
// and writes what businesses post. Businesses are registered before the read
// loop starts and never change afterwards, so the map is read without a lock.
// PostMessage may be called from any thread.
#pragma once

#include <atomic>
#include <map>

#include "AutoString.h"
#include "IPipeCallback.h"
#include "IServer.h"
#include "PipeService.h"

class CMsgEngine;

class CServer : public IPipeCallback, public IServer {
public:
    CServer() = default;
    ~CServer() override = default;
    CServer(const CServer&) = delete;
    CServer& operator=(const CServer&) = delete;

    int CreateServer(const char* name);
    int ConnectToServer(const char* peerName);
    // Runs the pipe read loop; when it fails every business is told once.
    int DoWork();
    void ServerStatus(int status);
    // The service is ending: no more envelopes are handed on, every business
    // stops, and the own FIFO goes. Any thread but the hub's message thread.
    void Shutdown();

    void DoWorkOnPipe(CAutoString message) override;
    void RegisterBusiness(const char* name, IBusiness* business) override;
    void PostMessage(const char* envelope) override;
    ISvrInfoCenter* GetInfoCenter() override;

    // Console mode: every posted envelope is also queued to this engine. Off
    // (null) by default, so nothing accumulates without a console.
    void SetConsoleEngine(CMsgEngine* engine) { m_pConsole = engine; }

private:
    CPipeService m_pipeSvr;
    std::map<CAutoString, IBusiness*> m_BusinessMap;
    std::atomic<CMsgEngine*> m_pConsole{nullptr};
};
