// CPipeFramer: cuts the byte stream read from a pipe into NUL-terminated
// messages. A message cut by the end of a read is kept and completed by the
// next one. A message longer than the cap is dropped whole (and logged); the
// stream resynchronises at its NUL. Not thread-safe: used by the reader only.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "AutoString.h"

class CPipeFramer {
public:
    static constexpr size_t kMaxMessageSize = 1024 * 1024;  // bytes, without the NUL

    explicit CPipeFramer(size_t maxMessageSize = kMaxMessageSize) : m_maxSize(maxMessageSize) {}

    // Appends each message completed by these bytes to out.
    void Feed(const char* data, size_t size, std::vector<CAutoString>& out);

private:
    size_t m_maxSize;
    std::string m_pending;
    bool m_bDiscarding = false;  // inside an oversized message, until its NUL
};
