#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "ProcNet.h"
#include "TempDir.h"

namespace {

const char kRouteHeader[] =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

std::string Route(const std::string& device, const char* destination = "00000000", const char* flags = "0003",
                  const char* mask = "00000000") {
    return device + "\t" + destination + "\t0102A8C0\t" + flags + "\t0\t0\t100\t" + mask + "\t0\t0\t0\n";
}

std::string Device(const std::string& name, const std::string& receive, const std::string& transmit) {
    return "  " + name + ": " + receive + " 7 0 0 0 0 0 0 " + transmit + " 9 0 0 0 0 0 0\n";
}

}  // namespace

TEST(ProcNetTest, DefaultRouteIsAnUpLineWithZeroDestinationAndMask) {
    const std::string longest(15, 'e');
    for (const std::string& line : {Route("eth0"), Route("eth0", "0", "1"), Route("eth0", "0", "000B"),
                                    Route("eth0", "0", "000b"), Route(longest)}) {
        std::string name;
        EXPECT_TRUE(ProcNet::ReadDefaultRoute(line.c_str(), name)) << line;
        EXPECT_EQ(name, line.substr(0, line.find('\t'))) << line;
    }
    for (const std::string& line :
         {std::string(kRouteHeader), Route("eth0", "0002A8C0"), Route("eth0", "0", "0002"),
          Route("eth0", "0", "000g"), Route("eth0", "0", "0003", "00FFFFFF"), Route(longest + "e"),
          std::string("eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\n"), std::string()}) {
        std::string name = "kept";
        EXPECT_FALSE(ProcNet::ReadDefaultRoute(line.c_str(), name)) << line;
        EXPECT_EQ(name, "kept") << line;
    }
    std::string name;
    EXPECT_FALSE(ProcNet::ReadDefaultRoute(nullptr, name));
}

TEST(ProcNetTest, DeviceCountersAreTheNamedInterfacesWholeDecimals) {
    const struct {
        std::string line;
        const char* name;
        bool ok;
        uint64_t received = 0, transmitted = 0;
    } cases[] = {
        {Device("eth0", "9876543210", "123456789"), "eth0", true, 9876543210ull, 123456789ull},
        {Device("eth0", "18446744073709551615", "50"), "eth0", true, UINT64_MAX, 50},
        {"eth0:5 0 0 0 0 0 0 0 6\n", "eth0", true, 5, 6},
        {Device("eth0.100", "1", "2"), "eth0", false},
        {Device("eth0", "1", "2"), "eth", false},
        {Device("eth0", "1", "2"), "", false},
        {Device("eth0", "-5", "6"), "eth0", false},
        {Device("eth0", "5x", "6"), "eth0", false},
        {Device("eth0", "18446744073709551616", "1"), "eth0", false},
        {"  eth0: 5 0 0 0\n", "eth0", false},
    };
    for (const auto& c : cases) {
        uint64_t received = 7, transmitted = 8;
        EXPECT_EQ(ProcNet::ReadDeviceCounters(c.line.c_str(), c.name, received, transmitted), c.ok) << c.line;
        EXPECT_EQ(received, c.ok ? c.received : 7) << c.line;
        EXPECT_EQ(transmitted, c.ok ? c.transmitted : 8) << c.line;
    }
}

TEST(ProcNetTest, FilesAreSearchedByColumnAndUnreadableOnesSaySo) {
    TempDir dir;
    const std::string route = dir / "route", ipv6 = dir / "ipv6_route", dev = dir / "dev";
    std::ofstream(route) << kRouteHeader << Route("eth0.100", "0010A8C0", "0001", "00FFFFFF")
                         << Route("wlan0", "00000000", "0002") << Route("wlan1") << Route("eth1");
    std::ofstream(ipv6) << "fe800000000000000000000000000000 40 00000000000000000000000000000000 00 "
                           "00000000000000000000000000000000 00000100 00000001 00000000 00000001     eth1\n";
    std::ofstream(dev) << "Inter-|   Receive\n" << Device("eth0", "1", "2") << Device("eth0", "3", "4");
    const struct {
        const char* name;
        int ipv4, ipv6;
    } cases[] = {{"wlan0", 1, 0}, {"eth0.100", 1, 0}, {"eth1", 1, 1}, {"eth", 0, 0}, {"", 0, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(ProcNet::TableHasInterface(route.c_str(), c.name, 0), c.ipv4) << c.name;
        EXPECT_EQ(ProcNet::TableHasInterface(ipv6.c_str(), c.name, -1), c.ipv6) << c.name;
    }
    std::string name;
    ASSERT_TRUE(ProcNet::FindDefaultRoute(route.c_str(), name));
    EXPECT_EQ(name, "wlan1");
    uint64_t received = 0, transmitted = 0;
    ASSERT_TRUE(ProcNet::FindDeviceCounters(dev.c_str(), "eth0", received, transmitted));
    EXPECT_EQ(received + transmitted, 3u);
    EXPECT_FALSE(ProcNet::FindDeviceCounters(dev.c_str(), "wlan1", received, transmitted));

    const std::string missing = dir / "missing";
    EXPECT_EQ(ProcNet::TableHasInterface(missing.c_str(), "eth0", 0), -1);
    EXPECT_FALSE(ProcNet::FindDefaultRoute(missing.c_str(), name));
    EXPECT_FALSE(ProcNet::FindDeviceCounters(missing.c_str(), "eth0", received, transmitted));
}
