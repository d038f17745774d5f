// Small helpers shared by the portal session's sources: reading numbers out
// of portal and settings text, the 140000-based portal error codes, the
// exchanges' time stamp and log line. Any thread.
#pragma once

#include <climits>
#include <cstdarg>
#include <cstdio>

#include "AutoString.h"
#include "CommFunc.h"
#include "Log.h"

namespace portalconn {

// Leading decimal digits of text, clamped to INT_MAX; 0 when there are none.
inline int LeadingInt(const char* text) {
    if (!text) return 0;
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > INT_MAX) return INT_MAX;
    }
    return static_cast<int>(value);
}

// errCode holds the portal's Error-Code as the common path stored it (a
// missing header is -1, so 139999); the sum is clamped, the portal's number
// is not trusted to be small.
inline int PortalErrorCode(unsigned long errCode) {
    long long sum = 140000LL + static_cast<long>(errCode);
    if (sum > INT_MAX) return INT_MAX;
    if (sum < INT_MIN) return INT_MIN;
    return static_cast<int>(sum);
}

inline CAutoString Decimal(long value) {
    CAutoString text("");
    text.Format("%ld", value);
    return text;
}

inline long Signed(unsigned long errCode) { return static_cast<long>(errCode); }

inline CAutoString Now() { return CommFunc::GetLocalTime("%Y-%m-%d %H:%M:%S"); }

inline void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline void Log(const char* format, ...) {
    char line[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    CLog::GetInst()->WriteLog(kLogInfo, "%s", line);
}

}  // namespace portalconn
