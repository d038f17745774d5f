#include "BufferArray.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

int CBufferArray::AddBuffer(const void* data, size_t length) noexcept {
    if (length == 0) return 0;
    if (!data) return -1;
    try {
        m_chunks.emplace_back(static_cast<const char*>(data), length);
    } catch (const std::bad_alloc&) {
        return -1;
    } catch (const std::length_error&) {
        return -1;
    }
    m_nTotal += length;
    return 0;
}

size_t CBufferArray::RecvBuffer(char* buffer, size_t size) const {
    if (!buffer) return 0;
    size_t copied = 0;
    for (const std::string& chunk : m_chunks) {
        size_t take = chunk.size() < size - copied ? chunk.size() : size - copied;
        memcpy(buffer + copied, chunk.data(), take);
        copied += take;
        if (copied == size) break;
    }
    return copied;
}

char* CBufferArray::JoinToCString() const {
    char* joined = static_cast<char*>(malloc(m_nTotal + 1));
    if (!joined) return nullptr;
    size_t copied = RecvBuffer(joined, m_nTotal);
    joined[copied] = '\0';
    return joined;
}

void CBufferArray::Clear() {
    m_chunks.clear();
    m_nTotal = 0;
}
