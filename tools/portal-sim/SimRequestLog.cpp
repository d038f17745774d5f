#include "SimRequestLog.h"

long CSimRequestLog::Add(JsonPtr record, const std::string& endpoint) {
    long seq;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        seq = m_nextSeq++;
        cJSON_AddNumberToObject(record.get(), "seq", static_cast<double>(seq));
        m_entries.push_back(Entry{seq, endpoint, std::move(record)});
        if (m_entries.size() > kMaxEntries) m_entries.pop_front();
        ++m_counts[endpoint];
        ++m_total;
    }
    m_changed.notify_all();
    return seq;
}

void CSimRequestLog::Clear() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_entries.clear();
    m_counts.clear();
    m_total = 0;
}

std::string CSimRequestLog::ToJson(const std::string& endpoint, long sinceSeq) const {
    JsonPtr array(cJSON_CreateArray());
    std::lock_guard<std::mutex> guard(m_lock);
    for (const Entry& entry : m_entries) {
        if (entry.seq <= sinceSeq) continue;
        if (!endpoint.empty() && entry.endpoint != endpoint) continue;
        cJSON_AddItemToArray(array.get(), cJSON_Duplicate(entry.record.get(), 1));
    }
    return simjson::Print(array.get());
}

long CSimRequestLog::Count(const std::string& endpoint) const {
    std::lock_guard<std::mutex> guard(m_lock);
    if (endpoint.empty()) return m_total;
    auto it = m_counts.find(endpoint);
    return it == m_counts.end() ? 0 : it->second;
}

bool CSimRequestLog::WaitFor(const std::string& endpoint, long count,
                             std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, timeout, [&] {
        if (endpoint.empty()) return m_total >= count;
        auto it = m_counts.find(endpoint);
        return it != m_counts.end() && it->second >= count;
    });
}
