#include <gtest/gtest.h>

#include <thread>

#include "TaskMgr.h"

using namespace TovarineSvr;

namespace {
Task Make(TaskItem item, TaskLevel level, const char* tag = "") {
    Task task;
    task.curTask = item;
    task.level = level;
    task.tag = tag;
    return task;
}
}  // namespace

TEST(CTaskMgrTest, TakesHighestLevelFirstInQueueOrderAndRemovesByKind) {
    CTaskMgr queue;
    queue.AddTask(Make(pluse, high, "h1"));
    queue.AddTask(Make(checkWifi, low));
    queue.AddTask(Make(auth, high, "h2"));
    queue.AddTask(Make(checkNet, mostHigh));
    queue.AddTask(Make(reqState, normal));
    std::vector<std::string> order;
    Task task;
    while (queue.GetTask(task))
        order.push_back(std::string(task.tag.c_str()) + ":" + std::to_string(task.curTask));
    EXPECT_EQ(order, (std::vector<std::string>{":1", "h1:8", "h2:6", ":5", ":9"}));
    EXPECT_EQ(queue.GetTask(task), 0);
    // Removing a kind drops every task of it.
    queue.AddTask(Make(terminal, high, "a"));
    queue.AddTask(Make(pluse, high));
    queue.AddTask(Make(terminal, high, "b"));
    queue.RemoveTask(terminal);
    EXPECT_EQ(queue.Size(), 1u);
    queue.RemoveAllTask();
    EXPECT_EQ(queue.Size(), 0u);
}

TEST(CTaskMgrTest, WaitingTakerWakesWhenATaskArrives) {
    CTaskMgr queue;
    Task task;
    std::thread producer([&] { queue.AddTask(Make(reqTicket, mostHigh, "x")); });
    // Generous limit: the taker returns as soon as the task is queued.
    int taken = queue.WaitTask(task, 10000);
    producer.join();
    if (!taken) taken = queue.GetTask(task);
    EXPECT_EQ(taken, 1);
    EXPECT_EQ(task.curTask, reqTicket);
    std::thread waker([&] { queue.Wake(); });
    EXPECT_EQ(queue.WaitTask(task, 10000), 0);
    waker.join();
}
