// CLog: the service's dated log file. One process-wide instance, created
// before main; every thread may call WriteLog, and whole lines never mix.
// A line is "%m-%d %H:%M:%S " + message + "\n", written when its level is at
// most the current level (0 until the program sets one).
#pragma once

#include <cstddef>
#include <atomic>
#include <mutex>

#include "SimpleFile.h"

class CLog : public CSimpleFile {
public:
    static CLog* GetInst();

    void SetLevel(int level) { m_level = level; }
    int GetLevel() const { return m_level; }
    // Opens directory + date + "_" + baseName for appending, creating the
    // directory (0700) when missing. A name that does not fit the path
    // buffer, or a date longer than its buffer, is refused: no file is open.
    bool Create(const char* directory, const char* baseName, const char* dateFormat);
    void WriteLog(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    static bool getTimeNow(char* buffer, size_t size, const char* format);

    static constexpr size_t kPathSize = 1024;
    static constexpr size_t kTimeSize = 50;

private:
    CLog() = default;

    std::atomic<int> m_level{0};
    std::mutex m_lineLock;
    static CLog* m_pLog;
};
