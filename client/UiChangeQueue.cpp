#include "UiChangeQueue.h"

void CUiChangeQueue::Post(Change change) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_changes.push_back(std::move(change));
        if (!m_scheduled && !m_boxOpen) {
            m_scheduled = wake = true;
        }
    }
    if (wake) {
        m_schedule();
    }
}

void CUiChangeQueue::Drain() {
    std::unique_lock<std::mutex> lock(m_lock);
    m_scheduled = false;
    while (!m_boxOpen && !m_changes.empty()) {
        Change change = std::move(m_changes.front());
        m_changes.pop_front();
        // Unlocked while applying: a change may post another one.
        lock.unlock();
        bool box = change();
        lock.lock();
        if (box) {
            m_boxOpen = true;
        }
    }
}

void CUiChangeQueue::BoxClosed() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_boxOpen = false;
    }
    Drain();
}

bool CUiChangeQueue::BoxOpen() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_boxOpen;
}
