#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "SimpleThread.h"
#include "ThreadTestHelpers.h"

using threadtest::Latch;

namespace {

// Polls its run flag the way the service's loops do, and says when it ends.
struct Cooperative {
    std::atomic<bool> run{false};
    Latch started;
    Latch ended;

    static void* Routine(void* param) {
        auto* self = static_cast<Cooperative*>(param);
        self->started.Open();
        while (self->run) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        self->ended.Open();
        return nullptr;
    }
};

// Ignores the run flag and returns only when released. Shared so that it can
// outlive the test body when its thread is detached.
struct Stubborn {
    std::atomic<bool> run{false};
    Latch started;
    Latch release;
    Latch ended;

    static void* Routine(void* param) {
        auto holder =
            std::unique_ptr<std::shared_ptr<Stubborn>>(static_cast<std::shared_ptr<Stubborn>*>(param));
        std::shared_ptr<Stubborn> self = *holder;
        self->started.Open();
        self->release.Wait(std::chrono::seconds(30));
        self->ended.Open();
        return nullptr;
    }
};

bool RunStubborn(CSimpleThread& thread, const std::shared_ptr<Stubborn>& stubborn) {
    auto* param = new std::shared_ptr<Stubborn>(stubborn);
    if (thread.Run(&Stubborn::Routine, param, &stubborn->run)) return true;
    delete param;
    return false;
}

}  // namespace

TEST(SimpleThreadTest, RunRaisesTheFlagAndStopLowersItAndJoins) {
    CSimpleThread thread;
    EXPECT_TRUE(thread.Stop(0));  // nothing started: nothing left running

    Cooperative job;
    ASSERT_TRUE(thread.Run(&Cooperative::Routine, &job, &job.run));
    EXPECT_TRUE(job.run);
    ASSERT_TRUE(job.started.Wait());
    EXPECT_TRUE(thread.IsRunning());
    EXPECT_TRUE(thread.Stop(5000));
    EXPECT_FALSE(job.run);
    EXPECT_TRUE(job.ended.IsOpen());
    EXPECT_FALSE(thread.IsRunning());
}

TEST(SimpleThreadTest, AThreadThatIgnoresItsFlagIsNeitherKilledNorReplaced) {
    auto stubborn = std::make_shared<Stubborn>();
    CSimpleThread thread;
    ASSERT_TRUE(RunStubborn(thread, stubborn));
    ASSERT_TRUE(stubborn->started.Wait());
    EXPECT_FALSE(thread.Stop(20, false));
    EXPECT_FALSE(thread.Stop(20, true));
    EXPECT_FALSE(stubborn->run);
    EXPECT_TRUE(thread.IsRunning());

    // A refused start leaves the caller's flag alone.
    Cooperative other;
    EXPECT_FALSE(thread.Run(&Cooperative::Routine, &other, &other.run));
    EXPECT_FALSE(other.run);

    // Once the earlier thread has ended, the same object starts a new one.
    stubborn->release.Open();
    ASSERT_TRUE(threadtest::WaitUntil([&] { return !thread.IsRunning(); }));
    ASSERT_TRUE(thread.Run(&Cooperative::Routine, &other, &other.run));
    ASSERT_TRUE(other.started.Wait());
    EXPECT_TRUE(thread.Stop(5000));
}

TEST(SimpleThreadTest, DestroyingTheWrapperOfARunningThreadLetsItFinish) {
    auto stubborn = std::make_shared<Stubborn>();
    {
        CSimpleThread thread;
        ASSERT_TRUE(RunStubborn(thread, stubborn));
        ASSERT_TRUE(stubborn->started.Wait());
    }
    stubborn->release.Open();
    EXPECT_TRUE(stubborn->ended.Wait());
}

namespace {
struct SelfStopper {
    CSimpleThread* thread = nullptr;
    std::atomic<bool> run{false};
    std::atomic<int> stopResult{-1};

    static void* Routine(void* param) {
        auto* self = static_cast<SelfStopper*>(param);
        // Joining itself would hang or fail; it only lowers the flag.
        self->stopResult = self->thread->Stop(1000) ? 1 : 0;
        return nullptr;
    }
};
}  // namespace

TEST(SimpleThreadTest, StopFromTheThreadItselfLowersTheFlagWithoutWaiting) {
    SelfStopper job;
    CSimpleThread thread;
    job.thread = &thread;
    ASSERT_TRUE(thread.Run(&SelfStopper::Routine, &job, &job.run));
    threadtest::RunWithWatchdog("self-stopped thread", std::chrono::seconds(20),
                                [&] { EXPECT_TRUE(thread.Join()); });
    EXPECT_EQ(job.stopResult, 0);
    EXPECT_FALSE(job.run);
}

TEST(SimpleThreadTest, ManyStartStopCyclesNeitherHangNorLeak) {
    threadtest::RunWithWatchdog("200 start/stop cycles", std::chrono::seconds(60), [] {
        CSimpleThread thread;
        for (int i = 0; i < 200; ++i) {
            Cooperative job;
            ASSERT_TRUE(thread.Run(&Cooperative::Routine, &job, &job.run)) << "cycle " << i;
            // Half the cycles stop before the routine had a chance to start.
            if (i % 2) {
                ASSERT_TRUE(job.started.Wait());
            }
            ASSERT_TRUE(thread.Stop(10000)) << "cycle " << i;
        }
    });
}
