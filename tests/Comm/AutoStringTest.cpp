#include <gtest/gtest.h>

#include <map>

#include "AutoString.h"

TEST(CAutoStringTest, NeverSetDiffersFromEmptyAndNeverOverwrites) {
    CAutoString never, empty("");
    EXPECT_TRUE(never.IsNull());
    EXPECT_FALSE(empty.IsNull());
    EXPECT_TRUE(never == nullptr);
    EXPECT_FALSE(empty == nullptr);
    EXPECT_TRUE(empty == "");
    EXPECT_FALSE(never == "");
    EXPECT_FALSE(never == empty);
    EXPECT_TRUE(never == CAutoString());
    EXPECT_STREQ(never.GetBuffer(), "");
    EXPECT_TRUE(CAutoString(never).IsNull());

    CAutoString s("keep");
    s = static_cast<const char*>(nullptr);
    s = never;
    s += static_cast<const char*>(nullptr);
    s += CAutoString("!");
    EXPECT_TRUE(s == "keep!");
    never.Trim();
    EXPECT_TRUE(never.IsNull());
}

TEST(CAutoStringTest, EditsKeepTheirTextAndFormatReplacesOnlyOnNonEmptyResult) {
    CAutoString s("abcdef");
    s = s;
    EXPECT_TRUE(s == "abcdef");
    s = s.GetBuffer() + 2;  // aliases its own buffer
    EXPECT_TRUE(s == "cdef");
    EXPECT_EQ(s.Format("%s", ""), 0);
    EXPECT_TRUE(s == "cdef");
    EXPECT_EQ(s.Format("%d-%s", 42, "x"), 4);
    EXPECT_TRUE(s == "42-x");

    CAutoString spaced(" a b\r\nc\t d \n");  // tabs stay
    spaced.Trim();
    EXPECT_TRUE(spaced == "abc\td");
    CAutoString lower("AbC-\xC4\xD0Z");
    lower.MakeLower();
    EXPECT_TRUE(lower == "abc-\xC4\xD0z");

    CAutoString amp("a&amp;b&amp;c");
    EXPECT_EQ(amp.Replace("&amp;", "&"), 2);
    EXPECT_EQ(amp.Replace("&", "&&"), 2);
    EXPECT_TRUE(amp == "a&&b&&c");
    EXPECT_EQ(amp.Replace("zz", "y"), 0);
    EXPECT_EQ(amp.Replace("", "y"), 0);
}

TEST(CAutoStringTest, FindAndSlicesStayInRange) {
    CAutoString s("hello world");
    EXPECT_EQ(s.Find('o', 5), 7);
    EXPECT_EQ(s.Find('z'), -1);
    EXPECT_EQ(s.Find("world", 7), -1);
    EXPECT_EQ(s.Find('o', 100), -1);
    EXPECT_EQ(s.Find(CAutoString("lo")), 3);
    EXPECT_EQ(CAutoString().Find('a'), -1);
    EXPECT_TRUE(s.Mid(6, 100) == "world");
    EXPECT_TRUE(s.Mid(50) == "");
    EXPECT_TRUE(s.Left(50) == "hello world");
    EXPECT_TRUE(s.Right(5) == "world");
    EXPECT_TRUE(s.Right(0) == "");
}

TEST(CAutoStringTest, EqualityIsExactAndOrderingBytewiseWithPrefixFirst) {
    EXPECT_FALSE(CAutoString("Portal") == "portal");
    EXPECT_FALSE(CAutoString("Portal") == "Portal ");
    const std::pair<const char*, const char*> less[] = {{"ab", "abc"}, {"B", "a"}, {"z", "\xC4"}};
    for (const auto& [a, b] : less) {
        EXPECT_TRUE(CAutoString(a) < CAutoString(b)) << a << " < " << b;
        EXPECT_FALSE(CAutoString(b) < CAutoString(a)) << b << " < " << a;
    }
    EXPECT_FALSE(CAutoString("ab") < CAutoString("ab"));
    std::map<CAutoString, int> m{{"PortalConnect", 1}, {"Portal", 2}, {"PortalDisConnect", 3}};
    EXPECT_EQ(m.size(), 3u);
    EXPECT_EQ(m.begin()->first, CAutoString("Portal"));
}
