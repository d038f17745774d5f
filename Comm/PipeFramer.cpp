#include "PipeFramer.h"

#include <cstring>

#include "Log.h"

namespace {
// Capacity kept between messages; a buffer grown by one big message is given back.
constexpr size_t kKeptCapacity = 64 * 1024;
}  // namespace

void CPipeFramer::Feed(const char* data, size_t size, std::vector<CAutoString>& out) {
    size_t start = 0;
    for (;;) {
        const void* nul = size > start ? memchr(data + start, '\0', size - start) : nullptr;
        size_t end = nul ? static_cast<size_t>(static_cast<const char*>(nul) - data) : size;
        size_t length = end - start;
        if (!m_bDiscarding) {
            if (m_pending.size() + length > m_maxSize) {
                m_bDiscarding = true;
                m_pending.clear();
                CLog::GetInst()->WriteLog(kLogInfo, "pipe message longer than %zu bytes dropped", m_maxSize);
            } else {
                m_pending.append(data + start, length);
            }
        }
        if (!nul) return;
        if (!m_bDiscarding) out.emplace_back(m_pending.data(), m_pending.size());
        m_bDiscarding = false;
        m_pending.clear();
        if (m_pending.capacity() > kKeptCapacity) m_pending.shrink_to_fit();
        start = end + 1;
    }
}
