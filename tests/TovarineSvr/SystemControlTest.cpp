#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HostFiles.h"
#include "ShellExecutor.h"
#include "SystemControl.h"
#include "SystemControlAdapter.h"
#include "SystemControlCentOS.h"
#include "TempDir.h"

namespace {

void CollectLine(const char* line, void* param) { static_cast<std::vector<std::string>*>(param)->push_back(line); }

}  // namespace

TEST(CShellExecutorTest, HandsEachOutputLineToTheCallback) {
    CShellExecutor executor;
    std::vector<std::string> lines;
    executor.SetSystemControlLogger(CollectLine, &lines);
    EXPECT_EQ(executor.GetLogRoutine(), &CollectLine);
    EXPECT_EQ(executor.ExecuteShellScript("printf 'one\\ntwo\\nlast'", "r"), 1);
    EXPECT_EQ(lines, (std::vector<std::string>{"one\n", "two\n", "last"}));
}

TEST(CShellExecutorTest, RefusesMissingCommandsAndModes) {
    CShellExecutor executor;
    std::vector<std::string> lines;
    executor.SetSystemControlLogger(CollectLine, &lines);
    EXPECT_EQ(executor.ExecuteShellScript(nullptr, "r"), 0);
    EXPECT_EQ(executor.ExecuteShellScript("", "r"), 0);
    EXPECT_EQ(executor.ExecuteShellScript("echo x", nullptr), 0);
    EXPECT_EQ(executor.ExecuteShellScript("echo x", ""), 0);
    EXPECT_EQ(executor.ExecuteShellScript("echo x", "w"), 0);
    EXPECT_EQ(executor.ReadFileLines(nullptr), 0);
    EXPECT_EQ(executor.ReadFileLines("/nonexistent/velnor/file"), 0);
    EXPECT_TRUE(lines.empty());
}

TEST(CShellExecutorTest, DeliversLongFileLinesInPieces) {
    TempDir dir;
    std::string longLine(3000, 'z');
    WriteText(dir / "lines", longLine + "\nshort\n");
    CShellExecutor executor;
    std::vector<std::string> lines;
    executor.SetSystemControlLogger(CollectLine, &lines);
    ASSERT_EQ(executor.ReadFileLines((dir / "lines").c_str()), 1);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].size(), 1023u);
    EXPECT_EQ(lines[0] + lines[1] + lines[2], longLine + "\n");
    EXPECT_EQ(lines[3], "short\n");
}

TEST(CSystemControlAdapterTest, DetectsTheDistributionFromOsRelease) {
    struct Case {
        const char* text;  // null: no file
        OPERATION_SYSTEM expected;
    } cases[] = {
        {"NAME=\"Ubuntu\"\nID=ubuntu\nID_LIKE=debian\n", SYSTEM_UBUNTU},
        {"NAME=\"Fedora Linux\"\nID=fedora\n", SYSTEM_FEDORA},
        {"NAME=\"CentOS Linux\"\nID=\"centos\"\n", SYSTEM_CENT},
        {"NAME=\"centos\"\nID=centos\n", SYSTEM_COMMON},
        {"NAME=\"Ubuntu\"\n", SYSTEM_COMMON},
        {"PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n", SYSTEM_COMMON},
        // Later lines overwrite; within a line the last test that matches wins.
        {"ID=ubuntu\nNAME=Fedora\n", SYSTEM_FEDORA},
        {"NAME=CentOS\nID=ubuntu\n", SYSTEM_UBUNTU},
        {"X=ubuntu CentOS Fedora\n", SYSTEM_CENT},
        {"", SYSTEM_COMMON},
        {nullptr, SYSTEM_COMMON},
    };
    for (const Case& c : cases) {
        TempDir dir;
        SYSTEM_CONTROL_PATHS paths = PathsIn(dir);
        if (c.text) WriteText(paths.strOsRelease, c.text);
        CSystemControlAdapter adapter(paths);
        EXPECT_EQ(adapter.GetSystem(), c.expected) << (c.text ? c.text : "(no file)");
        ISystemControl* control = adapter.GetSystemControl();
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(dynamic_cast<CSystemControlCentOS*>(control) != nullptr, c.expected == SYSTEM_CENT)
            << (c.text ? c.text : "(no file)");
        EXPECT_EQ(adapter.GetSystemControl(), control);
    }
}

TEST(CSystemControlTest, ForwardingReadsIPv4ThenIPv6) {
    struct Case {
        const char* ipv4;  // null: unreadable
        const char* ipv6;
        int expected;
    } cases[] = {
        {"1\n", "0\n", 1},
        {"0\n", "1\n", 1},
        {"0\n", "0\n", 0},
        {"0\n", nullptr, 0},
        {"2\n", nullptr, 2},
        // Nothing readable: the host counts as forwarding.
        {nullptr, nullptr, 1},
        {nullptr, "0\n", 1},
        {"garbage\n", "0\n", 1},
    };
    for (const Case& c : cases) {
        TempDir dir;
        SYSTEM_CONTROL_PATHS paths = PathsIn(dir);
        if (c.ipv4) WriteText(paths.strIPv4Forwarding, c.ipv4);
        if (c.ipv6) WriteText(paths.strIPv6Forwarding, c.ipv6);
        CSystemControl control(paths);
        EXPECT_EQ(control.NetworkEnableIpForwarding(), c.expected)
            << (c.ipv4 ? c.ipv4 : "-") << " / " << (c.ipv6 ? c.ipv6 : "-");
    }
}

TEST(CSystemControlTest, ForwardingFollowsChangesBetweenCalls) {
    TempDir dir;
    SYSTEM_CONTROL_PATHS paths = PathsIn(dir);
    WriteText(paths.strIPv4Forwarding, "0\n");
    WriteText(paths.strIPv6Forwarding, "0\n");
    CSystemControl control(paths);
    EXPECT_EQ(control.NetworkEnableIpForwarding(), 0);
    WriteText(paths.strIPv4Forwarding, "1\n");
    EXPECT_EQ(control.NetworkEnableIpForwarding(), 1);
    EXPECT_EQ(control.GetLogRoutine(), &CSystemControl::ForwardResultParser);
}

TEST(CSystemControlCentOSTest, ReadsOnlyTheIPv4ForwardingLineOfSysctl) {
    struct Case {
        const char* command;
        int expected;
    } cases[] = {
        {"printf 'net.ipv4.ip_forward = 0\\nnet.ipv4.ip_forward_use_pmtu = 1\\n'", 0},
        {"printf 'net.ipv4.ip_forward_update_priority = 0\\nnet.ipv4.ip_forward = 1\\n'", 1},
        {"printf 'net.ipv4.conf.all.forwarding = 0\\n'", 1},
        {"true", 1},
        {"exit 3", 1},
    };
    for (const Case& c : cases) {
        SYSTEM_CONTROL_PATHS paths;
        paths.strSysctlCommand = c.command;
        CSystemControlCentOS control(paths);
        EXPECT_EQ(control.NetworkEnableIpForwarding(), c.expected) << c.command;
    }
}

class CSystemControlCountersTest : public ::testing::Test {
protected:
    void SetUp() override { m_paths = PathsIn(m_dir); }
    TempDir m_dir;
    SYSTEM_CONTROL_PATHS m_paths;
};

TEST_F(CSystemControlCountersTest, ReadsTheInterfaceOfTheFirstUpDefaultRoute) {
    WriteText(m_paths.strNetRoute, RouteHeader() + SubnetRoute("eth0") + DefaultRoute("wlan9", "0002") +
                                       DefaultRoute("eth1") + DefaultRoute("eth0"));
    WriteText(m_paths.strNetDev, DeviceList({{"lo", 1, 2},
                                             {"eth0", 100, 200},
                                             {"eth1", 18446744073709551615ull, 5000000000ull},
                                             {"wlan9", 7, 8}}));
    CSystemControl control(m_paths);
    uint64_t transmit = 0, receive = 0;
    ASSERT_EQ(control.NetworkTrafficStatistics(transmit, receive), 0);
    EXPECT_EQ(receive, 18446744073709551615ull);
    EXPECT_EQ(transmit, 5000000000ull);
    EXPECT_STREQ(control.GetStatistics().szInterface, "eth1");
}

TEST_F(CSystemControlCountersTest, KeepsThePreviousValuesWithoutADefaultRoute) {
    WriteText(m_paths.strNetDev, DeviceList({{"eth0", 100, 200}}));
    WriteText(m_paths.strNetRoute, RouteHeader() + SubnetRoute("eth0"));
    CSystemControl control(m_paths);
    uint64_t transmit = 55, receive = 66;
    ASSERT_EQ(control.NetworkTrafficStatistics(transmit, receive), 0);
    EXPECT_EQ(transmit, 0u);
    EXPECT_EQ(receive, 0u);

    WriteText(m_paths.strNetRoute, RouteHeader() + DefaultRoute("eth0"));
    ASSERT_EQ(control.NetworkTrafficStatistics(transmit, receive), 0);
    EXPECT_EQ(transmit, 200u);
    WriteText(m_paths.strNetDev, DeviceList({{"eth0", 1000, 2000}}));
    WriteText(m_paths.strNetRoute, RouteHeader());
    ASSERT_EQ(control.NetworkTrafficStatistics(transmit, receive), 0);
    EXPECT_EQ(transmit, 200u);
    EXPECT_EQ(receive, 100u);
}

TEST_F(CSystemControlCountersTest, FailsWithoutTheDeviceListAndLeavesTheValues) {
    WriteText(m_paths.strNetRoute, RouteHeader() + DefaultRoute("eth0"));
    CSystemControl control(m_paths);
    uint64_t transmit = 55, receive = 66;
    EXPECT_EQ(control.NetworkTrafficStatistics(transmit, receive), -1);
    EXPECT_EQ(transmit, 55u);
    EXPECT_EQ(receive, 66u);
}

TEST_F(CSystemControlCountersTest, IgnoresOverlongAndMalformedLines) {
    std::string longName(200, 'e');
    WriteText(m_paths.strNetRoute, RouteHeader() + DefaultRoute(longName) + DefaultRoute("eth0"));
    std::string devices = DeviceList({{longName, 1, 2}, {"eth0" + longName, 3, 4}}) +
                          "  eth0: -5 0 0 0 0 0 0 0 6\n"                      // negative
                          "  eth0: 5 0 0 0\n"                                 // too few columns
                          "  eth0: 99999999999999999999 0 0 0 0 0 0 0 1\n"  // beyond 64 bits
                          "eth0 12 0 0 0 0 0 0 0 13\n" +                      // no colon
                          DeviceList({{"eth0", 40, 50}});
    WriteText(m_paths.strNetDev, devices);
    CSystemControl control(m_paths);
    uint64_t transmit = 0, receive = 0;
    ASSERT_EQ(control.NetworkTrafficStatistics(transmit, receive), 0);
    EXPECT_EQ(receive, 40u);
    EXPECT_EQ(transmit, 50u);
}

TEST(CSystemControlParserTest, ReadsDecimalsWithLeadingBlanksOnly) {
    struct Case {
        const char* text;
        bool ok;
        int value;
    } cases[] = {{"1\n", true, 1},   {"  0", true, 0},   {"-3", true, -3}, {"", false, 0},
                 {"x1", false, 0},   {"+", false, 0},    {nullptr, false, 0},
                 {"99999999999999999999", false, 0}};
    for (const Case& c : cases) {
        int value = 0;
        EXPECT_EQ(CSystemControl::ReadDecimal(c.text, value), c.ok) << (c.text ? c.text : "(null)");
        EXPECT_EQ(value, c.value) << (c.text ? c.text : "(null)");
    }
}
