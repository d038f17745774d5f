#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "Decimal.h"

TEST(DecimalTest, TakesOnlyWholeNumbersInsideTheRange) {
    const struct {
        const char* text;
        bool ok;
        long long value;
    } cases[] = {
        {"0", true, 0},
        {" \t42\r\n", true, 42},
        {"-17", true, -17},
        {"+17", true, 17},
        {"-0", true, 0},
        {"9223372036854775807", true, LLONG_MAX},
        {"-9223372036854775808", true, LLONG_MIN},
        {"9223372036854775808", false, 0},
        {"-9223372036854775809", false, 0},
        {"99999999999999999999999", false, 0},
        {"", false, 0},
        {"  ", false, 0},
        {"-", false, 0},
        {"1 2", false, 0},
        {"12abc", false, 0},
        {"0x10", false, 0},
        {"--1", false, 0},
        {"\v1", false, 0},
    };
    for (const auto& c : cases) {
        long long value = 99;
        EXPECT_EQ(Decimal::Parse(c.text, value), c.ok) << c.text;
        EXPECT_EQ(value, c.ok ? c.value : 99) << c.text;
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
