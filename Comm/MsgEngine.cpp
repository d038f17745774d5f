#include "MsgEngine.h"

#include <utility>

#include "Log.h"
#include "guard.h"

namespace {
using Guard = CWriteGuard<MutexLock>;

// The engine whose worker runs on this thread, so that a handler calling
// StopMsgEngine or StartMsgEngine is recognised and never joins itself.
thread_local const CMsgEngine* t_pWorkerOf = nullptr;
}  // namespace

CMsgEngine::~CMsgEngine() {
    if (OnWorkerThread()) {
        // Destroyed from its own handler: the thread cannot join itself.
        {
            Guard lock(&m_msgLock);
            m_Running = false;
        }
        if (m_worker.joinable()) m_worker.detach();
        return;
    }
    StopMsgEngine();
}

bool CMsgEngine::OnWorkerThread() const { return t_pWorkerOf == this; }

bool CMsgEngine::AddMessage(CAutoString message) {
    {
        Guard lock(&m_msgLock);
        if (m_MsgQueue.size() >= kMaxQueued) {
            if (!m_bDropping)
                CLog::GetInst()->WriteLog(kLogInfo, "message queue full (%zu), dropping messages",
                                          m_MsgQueue.size());
            m_bDropping = true;
            return false;
        }
        if (m_MsgQueue.size() < kMaxQueued / 2) m_bDropping = false;
        m_MsgQueue.push_back(std::move(message));
    }
    m_queueCond.notify_one();
    return true;
}

size_t CMsgEngine::GetQueuedCount() const {
    Guard lock(&m_msgLock);
    return m_MsgQueue.size();
}

void CMsgEngine::StartMsgEngine() {
    if (OnWorkerThread()) {
        // The worker stopped itself and is still in DoMessage: it simply
        // carries on, unless an outside stop is waiting for it.
        Guard lock(&m_msgLock);
        if (!m_bStopping) m_Running = true;
        return;
    }
    Guard control(&m_threadLock);
    if (m_Running) return;
    // A worker that stopped itself may still be finishing.
    if (m_worker.joinable()) m_worker.join();
    {
        Guard lock(&m_msgLock);
        m_Running = true;
    }
    m_worker = std::thread(&CMsgEngine::WorkerMain, this);
}

void CMsgEngine::StopMsgEngine() {
    if (OnWorkerThread()) {
        Guard lock(&m_msgLock);
        m_Running = false;
        return;  // the worker ends when its handler returns; joined later
    }
    Guard control(&m_threadLock);
    {
        Guard lock(&m_msgLock);
        m_Running = false;
        m_bStopping = true;
    }
    m_queueCond.notify_all();
    if (m_worker.joinable()) m_worker.join();
    Guard lock(&m_msgLock);
    m_bStopping = false;
}

bool CMsgEngine::GetMessage(CAutoString& out) {
    Guard lock(&m_msgLock);
    m_queueCond.wait(m_msgLock, [this] { return !m_Running || !m_MsgQueue.empty(); });
    if (!m_Running) return false;
    out = std::move(m_MsgQueue.front());
    m_MsgQueue.pop_front();
    return true;
}

void CMsgEngine::WorkerMain() {
    t_pWorkerOf = this;
    for (;;) {
        CAutoString message;  // fresh each time: a never-set message must not repeat the last one
        if (!GetMessage(message)) break;
        DoMessage(std::move(message));
    }
    t_pWorkerOf = nullptr;
}
