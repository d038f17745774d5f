// The "Portal" business's queue, timers and stop order. Tasks are recorded
// instead of run, so no test here touches the network.
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

#include "IServer.h"
#include "InfoCenter.h"
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

std::vector<std::string> Drain(TestPortalServer& server) {
    std::vector<std::string> taken;
    Task task;
    while (server.TakeQueuedTask(task))
        taken.push_back(std::to_string(task.curTask) + "/" + std::to_string(task.level) + "/" +
                        task.tag.c_str() +
                        (task.nextTask != noTask ? ">" + std::to_string(task.nextTask) : ""));
    return taken;
}

class CPortalServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(m_dir / "conf.xml") << "<conf><version>1.0.0</version></conf>\n";
        m_info = std::make_unique<CInfoCenter>(CInfoCenter::Flavor::Service, (m_dir / "conf.xml").c_str());
        m_server = std::make_unique<TestPortalServer>();
        m_server->InitService(&m_hub);
        m_server->SetInfoCenter(m_info.get());
    }
    void TearDown() override {
        m_server->Release();
        m_server->ServerStatus(-1);
        m_server.reset();
    }

    TempDir m_dir;
    RecordingHub m_hub;
    std::unique_ptr<CInfoCenter> m_info;
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
