#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>

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
    const std::tuple<const char*, bool, const char*, Map> cases[] = {
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
    for (const auto& [address, ok, url, params] : cases) {
        EXPECT_EQ(helper.SetAddress(address), ok) << address;
        EXPECT_STREQ(helper.GetUrl().c_str(), url) << address;
        EXPECT_EQ(Params(helper), params) << address;
    }
    EXPECT_EQ(helper.GetAddress(), "http://p/y");
}

TEST(CHttpHelperTest, EncodeQueryValueKeepsPlainValuesAndEscapesTheRest) {
    const std::pair<const char*, const char*> cases[] = {
        {"alice.b_c-d~1@campus", "alice.b_c-d~1@campus"},
        {"a&version=9", "a%26version%3D9"},
        {"# +/?%", "%23%20%2B%2F%3F%25"},
        {"\xe5\xad\xa6", "%E5%AD%A6"},
        {"", ""},
        {nullptr, ""},
    };
    for (const auto& [value, encoded] : cases)
        EXPECT_STREQ(CHttpHelper::EncodeQueryValue(value), encoded) << encoded;
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
    // address, result, host of the two-argument form, host and port of the three-argument form
    const std::tuple<const char*, bool, const char*, const char*, const char*> cases[] = {
        {"http://10.0.0.1:8080/index.cgi", true, "10.0.0.1:8080", "10.0.0.1", "8080"},
        {"https://portal.example/x?y=1", true, "portal.example", "portal.example", ""},
        {"http://10.0.0.1:8080", true, "10.0.0.1:8080", "10.0.0.1:8080", ""},
        {" http:// [::1]:80/ ", true, "[::1]:80", "[::1]", "80"},
        {"http://[2001:db8::1]/x", true, "[2001:db8::1]", "[2001:db8::1]", ""},
        {"http://", false, "", "", ""},
        {"ftp://host/x", false, "", "", ""},
    };
    for (const auto& [address, ok, wantHost, wantHost3, wantPort] : cases) {
        CAutoString host(""), host3(""), port("");
        EXPECT_EQ(CHttpHelper::ParseIP(address, host), ok) << address;
        EXPECT_EQ(CHttpHelper::ParseIP(address, host3, port), ok) << address;
        EXPECT_EQ(host, wantHost) << address;
        EXPECT_EQ(host3, wantHost3) << address;
        EXPECT_EQ(port, wantPort) << address;
    }
}
