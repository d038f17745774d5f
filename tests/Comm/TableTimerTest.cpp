#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "TableTimer.h"
#include "ThreadTestHelpers.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

struct Fired {
    int id;
    std::string text;
    Clock::time_point at;
};

// Records every firing; an optional hook runs inside the handler, with the
// table lock held, the way the portal business's handlers do.
class RecordingTimer : public CTableTimer {
public:
    using CTableTimer::PendingIds;
    using CTableTimer::SetSecondLength;

    ~RecordingTimer() override { DispatchTask(false); }

    void DoTimeTask(int id) override {
        CAutoString none;
        DoTimeTask(id, none);
    }
    void DoTimeTask(int id, CAutoString& text) override {
        const Clock::time_point at = Clock::now();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_fired.push_back({id, text.GetBuffer(), at});
        }
        m_cv.notify_all();
        if (onFire) onFire(id);
    }

    bool WaitFired(size_t count, std::chrono::milliseconds limit = threadtest::kLimit) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, limit, [&] { return m_fired.size() >= count; });
    }
    std::vector<Fired> FiredSoFar() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_fired;
    }
    std::vector<int> FiredIds() {
        std::vector<int> ids;
        for (const Fired& f : FiredSoFar()) ids.push_back(f.id);
        return ids;
    }

    std::function<void(int)> onFire;  // set before the thread starts

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Fired> m_fired;
};

// Every task is scheduled at one fixed instant; never dispatched.
class FrozenTimer : public RecordingTimer {
protected:
    Clock::time_point Now() const override { return m_now; }

private:
    Clock::time_point m_now = Clock::now();
};

constexpr int kOnce = 1;
constexpr int kRepeat = 0;
constexpr long kHour = 3600;

}  // namespace

TEST(TableTimerTest, FiresTasksInDueOrder) {
    RecordingTimer timer;
    timer.SetSecondLength(10ms);
    timer.AddTask(30, kOnce, false, 3, false);
    timer.AddTask(10, kOnce, false, 1, false);
    timer.AddTask(20, kOnce, false, 2, false);
    timer.AddTask(1, kOnce, true, 5, false);
    ASSERT_TRUE(timer.DispatchTask(true));
    ASSERT_TRUE(timer.WaitFired(4));
    EXPECT_EQ(timer.FiredIds(), (std::vector<int>{1, 10, 20, 30}));
}

TEST(TableTimerTest, AmongEqualDueTimesTheNewestComesFirst) {
    FrozenTimer timer;
    timer.AddTask(1, kOnce, false, 2, false);
    timer.AddTask(2, kOnce, false, 1, false);
    timer.AddTask(3, kOnce, false, 2, false);
    timer.AddTask(4, kOnce, true, 9, false);
    timer.AddTask(5, kOnce, false, 1, false);
    EXPECT_EQ(timer.PendingIds(), (std::vector<int>{4, 5, 2, 3, 1}));
}

TEST(TableTimerTest, SameIdTwiceKeepsTheFirstUnlessReplaced) {
    struct Case {
        bool replace;
        const char* expectedText;
        std::vector<int> expectedOrder;
    };
    for (const Case& c : {Case{false, "first", {7, 99}}, Case{true, "second", {99, 7}}}) {
        SCOPED_TRACE(c.replace ? "replace" : "keep");
        RecordingTimer timer;
        timer.SetSecondLength(10ms);
        timer.AddTask(7, kOnce, false, 1, false, "first");
        timer.AddTask(99, kOnce, false, 3, false);
        timer.AddTask(7, kOnce, false, 5, c.replace, "second");
        EXPECT_EQ(timer.PendingIds().size(), 2u);
        ASSERT_TRUE(timer.DispatchTask(true));
        ASSERT_TRUE(timer.WaitFired(2));
        EXPECT_EQ(timer.FiredIds(), c.expectedOrder);
        for (const Fired& f : timer.FiredSoFar()) {
            if (f.id == 7) {
                EXPECT_EQ(f.text, c.expectedText);
            }
        }
    }
}

TEST(TableTimerTest, RunNowFiresAtOnceAndARepeatingTaskStaysScheduled) {
    RecordingTimer timer;
    ASSERT_TRUE(timer.DispatchTask(true));
    timer.AddTask(3, kRepeat, true, kHour, false, "tag");
    timer.AddTask(4, kOnce, true, kHour, false);
    ASSERT_TRUE(timer.WaitFired(2));
    EXPECT_EQ(timer.FiredIds(), (std::vector<int>{3, 4}));
    EXPECT_EQ(timer.FiredSoFar()[0].text, "tag");
    EXPECT_EQ(timer.FiredSoFar()[1].text, "");
    EXPECT_TRUE(timer.IsExistTask(3));  // next run in an hour
    EXPECT_FALSE(timer.IsExistTask(4));
}

TEST(TableTimerTest, RepeatingTaskKeepsFiringEveryInterval) {
    RecordingTimer timer;
    timer.SetSecondLength(50ms);
    ASSERT_TRUE(timer.DispatchTask(true));
    timer.AddTask(8, kRepeat, true, 2, false);
    ASSERT_TRUE(timer.WaitFired(4));
    const std::vector<Fired> fired = timer.FiredSoFar();
    for (size_t i = 1; i < 4; ++i) {
        // 100 ms apart, less the little a handler may start late.
        EXPECT_GE(fired[i].at - fired[i - 1].at, 80ms) << "firing " << i;
    }
}

TEST(TableTimerTest, DegenerateIntervalsNeitherSpinNorOverflow) {
    RecordingTimer timer;
    ASSERT_TRUE(timer.DispatchTask(true));
    timer.AddTask(1, kOnce, false, LONG_MAX, false);
    timer.AddTask(2, kOnce, false, -5, false);  // due at once
    timer.AddTask(3, kRepeat, true, 0, false);  // then at most once a second
    ASSERT_TRUE(timer.WaitFired(2));
    EXPECT_FALSE(timer.WaitFired(3, 300ms));
    std::vector<int> ids = timer.FiredIds();
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<int>{2, 3}));
    EXPECT_TRUE(timer.IsExistTask(1));
    EXPECT_TRUE(timer.IsExistTask(3));
}

TEST(TableTimerTest, RemovedPendingTaskNeverFires) {
    RecordingTimer timer;
    timer.SetSecondLength(10ms);
    ASSERT_TRUE(timer.DispatchTask(true));
    timer.AddTask(5, kOnce, false, 2, false);
    timer.AddTask(6, kOnce, false, 6, false);
    timer.RemoveTask(5);
    timer.RemoveTask(12345);  // unknown ids are ignored
    EXPECT_FALSE(timer.IsExistTask(5));
    ASSERT_TRUE(timer.WaitFired(1));
    EXPECT_EQ(timer.FiredIds(), std::vector<int>{6});
}

TEST(TableTimerTest, HandlerMayChangeAndClearItsOwnTable) {
    RecordingTimer timer;
    bool sawAdded = false, sawRemoved = false;  // written by the handler only
    timer.onFire = [&](int id) {
        if (id == 1) {
            timer.AddTask(2, kOnce, true, 0, false, "chained");
            sawAdded = timer.IsExistTask(2);
            timer.RemoveTask(4);
            sawRemoved = !timer.IsExistTask(4);
        } else if (id == 2) {
            timer.ClearTask();  // frees the record of the repeating task 1
        }
    };
    timer.AddTask(4, kOnce, false, kHour, false);
    timer.AddTask(5, kOnce, false, kHour, false);
    timer.AddTask(1, kRepeat, true, 1, false);
    threadtest::RunWithWatchdog("handlers touching their table", 30s, [&] {
        ASSERT_TRUE(timer.DispatchTask(true));
        ASSERT_TRUE(timer.WaitFired(2));
        EXPECT_FALSE(timer.IsExistTask(1));
        EXPECT_FALSE(timer.IsExistTask(5));
        // The table still works afterwards.
        timer.AddTask(3, kOnce, true, 0, false);
        ASSERT_TRUE(timer.WaitFired(3));
    });
    EXPECT_EQ(timer.FiredIds(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(timer.FiredSoFar()[1].text, "chained");
    EXPECT_TRUE(sawAdded);
    EXPECT_TRUE(sawRemoved);
}

TEST(TableTimerTest, StopWakesASleepingThreadAndEmptiesTheTable) {
    RecordingTimer timer;
    timer.AddTask(1, kOnce, false, kHour, false);
    ASSERT_TRUE(timer.DispatchTask(true));
    EXPECT_FALSE(timer.DispatchTask(true));  // already running
    EXPECT_TRUE(timer.DispatchTask(false));
    EXPECT_FALSE(timer.IsExistTask(1));

    // Tasks added while idle wait for the next start.
    timer.AddTask(2, kOnce, true, 0, false);
    EXPECT_TRUE(timer.IsExistTask(2));
    ASSERT_TRUE(timer.DispatchTask(true));
    ASSERT_TRUE(timer.WaitFired(1));
    EXPECT_EQ(timer.FiredIds(), std::vector<int>{2});
}

TEST(TableTimerTest, HandlerMayStopItsOwnDispatchThread) {
    RecordingTimer timer;
    std::atomic<int> stopResult{-1};
    std::atomic<int> startResult{-1};
    timer.onFire = [&](int id) {
        if (id != 1) return;
        startResult = timer.DispatchTask(true) ? 1 : 0;
        stopResult = timer.DispatchTask(false) ? 1 : 0;
    };
    timer.AddTask(2, kOnce, false, kHour, false);
    timer.AddTask(1, kOnce, true, 0, false);
    ASSERT_TRUE(timer.DispatchTask(true));
    ASSERT_TRUE(timer.WaitFired(1));
    threadtest::RunWithWatchdog("thread stopped from its handler", 30s, [&] {
        // The loop ends right after the handler; retry in case it is slow.
        bool ended = false;
        for (int i = 0; i < 20 && !ended; ++i) ended = timer.DispatchTask(false);
        EXPECT_TRUE(ended);
    });
    EXPECT_EQ(startResult, 0);
    EXPECT_EQ(stopResult, 0);
    EXPECT_FALSE(timer.IsExistTask(2));
    EXPECT_TRUE(timer.DispatchTask(true));
}

TEST(TableTimerTest, ManyStartStopCyclesNeitherHangNorLoseTasks) {
    RecordingTimer timer;
    threadtest::RunWithWatchdog("200 timer start/stop cycles", 120s, [&] {
        size_t expected = 0;
        for (int i = 0; i < 200; ++i) {
            timer.AddTask(1, kOnce, false, kHour, false);
            ASSERT_TRUE(timer.DispatchTask(true)) << "cycle " << i;
            if (i % 4 == 0) {
                timer.AddTask(i, kOnce, true, 0, true);
                ASSERT_TRUE(timer.WaitFired(++expected)) << "cycle " << i;
            }
            ASSERT_TRUE(timer.DispatchTask(false)) << "cycle " << i;
            ASSERT_FALSE(timer.IsExistTask(1)) << "cycle " << i;
        }
        EXPECT_EQ(timer.FiredSoFar().size(), expected);
    });
}
