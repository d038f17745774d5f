#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "CharsetConv.h"

TEST(CCharsetConvTest, ValidatesUtf8Strictly) {
    const std::tuple<std::string, bool> cases[] = {
        {"plain", true},
        {"\xE4\xB8\xAD\xF0\x9F\x98\x80", true},
        {"\xC0\xAF", false},          // overlong "/"
        {"\xED\xA0\x80", false},      // surrogate
        {"\xF4\x90\x80\x80", false},  // above U+10FFFF
        {"\xE4\xB8", false},          // cut short
        {"\xD6\xD0\xCE\xC4", false},  // GB18030
        {std::string("a\0b", 3), true},
    };
    for (const auto& [bytes, valid] : cases)
        EXPECT_EQ(CCharsetConv::IsValidUtf8(bytes.data(), bytes.size()), valid);
}

TEST(CCharsetConvTest, ConvertsLongTextsAndReportsBadInput) {
    // Growing output (UTF-16 is twice ASCII) outgrows the first guess of its size.
    std::string text;
    for (int i = 0; i < 20000; ++i) text += i % 7 ? "abc" : "\xE4\xB8\xAD\xF0\x9F\x98\x80";
    std::string wide;
    ASSERT_EQ(CCharsetConv("UTF-16LE", "UTF-8").Convert(text.data(), text.size(), wide), 0);
    std::string back;
    ASSERT_EQ(CCharsetConv("UTF-8", "UTF-16LE").Convert(wide.data(), wide.size(), back), 0);
    EXPECT_EQ(back, text);

    std::string out;
    EXPECT_EQ(CCharsetConv("UTF-8", "GB18030").Convert("\x81", 1, out), -2) << "truncated character";
    EXPECT_EQ(CCharsetConv("UTF-8", "UTF-8").Convert("a\xFF", 2, out), -2);
    EXPECT_EQ(CCharsetConv("ISO-8859-1", "UTF-8").Convert("\xE4\xB8\xAD", 3, out), -2) << "no mapping";
    CCharsetConv unknown("UTF-8", "NO-SUCH-CHARSET");
    EXPECT_FALSE(unknown.IsOpen());
    EXPECT_EQ(unknown.Convert("a", 1, out), -1);
}
