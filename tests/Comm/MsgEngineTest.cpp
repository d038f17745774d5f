#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "MsgEngine.h"
#include "ThreadTestHelpers.h"

namespace {

// Records what the worker hands over; a test may hook each message.
class CRecordingEngine : public CMsgEngine {
public:
    ~CRecordingEngine() override { StopMsgEngine(); }
    std::function<void(const std::string&)> m_hook;

    bool WaitForCount(size_t count) {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_cond.wait_for(lock, threadtest::kLimit, [&] { return m_seen.size() >= count; });
    }
    std::vector<std::string> Seen() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_seen;
    }

protected:
    void DoMessage(CAutoString message) override {
        if (m_hook) m_hook(message.c_str());
        std::lock_guard<std::mutex> lock(m_lock);
        m_seen.push_back(message.c_str());
        m_cond.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_cond;
    std::vector<std::string> m_seen;
};

std::vector<std::string> Numbered(int count) {
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) out.push_back("m" + std::to_string(i));
    return out;
}

}  // namespace

TEST(CMsgEngineTest, HandsMessagesInOrderOnItsOwnThreadAndKeepsThemWhileStopped) {
    CRecordingEngine engine;
    std::thread::id worker;
    engine.m_hook = [&](const std::string& text) {
        if (text == "m0") worker = std::this_thread::get_id();
    };
    CAutoString out;
    EXPECT_FALSE(engine.GetMessage(out));  // stopped: returns at once
    engine.StartMsgEngine();
    engine.StartMsgEngine();
    const std::vector<std::string> all = Numbered(503);
    for (int i = 0; i < 500; ++i) engine.AddMessage(all[i].c_str());
    ASSERT_TRUE(engine.WaitForCount(500));
    EXPECT_NE(worker, std::this_thread::get_id());
    engine.StopMsgEngine();
    for (int i = 500; i < 503; ++i) engine.AddMessage(all[i].c_str());
    EXPECT_EQ(engine.GetQueuedCount(), 3u);
    engine.StartMsgEngine();
    ASSERT_TRUE(engine.WaitForCount(503));
    EXPECT_EQ(engine.Seen(), all);
}

TEST(CMsgEngineTest, HandlerMayStopAndRestartItsOwnEngine) {
    for (bool restart : {false, true}) {
        SCOPED_TRACE(restart ? "stop and start" : "stop");
        CRecordingEngine engine;
        engine.m_hook = [&](const std::string& text) {
            if (text != "m0") return;
            engine.StopMsgEngine();  // must not join itself
            if (restart) engine.StartMsgEngine();
        };
        for (const std::string& text : Numbered(3)) engine.AddMessage(text.c_str());
        engine.StartMsgEngine();
        if (!restart) {
            ASSERT_TRUE(engine.WaitForCount(1));
            engine.StopMsgEngine();  // joins the worker that ended by itself
            EXPECT_EQ(engine.GetQueuedCount(), 2u);
            engine.m_hook = nullptr;
            engine.StartMsgEngine();
        }
        ASSERT_TRUE(engine.WaitForCount(3));
        EXPECT_EQ(engine.Seen(), Numbered(3));
        EXPECT_TRUE(engine.IsRunning());
    }
}

TEST(CMsgEngineTest, StopFromOutsideWaitsForTheRunningHandler) {
    CRecordingEngine engine;
    threadtest::Latch entered, release;
    std::atomic<bool> handled{false};
    engine.m_hook = [&](const std::string&) {
        entered.Open();
        release.Wait();
        handled = true;
    };
    engine.StartMsgEngine();
    engine.AddMessage("m0");
    ASSERT_TRUE(entered.Wait());
    std::thread releaser([&] { release.Open(); });
    engine.StopMsgEngine();
    EXPECT_TRUE(handled);
    releaser.join();
}

TEST(CMsgEngineTest, RepeatedStartAndStopWhileProducingLosesAndRepeatsNothing) {
    CRecordingEngine engine;
    std::thread producer([&] {
        for (const std::string& text : Numbered(2000)) engine.AddMessage(text.c_str());
    });
    for (int round = 0; round < 200; ++round) {
        engine.StartMsgEngine();
        engine.StopMsgEngine();
    }
    producer.join();
    engine.StartMsgEngine();
    ASSERT_TRUE(engine.WaitForCount(2000));
    EXPECT_EQ(engine.Seen(), Numbered(2000));
}
