#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "MsgEngine.h"

namespace {

using namespace std::chrono_literals;

// Records what the worker hands over; a test may hook each message.
class CRecordingEngine : public CMsgEngine {
public:
    ~CRecordingEngine() override { StopMsgEngine(); }

    std::function<void(const std::string&)> m_hook;

    bool WaitForCount(size_t count) {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_cond.wait_for(lock, 10s, [&] { return m_seen.size() >= count; });
    }
    std::vector<std::string> Seen() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_seen;
    }

protected:
    void DoMessage(CAutoString message) override {
        std::string text = message.c_str();
        if (m_hook) m_hook(text);
        std::lock_guard<std::mutex> lock(m_lock);
        m_seen.push_back(text);
        m_workers.push_back(std::this_thread::get_id());
        m_cond.notify_all();
    }

public:
    std::vector<std::thread::id> m_workers;  // read after WaitForCount only

private:
    std::mutex m_lock;
    std::condition_variable m_cond;
    std::vector<std::string> m_seen;
};

std::vector<std::string> Numbered(int from, int to) {
    std::vector<std::string> out;
    for (int i = from; i < to; ++i) out.push_back("m" + std::to_string(i));
    return out;
}

}  // namespace

TEST(CMsgEngineTest, HandsMessagesInArrivalOrderOnItsOwnThread) {
    CRecordingEngine engine;
    EXPECT_FALSE(engine.IsRunning());
    engine.StartMsgEngine();
    engine.StartMsgEngine();  // second start does nothing
    EXPECT_TRUE(engine.IsRunning());
    for (const std::string& text : Numbered(0, 500)) engine.AddMessage(text.c_str());
    ASSERT_TRUE(engine.WaitForCount(500));
    EXPECT_EQ(engine.Seen(), Numbered(0, 500));
    EXPECT_NE(engine.m_workers.front(), std::this_thread::get_id());
    EXPECT_EQ(engine.m_workers.front(), engine.m_workers.back());
}

TEST(CMsgEngineTest, MessagesAddedWhileStoppedWaitAndRestartDeliversThem) {
    CRecordingEngine engine;
    CAutoString out;
    EXPECT_FALSE(engine.GetMessage(out));  // stopped: no wait, no message
    engine.StartMsgEngine();
    engine.StopMsgEngine();
    EXPECT_FALSE(engine.IsRunning());
    for (const std::string& text : Numbered(0, 3)) engine.AddMessage(text.c_str());
    EXPECT_EQ(engine.GetQueuedCount(), 3u);
    EXPECT_TRUE(engine.Seen().empty());
    engine.StartMsgEngine();
    ASSERT_TRUE(engine.WaitForCount(3));
    EXPECT_EQ(engine.Seen(), Numbered(0, 3));
}

TEST(CMsgEngineTest, HandlerStoppingItsEngineLeavesTheRestQueued) {
    CRecordingEngine engine;
    engine.m_hook = [&](const std::string& text) {
        if (text == "m0") engine.StopMsgEngine();  // must not join itself
    };
    engine.AddMessage("m0");
    engine.AddMessage("m1");
    engine.AddMessage("m2");
    engine.StartMsgEngine();
    ASSERT_TRUE(engine.WaitForCount(1));
    engine.StopMsgEngine();  // joins the worker that ended by itself
    EXPECT_EQ(engine.Seen(), Numbered(0, 1));
    EXPECT_EQ(engine.GetQueuedCount(), 2u);

    engine.m_hook = nullptr;
    engine.StartMsgEngine();
    ASSERT_TRUE(engine.WaitForCount(3));
    EXPECT_EQ(engine.Seen(), Numbered(0, 3));
}

TEST(CMsgEngineTest, HandlerRestartingItsEngineKeepsTheWorkerGoing) {
    CRecordingEngine engine;
    engine.m_hook = [&](const std::string& text) {
        if (text != "m0") return;
        engine.StopMsgEngine();
        engine.StartMsgEngine();
    };
    engine.StartMsgEngine();
    for (const std::string& text : Numbered(0, 3)) engine.AddMessage(text.c_str());
    ASSERT_TRUE(engine.WaitForCount(3));
    EXPECT_TRUE(engine.IsRunning());
    EXPECT_EQ(engine.Seen(), Numbered(0, 3));
}

TEST(CMsgEngineTest, StopFromOutsideWaitsForTheRunningHandler) {
    CRecordingEngine engine;
    std::mutex lock;
    std::condition_variable cond;
    bool entered = false, release = false, handled = false;
    engine.m_hook = [&](const std::string&) {
        std::unique_lock<std::mutex> hold(lock);
        entered = true;
        cond.notify_all();
        cond.wait_for(hold, 10s, [&] { return release; });
        handled = true;
    };
    engine.StartMsgEngine();
    engine.AddMessage("m0");
    {
        std::unique_lock<std::mutex> hold(lock);
        ASSERT_TRUE(cond.wait_for(hold, 10s, [&] { return entered; }));
    }
    bool handledWhenStopped = false;
    std::thread stopper([&] {
        engine.StopMsgEngine();
        std::lock_guard<std::mutex> hold(lock);
        handledWhenStopped = handled;
    });
    {
        std::lock_guard<std::mutex> hold(lock);
        release = true;
    }
    cond.notify_all();
    stopper.join();
    EXPECT_TRUE(handledWhenStopped);
    EXPECT_FALSE(engine.IsRunning());
}

TEST(CMsgEngineTest, RepeatedStartAndStopWhileProducingLosesAndRepeatsNothing) {
    CRecordingEngine engine;
    const int total = 2000;
    std::thread producer([&] {
        for (const std::string& text : Numbered(0, total)) engine.AddMessage(text.c_str());
    });
    for (int round = 0; round < 200; ++round) {
        engine.StartMsgEngine();
        engine.StopMsgEngine();
    }
    producer.join();
    engine.StartMsgEngine();
    ASSERT_TRUE(engine.WaitForCount(total));
    EXPECT_EQ(engine.Seen(), Numbered(0, total));
}
