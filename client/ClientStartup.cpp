#include "ClientStartup.h"

#include <unistd.h>

#include <cstdio>
#include <thread>

#include "Client.h"
#include "ClientManager.h"
#include "Envelope.h"
#include "InfoCenter.h"
#include "PipeService.h"
#include "ProcessInfo.h"

namespace {

const char kClientName[] = "VelnorClient";

CNetModule& ProgramNetModule() {
    static CNetModule* module = new CNetModule(CClientManager::GetInst());  // lives as long as the process
    return *module;
}

}  // namespace

ISvrInfoCenter* ClientInfoCenter() {
    CInfoCenter::SetFlavor(CInfoCenter::Flavor::Client);
    return CInfoCenter::GetInst();
}

bool StartSingleClient() { return StartSingleClient(ClientInfoCenter()); }

bool StartSingleClient(ISvrInfoCenter* infoCenter) {
    CAutoString recorded = infoCenter->GetLocalValue("ClientPID");
    if (!recorded.IsEmpty() && ProcessInfo::IsNamedProcessAlive(recorded, kClientName)) {
        printf("Client Process had start!\n");
        fflush(stdout);
        return false;
    }
    CAutoString own;
    own.Format("%d\n", static_cast<int>(getpid()));
    infoCenter->SetLocalValue("ClientPID", own);
    return true;
}

void SendClientStart(CClientManager* manager) {
    CAutoString envelope;
    envelope.Format(kEnvelopeFormat, "client", "Portal", "ClientStart", "ClientStart");
    (manager ? manager : CClientManager::GetInst())->PostMsg(envelope);
}

CNetModule::CNetModule(CClientManager* manager, std::string directory)
    : m_pManager(manager), m_directory(std::move(directory)) {}

int CNetModule::Run(int maxConnectAttempts) {
    // A post after the service died must fail, not end the client.
    CPipeService::IgnoreSigPipe();
    CClient client(m_directory.c_str());
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_bStopped) return -1;
        m_pClient = &client;
    }
    m_pManager->InitService(&client);
    client.RegisterBusiness("NetModule", m_pManager);
    int result = client.Connect(maxConnectAttempts);
    if (result != 0) {
        printf("open client pipe failed ret = %d\n", result);
        fflush(stdout);
    } else {
        CClientManager* manager = m_pManager;
        std::thread sender([manager] { SendClientStart(manager); });
        client.Work();
        sender.join();
    }
    // From here on a post from the window is dropped instead of reaching a
    // destroyed endpoint.
    m_pManager->DetachService(&client);
    std::lock_guard<std::mutex> guard(m_lock);
    m_pClient = nullptr;
    return result;
}

void CNetModule::Stop() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bStopped = true;
    if (m_pClient) m_pClient->Stop();
}

void NetModuleThread() { ProgramNetModule().Run(); }

void StopNetModule() { ProgramNetModule().Stop(); }
