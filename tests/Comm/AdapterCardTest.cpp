#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "AdapterCard.h"
#include "ChildProcess.h"
#include "NetNamespace.h"

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
