#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "AdapterCard.h"
#include "ChildProcess.h"
#include "NetNamespace.h"
#include "TempDir.h"

namespace {

class CAdapterCardTest : public ::testing::Test {
protected:
    CAdapterCardTest() {
        m_files.route = (m_dir / "route").c_str();
        m_files.ipv6Route = (m_dir / "ipv6_route").c_str();
        m_files.dev = (m_dir / "dev").c_str();
    }
    void Write(const CAutoString& path, const char* text) { std::ofstream(path.GetBuffer()) << text; }
    TempDir m_dir;
    CAdapterCard::ProcFiles m_files;
};

}  // namespace

TEST_F(CAdapterCardTest, RouteAndDevTablesMatchTheInterfaceColumnExactly) {
    Write(m_files.route,
          "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
          "eth0.100\t0010A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
          "wlan0\t00000000\t0100A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
          "docker0\t000011AC\t00000000\t0001\t0\t0\t0\t0000FFFF\t0\t0\t0\n");
    Write(m_files.ipv6Route,
          "fe800000000000000000000000000000 40 00000000000000000000000000000000 00 "
          "00000000000000000000000000000000 00000100 00000001 00000000 00000001     eth1\n"
          "00000000000000000000000000000001 80 00000000000000000000000000000000 00 "
          "00000000000000000000000000000000 00000000 00000002 00000000 80200001       lo\n");
    Write(
        m_files.dev,
        "Inter-|   Receive                                                |  Transmit\n"
        " face |bytes    packets errs drop fifo frame compressed multicast|bytes    packets errs drop\n"
        "    lo:    3267      29    0    0    0     0          0         0     3267      29    0    0\n"
        "  eth0: 9876543210  1000    0    0    0     0          0         0  123456789     900    0    0\n");
    CAdapterCard card(m_files);
    const struct {
        const char* name;
        int ipv4, ipv6, traffic;
        unsigned long long received = 0, transmitted = 0;
    } cases[] = {
        {"wlan0", 1, 0, -1}, {"eth0.100", 1, 0, -1},      {"eth0", 0, 0, 0, 9876543210ull, 123456789ull},
        {"eth1", 0, 1, -1},  {"lo", 0, 1, 0, 3267, 3267}, {"", 0, 0, -1},
        {"eth", 0, 0, -1},   {"face |bytes", 0, 0, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(card.HasIPv4Route(c.name), c.ipv4);
        EXPECT_EQ(card.HasIPv6Route(c.name), c.ipv6);
        unsigned long long received = 7, transmitted = 8;
        EXPECT_EQ(card.GetTrafficBytes(c.name, received, transmitted), c.traffic);
        EXPECT_EQ(received, c.traffic ? 7 : c.received);
        EXPECT_EQ(transmitted, c.traffic ? 8 : c.transmitted);
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
}

TEST(CAdapterCardRules, ExcludedNamesAndOnlyGlobalIPv6AddressesTaken) {
    for (const char* name : {"lo", "virbr0", "virbr0-nic"})
        EXPECT_TRUE(CAdapterCard::IsExcludedName(name)) << name;
    for (const char* name : {"LO", "lo0", "virbr1", "eth0"})
        EXPECT_FALSE(CAdapterCard::IsExcludedName(name)) << name;
    const struct {
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
    CAdapterCard card;
    EXPECT_EQ(card.IpString2Ulong("1.2.3.4"), static_cast<unsigned long>(htonl(0x01020304)));
    EXPECT_EQ(card.IpString2Ulong("1.2.3.256"), 0xfffffffful);
}

TEST(CAdapterCardSystem, LoopbackIsReadAndUnknownInterfacesLeaveResultsAlone) {
    CAdapterCard card;
    CAutoString ip, mac;
    ASSERT_EQ(card.GetIpAndMac("lo", ip, mac), 0);
    EXPECT_STREQ(ip, "127.0.0.1");
    EXPECT_STREQ(mac, "00-00-00-00-00-00");
    ip = "ip", mac = "mac";
    EXPECT_EQ(card.GetIpAndMac("velnor-none0", ip, mac), -1);
    EXPECT_STREQ(ip, "ip");
    EXPECT_STREQ(mac, "mac");
    EXPECT_EQ(card.GetIPAddress(10, "velnor-none0", ip), 0);
    EXPECT_STREQ(ip, "ip");
}

// Interface discovery as the service sees it, inside a namespace of our own:
// a veth pair with an address, a MAC and a default route on one end.
TEST(CAdapterCardNetns, FindsActiveInterfaceAddressAndMacInsideNamespace) {
    NetNamespace ns;
    std::string error;
    if (!ns.CreateEmpty(&error)) GTEST_SKIP() << "no network namespace: " << error;
    // Exit code of a program run inside; what it printed into output.
    auto inside = [&ns](const std::vector<std::string>& argv, std::string* output = nullptr) {
        return ChildProcess::Run(ns.Wrap(argv), std::chrono::milliseconds(30000), output);
    };
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"ip", "link", "add", "vlA", "type", "veth", "peer", "name", "vlB"},
             {"ip", "link", "set", "vlA", "address", "02:11:22:33:44:5a"},
             {"ip", "addr", "add", "10.213.7.1/24", "dev", "vlA"},
             {"ip", "addr", "add", "fd00:db8:7::1/64", "dev", "vlA", "nodad"},
             {"ip", "link", "set", "vlA", "up"},
             {"ip", "link", "set", "vlB", "up"},
             {"ip", "route", "add", "default", "via", "10.213.7.2", "dev", "vlA"}}) {
        ASSERT_EQ(inside(args), 0) << args[1] << " " << args[2];
    }
    // What the probe printed, without diagnostics.
    auto probe = [&inside] {
        std::string output;
        EXPECT_EQ(inside({std::string(VELNOR_BIN_DIR) + "/velnor_adapter_probe", "vlA"}, &output), 0)
            << output;
        std::istringstream lines(output);
        std::string found;
        for (std::string line; std::getline(lines, line);)
            if (line.find('=') != std::string::npos) found += line + "\n";
        return found;
    };
    // The global IPv6 address, never the link-local one; the name matches in any case.
    EXPECT_EQ(probe(),
              "active4=0\nname4=vlA\nipmac=0\nip4=10.213.7.1\nmac=02-11-22-33-44-5a\naddress6=0\n"
              "ip6=fd00:db8:7::1\nip6upper=fd00:db8:7::1\ndefault=vlA\n");

    // The same interface with a host address and a link-local IPv6 address
    // only: it carries no IPv4 route and offers no global IPv6 address.
    ASSERT_EQ(inside({"ip", "addr", "flush", "dev", "vlA"}), 0);
    ASSERT_EQ(inside({"ip", "addr", "add", "10.213.7.1/32", "dev", "vlA"}), 0);
    ASSERT_EQ(inside({"ip", "addr", "add", "fe80::5a/64", "dev", "vlA", "nodad"}), 0);
    const std::string found = probe();
    EXPECT_NE(found.find("active4=-1\nname4=vlA\n"), std::string::npos) << found;
    EXPECT_NE(found.find("\nip6=\n"), std::string::npos) << found;
}
