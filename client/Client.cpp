#include "Client.h"

CClient::CClient(const char* directory) : m_directory(directory ? directory : "") {}

CClient::~CClient() {
    // The worker must not hand a message to a business while we go.
    m_pipeSvr.StopMsgEngine();
}

std::string CClient::PathOf(const char* name) const {
    return m_directory.empty() ? std::string(name) : m_directory + "/" + name;
}

int CClient::Connect(int maxAttempts) {
    // An existing FIFO from an earlier run is reused (-1 is no failure).
    if (m_pipeSvr.CreateNamedPipeInServer(PathOf(kOwnPipe).c_str(), this) < -1) return -1;
    return m_pipeSvr.OpenNamePipeClient(PathOf(kServicePipe).c_str(), maxAttempts) == 0 ? 0 : -1;
}

int CClient::Work() {
    int result = m_pipeSvr.LoopMsg();
    if (IBusiness* business = m_pBusiness.load()) business->ServerStatus(result);
    return result;
}

void CClient::Stop() { m_pipeSvr.SetAbort(true); }

void CClient::DoWorkOnPipe(CAutoString message) {
    if (IBusiness* business = m_pBusiness.load()) business->DealMsg(message);
}

void CClient::RegisterBusiness(const char*, IBusiness* business) {
    m_pBusiness = business;
    if (business) business->InitService(this);
}

void CClient::PostMessage(const char* envelope) { m_pipeSvr.WritePipe(envelope); }
