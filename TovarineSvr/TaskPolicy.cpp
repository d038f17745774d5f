#include "TaskPolicy.h"

using namespace TovarineSvr;

TaskLevel CTaskPolicy::LevelOf(int timeId) {
    switch (timeId) {
        case checkNet:
        case reqTicket:
            return mostHigh;
        case pluse:
        case terminal:
        case terminalTerm:
        case keepPort:
        case trafficStatistics:
            return high;
        case checkWifi:
        case termForWifi:
            return low;
        default:
            return normal;
    }
}

long CTaskPolicy::ClampDelay(long seconds) {
    if (seconds < 0) return 0;
    return seconds > kMaxDelaySeconds ? kMaxDelaySeconds : seconds;
}

long CTaskPolicy::TicketRefreshSeconds(long expire) {
    return expire > 0 ? ClampDelay(expire) : kDefaultTicketSeconds;
}

long CTaskPolicy::StateQuerySeconds(unsigned long interval) {
    if (interval == 0) return kDefaultStateSeconds;
    return interval > static_cast<unsigned long>(kMaxDelaySeconds) ? kMaxDelaySeconds
                                                                   : static_cast<long>(interval);
}

long CTaskPolicy::HeartbeatSeconds(long interval, bool answered) {
    if (answered) {
        m_bHeartbeatAnswered = true;
        if (interval > 0) m_lastHeartbeat = ClampDelay(interval);
    }
    if (m_lastHeartbeat > 0) return m_lastHeartbeat;
    return m_bHeartbeatAnswered ? kDefaultHeartbeatSeconds : kFirstRetrySeconds;
}

bool CTaskPolicy::MayRunAgain(TaskItem item) {
    if (item < 0 || item >= kKinds) return false;
    if (++m_runAgain[item] < kMaxRunAgain) return true;
    m_runAgain[item] = 0;
    return false;
}

void CTaskPolicy::ResetRunAgain(TaskItem item) {
    if (item >= 0 && item < kKinds) m_runAgain[item] = 0;
}
