// CSimRequestLog: every request the simulator answered, decoded, as JSON
// records for the control API. Any thread may add or read; waiters sleep on a
// condition variable until enough requests of an endpoint have arrived.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "SimJson.h"

class CSimRequestLog {
public:
    // Oldest records are dropped beyond this many.
    static constexpr size_t kMaxEntries = 10000;

    // Takes the record (a JSON object), numbers it ("seq") and returns the number.
    long Add(JsonPtr record, const std::string& endpoint);
    void Clear();
    // JSON array of the records; only those of one endpoint when it is not
    // empty, only those numbered above sinceSeq.
    std::string ToJson(const std::string& endpoint, long sinceSeq) const;
    // Requests of an endpoint since the last Clear ("" counts all).
    long Count(const std::string& endpoint) const;
    // Waits until Count(endpoint) >= count; false on time-out.
    bool WaitFor(const std::string& endpoint, long count, std::chrono::milliseconds timeout) const;

private:
    struct Entry {
        long seq;
        std::string endpoint;
        JsonPtr record;
    };
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::deque<Entry> m_entries;
    std::map<std::string, long> m_counts;
    long m_total = 0;
    long m_nextSeq = 1;
};
