#include "ptlock.h"

MutexLock::MutexLock() {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&m_mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

MutexLock::~MutexLock() { pthread_mutex_destroy(&m_mutex); }

void MutexLock::Lock(int) { pthread_mutex_lock(&m_mutex); }

bool MutexLock::TryLock(int) { return pthread_mutex_trylock(&m_mutex) == 0; }

void MutexLock::UnLock() { pthread_mutex_unlock(&m_mutex); }

RWLock::RWLock() { pthread_rwlock_init(&m_lock, nullptr); }

RWLock::~RWLock() { pthread_rwlock_destroy(&m_lock); }

void RWLock::Lock(int mode) {
    if (mode)
        pthread_rwlock_wrlock(&m_lock);
    else
        pthread_rwlock_rdlock(&m_lock);
}

bool RWLock::TryLock(int mode) {
    return (mode ? pthread_rwlock_trywrlock(&m_lock) : pthread_rwlock_tryrdlock(&m_lock)) == 0;
}

void RWLock::UnLock() { pthread_rwlock_unlock(&m_lock); }
