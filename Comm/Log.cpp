#include "Log.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

CLog* CLog::m_pLog = CLog::GetInst();

CLog* CLog::GetInst() {
    static CLog instance;
    return &instance;
}

bool CLog::getTimeNow(char* buffer, size_t size, const char* format) {
    if (!buffer || !size) return false;
    memset(buffer, 0, size);
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    // strftime gives 0 when the text does not fit; the buffer stays cleared.
    return strftime(buffer, size, format ? format : "", &local) > 0 || !format || !*format;
}

bool CLog::Create(const char* directory, const char* baseName, const char* dateFormat) {
    std::lock_guard<std::mutex> guard(m_lineLock);
    CloseFile();
    char path[kPathSize] = {0};
    size_t used = 0;
    auto append = [&](const char* text) {
        size_t length = strlen(text);
        if (used + length >= sizeof(path)) return false;
        memcpy(path + used, text, length);
        used += length;
        path[used] = '\0';
        return true;
    };
    if (directory && *directory) {
        struct stat info;
        bool exists = stat(directory, &info) == 0 && S_ISDIR(info.st_mode);
        if (exists || RecuMkDir(directory, 0700, false)) {
            if (!append(directory)) return false;
            char last = path[used - 1];
            if (last != '/' && last != '\\' && !append("/")) return false;
        }
    }
    if (dateFormat && *dateFormat) {
        char date[kTimeSize];
        if (!getTimeNow(date, sizeof(date), dateFormat) || !*date) return false;
        if (!append(date) || !append("_")) return false;
    }
    if (!append(baseName ? baseName : "")) return false;
    if (CreateFile(path, "a+") != 0) return false;
    // A second start on the same day appends to the same file and its limit.
    struct stat info;
    m_size = fstat(fileno(m_pFile), &info) == 0 ? static_cast<unsigned long long>(info.st_size) : 0;
    m_bFull = false;
    return true;
}

void CLog::WriteLog(int level, const char* format, ...) {
    if (level > m_level || !format) return;
    va_list args;
    va_start(args, format);
    char* message = nullptr;
    int length = vasprintf(&message, format, args);
    va_end(args);
    if (length <= 0) {
        if (length == 0) free(message);
        return;
    }
    char stamp[kTimeSize];
    getTimeNow(stamp, sizeof(stamp), "%m-%d %H:%M:%S ");
    size_t shown = static_cast<size_t>(length);
    char note[64] = {0};
    if (shown > kMaxMessage) {
        shown = kMaxMessage;
        snprintf(note, sizeof(note), " ... (cut, %d bytes in all)", length);
    }
    {
        std::lock_guard<std::mutex> guard(m_lineLock);
        WriteLine(stamp, message, shown, note);
    }
    free(message);
}

void CLog::SetSizeLimit(unsigned long long bytes) {
    std::lock_guard<std::mutex> guard(m_lineLock);
    m_limit = bytes;
}

void CLog::WriteLine(const char* stamp, const char* message, size_t length, const char* note) {
    if (m_bFull || !m_pFile) return;
    size_t stampLength = strlen(stamp), noteLength = strlen(note);
    unsigned long long line = stampLength + length + noteLength + 1;
    if (m_size + line > m_limit) {
        static const char kLast[] = "log size limit reached, nothing more is written to this file\n";
        m_bFull = true;
        WriteFile(stamp, stampLength);
        WriteFile(kLast, sizeof(kLast) - 1);
        return;
    }
    WriteFile(stamp, stampLength);
    WriteFile(message, length);
    WriteFile(note, noteLength);
    WriteFile("\n", 1);
    m_size += line;
}
