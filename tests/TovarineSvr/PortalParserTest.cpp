// Request bodies and answers go through the real sample module: bodies are
// decoded back with the loader, answers are produced with its encoder.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "AuthConfig.h"
#include "HttpData.h"
#include "Markup.h"
#include "PortalParser.h"
#include "TempDir.h"
#include "ZsmHelper.h"

namespace {

const std::string kModule = VELNOR_BIN_DIR "/zxmAlogic.zxm";
const char kSampleAlgoId[] = "5d0c8a3e-7f21-4b96-a4e8-1c9b7d3f6a02";

using Children = std::vector<std::pair<std::string, std::string>>;

class PortalParserTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(1, m_parser.Init(kModule.c_str()));
        ASSERT_STREQ(kSampleAlgoId, m_codec.GetAlgoId()) << "the sample module is not built";
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
    // Tag and text of every child of the decoded body's "request" root.
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
    struct Case {
        const char* name;
        CAutoString body;
        Children expected;
    };
    CPortalParser& p = m_parser;
    const Case cases[] = {
        {"ticket",
         p.MakeTickRequestData("host", "agent", "cid", "10.0.0.2", "2001:db8::2", "00-11-22-33-44-55", "T",
                               "linux64"),
         {{"ostag", "linux64"},
          {"local-time", "T"},
          {"mac", "00-11-22-33-44-55"},
          {"ipv6", "2001:db8::2"},
          {"ipv4", "10.0.0.2"},
          {"client-id", "cid"},
          {"user-agent", "agent"},
          {"host-name", "host"}}},
        {"login",
         p.MakeAuthRequestData("agent", "cid", "alice", "secret", "tk", "T"),
         {{"local-time", "T"},
          {"ticket", "tk"},
          {"passwd", "secret"},
          {"userid", "alice"},
          {"client-id", "cid"},
          {"user-agent", "agent"}}},
        {"heartbeat",
         p.MakeKeepRequestData("agent", "cid", "tk", "10.0.0.2", "", "mac", "T", nullptr, 0),
         {{"local-time", "T"},
          {"mac", "mac"},
          {"ipv6", ""},
          {"ipv4", "10.0.0.2"},
          {"ticket", "tk"},
          {"client-id", "cid"},
          {"user-agent", "agent"}}},
        {"logout",
         p.MakeTermRequestData("agent", "cid", "tk", "T", "8"),
         {{"reason", "8"},
          {"local-time", "T"},
          {"ticket", "tk"},
          {"client-id", "cid"},
          {"user-agent", "agent"}}},
        {"state",
         p.MakeStateRequestData("agent", "cid", "tk", "T"),
         {{"local-time", "T"}, {"ticket", "tk"}, {"client-id", "cid"}, {"user-agent", "agent"}}},
        {"terminal",
         p.MakeTerminalRequestData("agent", "cid", "T"),
         {{"local-time", "T"}, {"client-id", "cid"}, {"user-agent", "agent"}}},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, RequestChildren(c.body)) << c.name;

    std::string text = Decode(m_parser.MakeStateRequestData("a", "c", "t", "T"));
    EXPECT_EQ(0u, text.find("<?xml version=\"1.0\" encoding=\"UTF-8\"?><request>")) << text;
}

TEST_F(PortalParserTest, HeartbeatCarriesTheSharingResultFirstOnlyWhenNonZero) {
    const struct {
        int result;
        const char* shared;
    } cases[] = {{0, nullptr}, {2, "2"}, {1, "1"}, {-1, "-1"}};
    for (const auto& c : cases) {
        Children children = RequestChildren(
            m_parser.MakeKeepRequestData("a", "c", "t", "4", "6", "m", "T", "ignored", c.result));
        ASSERT_FALSE(children.empty());
        if (c.shared) {
            EXPECT_EQ(8u, children.size()) << c.result;
            EXPECT_EQ(std::make_pair(std::string("shared"), std::string(c.shared)), children.front());
        } else {
            EXPECT_EQ(7u, children.size());
            for (const auto& child : children) EXPECT_NE("shared", child.first);
        }
    }
}

TEST_F(PortalParserTest, AccountAndPasswordTravelUnchangedInCdata) {
    const char* password = "p<a>s&s]]>w&amp;d\"'";
    const char* account = "a]]]]>b<c>";
    CAutoString body = m_parser.MakeAuthRequestData("agent", "cid", account, password, "tk", "T");
    std::string text = Decode(body);
    EXPECT_NE(std::string::npos, text.find("<passwd><![CDATA[p<a>s&s]]")) << text;
    EXPECT_NE(std::string::npos, text.find("<userid><![CDATA[a]]]]")) << text;
    Children children = RequestChildren(body);
    ASSERT_EQ(6u, children.size());
    EXPECT_EQ(password, children[2].second);
    EXPECT_EQ(account, children[3].second);
}

TEST_F(PortalParserTest, ValuesAreEscapedAndHostNameKeepsItsReferences) {
    CAutoString body =
        m_parser.MakeTickRequestData("a&amp;b&c", "x<y>&z", "</client-id>", "", "", "", "T", "o");
    std::string text = Decode(body);
    EXPECT_NE(std::string::npos, text.find("<host-name>a&amp;b&amp;c</host-name>")) << text;
    EXPECT_NE(std::string::npos, text.find("<user-agent>x&lt;y&gt;&amp;z</user-agent>")) << text;
    Children children = RequestChildren(body);
    ASSERT_EQ(8u, children.size());
    EXPECT_EQ("</client-id>", children[5].second);
    EXPECT_EQ("x<y>&z", children[6].second);
    EXPECT_EQ("a&b&c", children[7].second);
}

TEST_F(PortalParserTest, NullValuesGiveEmptyElements) {
    Children children =
        RequestChildren(m_parser.MakeAuthRequestData(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    ASSERT_EQ(6u, children.size());
    for (const auto& child : children) EXPECT_EQ("", child.second) << child.first;
}

TEST_F(PortalParserTest, HeaderBlockHasFiveOrEightLines) {
    CAutoString five = m_parser.MakeRequestHead("VXRA/Linux64/1.0", "cid", "0123abcd", "", nullptr, "");
    EXPECT_EQ(std::string("Connection:close\r\nUser-Agent:VXRA/Linux64/1.0\r\nAlgo-ID:") + kSampleAlgoId +
                  "\r\nClient-ID:cid\r\nCDC-Checksum:0123abcd\r\n",
              five.c_str());
    CAutoString eight = m_parser.MakeRequestHead("ua", "cid", "sum", "s1", "d1", "a1");
    EXPECT_EQ(
        std::string("Connection:close\r\nUser-Agent:ua\r\nAlgo-ID:") + kSampleAlgoId +
            "\r\nClient-ID:cid\r\nCDC-Checksum:sum\r\nCDC-SchoolId:s1\r\nCDC-Domain:d1\r\nCDC-Area:a1\r\n",
        eight.c_str());
}

TEST_F(PortalParserTest, HeaderValuesCannotStartLinesOfTheirOwn) {
    CAutoString head = m_parser.MakeRequestHead("ua\r\nX-Evil:1", "c\nid", "sum", "s\r1", "", "");
    EXPECT_EQ(std::string("Connection:close\r\nUser-Agent:uaX-Evil:1\r\nAlgo-ID:") + kSampleAlgoId +
                  "\r\nClient-ID:cid\r\nCDC-Checksum:sum\r\nCDC-SchoolId:s1\r\n",
              head.c_str());
}

TEST_F(PortalParserTest, RequestHeadTakesTheConfigurationAndTheBodyChecksum) {
    CAuthConfig config;
    config.strUserAgent = "VXRA/Linux64/2.1";
    config.strClientId = "client-7";
    config.domain = "campus";
    // RFC 1321 test vector.
    CAutoString head = m_parser.GetRequestHead(config, "abc");
    EXPECT_EQ(std::string("Connection:close\r\nUser-Agent:VXRA/Linux64/2.1\r\nAlgo-ID:") + kSampleAlgoId +
                  "\r\nClient-ID:client-7\r\nCDC-Checksum:900150983cd24fb0d6963f7d28e17f72\r\nCDC-Domain:"
                  "campus\r\n",
              head.c_str());
}

TEST_F(PortalParserTest, TicketAnswerInAnyOrder) {
    CAutoString ticket("old");
    int expire = -1;
    std::string answer = Encode("<response><expire>3600</expire><ticket>T-1</ticket></response>");
    EXPECT_EQ(0, m_parser.ParserTickResponse(answer.c_str(), ticket, expire));
    EXPECT_STREQ("T-1", ticket);
    EXPECT_EQ(3600, expire);
}

TEST_F(PortalParserTest, LoginAnswerGivesTextsNumbersAndMarkup) {
    CAutoString account, keepUrl, termUrl, userConfig, domainConfig;
    int retry = -1;
    std::string answer = Encode(
        "<?xml version=\"1.0\" "
        "encoding=\"UTF-8\"?><response><domain-config><dns>10.0.0.53</dns></domain-config>"
        "<keep-retry>3 times</keep-retry><userid>bob@campus</userid><keep-url>http://p/keep</keep-url>"
        "<term-url>http://p/term?a=1&amp;b=2</term-url>"
        "<user-config><against-interval>60</against-interval></user-config></response>");
    ASSERT_EQ(0, m_parser.ParserAuthResponse(answer.c_str(), account, retry, keepUrl, termUrl, userConfig,
                                             domainConfig));
    EXPECT_STREQ("bob@campus", account);
    EXPECT_EQ(3, retry);
    EXPECT_STREQ("http://p/keep", keepUrl);
    EXPECT_STREQ("http://p/term?a=1&b=2", termUrl);
    EXPECT_STREQ("<user-config><against-interval>60</against-interval></user-config>", userConfig);
    EXPECT_STREQ("<domain-config><dns>10.0.0.53</dns></domain-config>", domainConfig);
}

TEST_F(PortalParserTest, HeartbeatAnswerNumbersByLeadingDigits) {
    const struct {
        const char* text;
        int interval;
        int level;
    } cases[] = {
        {"<response><level>2</level><interval>120</interval></response>", 120, 2},
        {"<response><interval> 45s</interval><level>x</level></response>", 45, 0},
        {"<response><interval>99999999999999</interval><level>-3</level></response>", INT_MAX, 0},
    };
    for (const auto& c : cases) {
        int interval = -1, level = -1;
        EXPECT_EQ(0, m_parser.ParserKeepResponse(Encode(c.text).c_str(), interval, level)) << c.text;
        EXPECT_EQ(c.interval, interval) << c.text;
        EXPECT_EQ(c.level, level) << c.text;
    }
}

TEST_F(PortalParserTest, AbsentChildrenLeaveOutputs) {
    std::string empty = Encode("<response><other>1</other></response>");
    CAutoString ticket("t0"), account("a0"), keep("k0"), term("e0"), user("u0"), domain("d0");
    int expire = 7, retry = 8, interval = 9, level = 10;
    EXPECT_EQ(0, m_parser.ParserTickResponse(empty.c_str(), ticket, expire));
    EXPECT_EQ(0, m_parser.ParserAuthResponse(empty.c_str(), account, retry, keep, term, user, domain));
    EXPECT_EQ(0, m_parser.ParserKeepResponse(empty.c_str(), interval, level));
    EXPECT_STREQ("t0", ticket);
    EXPECT_STREQ("a0", account);
    EXPECT_STREQ("k0", keep);
    EXPECT_STREQ("e0", term);
    EXPECT_STREQ("u0", user);
    EXPECT_STREQ("d0", domain);
    EXPECT_EQ(7, expire);
    EXPECT_EQ(8, retry);
    EXPECT_EQ(9, interval);
    EXPECT_EQ(10, level);
}

TEST_F(PortalParserTest, AnswersThatAreNotResponsesGiveMinusOneAndLeaveOutputs) {
    const std::string answers[] = {
        Encode("<request><ticket>T</ticket><interval>5</interval></request>"),
        Encode("<response><ticket>T</ticket>"),
        Encode("<response/><response/>"),
        Encode("plain text"),
        "not hexadecimal, so not an encoding",
        "",
    };
    for (const std::string& answer : answers) {
        CAutoString ticket("keep"), account("keep"), keep, term, user, domain;
        int expire = 1, retry = 2, interval = 3, level = 4;
        EXPECT_EQ(-1, m_parser.ParserTickResponse(answer.c_str(), ticket, expire)) << answer;
        EXPECT_EQ(-1, m_parser.ParserAuthResponse(answer.c_str(), account, retry, keep, term, user, domain));
        EXPECT_EQ(-1, m_parser.ParserKeepResponse(answer.c_str(), interval, level));
        EXPECT_STREQ("keep", ticket);
        EXPECT_STREQ("keep", account);
        EXPECT_EQ(1, expire);
        EXPECT_EQ(3, interval);
    }
    CAutoString ticket("keep");
    int expire = 1;
    EXPECT_EQ(-1, m_parser.ParserTickResponse(nullptr, ticket, expire));
}

TEST_F(PortalParserTest, DecodedAnswersAreConvertedToGb18030) {
    // "张三" in UTF-8 becomes its two GB18030 characters.
    std::string answer = Encode("<response><userid>\xE5\xBC\xA0\xE4\xB8\x89</userid></response>");
    EXPECT_EQ("<response><userid>\xD5\xC5\xC8\xFD</userid></response>",
              std::string(m_parser.DecodePostResponseData(answer.c_str())));
    // Text that is not UTF-8 stays as it was decoded.
    std::string latin = Encode("<response>caf\xE9</response>");
    EXPECT_EQ("<response>caf\xE9</response>", std::string(m_parser.DecodePostResponseData(latin.c_str())));
    EXPECT_STREQ("", m_parser.DecodePostResponseData("zz"));
}

TEST(CPortalParserCodeConvert, ConvertsIntoTheCallersBuffer) {
    char out[16];
    memset(out, 'x', sizeof out);
    unsigned long left = sizeof out;
    EXPECT_EQ(0, CPortalParser::CodeConvert("UTF-8", "GB18030", "a\xE5\xBC\xA0", 4, out, left));
    EXPECT_STREQ("a\xD5\xC5", out);
    EXPECT_EQ(sizeof out - 3, left);

    const struct {
        const char* from;
        const char* to;
        const char* in;
        unsigned long outSize;
    } failures[] = {
        {"NO-SUCH-SET", "UTF-8", "abc", 16},
        {"UTF-8", "GB18030", "bad \xFF byte", 16},
        {"UTF-8", "GB18030", "exactly8", 8},  // no room left for the NUL
    };
    for (const auto& f : failures) {
        memset(out, 'x', sizeof out);
        left = f.outSize;
        EXPECT_EQ(-1, CPortalParser::CodeConvert(f.from, f.to, f.in, strlen(f.in), out, left)) << f.in;
        EXPECT_EQ('\0', out[f.outSize - 1]) << "buffer cleared first";
    }
}

class PortalParserModuleFileTest : public ::testing::Test {
protected:
    void SetUp() override { m_parser.Init(m_path.c_str()); }

    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static void SetBody(CHttpData& data, const std::string& bytes) {
        char* buffer = static_cast<char*>(malloc(bytes.size() + 1));
        memcpy(buffer, bytes.data(), bytes.size());
        buffer[bytes.size()] = '\0';
        data.RespData(buffer);
        data.dwDataLen = bytes.size();
    }

    TempDir m_dir;
    std::string m_path = m_dir / "zxmAlogic.zxm";
    CPortalParser m_parser;
};

TEST_F(PortalParserModuleFileTest, WithoutModuleBodiesAreTheFallbackAndTheIdIsZero) {
    EXPECT_STREQ(CZsmHelper::kFallback, m_parser.MakeStateRequestData("a", "c", "t", "T"));
    EXPECT_STREQ(CZsmHelper::kNoAlgoId, m_parser.GetAlgoId());
    EXPECT_NE(std::string::npos,
              std::string(m_parser.MakeRequestHead("a", "c", "s", "", "", "")).find(CZsmHelper::kNoAlgoId));
}

TEST_F(PortalParserModuleFileTest, UpdateAlgoidInstallsTheAnswerBody) {
    CHttpData empty;
    EXPECT_EQ(0, m_parser.UpdateAlgoid(nullptr));
    EXPECT_EQ(0, m_parser.UpdateAlgoid(&empty));

    CHttpData garbage;
    SetBody(garbage, "not a module");
    EXPECT_EQ(-1, m_parser.UpdateAlgoid(&garbage));
    EXPECT_STREQ(CZsmHelper::kNoAlgoId, m_parser.GetAlgoId());

    std::string module = ReadFile(kModule);
    ASSERT_FALSE(module.empty());
    CHttpData answer;
    SetBody(answer, module);
    EXPECT_EQ(1, m_parser.UpdateAlgoid(&answer));
    EXPECT_STREQ(kSampleAlgoId, m_parser.GetAlgoId());
    EXPECT_EQ(module, ReadFile(m_path));
    EXPECT_STRNE(CZsmHelper::kFallback, m_parser.MakeStateRequestData("a", "c", "t", "T"));
}

}  // namespace
