// CUiTrace: a record of what the window shows, for the GUI tests. Written
// only when the environment variable VELNOR_UI_TRACE names a file: one line
// "STATE key=value" per change, flushed at once. Any thread may write.
#pragma once

#include <mutex>
#include <string>

#include "UniqueStream.h"

class CUiTrace {
public:
    static constexpr const char* kEnvVar = "VELNOR_UI_TRACE";

    // The process's trace; off when the variable is unset or the file cannot be opened.
    static CUiTrace& Get();
    bool On() const { return m_file != nullptr; }
    void Write(const char* key, const std::string& value);

private:
    CUiTrace();
    std::mutex m_lock;
    CUniqueFile m_file;
};
