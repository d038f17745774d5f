#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <string>

#include "CommFunc.h"
#include "TempDir.h"

TEST(CommFuncNumbers, IsTelNumTakesElevenDigitsAndItoaWritesDecimal) {
    for (const char* yes : {"13812345678", "00000000000"}) EXPECT_EQ(IsTelNum(yes), 1) << yes;
    for (const char* no : {"1381234567", "138123456789", "1381234567a", "1381234567 ", "+3812345678", ""})
        EXPECT_EQ(IsTelNum(no), 0) << no;
    EXPECT_EQ(IsTelNum(CAutoString()), 0);

    const std::pair<int, const char*> cases[] = {
        {0, "0"}, {2147483647, "2147483647"}, {-5, "-5"}, {-2147483647 - 1, "-2147483648"}};
    for (const auto& [value, expected] : cases) {
        char buffer[12];
        memset(buffer, 'x', sizeof(buffer));
        EXPECT_EQ(itoa(value, buffer, 16), buffer);  // the radix is not consulted
        EXPECT_STREQ(buffer, expected);
    }
}

TEST(CommFuncText, TrimFamilyCutsOnlyCharactersOfTheSet) {
    char padded[] = " \r\n ab c\t \n", onlySet[] = " \r\n ";
    EXPECT_STREQ(CommFunc::Trim(padded, " \r\n"), "ab c\t");
    EXPECT_STREQ(CommFunc::Trim(onlySet, " \r\n"), "");
    EXPECT_EQ(CommFunc::Trim(nullptr, " "), nullptr);

    const char *text = "  xy  ", *limited = "    z";
    EXPECT_EQ(CommFunc::TrimLeft(text, 0, " "), 4u);
    EXPECT_STREQ(text, "xy  ");
    EXPECT_EQ(CommFunc::TrimLeft(limited, 2, " "), 0u);  // stays within the given length
    EXPECT_STREQ(limited, "  z");

    char right[] = "value;;  ", untouched[] = "value", withNuls[8] = "ab  ";  // the rest of withNuls is NUL
    EXPECT_EQ(CommFunc::TrimRight(right, nullptr, "; ", ','), right + 6);
    EXPECT_EQ(std::string(right, 6), "value,");
    EXPECT_EQ(CommFunc::TrimRight(untouched, nullptr, " ", ','), untouched + 5);
    EXPECT_STREQ(untouched, "value");
    EXPECT_EQ(CommFunc::TrimRight(withNuls, withNuls + sizeof(withNuls), " "), withNuls + 2);
    EXPECT_STREQ(withNuls, "ab");

    char mixed[] = "AbC-dEf";
    EXPECT_STREQ(CommFunc::MarkLower(mixed, 3), "abc-dEf");
    EXPECT_STREQ(CommFunc::MarkUpper(mixed), "ABC-DEF");
}

TEST(CommFuncShell, ShellLineIsTheFirstLineTrimmedAndOnlyAMissingCommandFails) {
    char buffer[64], small[6];
    EXPECT_STREQ(CommFunc::GetShellLine("printf ' \\t hello world \\r\\nsecond\\n'", buffer, sizeof(buffer)),
                 "hello world");
    EXPECT_STREQ(CommFunc::GetShellLine("true", buffer, sizeof(buffer)), "");
    EXPECT_STREQ(CommFunc::GetShellLine("echo abcdefghij", small, sizeof(small)), "abcde");
    EXPECT_EQ(CommFunc::GetShellLine("", buffer, sizeof(buffer)), nullptr);
    EXPECT_EQ(CommFunc::GetShellLine(nullptr, buffer, sizeof(buffer)), nullptr);
    EXPECT_EQ(CommFunc::GetShellLine("true", buffer, 0), nullptr);

    EXPECT_TRUE(CommFunc::ShellExecute("true"));
    EXPECT_TRUE(CommFunc::ShellExecute("exit 3"));  // ran, only failed
    EXPECT_FALSE(CommFunc::ShellExecute("velnor-no-such-command-here"));
    EXPECT_FALSE(CommFunc::ShellExecute(nullptr));
}

TEST(CommFuncNeighbours, MacComesOnlyFromACompleteEntryOfThatAddress) {
    TempDir dir;
    const std::string arp = dir / "arp";
    std::ofstream(arp) << "IP address       HW type     Flags       HW address            Mask     Device\n"
                          "10.0.0.10        0x1         0x2         aa:bb:cc:dd:ee:10     *        eth0\n"
                          "10.0.0.1         0x1         0x2         aa:bb:cc:dd:ee:01     *        eth0\n"
                          "10.0.0.2         0x1         0x0         00:00:00:00:00:00     *        eth0\n";
    char mac[32];
    EXPECT_STREQ(CommFunc::GetMacFromIPv4("10.0.0.1", mac, sizeof(mac), arp.c_str()), "aa:bb:cc:dd:ee:01");
    for (const char* none : {"10.0.0.2", "10.0.0.3", "10.0.0", "IP"})  // 10.0.0.2 is incomplete
        EXPECT_STREQ(CommFunc::GetMacFromIPv4(none, mac, sizeof(mac), arp.c_str()), "") << none;
    EXPECT_STREQ(CommFunc::GetMacFromIPv4("10.0.0.1", mac, sizeof(mac), (dir / "none").c_str()), "");
}
