// Bodies and answers go through the real sample module: bodies are decoded
// back with the loader, answers are made with its encoder.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "AuthConfig.h"
#include "Markup.h"
#include "PortalParser.h"
#include "ZsmHelper.h"

namespace {

const std::string kModule = VELNOR_BIN_DIR "/zxmAlogic.zxm";
const std::string kAlgoId = "5d0c8a3e-7f21-4b96-a4e8-1c9b7d3f6a02";
using Children = std::vector<std::pair<std::string, std::string>>;

class PortalParserTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_parser.Init(kModule.c_str());
        ASSERT_EQ(kAlgoId, m_codec.GetAlgoId()) << "the sample module is not built";
    }
    std::string Decode(const char* body) {
        char* text = m_codec.DeCode(body);
        std::string result = text ? text : "<undecodable>";
        m_codec.FreeResult(text);
        return result;
    }
    std::string Encode(const std::string& text) {
        char* body = m_codec.Code(text.c_str());
        std::string result = body;
        m_codec.FreeResult(body);
        return result;
    }
    Children RequestChildren(const char* body) {
        CMarkup doc(Decode(body).c_str());
        Children children;
        if (!doc.IsWellFormed() || !doc.FindElem("request")) return {{"<not a request>", ""}};
        while (doc.FindChildElem())
            children.emplace_back(doc.GetChildTagName().c_str(), doc.GetChildData().c_str());
        return children;
    }

    CPortalParser m_parser;
    CZsmHelper m_codec{kModule.c_str()};
};

TEST_F(PortalParserTest, BuildersListTheirElementsInDocumentOrder) {
    CPortalParser& p = m_parser;
    const std::pair<CAutoString, const char*> cases[] = {
        {p.MakeTickRequestData("h", "ua", "c", "4", "6", "m", "T", "linux64"),
         "ostag=linux64 local-time=T mac=m ipv6=6 ipv4=4 client-id=c user-agent=ua host-name=h "},
        {p.MakeAuthRequestData("ua", "c", "u", "pw", "tk", "T"),
         "local-time=T ticket=tk passwd=pw userid=u client-id=c user-agent=ua "},
        {p.MakeKeepRequestData("ua", "c", "tk", "4", "", "m", "T", "ignored", 0),
         "local-time=T mac=m ipv6= ipv4=4 ticket=tk client-id=c user-agent=ua "},
        {p.MakeKeepRequestData("ua", "c", "tk", "4", "", "m", "T", nullptr, 2),
         "shared=2 local-time=T mac=m ipv6= ipv4=4 ticket=tk client-id=c user-agent=ua "},
        {p.MakeTermRequestData("ua", "c", "tk", "T", "8"),
         "reason=8 local-time=T ticket=tk client-id=c user-agent=ua "},
        {p.MakeStateRequestData("ua", "c", "tk", "T"), "local-time=T ticket=tk client-id=c user-agent=ua "},
        {p.MakeTerminalRequestData("ua", nullptr, "T"), "local-time=T client-id= user-agent=ua "},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const auto& child : RequestChildren(c.first)) line += child.first + "=" + child.second + " ";
        EXPECT_EQ(c.second, line) << Decode(c.first);
    }
    EXPECT_EQ(0u, Decode(cases[0].first).find("<?xml version=\"1.0\" encoding=\"UTF-8\"?><request><ostag>"));
}

// Passwords with "]]>" reaching the portal whole are checked against the
// simulator's own parser (simcheck).
TEST_F(PortalParserTest, ValuesAreEscapedAndHostNameKeepsItsReferences) {
    Children children =
        RequestChildren(m_parser.MakeAuthRequestData("x<y>&z", "c", "a]]]]>b", "p<a>s", "t", "T"));
    ASSERT_EQ(6u, children.size());
    EXPECT_EQ("a]]]]>b", children[3].second);
    EXPECT_EQ("x<y>&z", children[5].second);
    std::string ticket = Decode(m_parser.MakeTickRequestData("a&amp;b&c", "", "", "", "", "", "", ""));
    EXPECT_NE(std::string::npos, ticket.find("<host-name>a&amp;b&amp;c</host-name>")) << ticket;
}

TEST_F(PortalParserTest, HeaderBlockLines) {
    const std::string base =
        "Connection:close\r\nUser-Agent:ua\r\nAlgo-ID:" + kAlgoId + "\r\nClient-ID:cid\r\n";
    EXPECT_EQ(base + "CDC-Checksum:sum\r\n",
              m_parser.MakeRequestHead("ua", "cid", "sum", "", nullptr, "").c_str());
    EXPECT_EQ(base + "CDC-Checksum:sum\r\nCDC-SchoolId:s\r\nCDC-Domain:d\r\nCDC-Area:a\r\n",
              m_parser.MakeRequestHead("ua", "cid", "sum", "s", "d", "a").c_str());
    // A line break inside a value cannot start a header of its own.
    EXPECT_EQ(base + "CDC-Checksum:sum\r\nCDC-Area:aX-Evil:1\r\n",
              m_parser.MakeRequestHead("u\ra", "c\nid", "sum", "", "", "a\r\nX-Evil:1").c_str());
    CAuthConfig config;
    config.strUserAgent = "ua";
    config.strClientId = "cid";
    config.area = "a";
    EXPECT_EQ(base + "CDC-Checksum:900150983cd24fb0d6963f7d28e17f72\r\nCDC-Area:a\r\n",
              m_parser.GetRequestHead(config, "abc").c_str());
}

TEST_F(PortalParserTest, ReadersFindChildrenInAnyOrderAndLeaveAbsentOnes) {
    CAutoString ticket("t0"), account("a0"), keep("k0"), term("e0"), user("u0"), domain("d0");
    int expire = 7, retry = 8, interval = 9, level = 10;
    EXPECT_EQ(0, m_parser.ParserTickResponse(
                     Encode("<response><expire>3600</expire><ticket>T-1</ticket></response>").c_str(), ticket,
                     expire));
    EXPECT_EQ(0,
              m_parser.ParserAuthResponse(
                  Encode("<?xml version=\"1.0\"?><response><domain-config><dns>1.2.3.4</dns></domain-config>"
                         "<keep-retry>3 times</keep-retry><term-url>http://p/t?a=1&amp;b=2</term-url>"
                         "<userid>\xE5\xBC\xA0</userid></response>")
                      .c_str(),
                  account, retry, keep, term, user, domain));
    EXPECT_EQ(0,
              m_parser.ParserKeepResponse(
                  Encode("<response><interval>99999999999</interval></response>").c_str(), interval, level));
    EXPECT_EQ("T-1", std::string(ticket));
    EXPECT_EQ(3600, expire);
    EXPECT_EQ("\xD5\xC5", std::string(account));  // converted to GB18030
    EXPECT_EQ(3, retry);
    EXPECT_EQ("k0", std::string(keep));
    EXPECT_EQ("http://p/t?a=1&b=2", std::string(term));
    EXPECT_EQ("u0", std::string(user));
    EXPECT_EQ("<domain-config><dns>1.2.3.4</dns></domain-config>", std::string(domain));
    EXPECT_EQ(INT_MAX, interval);
    EXPECT_EQ(10, level);
}

TEST_F(PortalParserTest, AnswersThatAreNotResponsesGiveMinusOneAndLeaveOutputs) {
    for (const std::string& answer : {Encode("<request><ticket>T</ticket><interval>5</interval></request>"),
                                      Encode("<response><ticket>T</ticket>"), Encode("plain text"),
                                      std::string("not an encoding"), std::string()}) {
        CAutoString ticket("keep"), account("keep"), keep, term, user, domain;
        int expire = 1, retry = 2, interval = 3, level = 4;
        EXPECT_EQ(-1, m_parser.ParserTickResponse(answer.c_str(), ticket, expire)) << answer;
        EXPECT_EQ(-1, m_parser.ParserAuthResponse(answer.c_str(), account, retry, keep, term, user, domain));
        EXPECT_EQ(-1, m_parser.ParserKeepResponse(answer.c_str(), interval, level));
        EXPECT_TRUE(ticket == "keep" && account == "keep" && expire == 1 && interval == 3) << answer;
    }
    // Decoded text that is not UTF-8 is kept as it came.
    EXPECT_EQ("caf\xE9", std::string(m_parser.DecodePostResponseData(Encode("caf\xE9").c_str())));
}

TEST(CPortalParserCodeConvert, ConvertsIntoTheCallersBufferWithRoomForTheNul) {
    char out[8];
    unsigned long left = sizeof out;
    EXPECT_EQ(0, CPortalParser::CodeConvert("UTF-8", "GB18030", "a\xE5\xBC\xA0", 4, out, left));
    EXPECT_STREQ("a\xD5\xC5", out);
    EXPECT_EQ(5u, left);
    left = sizeof out;
    EXPECT_EQ(-1, CPortalParser::CodeConvert("UTF-8", "GB18030", "8 bytes!", 8, out, left));
    EXPECT_EQ(-1, CPortalParser::CodeConvert("UTF-8", "GB18030", "bad \xFF", 5, out, left));
    EXPECT_EQ(-1, CPortalParser::CodeConvert("NO-SUCH-SET", "UTF-8", "a", 1, out, left));
}

}  // namespace
