#include "TableTimer.h"

#include <algorithm>

#include "guard.h"

namespace {
using TableGuard = CWriteGuard<MutexLock>;

// The table whose dispatch loop runs on this thread, if any.
thread_local const CTableTimer* t_dispatching = nullptr;
}  // namespace

CTableTimer::~CTableTimer() {
    // Normally the subclass has stopped the thread already; this only makes
    // sure nothing outlives the table.
    TableGuard control(&m_controlLock);
    {
        TableGuard guard(&m_lock);
        m_bRunning = false;
    }
    Changed();
    m_thread.Join();
}

void CTableTimer::AddTask(int id, int oneShot, bool runNow, long intervalSeconds, bool replace) {
    AddTask(id, oneShot, runNow, intervalSeconds, replace, CAutoString());
}

void CTableTimer::AddTask(int id, int oneShot, bool runNow, long intervalSeconds, bool replace,
                          const CAutoString& text) {
    auto record = std::make_unique<TaskRecord>();
    record->id = id;
    record->oneShot = oneShot;
    record->interval = std::clamp(intervalSeconds, 0L, kMaxIntervalSeconds);
    record->runNow = runNow;
    record->text = text;
    // Only a new earliest record changes how long the dispatch thread sleeps.
    if (ReAddTask(std::move(record), replace)) Changed();
}

void CTableTimer::RemoveTask(int id) {
    TableGuard guard(&m_lock);
    m_tasks.remove_if([id](const std::unique_ptr<TaskRecord>& record) { return record->id == id; });
}

void CTableTimer::ClearTask() {
    TableGuard guard(&m_lock);
    m_tasks.clear();
}

bool CTableTimer::IsExistTask(int id) {
    TableGuard guard(&m_lock);
    return std::any_of(m_tasks.begin(), m_tasks.end(),
                       [id](const std::unique_ptr<TaskRecord>& record) { return record->id == id; });
}

bool CTableTimer::DispatchTask(bool start) {
    if (t_dispatching == this) {
        // A handler cannot wait for its own thread; the loop ends once the
        // handler returns.
        if (start) return false;
        {
            TableGuard guard(&m_lock);
            m_bRunning = false;
        }
        return false;
    }
    TableGuard control(&m_controlLock);
    if (start) return m_thread.Run(&CTableTimer::TaskDispatch, this, &m_bRunning);
    {
        TableGuard guard(&m_lock);
        m_bRunning = false;
    }
    Changed();
    return m_thread.Stop(500, false);
}

void CTableTimer::SetSecondLength(std::chrono::nanoseconds length) {
    TableGuard guard(&m_lock);
    m_secondLength = length;
}

std::vector<int> CTableTimer::PendingIds() {
    TableGuard guard(&m_lock);
    std::vector<int> ids;
    for (const auto& record : m_tasks) ids.push_back(record->id);
    return ids;
}

bool CTableTimer::ReAddTask(std::unique_ptr<TaskRecord> record, bool replace) {
    TableGuard guard(&m_lock);
    auto same = std::find_if(m_tasks.begin(), m_tasks.end(),
                             [&record](const std::unique_ptr<TaskRecord>& r) { return r->id == record->id; });
    if (same != m_tasks.end()) {
        if (!replace) return false;
        m_tasks.erase(same);
    }
    record->due = Now();
    if (record->runNow)
        record->runNow = false;
    else
        record->due += record->interval * m_secondLength;
    // Before the first record due at the same time or later: among equal due
    // times the newest runs first.
    auto position =
        std::find_if(m_tasks.begin(), m_tasks.end(),
                     [&record](const std::unique_ptr<TaskRecord>& r) { return r->due >= record->due; });
    const bool first = position == m_tasks.begin();
    m_tasks.insert(position, std::move(record));
    return first;
}

void* CTableTimer::TaskDispatch(void* self) {
    static_cast<CTableTimer*>(self)->DispatchLoop();
    return nullptr;
}

void CTableTimer::DispatchLoop() {
    t_dispatching = this;
    while (m_bRunning) {
        TableGuard guard(&m_lock);
        if (!m_bRunning) break;
        if (m_tasks.empty()) {
            m_changed.wait(m_lock);
            continue;
        }
        const Clock::time_point due = m_tasks.front()->due;
        if (due > Now()) {
            m_changed.wait_until(m_lock, due);
            continue;
        }
        std::unique_ptr<TaskRecord> record = std::move(m_tasks.front());
        m_tasks.pop_front();
        // The handler gets copies: it may clear the table, which frees the
        // record of a repeating task.
        const int id = record->id;
        CAutoString text = record->text;
        if (record->oneShot == 0) {
            // A repeating task with no interval would run the loop flat out.
            record->interval = std::max(record->interval, 1L);
            ReAddTask(std::move(record), true);
        }
        DoTimeTask(id, text);
    }
    {
        TableGuard guard(&m_lock);
        m_tasks.clear();
    }
    t_dispatching = nullptr;
}

void CTableTimer::Changed() { m_changed.notify_all(); }
