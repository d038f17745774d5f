// CSimpleThread: one joinable thread with a cooperative stop flag.
//
// The controlling thread calls Run/Stop/Stopping/IsRunning; one controller at a
// time (the class does not serialise them itself). The run flag belongs to the
// caller and must outlive the thread; the thread routine is expected to poll it
// and return once it reads false.
//
// A thread is never killed. Stop that times out reports false and leaves the
// thread to end by itself; a later Run or Stop joins it once it has ended. If a
// CSimpleThread is destroyed while its thread still runs, the thread is
// detached: its bookkeeping is shared with the thread and freed by whichever
// side lets go last, but whatever the routine's argument points to must stay
// valid until the routine returns.
#pragma once

#include <pthread.h>

#include <atomic>
#include <memory>

class CSimpleThread {
public:
    typedef void* (*ThreadRoutine)(void*);

    CSimpleThread() = default;
    ~CSimpleThread();
    CSimpleThread(const CSimpleThread&) = delete;
    CSimpleThread& operator=(const CSimpleThread&) = delete;

    // Starts routine(arg) on a new thread. False, with nothing started and
    // the flag untouched, while the previous thread is still running or when
    // the thread cannot be created. A given run flag is remembered and set to
    // true before the thread starts.
    bool Run(ThreadRoutine routine, void* arg, std::atomic<bool>* pbRunCtrl = nullptr);

    // Asks the thread to end: sets the remembered run flag to false.
    void Stopping();

    // Stopping(), then waits up to `milliseconds` for the thread to end. True
    // when no thread is left running (it ended and was joined, or none was
    // started). False when it is still running at the deadline, whatever
    // `force` says, and always false when called from the thread itself.
    bool Stop(int milliseconds, bool force = false);

    // Waits without a limit for the thread to end and joins it. False only
    // when called from the thread itself.
    bool Join();

    // True from a successful Run until the routine has returned.
    bool IsRunning() const;

    // True when the caller is the thread started by the last Run.
    bool IsCurrentThread() const;

private:
    struct State;

    static void* Trampoline(void* param);
    bool WaitEnded(int milliseconds);
    void JoinEnded();

    pthread_t m_threadId = 0;
    std::atomic<bool>* m_pbRunCtrl = nullptr;
    std::shared_ptr<State> m_state;  // shared with the running thread
};
