#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

#include "CommFunc.h"
#include "TempDir.h"

TEST(CommFuncNumbers, IsTelNumAcceptsExactlyElevenDigits) {
    struct {
        const char* text;
        int expected;
    } cases[] = {
        {"13812345678", 1}, {"00000000000", 1}, {"1381234567", 0},  {"138123456789", 0},
        {"1381234567a", 0}, {"1381234567 ", 0}, {"+3812345678", 0}, {"", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(IsTelNum(c.text), c.expected) << c.text;
    EXPECT_EQ(IsTelNum(CAutoString()), 0);
}

TEST(CommFuncNumbers, ItoaWritesPlainDecimalText) {
    struct {
        int value;
        const char* expected;
    } cases[] = {{0, "0"},       {7, "7"},
                 {1000, "1000"}, {2147483647, "2147483647"},
                 {-5, "-5"},     {-2147483647 - 1, "-2147483648"}};
    for (const auto& c : cases) {
        char buffer[12];
        memset(buffer, 'x', sizeof(buffer));
        EXPECT_STREQ(itoa(c.value, buffer, 10), c.expected);
        EXPECT_EQ(itoa(c.value, buffer, 16), buffer);  // the radix is not consulted
        EXPECT_STREQ(buffer, c.expected);
    }
}

TEST(CommFuncText, TrimFamilyCutsOnlyCharactersOfTheSet) {
    char padded[] = " \r\n ab c\t \n";
    EXPECT_STREQ(CommFunc::Trim(padded, " \r\n"), "ab c\t");
    char onlySet[] = " \r\n ";
    EXPECT_STREQ(CommFunc::Trim(onlySet, " \r\n"), "");
    EXPECT_EQ(CommFunc::Trim(nullptr, " "), nullptr);

    const char* text = "  xy  ";
    EXPECT_EQ(CommFunc::TrimLeft(text, 0, " "), 4u);
    EXPECT_STREQ(text, "xy  ");
    const char* limited = "    z";
    EXPECT_EQ(CommFunc::TrimLeft(limited, 2, " "), 0u);  // stays within the given length
    EXPECT_STREQ(limited, "  z");

    char right[] = "value;;  ";
    char* after = CommFunc::TrimRight(right, nullptr, "; ", ',');
    EXPECT_EQ(std::string(right, 6), "value,");
    EXPECT_EQ(after, right + 6);
    char untouched[] = "value";
    EXPECT_EQ(CommFunc::TrimRight(untouched, nullptr, " ", ','), untouched + 5);
    EXPECT_STREQ(untouched, "value");
    char withNuls[8] = "ab  ";  // the rest of the buffer is NUL
    EXPECT_EQ(CommFunc::TrimRight(withNuls, withNuls + sizeof(withNuls), " "), withNuls + 2);
    EXPECT_STREQ(withNuls, "ab");

    char mixed[] = "AbC-dEf";
    EXPECT_STREQ(CommFunc::MarkLower(mixed, 3), "abc-dEf");
    EXPECT_STREQ(CommFunc::MarkUpper(mixed), "ABC-DEF");
}

TEST(CommFuncShell, ShellLineIsTheFirstLineTrimmed) {
    char buffer[64];
    EXPECT_STREQ(CommFunc::GetShellLine("printf ' \\t hello world \\r\\nsecond\\n'", buffer, sizeof(buffer)),
                 "hello world");
    EXPECT_STREQ(CommFunc::GetShellLine("true", buffer, sizeof(buffer)), "");
    char small[6];
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
    std::ofstream(dir / "arp")
        << "IP address       HW type     Flags       HW address            Mask     Device\n"
           "10.0.0.10        0x1         0x2         aa:bb:cc:dd:ee:10     *        eth0\n"
           "10.0.0.1         0x1         0x2         aa:bb:cc:dd:ee:01     *        eth0\n"
           "10.0.0.2         0x1         0x0         00:00:00:00:00:00     *        eth0\n";
    const std::string arp = dir / "arp";
    char mac[32];
    EXPECT_STREQ(CommFunc::GetMacFromIPv4("10.0.0.1", mac, sizeof(mac), arp.c_str()), "aa:bb:cc:dd:ee:01");
    EXPECT_STREQ(CommFunc::GetMacFromIPv4("10.0.0.2", mac, sizeof(mac), arp.c_str()), "");  // incomplete
    EXPECT_STREQ(CommFunc::GetMacFromIPv4("10.0.0.3", mac, sizeof(mac), arp.c_str()), "");
    EXPECT_STREQ(CommFunc::GetMacFromIPv4("10.0.0", mac, sizeof(mac), arp.c_str()), "");
    EXPECT_STREQ(CommFunc::GetMacFromIPv4("IP", mac, sizeof(mac), arp.c_str()), "");
    EXPECT_STREQ(CommFunc::GetMacFromIPv4("10.0.0.1", mac, sizeof(mac), (dir / "none").c_str()), "");
}

TEST(CommFuncSystem, DirectoriesTimeAndProcessors) {
    TempDir dir;
    EXPECT_TRUE(CommFunc::RecuMkDir((dir / "a/b/c").c_str(), 0700, false));
    EXPECT_TRUE(CommFunc::RecuMkDir((dir / "a/b/c").c_str(), 0700, false));  // existing is fine
    EXPECT_TRUE(CommFunc::RecuMkDir((dir / "d/e/file.txt").c_str(), 0700, true));
    struct stat info;
    EXPECT_EQ(stat((dir / "a/b/c").c_str(), &info), 0);
    EXPECT_EQ(stat((dir / "d/e").c_str(), &info), 0);
    EXPECT_NE(stat((dir / "d/e/file.txt").c_str(), &info), 0);
    std::ofstream(dir / "plain") << "x";
    EXPECT_FALSE(CommFunc::RecuMkDir((dir / "plain/sub").c_str(), 0700, false));

    CAutoString now = CommFunc::GetLocalTime("%Y-%m-%d %H:%M:%S");
    EXPECT_EQ(now.GetLength(), 19u);
    time_t seconds = time(nullptr);
    struct tm local;
    localtime_r(&seconds, &local);
    EXPECT_EQ(std::string(now.Left(4)), std::to_string(local.tm_year + 1900));

    EXPECT_GE(CommFunc::ProcCount(0), 1u);
    EXPECT_EQ(CommFunc::ProcCount(2), CommFunc::ProcCount(0) * 4);

    auto start = std::chrono::steady_clock::now();
    Sleep(15);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(15));
}
