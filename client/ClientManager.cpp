#include "ClientManager.h"

#include "ClientStartup.h"
#include "Decimal.h"
#include "Envelope.h"
#include "IMainWindow.h"
#include "INetConn.h"
#include "ISvrInfoCenter.h"
#include "XMLOpt.h"

namespace {

const char kSource[] = "client";
const char kTarget[] = "Portal";

// The whole text as a decimal number; false for anything else, so that a
// garbled field never passes for state 0 or the like.
bool ReadNumber(CXMLOpt& message, const char* path, long* value) {
    return Decimal::Parse(message.GetValue(path).c_str(), *value);
}

long NumberOr(CXMLOpt& message, const char* path, long fallback) {
    long value = fallback;
    return ReadNumber(message, path, &value) ? value : fallback;
}

}  // namespace

CClientManager* CClientManager::GetInst() {
    static CClientManager* instance = new CClientManager();  // lives as long as the process
    return instance;
}

CClientManager::CClientManager(ISvrInfoCenter* infoCenter)
    : m_pInfoCenter(infoCenter ? infoCenter : ClientInfoCenter()) {
    ForgetPassword();
}

void CClientManager::SetUpdateCheckHook(std::function<void()> hook) {
    std::lock_guard<std::mutex> guard(m_hookLock);
    m_updateHook = std::move(hook);
}

void CClientManager::InitService(IServer* server) {
    {
        std::lock_guard<std::mutex> guard(m_serviceLock);
        m_pService = server;
    }
    InitOpcodeFun();
}

void CClientManager::DetachService(IServer* server) {
    std::lock_guard<std::mutex> guard(m_serviceLock);
    if (m_pService == server) m_pService = nullptr;
}

void CClientManager::PostMsg(const char* envelope) {
    if (!envelope) return;
    std::lock_guard<std::mutex> guard(m_serviceLock);
    if (m_pService) m_pService->PostMessage(envelope);
}

void CClientManager::PostMsg(const char* source, const char* target, const char* opcode, const char* param) {
    if (!source || !target || !opcode || !param) return;
    CAutoString envelope;
    envelope.Format(kEnvelopeFormat, source, target, opcode, param);
    PostMsg(envelope);
}

void CClientManager::ForgetPassword() {
    // Earlier versions kept the password here in plain text; it is never read.
    if (!m_pInfoCenter->GetLocalValue("Password").IsEmpty()) m_pInfoCenter->SetLocalValue("Password", "");
}

void CClientManager::Login(const char* account, const char* password) {
    if (!account || !password) return;
    PostMsg(LoginEnvelope(kSource, kTarget, account, password));
    m_pInfoCenter->SetLocalValue("Account", account);
    ForgetPassword();
    m_pInfoCenter->SetGlobalValue("account", account);
}

void CClientManager::Logout() {
    CAutoString envelope;
    envelope.Format(kEnvelopeLogoutFormat, kSource, kTarget, "PortalDisConnect");
    PostMsg(envelope);
}

void CClientManager::Exit() { Logout(); }

void CClientManager::SendCheckEnv() { PostMsg(kSource, kTarget, "CheckEnv", "CheckEnv"); }

void CClientManager::DefaultDeal(CXMLOpt& message) {
    CAutoString opcode = message.GetValue("OpC");
    if (opcode == "NetStateMessageResp") {
        DealNetStateMessage(message);
    } else if (opcode == "ClientStartComplete") {
        SendCheckEnv();
    } else if (opcode == "InfoCenter") {
        DealInfoCenter(message);
    }
}

void CClientManager::DealNetStateMessage(CXMLOpt& message) {
    long newState = 0;
    if (!ReadNumber(message, "P.newState", &newState)) return;
    IMainWindow* window = m_pWindow.load();
    switch (newState) {
        case INetConn::ES_PRECONNECTING:
            ShowFailure(message, false);
            break;
        case INetConn::ES_PRECONNECTED: {
            if (window) window->ShowLoginPanel();
            std::function<void()> hook;
            {
                std::lock_guard<std::mutex> guard(m_hookLock);
                if (!m_bUpdateStarted) {
                    m_bUpdateStarted = true;
                    hook = m_updateHook;
                }
            }
            if (hook) hook();
            break;
        }
        case INetConn::ES_CONNECTED:
            if (window) window->ShowConnected(static_cast<int>(NumberOr(message, "P.type", 0)));
            break;
        case INetConn::ES_DISCONNECTED:
            if (window) window->ShowInitPanel();
            SendCheckEnv();
            break;
        case INetConn::ES_CONNECTFAIL:
        case INetConn::ES_DISCONNECTFAIL:
        case INetConn::ES_PRECONNECTFAIL:
            ShowFailure(message, true);
            break;
        default:
            break;
    }
}

void CClientManager::ShowFailure(CXMLOpt& message, bool asDialog) {
    IMainWindow* window = m_pWindow.load();
    if (!window) return;
    long code = NumberOr(message, "P.ErrorCode", 0);
    CAutoString subErrCode = message.GetValue("P.subErrCode");
    CAutoString extra = message.GetValue("P.extern");
    if (asDialog) {
        window->ShowErrorDialog(code, subErrCode, extra);
    } else {
        window->ShowStateText(code, subErrCode, extra);
    }
}

void CClientManager::DealInfoCenter(CXMLOpt& message) {
    CAutoString key = message.GetValue("P.key");
    if (key.IsEmpty()) return;
    m_pInfoCenter->SetGlobalValue(key, message.GetValue("P.value"));
}
