// pthread-backed locks. MutexLock is recursive: the thread that holds it may
// lock it again (the timer table runs handlers under its lock and handlers
// may touch the table). RWLock takes the write side for a non-zero mode.
#pragma once

#include <pthread.h>

#include "lock.h"

class MutexLock : public LockBase {
public:
    MutexLock();
    ~MutexLock() override;

    void Lock(int mode = 0) override;
    bool TryLock(int mode = 0) override;
    void UnLock() override;

    // Lets std::condition_variable_any wait on this lock.
    void lock() { Lock(0); }
    void unlock() { UnLock(); }

private:
    pthread_mutex_t m_mutex;
};

class RWLock : public LockBase {
public:
    RWLock();
    ~RWLock() override;

    void Lock(int mode) override;
    bool TryLock(int mode) override;
    void UnLock() override;

private:
    pthread_rwlock_t m_lock;
};
