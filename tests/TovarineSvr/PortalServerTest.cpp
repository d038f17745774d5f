// The "Portal" business's queue, timers and stop order, with tasks recorded
// instead of run, and its task handlers against a scripted session: no test
// here touches the network.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AuthConfig.h"
#include "IServer.h"
#include "InfoCenter.h"
#include "NetStateCode.h"
#include "PortalResult.h"
#include "PortalServer.h"
#include "TempDir.h"
#include "XMLOpt.h"

using namespace TovarineSvr;
using std::chrono::milliseconds;

namespace {

class RecordingHub : public IServer {
public:
    void RegisterBusiness(const char*, IBusiness*) override {}
    void PostMessage(const char* envelope) override {
        std::lock_guard<std::mutex> guard(lock);
        posts.push_back(envelope);
    }
    ISvrInfoCenter* GetInfoCenter() override { return nullptr; }
    std::vector<std::string> Posts() {
        std::lock_guard<std::mutex> guard(lock);
        return posts;
    }
    std::mutex lock;
    std::vector<std::string> posts;
};

// A business of its own per test; tasks taken by the work thread are
// recorded, and may be held until the test lets them go.
class TestPortalServer : public CPortalServer {
public:
    ~TestPortalServer() override { Release(); }

    using CPortalServer::TakeQueuedTask;

    void RunTask(Task& task) override {
        std::unique_lock<std::mutex> guard(m_lock);
        m_events.push_back("run " + std::to_string(task.curTask));
        m_changed.notify_all();
        m_changed.wait(guard, [this] { return !m_hold; });
        // The session is still there while its task runs.
        m_events.push_back(GetPortalConn() ? "end with connection" : "end without connection");
        m_changed.notify_all();
    }
    void Hold() { SetHold(true); }
    void Release() { SetHold(false); }
    void Note(const std::string& event) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_events.push_back(event);
        m_changed.notify_all();
    }
    // Waits up to the limit until an event with this text was recorded.
    bool WaitEvent(const std::string& event, milliseconds limit) {
        std::unique_lock<std::mutex> guard(m_lock);
        return m_changed.wait_for(guard, limit, [&] {
            return std::find(m_events.begin(), m_events.end(), event) != m_events.end();
        });
    }
    std::vector<std::string> Events() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_events;
    }

private:
    void SetHold(bool hold) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_hold = hold;
        m_changed.notify_all();
    }
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::string> m_events;
    bool m_hold = false;
};

template <class Server>
std::vector<std::string> Drain(Server& server) {
    std::vector<std::string> taken;
    Task task;
    while (server.TakeQueuedTask(task))
        taken.push_back(std::to_string(task.curTask) + "/" + std::to_string(task.level) + "/" +
                        task.tag.c_str() +
                        (task.nextTask != noTask ? ">" + std::to_string(task.nextTask) : ""));
    return taken;
}

// A settings file of its own (so no DNS backup of the host is ever read).
class WithSettings : public ::testing::Test {
protected:
    WithSettings() {
        std::ofstream(m_dir / "conf.xml") << "<conf><version>1.0.0</version></conf>\n";
        m_info = std::make_unique<CInfoCenter>(CInfoCenter::Flavor::Service, (m_dir / "conf.xml").c_str());
    }
    TempDir m_dir;
    std::unique_ptr<CInfoCenter> m_info;
};

class CPortalServerTest : public WithSettings {
protected:
    void SetUp() override {
        m_server = std::make_unique<TestPortalServer>();
        m_server->InitService(&m_hub);
        m_server->SetInfoCenter(m_info.get());
    }
    void TearDown() override {
        m_server->Release();
        m_server->ServerStatus(-1);
        m_server.reset();
    }

    RecordingHub m_hub;
    std::unique_ptr<TestPortalServer> m_server;
};

}  // namespace

// Levels and the order they are taken in have tests of their own.
TEST_F(CPortalServerTest, TimersAndMessagesOnlyQueueTasks) {
    CAutoString tag("<tag><type>2</type></tag>");
    m_server->DoTimeTask(trafficStatistics, tag);
    EXPECT_EQ(Drain(*m_server), std::vector<std::string>{"14/2/<tag><type>2</type></tag>"});
    auto deal = [this](const std::string& opcode, const std::string& param) {
        m_server->DealMsg(
            ("<M><OpS>client</OpS><OpT>Portal</OpT><OpC>" + opcode + "</OpC><P>" + param + "</P></M>")
                .c_str());
    };
    deal("PortalConnect", "<user>a</user><password>a</password>");
    deal("PortalConnect", "<user>a</user><password>b</password>");
    deal("GetTerminalData", "");
    deal("GetTerminalData", "");
    deal("TerminalTermSend", "<ticket>T1</ticket>");
    deal("TerminalTermSend", "<ticket>T2</ticket>");
    deal("NoSuchThing", "");
    std::vector<std::string> taken = Drain(*m_server);
    ASSERT_EQ(taken.size(), 3u);  // each second request replaced the first
    EXPECT_EQ(taken[0].rfind("6/2/<M>", 0), 0u) << taken[0];
    EXPECT_NE(taken[0].find("<password>b</password>"), std::string::npos);
    EXPECT_EQ(taken[1].rfind("11/2/", 0), 0u);
    EXPECT_EQ(taken[2].rfind("12/2/", 0), 0u);
    EXPECT_TRUE(m_hub.Posts().empty());
}

TEST_F(CPortalServerTest, StopAllTaskLeavesTheOpenNetworkCheck) {
    for (int item = checkNet; item <= trafficStatistics; ++item)
        m_server->AddTask(static_cast<TaskItem>(item));
    m_server->CheckNetStatus(100);
    m_server->ChangeToUnknowEnv();  // stops everything, then arms the open-network check
    EXPECT_TRUE(m_server->IsExistTask(checkUnknowNet));
    EXPECT_FALSE(m_server->IsExistTask(checkNet));
    EXPECT_EQ(Drain(*m_server), std::vector<std::string>{"2/1/"});
    // The client is told the host is on line without a portal.
    ASSERT_EQ(m_hub.Posts().size(), 1u);
    EXPECT_NE(
        m_hub.Posts()[0].find("<type>0</type><oldState>1</oldState><newState>2</newState><ErrorCode>0<"),
        std::string::npos);
    m_server->StopTask(checkUnknowNet);
    EXPECT_FALSE(m_server->IsExistTask(checkUnknowNet));
}

TEST_F(CPortalServerTest, StopWaitsForTheRunningTaskAndFreesTheSessionAfterIt) {
    CXMLOpt empty;
    m_server->Start("client", empty);
    m_server->Hold();
    m_server->AddTask(keepPort, high);
    ASSERT_TRUE(m_server->WaitEvent("run 13", milliseconds(10000)));
    std::thread stopper([&] {
        m_server->ServerStatus(-1);
        m_server->Note("stopped");
    });
    // Queued while stopping: never run.
    m_server->AddTask(pluse, high);
    EXPECT_FALSE(m_server->WaitEvent("stopped", milliseconds(300)));
    m_server->Release();
    EXPECT_TRUE(m_server->WaitEvent("stopped", milliseconds(10000)));
    stopper.join();
    EXPECT_EQ(m_server->Events(), (std::vector<std::string>{"run 13", "end with connection", "stopped"}));
    EXPECT_EQ(m_server->GetPortalConn(), nullptr);
}

TEST_F(CPortalServerTest, LogoutWithoutASessionIsRefusedAndCancelsPendingLogins) {
    m_server->DealMsg("<M><OpS>client</OpS><OpT>Portal</OpT><OpC>PortalConnect</OpC><P></P></M>");
    m_server->DisConnect(CAutoString("2"));
    EXPECT_EQ(m_server->NetworkTraffic(0, "2"), -1);
    EXPECT_TRUE(Drain(*m_server).empty());
}

// ---- The task handlers against a scripted session ----

namespace {

// Every step answers the result the test gives it.
class ScriptedSession : public IPortalSession {
public:
    explicit ScriptedSession(int* result) : m_result(result) { m_config.checkWifiInterval = 0; }
    int Connect(const char*) override { return *m_result; }
    int DisConnect(const char*) override { return *m_result; }
    int IsPhisycalConnect() override { return 1; }
    int CheckIP() override { return *m_result; }
    void ExitPrepare() override {}
    int Init() override { return 0; }
    CAuthConfig* GetAuthConfig() override { return &m_config; }
    void NetStateChange(ESTATE, ESTATE n, int code, CAutoString) override {
        posts.push_back(std::to_string(n) + " " + std::to_string(code));
    }
    void PostLastNetStateMessage() override {}
    ESTATE GetNetState() const override { return ES_NONE; }
    void BeginNetworkCheck() override {}
    void UseAddress(const SHostAddress&) override {}
    void SetServerIp() override {}
    int RequestConfig(int) override { return *m_result; }
    void ResetNetConfig() override {}
    int GetConnCfg() override { return 0; }
    void ReloadServerLists() override {}
    int RequestTicket() override { return *m_result; }
    int CheckConnectState(int) override { return *m_result; }
    int KeepPluse() override { return *m_result; }
    int TerminalRequestData(CAutoString&) override { return *m_result; }
    int TerminalTermRequest(CAutoString) override { return *m_result; }
    void Destroy() override {}

    std::vector<std::string> posts;

private:
    int* m_result;
    CAuthConfig m_config;
};

class ScriptedPortalServer : public CPortalServer {
public:
    explicit ScriptedPortalServer(int* result)
        : CPortalServer([this, result](IPortalHost*, ISvrInfoCenter*) {
              auto session = std::make_unique<ScriptedSession>(result);
              m_session = session.get();
              return session;
          }) {}
    using CPortalServer::CreateSession;
    using CPortalServer::RunTask;
    using CPortalServer::TakeQueuedTask;
    ScriptedSession* m_session = nullptr;
};

// A session that answers as told.
class CPortalServerHandlers : public WithSettings {
protected:
    void SetUp() override {
        m_server.SetInfoCenter(m_info.get());
        m_server.CreateSession();
    }
    int m_result = 0;
    ScriptedPortalServer m_server{&m_result};
};

}  // namespace

TEST_F(CPortalServerHandlers, EachResultLeadsToItsNextTaskOrTimer) {
    // task, its tag, the session's answer, what was queued, the timers armed
    struct Case {
        TaskItem task;
        const char* tag;
        int result;
        std::vector<std::string> queued, timers;
    } cases[] = {
        {checkUnknowNet, "", kResultNothing, {"5/1/"}, {}},
        {checkUnknowNet, "", kResultFailed, {}, {"2"}},
        {checkUnknowNet, "", kResultDone, {"4/1/"}, {}},  // a portal from now on
        {checkUnknowNet, "", kResultFailed, {}, {}},
        {reqTicket, "", kResultDone, {}, {"4", "5"}},
        {reqTicket, "", kResultSwitchedServer, {"1/1/failover"}, {}},
        {reqTicket, "", kResultFailed, {}, {}},
        {reqTicket, "", kResultRunAgain, {"4/1/"}, {}},
        {reqState, "", kResultDone, {}, {"8"}},
        {reqState, "", kResultSessionEnded, {"4/1/"}, {}},
        {reqState, "", kResultNothing, {}, {"5"}},
        {reqState, "", kResultRefused, {}, {"5"}},
        {reqState, "", kResultFailed, {}, {}},
        {auth, "", kResultDone, {}, {"8"}},
        {auth, "", kResultFailed, {"4/2/"}, {}},
        {term, "3", kResultDone, {"4/1/"}, {}},
        {term, "2", kResultDone, {}, {}},
        {term, "7", kResultDone, {}, {}},
        {term, "3", kResultFailed, {}, {}},
        {pluse, "", kResultDone, {}, {"8"}},
        {pluse, "", kResultNothing, {}, {"8"}},
        {pluse, "", kResultSessionEnded, {"5/1/"}, {}},
        {pluse, "", kResultFailed, {"7/1/3"}, {}},
        {terminalTerm, "", kResultDone, {"11/2/"}, {}},
        // "Run again" re-queues the task until the third answer in a row,
        // which goes down the failure path with the cause posted.
        {auth, "", kResultRunAgain, {"6/1/"}, {}},
        {auth, "", kResultRunAgain, {"6/1/"}, {}},
        {auth, "", kResultRunAgain, {"4/2/"}, {}},
    };
    for (const auto& c : cases) {
        m_result = c.result;
        Task task;
        task.curTask = c.task;
        task.tag = c.tag;
        m_server.RunTask(task);
        std::vector<std::string> timers;
        for (int item = checkNet; item <= trafficStatistics; ++item)
            if (m_server.IsExistTask(item)) timers.push_back(std::to_string(item));
        m_server.ClearTask();
        EXPECT_EQ(Drain(m_server), c.queued) << c.task << " answered " << c.result;
        EXPECT_EQ(timers, c.timers) << c.task << " answered " << c.result;
    }
    EXPECT_EQ(m_server.m_session->posts,
              std::vector<std::string>{"3 " + std::to_string(kCodeModuleUpdateFailed)});
}
