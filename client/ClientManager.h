// CClientManager: the client's one business ("NetModule"). It turns the
// service's messages into window updates and the user's actions into
// requests to the service. Its opcode table is empty: every envelope reaches
// DefaultDeal, which dispatches on OpC.
//
// Threads: the handlers run on the endpoint's engine worker; Login, Logout
// and Exit on the GTK main thread; posts may come from any thread. The hub
// reference is guarded by a lock, so DetachService (before the endpoint is
// destroyed) waits for a post in progress and later posts are dropped.
// Ownership: the window, the hub and the information center are not owned;
// the window must outlive the manager's use of it (SetWindow(nullptr) stops it).
#pragma once

#include <atomic>
#include <functional>
#include <mutex>

#include "Business.h"
#include "IClientActions.h"

class CXMLOpt;
class IMainWindow;
class ISvrInfoCenter;

class CClientManager : public CBusiness, public IClientActions {
public:
    // The program's manager, on the client information center singleton.
    static CClientManager* GetInst();

    // A manager on the given information center (CInfoCenter::GetInst() when
    // null). A stored "Password" left by an earlier version is emptied.
    explicit CClientManager(ISvrInfoCenter* infoCenter = nullptr);
    ~CClientManager() override = default;

    void SetWindow(IMainWindow* window) { m_pWindow = window; }
    // Run once, on the first ready-to-log-in state (the update check). It
    // runs on the pipe's message thread: start long work elsewhere.
    void SetUpdateCheckHook(std::function<void()> hook);

    void InitService(IServer* server) override;
    // Forgets the hub if it is server; returns once no post uses it.
    void DetachService(IServer* server);
    void ServerStatus(int) override {}

    // "PortalConnect" with both; stores the account ("Account" locally,
    // "account" globally), never the password.
    void Login(const char* account, const char* password) override;
    // "PortalDisConnect" with source 2.
    void Logout() override;
    void Exit() override;
    void SendCheckEnv();
    // Posts a finished envelope; dropped without a hub.
    void PostMsg(const char* envelope);
    void PostMsg(const char* source, const char* target, const char* opcode, const char* param);

    void DefaultDeal(CXMLOpt& message) override;
    void DealNetStateMessage(CXMLOpt& message);
    void DealInfoCenter(CXMLOpt& message);

private:
    void ForgetPassword();
    void ShowFailure(CXMLOpt& message, bool asDialog);

    ISvrInfoCenter* m_pInfoCenter;
    std::atomic<IMainWindow*> m_pWindow{nullptr};
    std::mutex m_serviceLock;  // m_pService (of CBusiness) and the post through it
    std::mutex m_hookLock;
    std::function<void()> m_updateHook;
    bool m_bUpdateStarted = false;  // under m_hookLock
};
