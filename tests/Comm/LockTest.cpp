#include <gtest/gtest.h>

#include <thread>

#include "guard.h"
#include "ptlock.h"

TEST(LockTest, MutexLockIsRecursive) {
    MutexLock lock;
    lock.Lock();
    EXPECT_TRUE(lock.TryLock());
    lock.UnLock();
    lock.UnLock();
}

TEST(LockTest, WriteGuardExcludesOtherThreadsAndReadGuardsShare) {
    RWLock lock;
    {
        CLockGuard<RWLock*, GWrite<RWLock*>> guard(&lock);
        bool acquired = true;
        std::thread([&] { acquired = lock.TryLock(0); }).join();
        EXPECT_FALSE(acquired);
    }
    {
        CLockGuard<RWLock*, GRead<RWLock*>> guard(&lock);
        bool shared = false;
        std::thread([&] {
            shared = lock.TryLock(0);
            if (shared) lock.UnLock();
        }).join();
        EXPECT_TRUE(shared);
    }
    EXPECT_TRUE(lock.TryLock(1));
    lock.UnLock();
}

TEST(LockTest, DeferredGuardDoesNotReleaseWhatItNeverHeld) {
    RWLock lock;
    lock.Lock(1);
    {
        CLockGuard<RWLock*, GWrite<RWLock*>> guard(&lock, true);
    }
    bool acquired = true;
    std::thread([&] { acquired = lock.TryLock(1); }).join();
    EXPECT_FALSE(acquired);
    lock.UnLock();
}

TEST(LockTest, NothingPolicyAndAttachDetach) {
    MutexLock a, b;
    CLockGuard<MutexLock*> nothing(&a);
    EXPECT_TRUE(static_cast<bool>(nothing));
    EXPECT_EQ(nothing.Get(), &a);

    CLockGuard<MutexLock*, GWrite<MutexLock*>> guard(&a);
    guard.Attach(&b);
    bool aFree = false;
    std::thread([&] {
        aFree = a.TryLock();
        if (aFree) a.UnLock();
    }).join();
    EXPECT_TRUE(aFree);
    EXPECT_EQ(guard.Detach(), &b);
    EXPECT_FALSE(static_cast<bool>(guard));
}
