#include <gtest/gtest.h>

#include "TaskPolicy.h"

using namespace TovarineSvr;

TEST(CTaskPolicyTest, TimerIdsMapToTheirTaskLevels) {
    struct Case {
        int id;
        TaskLevel level;
    } cases[] = {
        {checkNet, mostHigh},
        {reqTicket, mostHigh},
        {pluse, high},
        {terminal, high},
        {terminalTerm, high},
        {keepPort, high},
        {trafficStatistics, high},
        {checkUnknowNet, normal},
        {reqState, normal},
        {noTask, normal},
        {reqConfig, normal},
        {auth, normal},
        {term, normal},
        {99, normal},
        {-1, normal},
        {checkWifi, low},
        {termForWifi, low},
    };
    for (const Case& c : cases) EXPECT_EQ(CTaskPolicy::LevelOf(c.id), c.level) << "timer " << c.id;
}

TEST(CTaskPolicyTest, TicketLifetimeWithoutAPositiveValueRefreshesAfterFiveMinutes) {
    struct Case {
        long expire;
        long seconds;
    } cases[] = {{0, 300},       {-5, 300},      {1, 1},           {3600, 3600},
                 {86400, 86400}, {86401, 86400}, {1L << 40, 86400}};
    for (const Case& c : cases) EXPECT_EQ(CTaskPolicy::TicketRefreshSeconds(c.expire), c.seconds) << c.expire;
}

TEST(CTaskPolicyTest, StatePollNeverRunsBackToBack) {
    EXPECT_EQ(CTaskPolicy::StateQuerySeconds(0), 5);
    EXPECT_EQ(CTaskPolicy::StateQuerySeconds(7), 7);
    EXPECT_EQ(CTaskPolicy::StateQuerySeconds(1000000), 86400);
}

TEST(CTaskPolicyTest, HeartbeatKeepsTheLastPositiveIntervalElseOneMinute) {
    CTaskPolicy policy;
    EXPECT_EQ(policy.HeartbeatSeconds(0), 60);  // nothing known yet
    EXPECT_EQ(policy.HeartbeatSeconds(-3), 60);
    EXPECT_EQ(policy.HeartbeatSeconds(30), 30);
    EXPECT_EQ(policy.HeartbeatSeconds(0), 30);  // an answer without interval
    EXPECT_EQ(policy.HeartbeatSeconds(-1), 30);
    EXPECT_EQ(policy.HeartbeatSeconds(2), 2);
    EXPECT_EQ(policy.HeartbeatSeconds(200000), 86400);
    EXPECT_EQ(policy.HeartbeatSeconds(0), 86400);
}

TEST(CTaskPolicyTest, ThirdRunAgainInARowGivesUp) {
    CTaskPolicy policy;
    EXPECT_TRUE(policy.MayRunAgain(reqTicket));
    EXPECT_TRUE(policy.MayRunAgain(reqTicket));
    // Counted per kind: another task's answers do not add up.
    EXPECT_TRUE(policy.MayRunAgain(auth));
    EXPECT_FALSE(policy.MayRunAgain(reqTicket));
    // After giving up the next request starts a fresh count.
    EXPECT_TRUE(policy.MayRunAgain(reqTicket));
    EXPECT_TRUE(policy.MayRunAgain(reqTicket));
    policy.ResetRunAgain(reqTicket);  // an answer other than "run again"
    EXPECT_TRUE(policy.MayRunAgain(reqTicket));
    EXPECT_TRUE(policy.MayRunAgain(reqTicket));
    EXPECT_FALSE(policy.MayRunAgain(reqTicket));
    EXPECT_FALSE(policy.MayRunAgain(static_cast<TaskItem>(42)));
}
