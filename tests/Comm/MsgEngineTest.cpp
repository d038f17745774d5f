#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "MsgEngine.h"
#include "ThreadTestHelpers.h"

namespace {

using Strings = std::vector<std::string>;

// Records what the worker hands over; a test may hook each message.
class CRecordingEngine : public CMsgEngine {
public:
    ~CRecordingEngine() override { StopMsgEngine(); }
    std::function<void(const std::string&)> m_hook;
    threadtest::Inbox m_seen;

protected:
    void DoMessage(CAutoString message) override {
        if (m_hook) m_hook(message.c_str());
        m_seen.Push(message.c_str());
    }
};

Strings Numbered(int count) {
    Strings out;
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
    const Strings all = Numbered(503);
    for (int i = 0; i < 500; ++i) engine.AddMessage(all[i].c_str());
    ASSERT_EQ(engine.m_seen.WaitFor(500).size(), 500u);
    EXPECT_NE(worker, std::this_thread::get_id());
    engine.StopMsgEngine();
    for (int i = 500; i < 503; ++i) engine.AddMessage(all[i].c_str());
    EXPECT_EQ(engine.GetQueuedCount(), 3u);
    engine.StartMsgEngine();
    EXPECT_EQ(engine.m_seen.WaitFor(503), all);
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
            ASSERT_EQ(engine.m_seen.WaitFor(1).size(), 1u);
            engine.StopMsgEngine();  // joins the worker that ended by itself
            EXPECT_EQ(engine.GetQueuedCount(), 2u);
            engine.m_hook = nullptr;
            engine.StartMsgEngine();
        }
        EXPECT_EQ(engine.m_seen.WaitFor(3), Numbered(3));
        EXPECT_TRUE(engine.IsRunning());
    }
}

TEST(CMsgEngineTest, RepeatedStartAndStopWhileProducingLosesAndRepeatsNothing) {
    CRecordingEngine engine;
    std::thread producer([&] {
        for (const std::string& text : Numbered(900)) engine.AddMessage(text.c_str());
    });
    for (int round = 0; round < 200; ++round) {
        engine.StartMsgEngine();
        engine.StopMsgEngine();
    }
    producer.join();
    engine.StartMsgEngine();
    EXPECT_EQ(engine.m_seen.WaitFor(900), Numbered(900));
}

TEST(CMsgEngineTest, AFullQueueDropsTheFloodAndTakesMessagesAgainOnceDrained) {
    CRecordingEngine engine;
    const Strings all = Numbered(CMsgEngine::kMaxQueued + 5);
    size_t taken = 0;
    for (const std::string& text : all) taken += engine.AddMessage(text.c_str());
    EXPECT_EQ(taken, CMsgEngine::kMaxQueued);
    engine.StartMsgEngine();
    EXPECT_EQ(engine.m_seen.WaitFor(CMsgEngine::kMaxQueued), Strings(all.begin(), all.end() - 5));
    EXPECT_TRUE(engine.AddMessage("late"));
    EXPECT_EQ(engine.m_seen.WaitFor(CMsgEngine::kMaxQueued + 1).back(), "late");
}
