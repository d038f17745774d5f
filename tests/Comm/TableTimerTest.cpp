#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "TableTimer.h"
#include "ThreadTestHelpers.h"

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

namespace {

// Records every firing as "id" or "id:text"; onFire runs inside the handler
// with the table lock held, the way the portal business's handlers do.
class RecordingTimer : public CTableTimer {
public:
    using CTableTimer::PendingIds;
    using CTableTimer::SetSecondLength;
    ~RecordingTimer() override { DispatchTask(false); }

    void DoTimeTask(int id) override { Record(id, ""); }
    void DoTimeTask(int id, CAutoString& text) override { Record(id, text.GetBuffer()); }
    threadtest::Inbox fired;
    std::function<void(int)> onFire;  // set before the thread starts

private:
    void Record(int id, const std::string& text) {
        fired.Push(std::to_string(id) + (text.empty() ? "" : ":" + text));
        if (onFire) onFire(id);
    }
};

// Every task is scheduled at one fixed instant.
class FrozenTimer : public RecordingTimer {
protected:
    Clock::time_point Now() const override { return m_now; }

private:
    Clock::time_point m_now = Clock::now();
};

constexpr int kOnce = 1, kRepeat = 0;
constexpr long kHour = 3600;

}  // namespace

TEST(TableTimerTest, FiresInDueOrderNewestFirstAmongEqualsAndNeverARemovedTask) {
    FrozenTimer frozen;
    using Task = std::tuple<int, bool, long>;
    for (auto [id, runNow, interval] :
         {Task{1, false, 2}, Task{2, false, 1}, Task{3, false, 2}, Task{4, true, 9}, Task{5, false, 1}})
        frozen.AddTask(id, kOnce, runNow, interval, false);
    EXPECT_EQ(frozen.PendingIds(), (std::vector<int>{4, 5, 2, 3, 1}));

    RecordingTimer timer;
    timer.SetSecondLength(10ms);
    for (auto [id, runNow, interval] :
         {Task{30, false, 3}, Task{10, false, 1}, Task{5, false, 2}, Task{20, false, 2}, Task{1, true, 5}})
        timer.AddTask(id, kOnce, runNow, interval, false);
    timer.RemoveTask(5);
    timer.RemoveTask(12345);  // unknown ids are ignored
    ASSERT_TRUE(timer.DispatchTask(true));
    EXPECT_EQ(timer.fired.WaitFor(4), (Strings{"1", "10", "20", "30"}));
}

TEST(TableTimerTest, SameIdTwiceKeepsTheFirstUnlessReplaced) {
    for (bool replace : {false, true}) {
        RecordingTimer timer;
        timer.SetSecondLength(10ms);
        timer.AddTask(7, kOnce, false, 1, false, "first");
        timer.AddTask(99, kOnce, false, 3, false);
        timer.AddTask(7, kOnce, false, 5, replace, "second");
        EXPECT_EQ(timer.PendingIds().size(), 2u);
        ASSERT_TRUE(timer.DispatchTask(true));
        EXPECT_EQ(timer.fired.WaitFor(2), (replace ? Strings{"99", "7:second"} : Strings{"7:first", "99"}));
    }
}

TEST(TableTimerTest, RunNowFiresAtOnceAndARepeatingTaskKeepsFiring) {
    RecordingTimer timer;
    timer.SetSecondLength(10ms);
    ASSERT_TRUE(timer.DispatchTask(true));
    timer.AddTask(3, kRepeat, true, 2, false, "tag");
    timer.AddTask(4, kOnce, true, kHour, false);
    Strings fired = timer.fired.WaitFor(4);
    fired.resize(4);
    EXPECT_EQ(fired, (Strings{"3:tag", "4", "3:tag", "3:tag"}));
    EXPECT_TRUE(timer.IsExistTask(3));
    EXPECT_FALSE(timer.IsExistTask(4));
}

TEST(TableTimerTest, DegenerateIntervalsNeitherSpinNorOverflow) {
    RecordingTimer timer;
    ASSERT_TRUE(timer.DispatchTask(true));
    timer.AddTask(1, kOnce, false, LONG_MAX, false);
    timer.AddTask(2, kOnce, false, -5, false);  // due at once
    timer.AddTask(3, kRepeat, true, 0, false);  // then at most once a second
    ASSERT_EQ(timer.fired.WaitFor(2).size(), 2u);
    Strings fired = timer.fired.WaitFor(3, 300ms);
    std::sort(fired.begin(), fired.end());
    EXPECT_EQ(fired, (Strings{"2", "3"}));
    EXPECT_TRUE(timer.IsExistTask(1));
    EXPECT_TRUE(timer.IsExistTask(3));
}

// A handler cannot join its own thread: stopping from inside only ends the loop.
TEST(TableTimerTest, HandlerMayChangeClearAndStopItsOwnTable) {
    RecordingTimer timer;
    bool sawAdded = false, sawRemoved = false;  // written by the handler only
    std::atomic<int> startResult{-1}, stopResult{-1};
    timer.onFire = [&](int id) {
        if (id == 1) {
            timer.AddTask(2, kOnce, true, 0, false, "chained");
            sawAdded = timer.IsExistTask(2);
            timer.RemoveTask(4);
            sawRemoved = !timer.IsExistTask(4);
        } else if (id == 2) {
            timer.ClearTask();  // frees the record of the repeating task 1
            timer.AddTask(3, kOnce, true, 0, false);
            timer.AddTask(6, kOnce, false, kHour, false);
        } else if (id == 3) {
            startResult = timer.DispatchTask(true);
            stopResult = timer.DispatchTask(false);
        }
    };
    timer.AddTask(4, kOnce, false, kHour, false);
    timer.AddTask(5, kOnce, false, kHour, false);
    timer.AddTask(1, kRepeat, true, 1, false);
    threadtest::RunWithWatchdog("handlers touching their table", 30s, [&] {
        ASSERT_TRUE(timer.DispatchTask(true));
        ASSERT_EQ(timer.fired.WaitFor(3).size(), 3u);
        bool ended = false;  // the loop ends right after the handler; retry in case it is slow
        for (int i = 0; i < 20 && !ended; ++i) ended = timer.DispatchTask(false);
        EXPECT_TRUE(ended);
    });
    EXPECT_EQ(timer.fired.WaitFor(0), (Strings{"1", "2:chained", "3"}));
    EXPECT_TRUE(sawAdded);
    EXPECT_TRUE(sawRemoved);
    EXPECT_EQ(startResult, 0);
    EXPECT_EQ(stopResult, 0);
    for (int id : {1, 5, 6}) EXPECT_FALSE(timer.IsExistTask(id)) << id;
    EXPECT_TRUE(timer.DispatchTask(true));
}

// Stop wakes a thread sleeping on a far task and empties the table; tasks
// added while idle wait for the next start.
TEST(TableTimerTest, ManyStartStopCyclesNeitherHangNorLoseTasks) {
    RecordingTimer timer;
    threadtest::RunWithWatchdog("200 timer start/stop cycles", 120s, [&] {
        size_t expected = 0;
        for (int i = 0; i < 200; ++i) {
            timer.AddTask(1, kOnce, false, kHour, false);
            if (i % 4 == 0) timer.AddTask(i, kOnce, true, 0, true);
            ASSERT_TRUE(timer.DispatchTask(true)) << "cycle " << i;
            EXPECT_FALSE(timer.DispatchTask(true));  // already running
            expected += i % 4 == 0;
            ASSERT_EQ(timer.fired.WaitFor(expected).size(), expected) << "cycle " << i;
            ASSERT_TRUE(timer.DispatchTask(false)) << "cycle " << i;
            ASSERT_FALSE(timer.IsExistTask(1)) << "cycle " << i;
        }
        EXPECT_EQ(timer.fired.WaitFor(0).size(), expected);
    });
}
