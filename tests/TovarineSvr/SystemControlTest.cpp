#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HostFiles.h"
#include "SystemControl.h"
#include "SystemControlAdapter.h"
#include "SystemControlCentOS.h"

namespace {

void CollectLine(const char* line, void* param) {
    static_cast<std::vector<std::string>*>(param)->push_back(line);
}

}  // namespace

TEST(CShellExecutorTest, HandsLongLinesInPiecesAndRefusesMissingInput) {
    TempDir dir;
    CShellExecutor executor;
    std::vector<std::string> lines;
    executor.SetSystemControlLogger(CollectLine, &lines);
    WriteFile(dir / "long", std::string(2000, 'z') + "\n");
    EXPECT_EQ(executor.ReadFileLines((dir / "long").c_str()), 1);
    EXPECT_EQ(lines, (std::vector<std::string>{std::string(1023, 'z'), std::string(977, 'z') + "\n"}));
    lines.clear();
    EXPECT_EQ(executor.ExecuteShellScript(nullptr, "r") + executor.ExecuteShellScript("", "r") +
                  executor.ExecuteShellScript("echo x", nullptr) +
                  executor.ExecuteShellScript("echo x", "w") +
                  executor.ReadFileLines((dir / "missing").c_str()),
              0);
    EXPECT_TRUE(lines.empty());
}

TEST(CSystemControlAdapterTest, DetectsTheDistributionFromOsRelease) {
    struct {
        const char* text;  // null: no file
        OPERATION_SYSTEM expected;
    } cases[] = {
        {"NAME=\"Ubuntu\"\nID=ubuntu\n", SYSTEM_UBUNTU},
        {"NAME=\"Fedora Linux\"\nID=fedora\n", SYSTEM_FEDORA},
        {"NAME=\"CentOS Linux\"\nID=\"centos\"\n", SYSTEM_CENT},
        {"NAME=\"centos\"\nID=centos\n", SYSTEM_COMMON},
        {"ID=debian\n", SYSTEM_COMMON},
        {"ID=ubuntu\nNAME=Fedora\n", SYSTEM_FEDORA},  // later lines overwrite
        {"X=ubuntu CentOS Fedora\n", SYSTEM_CENT},    // the last test on a line wins
        {nullptr, SYSTEM_COMMON},
    };
    for (const auto& c : cases) {
        TempDir dir;
        SYSTEM_CONTROL_PATHS paths = PathsIn(dir);
        if (c.text) WriteFile(paths.strOsRelease, c.text);
        CSystemControlAdapter adapter(paths);
        const char* label = c.text ? c.text : "(no file)";
        EXPECT_EQ(adapter.GetSystem(), c.expected) << label;
        ISystemControl* control = adapter.GetSystemControl();
        EXPECT_EQ(dynamic_cast<CSystemControlCentOS*>(control) != nullptr, c.expected == SYSTEM_CENT)
            << label;
    }
}

// What cannot be read is not sharing: 0, never the 1 of a fresh object.
TEST(CSystemControlTest, ForwardingReadsTheKernelSwitchesAndUnreadIsOff) {
    struct {
        const char *ipv4, *ipv6;  // null: unreadable
        int common, centos;       // the CentOS test reads IPv4 alone
    } cases[] = {{"1\n", "0\n", 1, 1},       {"0\n", "1\n", 1, 0},     {"0\n", "0\n", 0, 0},
                 {"0\n", nullptr, 0, 0},     {nullptr, nullptr, 0, 0}, {nullptr, "1\n", 1, 0},
                 {"garbage\n", "0\n", 0, 0}, {"1", nullptr, 1, 1}};
    for (const auto& c : cases) {
        TempDir dir;
        SYSTEM_CONTROL_PATHS paths = PathsIn(dir);
        if (c.ipv4) WriteFile(paths.strIPv4Forwarding, c.ipv4);
        if (c.ipv6) WriteFile(paths.strIPv6Forwarding, c.ipv6);
        std::string label = std::string(c.ipv4 ? c.ipv4 : "-") + " / " + (c.ipv6 ? c.ipv6 : "-");
        EXPECT_EQ(CSystemControl(paths).NetworkEnableIpForwarding(), c.common) << label;
        EXPECT_EQ(CSystemControlCentOS(paths).NetworkEnableIpForwarding(), c.centos) << label;
    }
}

// The line readers are tested on their own; here, which lines they are given.
TEST(CSystemControlCountersTest, ReadsTheFirstDefaultRouteAndKeepsTheLastValuesWithoutOne) {
    TempDir dir;
    SYSTEM_CONTROL_PATHS paths = PathsIn(dir);
    CSystemControl control(paths);
    uint64_t transmit = 55, receive = 66;
    EXPECT_EQ(control.NetworkTrafficStatistics(transmit, receive), -1);
    EXPECT_EQ(transmit + receive, 55u + 66u);
    WriteFile(paths.strNetDev, DeviceList(Device("eth0", 100, 200) + Device("wlan9", 7, 8)));
    ASSERT_EQ(control.NetworkTrafficStatistics(transmit, receive), 0);  // no route table: zero at first
    EXPECT_EQ(transmit + receive, 0u);
    WriteFile(paths.strNetRoute, Route("wlan9", "00000000", "0002") + Route("eth0") + Route("wlan9"));
    ASSERT_EQ(control.NetworkTrafficStatistics(transmit, receive), 0);
    EXPECT_EQ(transmit, 200u);
    EXPECT_EQ(receive, 100u);
    EXPECT_STREQ(control.GetStatistics().szInterface, "eth0");
    WriteFile(paths.strNetRoute, Route("eth0", "0002A8C0"));
    WriteFile(paths.strNetDev, DeviceList(Device("eth0", 1000, 2000)));
    ASSERT_EQ(control.NetworkTrafficStatistics(transmit, receive), 0);
    EXPECT_EQ(transmit, 200u);
    EXPECT_EQ(receive, 100u);
}
