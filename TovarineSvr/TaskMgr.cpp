#include "TaskMgr.h"

#include <chrono>

namespace TovarineSvr {

void CTaskMgr::AddTask(const Task& task) {
    {
        std::lock_guard<std::mutex> guard(m_taskLock);
        m_taskList.push_back(task);
    }
    m_taskAdded.notify_one();
}

int CTaskMgr::TakeLocked(Task& task) {
    if (m_taskList.empty()) return 0;
    // The first task whose level is above every earlier one's: the highest
    // level, and the oldest among equals.
    size_t best = 0;
    for (size_t i = 1; i < m_taskList.size(); ++i)
        if (m_taskList[i].level > m_taskList[best].level) best = i;
    task = m_taskList[best];
    m_taskList.erase(m_taskList.begin() + static_cast<std::ptrdiff_t>(best));
    return 1;
}

int CTaskMgr::GetTask(Task& task) {
    std::lock_guard<std::mutex> guard(m_taskLock);
    return TakeLocked(task);
}

int CTaskMgr::WaitTask(Task& task, int timeoutMs) {
    std::unique_lock<std::mutex> guard(m_taskLock);
    m_taskAdded.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                         [this] { return !m_taskList.empty() || m_bWake; });
    m_bWake = false;
    return TakeLocked(task);
}

void CTaskMgr::Wake() {
    {
        std::lock_guard<std::mutex> guard(m_taskLock);
        m_bWake = true;
    }
    m_taskAdded.notify_all();
}

void CTaskMgr::RemoveTask(TaskItem item) {
    std::lock_guard<std::mutex> guard(m_taskLock);
    for (auto it = m_taskList.begin(); it != m_taskList.end();) {
        if (it->curTask == item)
            it = m_taskList.erase(it);
        else
            ++it;
    }
}

void CTaskMgr::RemoveAllTask() {
    std::lock_guard<std::mutex> guard(m_taskLock);
    m_taskList.clear();
}

size_t CTaskMgr::Size() {
    std::lock_guard<std::mutex> guard(m_taskLock);
    return m_taskList.size();
}

}  // namespace TovarineSvr
