#include "UiTrace.h"

#include <cstdlib>

CUiTrace& CUiTrace::Get() {
    static CUiTrace trace;
    return trace;
}

CUiTrace::CUiTrace() {
    const char* path = std::getenv(kEnvVar);
    if (path && *path) {
        m_file.reset(std::fopen(path, "a"));
    }
}

void CUiTrace::Write(const char* key, const std::string& value) {
    if (!m_file) {
        return;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    // One line per record: a line break inside a value would split it.
    std::string line = value;
    for (char& c : line) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    std::fprintf(m_file.get(), "STATE %s=%s\n", key, line.c_str());
    std::fflush(m_file.get());
}
