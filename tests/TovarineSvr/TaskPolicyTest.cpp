#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

#include "TaskPolicy.h"

using namespace TovarineSvr;

TEST(CTaskPolicyTest, TimerIdsMapToTheirTaskLevels) {
    const std::pair<TaskLevel, std::vector<int>> cases[] = {
        {mostHigh, {checkNet, reqTicket}},
        {high, {pluse, terminal, terminalTerm, keepPort, trafficStatistics}},
        {normal, {checkUnknowNet, reqState, noTask, reqConfig, auth, term, 99, -1}},
        {low, {checkWifi, termForWifi}}};
    for (const auto& c : cases)
        for (int id : c.second) EXPECT_EQ(CTaskPolicy::LevelOf(id), c.first) << "timer " << id;
}

TEST(CTaskPolicyTest, IntervalsAreBoundedAndNeverZero) {
    // Ticket lifetime without a positive value refreshes after five minutes.
    const std::pair<long, long> tickets[] = {{0, 300},       {-5, 300},      {1, 1},           {3600, 3600},
                                             {86400, 86400}, {86401, 86400}, {1L << 40, 86400}};
    for (const auto& c : tickets) EXPECT_EQ(CTaskPolicy::TicketRefreshSeconds(c.first), c.second) << c.first;
    const std::pair<long, long> states[] = {{0, 5}, {7, 7}, {1000000, 86400}};
    for (const auto& c : states) EXPECT_EQ(CTaskPolicy::StateQuerySeconds(c.first), c.second) << c.first;
    // Failures retry after a second until a heartbeat is answered; an answer
    // without a positive interval keeps the last positive one, else a minute.
    CTaskPolicy policy;
    const std::tuple<long, bool, long> beats[] = {
        {0, false, 1},  {0, true, 60},  {-3, true, 60}, {0, false, 60},        {30, true, 30},  {0, true, 30},
        {-1, true, 30}, {0, false, 30}, {2, true, 2},   {200000, true, 86400}, {0, true, 86400}};
    for (const auto& [interval, answered, wait] : beats)
        EXPECT_EQ(policy.HeartbeatSeconds(interval, answered), wait) << interval << " " << answered;
    CTaskPolicy fresh;
    EXPECT_EQ(fresh.HeartbeatSeconds(30, false), 1);  // only an answer names the period
}

TEST(CTaskPolicyTest, ThirdRunAgainInARowGivesUp) {
    CTaskPolicy policy;
    EXPECT_TRUE(policy.MayRunAgain(reqTicket));
    EXPECT_TRUE(policy.MayRunAgain(reqTicket));
    EXPECT_TRUE(policy.MayRunAgain(auth));  // counted per kind
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
