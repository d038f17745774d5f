#include <gtest/gtest.h>

#include <map>
#include <string>

#include "HttpHelper.h"

namespace {

std::map<std::string, std::string> Params(const CHttpHelper& helper) {
    std::map<std::string, std::string> all;
    for (const auto& [name, value] : helper.GetParams()) all[name.c_str()] = value.c_str();
    return all;
}

}  // namespace

TEST(CHttpHelperTest, SetAddressSplitsUrlAndParameters) {
    using Map = std::map<std::string, std::string>;
    struct Case {
        const char* address;
        bool ok;
        const char* url;
        Map params;
    } cases[] = {
        {"http://p/index.cgi?a=1&b=2", true, "http://p/index.cgi", {{"a", "1"}, {"b", "2"}}},
        {" http://p/x ?a = 1\r\n", true, "http://p/x", {{"a", "1"}}},
        {"http://p/x?a=1&a=2", true, "http://p/x", {{"a", "2"}}},
        {"http://p/x?a=1&tail", true, "http://p/x", {{"a", "1"}}},
        {"http://p/x?a=1&", true, "http://p/x", {{"a", "1"}}},
        {"http://p/x?u=a=b&e=", true, "http://p/x", {{"u", "a=b"}, {"e", ""}}},
        {"http://p/x?v=%41", true, "http://p/x", {{"v", "%41"}}},
        {"http://p/x?a=1&bad&c=3", false, "http://p/x", {{"a", "1"}}},
        {"https://p/y?a=1", false, "http://p/x", {}},
        {"p/y?a=1", false, "http://p/x", {}},
        {"http://p/y", true, "http://p/x", {}},
    };
    // One helper for every row: parameters never outlive their address, and
    // the URL part stays when an address has no query.
    CHttpHelper helper;
    for (const Case& c : cases) {
        EXPECT_EQ(helper.SetAddress(c.address), c.ok) << c.address;
        EXPECT_STREQ(helper.GetUrl().c_str(), c.url) << c.address;
        EXPECT_EQ(Params(helper), c.params) << c.address;
    }
    EXPECT_EQ(helper.GetAddress(), "http://p/y");
}

TEST(CHttpHelperTest, ParseAddressNeedsHttpAndQuery) {
    CAutoString url, params;
    EXPECT_TRUE(CHttpHelper::ParseAddress(" http://p/x?a=1&b", url, params));
    EXPECT_EQ(url, "http://p/x");
    EXPECT_EQ(params, "a=1&b");
    EXPECT_FALSE(CHttpHelper::ParseAddress("http://p/x", url, params));
    EXPECT_FALSE(CHttpHelper::ParseAddress("https://p/x?a", url, params));
}

TEST(CHttpHelperTest, ParseIpFindsHostAndPort) {
    struct Case {
        const char* address;
        bool ok;
        const char* host2;  // two-argument form
        const char* host3;  // three-argument form
        const char* port;
    } cases[] = {
        {"http://10.0.0.1:8080/index.cgi", true, "10.0.0.1:8080", "10.0.0.1", "8080"},
        {"https://portal.example/x?y=1", true, "portal.example", "portal.example", ""},
        {"http://10.0.0.1:8080", true, "10.0.0.1:8080", "10.0.0.1:8080", ""},
        {" http:// [::1]:80/ ", true, "[::1]:80", "[::1]", "80"},
        {"http://[2001:db8::1]/x", true, "[2001:db8::1]", "[2001:db8::1]", ""},
        {"http://", false, "", "", ""},
        {"ftp://host/x", false, "", "", ""},
    };
    for (const Case& c : cases) {
        CAutoString host(""), host3(""), port("");
        EXPECT_EQ(CHttpHelper::ParseIP(c.address, host), c.ok) << c.address;
        EXPECT_EQ(CHttpHelper::ParseIP(c.address, host3, port), c.ok) << c.address;
        EXPECT_EQ(host, c.host2) << c.address;
        EXPECT_EQ(host3, c.host3) << c.address;
        EXPECT_EQ(port, c.port) << c.address;
    }
}
