#include "Server.h"

#include "InfoCenter.h"
#include "Log.h"
#include "MsgEngine.h"
#include "XMLOpt.h"

int CServer::CreateServer(const char* name) { return m_pipeSvr.CreateNamedPipeInServer(name, this); }

int CServer::ConnectToServer(const char* peerName) { return m_pipeSvr.OpenNamePipeServer(peerName); }

int CServer::DoWork() {
    CLog::GetInst()->WriteLog(kLogInfo, "DoWork");
    int result;
    do {
        result = m_pipeSvr.LoopMsg();
        ServerStatus(result);
    } while (result == 1);
    return 0;
}

void CServer::ServerStatus(int status) {
    CLog::GetInst()->WriteLog(kLogInfo, "client disconnect %d", status);
    for (auto& entry : m_BusinessMap) entry.second->ServerStatus(status);
}

void CServer::Shutdown() {
    m_pipeSvr.StopMsgEngine();
    for (auto& entry : m_BusinessMap) entry.second->ServerStatus(0);
    m_pipeSvr.RemoveOwnFifo();
}

void CServer::DoWorkOnPipe(CAutoString message) {
    CXMLOpt document(message);
    if (!document.IsWellFormed()) return;
    CAutoString target = document.GetValue("OpT");
    CAutoString opcode = document.GetValue("OpC");
    // The login request carries the password: never log it.
    if (!(opcode == "PortalConnect")) CLog::GetInst()->WriteLog(kLogInfo, "%s", message.c_str());
    auto found = m_BusinessMap.find(target);
    if (found != m_BusinessMap.end()) found->second->DealMsg(message);
}

void CServer::RegisterBusiness(const char* name, IBusiness* business) {
    if (name && business) m_BusinessMap[name] = business;
}

void CServer::PostMessage(const char* envelope) {
    if (!envelope) return;
    m_pipeSvr.WritePipe(envelope);
    if (CMsgEngine* console = m_pConsole.load()) console->AddMessage(envelope);
}

ISvrInfoCenter* CServer::GetInfoCenter() { return CInfoCenter::GetInst(); }
