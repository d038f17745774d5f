#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "AdapterCard.h"
#include "ScopedNetns.h"
#include "TempDir.h"

namespace {

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

std::map<std::string, std::string> ParseKeyValues(const std::string& text) {
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        size_t equals = line.find('=');
        if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
}

class CAdapterCardTest : public ::testing::Test {
protected:
    CAdapterCardTest() {
        m_files.route = (m_dir / "route").c_str();
        m_files.ipv6Route = (m_dir / "ipv6_route").c_str();
        m_files.dev = (m_dir / "dev").c_str();
    }
    TempDir m_dir;
    CAdapterCard::ProcFiles m_files;
};

const char kRoute[] =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
    "eth0.100\t0010A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
    "wlan0\t00000000\t0100A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
    "docker0\t000011AC\t00000000\t0001\t0\t0\t0\t0000FFFF\t0\t0\t0\n";

const char kIpv6Route[] =
    "fe800000000000000000000000000000 40 00000000000000000000000000000000 00 "
    "00000000000000000000000000000000 00000100 00000001 00000000 00000001     eth1\n"
    "00000000000000000000000000000001 80 00000000000000000000000000000000 00 "
    "00000000000000000000000000000000 00000000 00000002 00000000 80200001       lo\n";

const char kDev[] =
    "Inter-|   Receive                                                |  Transmit\n"
    " face |bytes    packets errs drop fifo frame compressed multicast|bytes    packets errs drop fifo colls "
    "carrier compressed\n"
    "    lo:    3267      29    0    0    0     0          0         0     3267      29    0    0    0     0 "
    "      0"
    "          0\n"
    "  eth0: 9876543210  1000    0    0    0     0          0         0  123456789     900    0    0    0    "
    " 0"
    "       0          0\n";

}  // namespace

TEST_F(CAdapterCardTest, RouteTablesMatchTheInterfaceColumnExactly) {
    WriteFile(m_files.route.GetBuffer(), kRoute);
    WriteFile(m_files.ipv6Route.GetBuffer(), kIpv6Route);
    CAdapterCard card(m_files);
    struct {
        const char* name;
        int ipv4;
        int ipv6;
    } cases[] = {
        {"wlan0", 1, 0}, {"eth0.100", 1, 0}, {"eth0", 0, 0},  // a prefix of another name is no match
        {"eth1", 0, 1},  {"lo", 0, 1},       {"", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(card.HasIPv4Route(c.name), c.ipv4);
        EXPECT_EQ(card.HasIPv6Route(c.name), c.ipv6);
    }
    CAutoString name;
    ASSERT_EQ(card.GetDefaultRouteInterface(name), 0);
    EXPECT_STREQ(name, "wlan0");
}

TEST_F(CAdapterCardTest, UnreadableTablesAreReportedNotGuessed) {
    CAdapterCard card(m_files);  // none of the files exists
    EXPECT_EQ(card.HasIPv4Route("eth0"), -1);
    EXPECT_EQ(card.HasIPv6Route("eth0"), -1);
    CAutoString name("kept");
    EXPECT_EQ(card.GetDefaultRouteInterface(name), -1);
    EXPECT_STREQ(name, "kept");
    unsigned long long received = 7, transmitted = 8;
    EXPECT_EQ(card.GetTrafficBytes("eth0", received, transmitted), -1);
    EXPECT_EQ(received, 7u);
    EXPECT_EQ(transmitted, 8u);
}

TEST_F(CAdapterCardTest, TrafficCountersComeFromTheInterfacesDevLine) {
    WriteFile(m_files.dev.GetBuffer(), kDev);
    CAdapterCard card(m_files);
    unsigned long long received = 0, transmitted = 0;
    ASSERT_EQ(card.GetTrafficBytes("eth0", received, transmitted), 0);
    EXPECT_EQ(received, 9876543210ull);
    EXPECT_EQ(transmitted, 123456789ull);
    ASSERT_EQ(card.GetTrafficBytes("lo", received, transmitted), 0);
    EXPECT_EQ(received, 3267u);
    EXPECT_EQ(card.GetTrafficBytes("eth", received, transmitted), -1);
    EXPECT_EQ(card.GetTrafficBytes("face |bytes", received, transmitted), -1);
}

TEST(CAdapterCardNames, LoopbackAndBridgesAreExcludedByExactRules) {
    EXPECT_TRUE(CAdapterCard::IsExcludedName("lo"));
    EXPECT_TRUE(CAdapterCard::IsExcludedName("virbr0"));
    EXPECT_TRUE(CAdapterCard::IsExcludedName("virbr0-nic"));
    EXPECT_FALSE(CAdapterCard::IsExcludedName("LO"));
    EXPECT_FALSE(CAdapterCard::IsExcludedName("lo0"));
    EXPECT_FALSE(CAdapterCard::IsExcludedName("virbr1"));
    EXPECT_FALSE(CAdapterCard::IsExcludedName("eth0"));
}

TEST(CAdapterCardClassify, OnlyGlobalIPv6AddressesAreTaken) {
    struct {
        const char* address;
        CAdapterCard::EIPv6Class kind;
    } cases[] = {
        {"ff02::1", CAdapterCard::IPV6_MULTICAST},        {"fe80::1", CAdapterCard::IPV6_LINK_LOCAL},
        {"febf::1", CAdapterCard::IPV6_LINK_LOCAL},       {"::1", CAdapterCard::IPV6_LOOPBACK},
        {"::", CAdapterCard::IPV6_UNSPECIFIED},           {"fec0::1", CAdapterCard::IPV6_SITE_LOCAL},
        {"::ffff:1.2.3.4", CAdapterCard::IPV6_V4_MAPPED}, {"::1.2.3.4", CAdapterCard::IPV6_V4_COMPATIBLE},
        {"::2", CAdapterCard::IPV6_V4_COMPATIBLE},        {"2001:db8::1", CAdapterCard::IPV6_GLOBAL},
        {"fd00::1", CAdapterCard::IPV6_GLOBAL},           {"fe00::1", CAdapterCard::IPV6_GLOBAL},
    };
    for (const auto& c : cases) {
        unsigned char bytes[16];
        ASSERT_EQ(inet_pton(AF_INET6, c.address, bytes), 1) << c.address;
        EXPECT_EQ(CAdapterCard::ClassifyIPv6(bytes), c.kind) << c.address;
    }
}

TEST(CAdapterCardSystem, ReadsLoopbackHostAndKernelFacts) {
    CAdapterCard card;
    CAutoString ip, mac;
    ASSERT_EQ(card.GetIpAndMac("lo", ip, mac), 0);
    EXPECT_STREQ(ip, "127.0.0.1");
    EXPECT_STREQ(mac, "00-00-00-00-00-00");

    CAutoString untouchedIp("ip"), untouchedMac("mac");
    EXPECT_EQ(card.GetIpAndMac("velnor-none0", untouchedIp, untouchedMac), -1);
    EXPECT_STREQ(untouchedIp, "ip");
    EXPECT_STREQ(untouchedMac, "mac");
    CAutoString ipv6("unchanged");
    EXPECT_EQ(card.GetIPAddress(10, "velnor-none0", ipv6), 0);
    EXPECT_STREQ(ipv6, "unchanged");

    struct utsname info;
    ASSERT_EQ(uname(&info), 0);
    CAutoString value("unchanged");
    EXPECT_EQ(card.GetSystemInfo("bogus", value), 0);
    EXPECT_STREQ(value, "unchanged");
    EXPECT_EQ(card.GetSystemInfo("sysname", value), 0);
    EXPECT_STREQ(value, info.sysname);
    EXPECT_EQ(card.GetSystemInfo("machine", value), 0);
    EXPECT_STREQ(value, info.machine);
    char host[256] = {0};
    ASSERT_EQ(gethostname(host, sizeof(host) - 1), 0);
    CAutoString name;
    EXPECT_EQ(card.GetHostName(name), 0);
    EXPECT_STREQ(name, host);

    EXPECT_EQ(card.IpString2Ulong("1.2.3.4"), static_cast<unsigned long>(htonl(0x01020304)));
    EXPECT_EQ(card.IpString2Ulong("1.2.3.256"), 0xfffffffful);
}

// Interface discovery as the service sees it, inside a namespace of our own:
// a veth pair with an address, a MAC and a default route on one end.
TEST(CAdapterCardNetns, FindsActiveInterfaceAddressAndMacInsideNamespace) {
    if (!ScopedNetns::IsRoot()) GTEST_SKIP() << "needs root to create a network namespace";
    ScopedNetns ns("velnor-if");
    if (!ns.Ok()) GTEST_SKIP() << "network namespaces unavailable: " << ns.Error();
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"link", "add", "vlA", "type", "veth", "peer", "name", "vlB"},
             {"link", "set", "vlA", "address", "02:11:22:33:44:5a"},
             {"addr", "add", "10.213.7.1/24", "dev", "vlA"},
             {"addr", "add", "fd00:db8:7::1/64", "dev", "vlA", "nodad"},
             {"link", "set", "lo", "up"},
             {"link", "set", "vlA", "up"},
             {"link", "set", "vlB", "up"},
             {"route", "add", "default", "via", "10.213.7.2", "dev", "vlA"}}) {
        ProgramResult step = ns.Ip(args);
        ASSERT_EQ(step.exitCode, 0) << args[0] << " " << args[1] << ": " << step.output;
    }
    const std::string probe = std::string(VELNOR_BIN_DIR) + "/velnor_adapter_probe";
    ProgramResult run = ns.Exec({probe, "vlA"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    auto found = ParseKeyValues(run.output);
    EXPECT_EQ(found["active4"], "0") << run.output;
    EXPECT_EQ(found["name4"], "vlA");
    EXPECT_EQ(found["ipmac"], "0");
    EXPECT_EQ(found["ip4"], "10.213.7.1");
    EXPECT_EQ(found["mac"], "02-11-22-33-44-5a");
    EXPECT_EQ(found["address6"], "0");
    EXPECT_EQ(found["ip6"], "fd00:db8:7::1");  // never the link-local one
    EXPECT_EQ(found["ip6upper"], "fd00:db8:7::1");
    EXPECT_EQ(found["default"], "vlA");

    // The same interface with a host address only: it carries no route.
    ASSERT_EQ(ns.Ip({"addr", "flush", "dev", "vlA"}).exitCode, 0);
    ASSERT_EQ(ns.Ip({"addr", "add", "10.213.7.1/32", "dev", "vlA"}).exitCode, 0);
    run = ns.Exec({probe, "vlA"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    found = ParseKeyValues(run.output);
    EXPECT_EQ(found["active4"], "-1") << run.output;
    EXPECT_EQ(found["name4"], "vlA");
    EXPECT_EQ(found["ip6"], "");
}
