#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <utility>

#include "Decimal.h"

TEST(DecimalTest, TakesOnlyWholeNumbersInsideTheRange) {
    const std::pair<const char*, long long> taken[] = {{"0", 0},
                                                       {" \t42\r\n", 42},
                                                       {"-17", -17},
                                                       {"+17", 17},
                                                       {"-0", 0},
                                                       {"9223372036854775807", LLONG_MAX},
                                                       {"-9223372036854775808", LLONG_MIN}};
    for (const auto& [text, expected] : taken) {
        long long value = 99;
        EXPECT_TRUE(Decimal::Parse(text, value)) << text;
        EXPECT_EQ(value, expected) << text;
    }
    for (const char* text : {"9223372036854775808", "-9223372036854775809", "99999999999999999999999", "",
                             "  ", "-", "1 2", "12abc", "0x10", "--1", "\v1"}) {
        long long value = 99;
        EXPECT_FALSE(Decimal::Parse(text, value)) << text;
        EXPECT_EQ(value, 99) << text;
    }
    int small = 5;
    EXPECT_FALSE(Decimal::Parse<int>(nullptr, small));
    EXPECT_FALSE(Decimal::Parse("2147483648", small));
    EXPECT_TRUE(Decimal::Parse("-2147483648", small));
    EXPECT_EQ(small, INT_MIN);
    // A range that starts above zero admits no sign at all.
    EXPECT_FALSE(Decimal::Parse("+7", small, 2, INT_MAX));
    EXPECT_FALSE(Decimal::Parse("1", small, 2, INT_MAX));
    EXPECT_TRUE(Decimal::Parse("9", small, 2, 9));
    EXPECT_FALSE(Decimal::Parse("10", small, 2, 9));
    uint64_t counter = 0;
    EXPECT_TRUE(Decimal::Parse("18446744073709551615", counter));
    EXPECT_EQ(counter, UINT64_MAX);
    EXPECT_FALSE(Decimal::Parse("18446744073709551616", counter));
    EXPECT_FALSE(Decimal::Parse("-1", counter));
}
