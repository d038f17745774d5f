// The client's pipe thread and manager with a recording window, against the
// real service and the portal simulator: the conversation of a start, a
// login, a logout and a refused login, and a service that dies under it.
#include <atomic>
#include <fstream>
#include <memory>
#include <thread>

#include "ClientManager.h"
#include "ClientStartup.h"
#include "InfoCenter.h"
#include "RecordingWindow.h"
#include "ServiceRun.h"

namespace {

using Strings = std::vector<std::string>;

class ClientE2E : public ServiceRun {
protected:
    void TearDown() override {
        if (m_module) m_module->Stop();
        if (m_pipeThread.joinable()) m_pipeThread.join();
        ServiceRun::TearDown();
    }

    // The simulator, the service, and the client's pipe thread on its directory.
    bool StartAll() {
        ServiceOptions options;
        options.withClient = false;
        if (!StartSim() || !StartService(options)) return false;
        std::ofstream(m_install->File("conf/client.xml")) << "<client/>\n";
        m_info = std::make_unique<CInfoCenter>(CInfoCenter::Flavor::Client,
                                               m_install->File("conf/client.xml").c_str());
        m_manager = std::make_unique<CClientManager>(m_info.get());
        m_manager->SetWindow(&m_window);
        m_module = std::make_unique<CNetModule>(m_manager.get(), m_install->Path());
        m_pipeThread = std::thread([this] {
            m_pipeResult = m_module->Run();
            m_pipeEnded = true;
        });
        return true;
    }
    // The opcodes the service received, from its log.
    Strings ReceivedByService() {
        Strings opcodes;
        std::string log = ServiceLog();
        for (size_t at = 0; (at = log.find("<OpC>", at)) != std::string::npos; at += 5)
            opcodes.push_back(log.substr(at + 5, log.find("</OpC>", at) - at - 5));
        return opcodes;
    }

    RecordingWindow m_window;
    std::unique_ptr<CInfoCenter> m_info;
    std::unique_ptr<CClientManager> m_manager;
    std::unique_ptr<CNetModule> m_module;
    std::thread m_pipeThread;
    int m_pipeResult = 1;
    std::atomic<bool> m_pipeEnded{false};
};

}  // namespace

TEST_F(ClientE2E, StartLoginLogoutRefusalAndADeadService) {
    ASSERT_TRUE(StartAll());
    ASSERT_EQ(m_window.WaitFor("login", kWait), "login") << ::testing::PrintToString(m_window.Calls());
    EXPECT_EQ(m_window.Calls(), (Strings{"state 30000101//", "state 30000103//", "state 30000103//",
                                         "state 30000102//", "login"}));
    Strings received = ReceivedByService();
    received.resize(2);
    // Before any disconnection "CheckEnv" is the manager's answer to "ClientStartComplete".
    EXPECT_EQ(received, (Strings{"ClientStart", "CheckEnv"}));
    EXPECT_FALSE(std::string(m_info->GetValue("clientId")).empty());  // published by the service

    m_manager->Login(kAccount, kPassword);
    EXPECT_EQ(m_window.WaitFor("connected", kWait), "connected 51");
    m_manager->Logout();
    EXPECT_EQ(m_window.WaitFor("init", kWait), "init");
    // The disconnection asked for a new check, which ends ready again.
    EXPECT_EQ(m_window.WaitFor("login", kWait), "login");
    Strings sent = ReceivedByService();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "CheckEnv"), 2) << ::testing::PrintToString(sent);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "PortalDisConnect"), 1);

    ASSERT_TRUE(m_sim->SetFault("login", R"({"error_code":1})"));
    m_manager->Login(kAccount, kPassword);
    EXPECT_EQ(m_window.WaitFor("error", kWait), "error 140001//");
    EXPECT_EQ(std::string(m_info->GetLocalValue("Account")), kAccount);
    EXPECT_EQ(m_install->ReadFile("conf/client.xml").find(kPassword), std::string::npos);

    // The service dies: the client carries on, its requests go nowhere.
    m_service.Stop(milliseconds(2000));
    long logins = Count("login");
    m_manager->Login(kAccount, kPassword);
    m_manager->Logout();
    EXPECT_FALSE(m_pipeEnded);
    EXPECT_EQ(Count("login"), logins);
    m_module->Stop();
    m_pipeThread.join();
    EXPECT_EQ(m_pipeResult, 0);
    m_manager->Logout();  // the endpoint is gone: dropped
}
