// CMsgEngine: a message queue served by one worker thread, which hands each
// message, in arrival order, to DoMessage. Any thread may add messages and
// start or stop the engine; DoMessage runs on the worker only, one message
// at a time. Stopping leaves unhandled messages queued; the engine may be
// started again. The engine owns its worker thread and joins it.
//
// A derived class must call StopMsgEngine() in its own destructor, so that
// the worker never calls DoMessage on a half-destroyed object.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <thread>

#include "AutoString.h"
#include "ptlock.h"

class CMsgEngine {
public:
    CMsgEngine() = default;
    virtual ~CMsgEngine();
    CMsgEngine(const CMsgEngine&) = delete;
    CMsgEngine& operator=(const CMsgEngine&) = delete;

    // Most messages held for the worker; a flood beyond it is dropped.
    static constexpr size_t kMaxQueued = 1000;

    // Appends to the queue; never blocks on the consumer. false (the message
    // is dropped, and the first drop of a flood logged) when the queue is full.
    bool AddMessage(CAutoString message);
    // Starts the worker unless running already.
    void StartMsgEngine();
    // Clears the running flag; the worker ends after the message it is
    // handling. From another thread this waits for the worker to end; from
    // the worker itself (inside DoMessage) it returns at once.
    void StopMsgEngine();
    // The worker's take: waits while running and the queue is empty; false
    // once the engine is not running.
    bool GetMessage(CAutoString& out);

    bool IsRunning() const { return m_Running.load(); }
    size_t GetQueuedCount() const;

protected:
    virtual void DoMessage(CAutoString message) = 0;

private:
    void WorkerMain();
    bool OnWorkerThread() const;

    std::deque<CAutoString> m_MsgQueue;
    mutable MutexLock m_msgLock;  // guards the queue and every change of m_Running
    std::condition_variable_any m_queueCond;
    std::atomic<bool> m_Running{false};
    bool m_bStopping = false;  // an outside StopMsgEngine is joining; under m_msgLock
    bool m_bDropping = false;  // the queue overflowed and has not drained since; under m_msgLock
    MutexLock m_threadLock;    // serialises start and stop from outside the worker
    std::thread m_worker;
};
