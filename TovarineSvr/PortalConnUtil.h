// Small helpers shared by the CPortalConn sources: reading numbers out of
// portal and settings text, and the 140000-based portal error codes.
// Pure functions, any thread.
#pragma once

#include <climits>

#include "AutoString.h"

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

}  // namespace portalconn
