// CTaskPolicy: the portal business's scheduling rules that do not depend on
// the session: which level a timer's task gets, how long to wait before a
// repeated request, and how often a task may answer "run again" in a row.
// Owned by the business and used on its work thread only (the static
// functions are pure and may be called anywhere).
#pragma once

#include "TaskMgr.h"

class CTaskPolicy {
public:
    // Longest delay the portal can ask for.
    static constexpr long kMaxDelaySeconds = 24L * 3600;
    // Ticket refresh when the portal gave no positive lifetime.
    static constexpr long kDefaultTicketSeconds = 300;
    // Heartbeat period before the portal ever named a positive one.
    static constexpr long kDefaultHeartbeatSeconds = 60;
    // Retry of a failed heartbeat before the portal named any period.
    static constexpr long kFirstRetrySeconds = 1;
    // State poll period when the configuration says 0.
    static constexpr long kDefaultStateSeconds = 5;
    // Consecutive "run again" answers after which a task gives up.
    static constexpr int kMaxRunAgain = 3;

    static TovarineSvr::TaskLevel LevelOf(int timeId);

    // Positive values as given (up to kMaxDelaySeconds); others fall back.
    static long TicketRefreshSeconds(long expire);
    static long StateQuerySeconds(unsigned long interval);
    static long ClampDelay(long seconds);
    // The wait before the next heartbeat. An answered heartbeat's positive
    // interval is remembered and used, a zero or negative one keeps the last
    // positive period (else kDefaultHeartbeatSeconds). A failed heartbeat
    // waits the last positive period; before any heartbeat was answered it
    // is retried after kFirstRetrySeconds.
    long HeartbeatSeconds(long interval, bool answered);

    // Call when a task answered "run again": true while it may be queued
    // again, false on the kMaxRunAgain-th answer in a row (the count then
    // starts over).
    bool MayRunAgain(TovarineSvr::TaskItem item);
    // Call when a task answered anything else.
    void ResetRunAgain(TovarineSvr::TaskItem item);

private:
    static constexpr int kKinds = TovarineSvr::trafficStatistics + 1;
    int m_runAgain[kKinds] = {};
    long m_lastHeartbeat = 0;
    bool m_bHeartbeatAnswered = false;
};
