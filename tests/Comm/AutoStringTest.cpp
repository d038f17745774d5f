#include <gtest/gtest.h>

#include <map>

#include "AutoString.h"

TEST(CAutoStringTest, NeverSetDiffersFromEmpty) {
    CAutoString never;
    CAutoString empty("");
    EXPECT_TRUE(never.IsNull());
    EXPECT_FALSE(empty.IsNull());
    EXPECT_TRUE(never == nullptr);
    EXPECT_FALSE(empty == nullptr);
    EXPECT_TRUE(empty == "");
    EXPECT_FALSE(never == "");
    EXPECT_STREQ(never.GetBuffer(), "");
}

TEST(CAutoStringTest, NullAndNeverSetAssignmentsLeaveTargetUnchanged) {
    CAutoString s("keep");
    s = static_cast<const char*>(nullptr);
    EXPECT_TRUE(s == "keep");
    CAutoString never;
    s = never;
    EXPECT_TRUE(s == "keep");
    s = CAutoString();
    EXPECT_TRUE(s == "keep");
    CAutoString copy(never);
    EXPECT_TRUE(copy.IsNull());
}

TEST(CAutoStringTest, SelfAssignmentAndAliasedAssignmentKeepText) {
    CAutoString s("abcdef");
    s = s;
    EXPECT_TRUE(s == "abcdef");
    s = s.GetBuffer() + 2;
    EXPECT_TRUE(s == "cdef");
}

TEST(CAutoStringTest, FormatReplacesOnlyOnNonEmptyResult) {
    CAutoString s("old");
    EXPECT_EQ(s.Format("%s", ""), 0);
    EXPECT_TRUE(s == "old");
    EXPECT_EQ(s.Format("%d-%s", 42, "x"), 4);
    EXPECT_TRUE(s == "42-x");
}

TEST(CAutoStringTest, TrimRemovesSpacesAndLineBreaksEverywhereButKeepsTabs) {
    CAutoString s(" a b\r\nc\t d \n");
    s.Trim();
    EXPECT_TRUE(s == "abc\td");
    CAutoString never;
    never.Trim();
    EXPECT_TRUE(never.IsNull());
}

TEST(CAutoStringTest, FindMidLeftRight) {
    CAutoString s("hello world");
    EXPECT_EQ(s.Find('o'), 4);
    EXPECT_EQ(s.Find('o', 5), 7);
    EXPECT_EQ(s.Find('z'), -1);
    EXPECT_EQ(s.Find("world"), 6);
    EXPECT_EQ(s.Find("world", 7), -1);
    EXPECT_EQ(s.Find('o', 100), -1);
    EXPECT_EQ(s.Find(CAutoString("lo")), 3);
    EXPECT_EQ(CAutoString().Find('a'), -1);

    EXPECT_TRUE(s.Mid(6) == "world");
    EXPECT_TRUE(s.Mid(0, 5) == "hello");
    EXPECT_TRUE(s.Mid(6, 100) == "world");
    EXPECT_TRUE(s.Mid(50) == "");
    EXPECT_TRUE(s.Left(5) == "hello");
    EXPECT_TRUE(s.Left(50) == "hello world");
    EXPECT_TRUE(s.Right(5) == "world");
    EXPECT_TRUE(s.Right(0) == "");
}

TEST(CAutoStringTest, ReplaceEveryOccurrenceIncludingGrowth) {
    CAutoString s("a&amp;b&amp;c");
    EXPECT_EQ(s.Replace("&amp;", "&"), 2);
    EXPECT_TRUE(s == "a&b&c");
    EXPECT_EQ(s.Replace("&", "&&"), 2);
    EXPECT_TRUE(s == "a&&b&&c");
    EXPECT_EQ(s.Replace("zz", "y"), 0);
    EXPECT_EQ(s.Replace("", "y"), 0);
}

TEST(CAutoStringTest, MakeLowerTouchesOnlyAsciiLetters) {
    CAutoString s("AbC-\xC4\xD0Z");
    s.MakeLower();
    EXPECT_TRUE(s == "abc-\xC4\xD0z");
}

TEST(CAutoStringTest, EqualityIsExactAndCaseSensitive) {
    EXPECT_TRUE(CAutoString("Portal") == "Portal");
    EXPECT_FALSE(CAutoString("Portal") == "portal");
    EXPECT_FALSE(CAutoString("Portal") == "Portal ");
    EXPECT_TRUE(CAutoString("x") == CAutoString("x"));
    EXPECT_TRUE(CAutoString() == CAutoString());
    EXPECT_FALSE(CAutoString() == CAutoString(""));
}

TEST(CAutoStringTest, OrderingIsBytewiseWithPrefixFirst) {
    EXPECT_TRUE(CAutoString("ab") < CAutoString("abc"));
    EXPECT_FALSE(CAutoString("abc") < CAutoString("ab"));
    EXPECT_FALSE(CAutoString("ab") < CAutoString("ab"));
    EXPECT_TRUE(CAutoString("B") < CAutoString("a"));
    // High bytes sort after ASCII (unsigned comparison).
    EXPECT_TRUE(CAutoString("z") < CAutoString("\xC4"));

    std::map<CAutoString, int> m;
    m["PortalConnect"] = 1;
    m["Portal"] = 2;
    m["PortalDisConnect"] = 3;
    EXPECT_EQ(m.size(), 3u);
    EXPECT_EQ(m["Portal"], 2);
    EXPECT_EQ(m.begin()->first, CAutoString("Portal"));
}

TEST(CAutoStringTest, AppendBuildsText) {
    CAutoString s;
    s += "ab";
    s += CAutoString("cd");
    s += static_cast<const char*>(nullptr);
    EXPECT_TRUE(s == "abcd");
    EXPECT_EQ(s.GetLength(), 4u);
}
