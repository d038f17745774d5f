#include "SimpleThread.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

// What the thread and its controller share. The thread holds a reference
// until its routine has returned, so a detached thread never touches freed
// memory.
struct CSimpleThread::State {
    ThreadRoutine routine = nullptr;
    void* arg = nullptr;
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
};

namespace {
// The state of the CSimpleThread routine running on this thread, if any.
thread_local const void* t_currentState = nullptr;
}  // namespace

CSimpleThread::~CSimpleThread() {
    if (!m_state) return;
    if (IsCurrentThread()) {
        // Destroyed from its own routine; m_threadId may not even be stored yet.
        pthread_detach(pthread_self());
    } else if (IsRunning()) {
        pthread_detach(m_threadId);  // let it finish alone
    } else {
        JoinEnded();
    }
}

void* CSimpleThread::Trampoline(void* param) {
    std::shared_ptr<State> state;
    {
        std::unique_ptr<std::shared_ptr<State>> handed(static_cast<std::shared_ptr<State>*>(param));
        state = std::move(*handed);
    }
    t_currentState = state.get();
    state->routine(state->arg);
    t_currentState = nullptr;
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->done = true;
    }
    state->ended.notify_all();
    return nullptr;
}

bool CSimpleThread::Run(ThreadRoutine routine, void* arg, std::atomic<bool>* pbRunCtrl) {
    if (!routine) return false;
    if (m_state) {
        if (IsRunning() || IsCurrentThread()) return false;
        JoinEnded();
    }
    auto state = std::make_shared<State>();
    state->routine = routine;
    state->arg = arg;
    if (pbRunCtrl) {
        m_pbRunCtrl = pbRunCtrl;
        m_pbRunCtrl->store(true);
    }
    // Published before the thread exists: its routine may ask IsCurrentThread
    // or Stop at once.
    m_state = state;
    auto* handed = new std::shared_ptr<State>(std::move(state));
    pthread_t id;
    if (pthread_create(&id, nullptr, &CSimpleThread::Trampoline, handed) != 0) {
        delete handed;
        m_state.reset();
        if (pbRunCtrl) pbRunCtrl->store(false);
        return false;
    }
    m_threadId = id;
    return true;
}

void CSimpleThread::Stopping() {
    if (m_pbRunCtrl) m_pbRunCtrl->store(false);
}

bool CSimpleThread::Stop(int milliseconds, bool /*force*/) {
    // A forced stop cannot do more than an ordinary one: cancelling or
    // signalling a single thread would leave locks held or end the process.
    Stopping();
    if (!m_state) return true;
    if (IsCurrentThread()) return false;
    if (!WaitEnded(milliseconds)) return false;
    JoinEnded();
    return true;
}

bool CSimpleThread::Join() {
    if (!m_state) return true;
    if (IsCurrentThread()) return false;
    JoinEnded();
    return true;
}

bool CSimpleThread::IsRunning() const {
    if (!m_state) return false;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return !m_state->done;
}

bool CSimpleThread::IsCurrentThread() const { return m_state && t_currentState == m_state.get(); }

bool CSimpleThread::WaitEnded(int milliseconds) {
    std::unique_lock<std::mutex> lock(m_state->mutex);
    // A steady deadline, so a step of the wall clock neither cuts the wait
    // short nor stretches it.
    return m_state->ended.wait_for(lock, std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds),
                                   [this] { return m_state->done; });
}

void CSimpleThread::JoinEnded() {
    pthread_join(m_threadId, nullptr);
    m_threadId = 0;
    m_state.reset();
}
