// CTableTimer: a table of timed tasks served by one dispatch thread. A
// subclass receives each due task through DoTimeTask(id, text), called on the
// dispatch thread with the table lock held; the lock is recursive, so a
// handler may add, remove, test or clear tasks of the same table (other
// threads that touch the table wait while a handler runs).
//
// Any thread may call AddTask/RemoveTask/ClearTask/IsExistTask. DispatchTask
// is for the owner (and for a handler that wants the thread to end). The
// table owns its task records; a record is freed when it leaves the table.
// Due times come from a monotonic clock, so a step of the wall clock neither
// holds timers back nor fires them early. Intervals are whole seconds.
//
// A subclass must call DispatchTask(false) in its own destructor: once it is
// gone the dispatch thread has nobody left to call.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <list>
#include <memory>
#include <vector>

#include "AutoString.h"
#include "SimpleThread.h"
#include "ptlock.h"

class CTableTimer {
public:
    CTableTimer() = default;
    virtual ~CTableTimer();
    CTableTimer(const CTableTimer&) = delete;
    CTableTimer& operator=(const CTableTimer&) = delete;

    // The dispatch thread only calls the second form; text is the handler's
    // own copy (a never-set string when the task was added without one).
    virtual void DoTimeTask(int id) = 0;
    virtual void DoTimeTask(int id, CAutoString& text) = 0;

    // Schedules task `id`: due after `intervalSeconds`, or at once with
    // `runNow`. oneShot 0 repeats every interval, counted from the moment the
    // task is taken to run. An id already scheduled is kept unless `replace`.
    void AddTask(int id, int oneShot, bool runNow, long intervalSeconds, bool replace);
    void AddTask(int id, int oneShot, bool runNow, long intervalSeconds, bool replace,
                 const CAutoString& text);
    void RemoveTask(int id);
    void ClearTask();
    bool IsExistTask(int id);

    // true: start the dispatch thread; false while one is still running.
    // false: stop it, waiting up to 500 ms; true once it has ended (the
    // table is then empty). From inside a handler, stopping only asks the
    // thread to end after the handler returns and reports false.
    bool DispatchTask(bool start);

    // Longest interval honoured; longer ones are cut to it.
    static constexpr long kMaxIntervalSeconds = 10L * 366 * 24 * 3600;

protected:
    using Clock = std::chrono::steady_clock;

    // For tests: how long one interval second lasts (default one second).
    // Applies to tasks scheduled from then on.
    void SetSecondLength(std::chrono::nanoseconds length);
    // The clock used for due times; tests may freeze it for a table that is
    // not dispatched.
    virtual Clock::time_point Now() const { return Clock::now(); }
    // Scheduled ids, earliest due first.
    std::vector<int> PendingIds();

private:
    struct TaskRecord {
        int id = 0;
        int oneShot = 0;
        Clock::time_point due;
        long interval = 0;
        bool runNow = false;
        CAutoString text;
    };
    using TaskList = std::list<std::unique_ptr<TaskRecord>>;

    // True when the record went to the front of the table.
    bool ReAddTask(std::unique_ptr<TaskRecord> record, bool replace);
    static void* TaskDispatch(void* self);
    void DispatchLoop();
    // Wakes the dispatch thread so it looks at the table again.
    void Changed();

    TaskList m_tasks;
    std::atomic<bool> m_bRunning{false};
    MutexLock m_lock;  // guards m_tasks; held while a handler runs
    std::condition_variable_any m_changed;
    CSimpleThread m_thread;
    MutexLock m_controlLock;                                           // one DispatchTask caller at a time
    std::chrono::nanoseconds m_secondLength{std::chrono::seconds(1)};  // under m_lock
};
