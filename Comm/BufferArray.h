// CBufferArray: the chunks of one response part (header or body) in the order
// they arrived, copied and owned here until they are joined into one buffer.
// Not thread-safe: it lives on the stack of one transfer.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class CBufferArray {
public:
    // Appends a copy of the chunk. 0, or -1 when memory runs out.
    int AddBuffer(const void* data, size_t length) noexcept;
    size_t GetAllBufferSize() const { return m_nTotal; }
    // Copies the chunks in order into buffer, at most size bytes; returns the
    // number of bytes copied. Adds no terminator.
    size_t RecvBuffer(char* buffer, size_t size) const;
    // The chunks joined into one malloc'd, NUL-terminated buffer that the
    // caller frees with free(); null when memory runs out.
    char* JoinToCString() const;
    void Clear();

private:
    std::vector<std::string> m_chunks;
    size_t m_nTotal = 0;
};
