// The portal business's task model and its queue. Handlers and timers add
// tasks from any thread; the work thread takes them one at a time. Every
// queue operation holds the queue lock for its whole duration, and a waiting
// taker is woken as soon as a task arrives.
#pragma once

#include <condition_variable>
#include <mutex>
#include <vector>

#include "AutoString.h"

namespace TovarineSvr {

// Task kinds; the same numbers serve as timer ids.
enum TaskItem {
    noTask = 0,
    checkNet = 1,
    checkUnknowNet = 2,
    reqConfig = 3,
    reqTicket = 4,
    reqState = 5,
    auth = 6,
    term = 7,
    pluse = 8,
    checkWifi = 9,
    termForWifi = 10,
    terminal = 11,
    terminalTerm = 12,
    keepPort = 13,
    trafficStatistics = 14,
};

enum TaskLevel { low = 0, normal = 1, high = 2, mostHigh = 3 };

struct Task {
    TaskItem curTask = noTask;
    TaskItem nextTask = noTask;  // runs right after curTask, same pass
    TaskLevel level = normal;
    CAutoString tag{""};  // the task's argument
};

class CTaskMgr {
public:
    void AddTask(const Task& task);
    // Takes the highest-level task, the first queued among equals: 1, or 0
    // when the queue is empty.
    int GetTask(Task& task);
    // Like GetTask, but waits until a task arrives, Wake is called, or the
    // time limit passes.
    int WaitTask(Task& task, int timeoutMs);
    void Wake();
    void RemoveTask(TaskItem item);
    void RemoveAllTask();
    size_t Size();

private:
    int TakeLocked(Task& task);

    std::vector<Task> m_taskList;
    std::mutex m_taskLock;
    std::condition_variable m_taskAdded;
    bool m_bWake = false;
};

}  // namespace TovarineSvr
