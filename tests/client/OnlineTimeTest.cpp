#include <gtest/gtest.h>

#include <climits>

#include "OnlineTime.h"

TEST(COnlineTimeTest, ShowsHoursMinutesSecondsWithRoomForLongSessions) {
    const struct {
        unsigned long seconds;
        const char* text;
    } cases[] = {
        {0, "00 : 00 : 00"},
        {3661, "01 : 01 : 01"},
        {359999, "99 : 59 : 59"},
        {360000, "100 : 00 : 00"},
        {ULONG_MAX, "5124095576030431 : 00 : 15"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(COnlineTime::Text(c.seconds), c.text) << c.seconds;
    }
}
