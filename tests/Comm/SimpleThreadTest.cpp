#include <gtest/gtest.h>

#include <atomic>

#include "SimpleThread.h"
#include "ThreadTestHelpers.h"

using threadtest::Latch;
using namespace std::chrono_literals;

namespace {

// Polls its run flag the way the service's loops do, or ignores it until
// released (stubborn); may first stop its own thread. Outlives its routine.
struct Job {
    explicit Job(bool stubborn = false) : stubborn(stubborn) {}
    ~Job() {
        release.Open();
        ended.Wait();
    }
    const bool stubborn;
    std::atomic<bool> run{false};
    Latch started, release, ended;
    CSimpleThread* stopSelf = nullptr;
    std::atomic<int> stopResult{-1};

    static void* Routine(void* param) {
        auto* self = static_cast<Job*>(param);
        self->started.Open();
        if (self->stopSelf) self->stopResult = self->stopSelf->Stop(1000);
        if (self->stubborn) self->release.Wait(30s);
        while (!self->stubborn && self->run) std::this_thread::sleep_for(1ms);
        self->ended.Open();
        return nullptr;
    }
};

}  // namespace

TEST(SimpleThreadTest, ForcedStopOfAThreadIgnoringItsFlagNeitherKillsNorReplacesIt) {
    Job stubborn(true);
    CSimpleThread thread;
    ASSERT_TRUE(thread.Run(&Job::Routine, &stubborn, &stubborn.run));
    ASSERT_TRUE(stubborn.started.Wait());
    EXPECT_FALSE(thread.Stop(20, false));
    EXPECT_FALSE(thread.Stop(20, true));
    EXPECT_FALSE(stubborn.run);
    EXPECT_TRUE(thread.IsRunning());

    Job other;  // a refused start leaves the caller's flag alone
    EXPECT_FALSE(thread.Run(&Job::Routine, &other, &other.run));
    EXPECT_FALSE(other.run);

    stubborn.release.Open();
    ASSERT_TRUE(thread.Stop(5000));
    ASSERT_TRUE(thread.Run(&Job::Routine, &other, &other.run));
    EXPECT_TRUE(other.run);
    ASSERT_TRUE(other.started.Wait());
    EXPECT_TRUE(thread.Stop(5000));
    EXPECT_FALSE(other.run);
    EXPECT_TRUE(other.ended.Wait(0ms));
}

TEST(SimpleThreadTest, DestroyingTheWrapperOfARunningThreadLetsItFinish) {
    Job stubborn(true);
    {
        CSimpleThread thread;
        ASSERT_TRUE(thread.Run(&Job::Routine, &stubborn, &stubborn.run));
        ASSERT_TRUE(stubborn.started.Wait());
    }
    stubborn.release.Open();
    EXPECT_TRUE(stubborn.ended.Wait());
}

TEST(SimpleThreadTest, StopFromTheThreadItselfLowersTheFlagWithoutWaiting) {
    Job job;
    CSimpleThread thread;
    job.stopSelf = &thread;
    ASSERT_TRUE(thread.Run(&Job::Routine, &job, &job.run));
    threadtest::RunWithWatchdog("self-stopped thread", 20s, [&] { EXPECT_TRUE(thread.Join()); });
    EXPECT_EQ(job.stopResult, 0);
}

TEST(SimpleThreadTest, ManyStartStopCyclesNeitherHangNorLeak) {
    threadtest::RunWithWatchdog("200 start/stop cycles", 60s, [] {
        CSimpleThread thread;
        EXPECT_TRUE(thread.Stop(0));  // nothing started: nothing left running
        for (int i = 0; i < 200; ++i) {
            Job job;
            ASSERT_TRUE(thread.Run(&Job::Routine, &job, &job.run)) << "cycle " << i;
            // Half the cycles stop before the routine had a chance to start.
            ASSERT_TRUE(i % 2 == 0 || job.started.Wait()) << "cycle " << i;
            ASSERT_TRUE(thread.Stop(10000)) << "cycle " << i;
            EXPECT_FALSE(thread.IsRunning());
        }
    });
}
