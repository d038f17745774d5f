#include <gtest/gtest.h>

#include <thread>

#include "guard.h"
#include "ptlock.h"

namespace {
// Whether another thread could take the lock right now (released again if so).
template <class Lock, class... Args>
bool FreeElsewhere(Lock& lock, Args... args) {
    bool free = false;
    std::thread([&] {
        free = lock.TryLock(args...);
        if (free) lock.UnLock();
    }).join();
    return free;
}
}  // namespace

TEST(LockTest, MutexIsRecursiveWriteGuardsExcludeAndReadGuardsShare) {
    MutexLock mutex;
    mutex.Lock();
    EXPECT_TRUE(mutex.TryLock());
    mutex.UnLock();
    mutex.UnLock();

    RWLock lock;
    {
        CLockGuard<RWLock*, GWrite<RWLock*>> guard(&lock);
        EXPECT_FALSE(FreeElsewhere(lock, 0));
    }
    {
        CLockGuard<RWLock*, GRead<RWLock*>> guard(&lock);
        EXPECT_TRUE(FreeElsewhere(lock, 0));
    }
    EXPECT_TRUE(FreeElsewhere(lock, 1));
}

TEST(LockTest, GuardsReleaseOnlyWhatTheyHold) {
    RWLock lock;
    lock.Lock(1);
    { CLockGuard<RWLock*, GWrite<RWLock*>> deferred(&lock, true); }
    EXPECT_FALSE(FreeElsewhere(lock, 1));
    lock.UnLock();

    MutexLock a, b;
    CLockGuard<MutexLock*, GWrite<MutexLock*>> guard(&a);
    guard.Attach(&b);
    EXPECT_TRUE(FreeElsewhere(a));
    EXPECT_EQ(guard.Detach(), &b);
    EXPECT_FALSE(static_cast<bool>(guard));
}
