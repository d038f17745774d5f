// CLog: the service's dated log file. One process-wide instance, created
// before main; every thread may call WriteLog, and whole lines never mix.
// A line is "%m-%d %H:%M:%S " + message + "\n", written when its level is at
// most the current level (0 until the program sets one). A message longer
// than kMaxMessage is cut, with its full length noted; once the file holds
// its size limit, one last line says so and nothing more is written to it.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>

#include "SimpleFile.h"

// A line is written when its level is at most the current level.
enum ELogLevel : int {
    kLogAlways = 0,   // module and file failures: written whatever the level
    kLogInfo = 3,     // the service's ordinary lines
    kLogVerbose = 4,  // the level the service runs at; rare, detailed lines
};

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
    static constexpr size_t kMaxMessage = 4096;
    static constexpr unsigned long long kMaxFileBytes = 64ULL << 20;
    // Tests use a small limit; it applies from the next line on.
    void SetSizeLimit(unsigned long long bytes);

private:
    CLog() = default;

    void WriteLine(const char* stamp, const char* message, size_t length, const char* note);

    std::atomic<int> m_level{0};
    std::mutex m_lineLock;          // the file and the counters below
    unsigned long long m_size = 0;  // bytes in the open file
    unsigned long long m_limit = kMaxFileBytes;
    bool m_bFull = false;
    static CLog* m_pLog;
};
