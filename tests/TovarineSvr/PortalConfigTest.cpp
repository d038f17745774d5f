// The portal's configuration document, the page markers around it and the
// hotspot-sharing times of the login answer.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "AuthConfig.h"
#include "PortalParser.h"

namespace {

std::vector<std::string> Texts(const std::vector<CAutoString>& list) {
    std::vector<std::string> texts;
    for (const CAutoString& text : list) texts.emplace_back(text.c_str());
    return texts;
}

class PortalConfigTest : public ::testing::Test {
protected:
    int Parse(const char* xml) {
        CAuthConfig* config = &m_config;
        int result = m_parser.ParserConfig(xml, config);
        EXPECT_EQ(&m_config, config);
        return result;
    }

    CPortalParser m_parser;
    CAuthConfig m_config;
};

TEST_F(PortalConfigTest, FullDocumentFillsTheRecord) {
    ASSERT_EQ(0,
              Parse("<?xml version=\"1.0\"?>\n<config>\n"
                    "  <ticket-url>http://p/ticket</ticket-url>\n"
                    "  <query-url>http://p/query</query-url>\n"
                    "  <auth-url>http://p/auth?a=1&amp;b=2</auth-url>\n"
                    "  <state-url>http://p/state</state-url>\n"
                    "  <state-interval>30</state-interval>\n"
                    "  <notify><register>r1</register><register>r2</register><option>o1</option></notify>\n"
                    "  <account><modify><type>add-domain</type><value>campus</value></modify></account>\n"
                    "  <auth><type>cdc-http-pap</type></auth>\n"
                    "  <server-clusters servers=\"10.0.0.1,10.0.0.2\"/>\n"
                    "  <user-config><against-interval>60</against-interval></user-config>\n"
                    "  <FunCfg><Dns on=\"1\">x</Dns><Stats>y</Stats></FunCfg>\n"
                    "</config>"));
    EXPECT_STREQ("http://p/ticket", m_config.strTickUrl);
    EXPECT_STREQ("http://p/query", m_config.strQueryUrl);
    EXPECT_STREQ("http://p/auth?a=1&b=2", m_config.strAuthUrl);
    EXPECT_STREQ("http://p/state", m_config.strStateUrl);
    EXPECT_EQ(30u, m_config.stateInterval);
    EXPECT_EQ((std::vector<std::string>{"r1", "r2"}), Texts(m_config.m_vecRegister));
    EXPECT_EQ((std::vector<std::string>{"o1"}), Texts(m_config.m_vecOption));
    EXPECT_STREQ("add-domain", m_config.m_strAcountType);
    EXPECT_STREQ("campus", m_config.m_strAcountValue);
    EXPECT_EQ(1, m_config.nAuthType);
    EXPECT_STREQ("10.0.0.1,10.0.0.2", m_config.m_strServers);
    EXPECT_STREQ("<user-config><against-interval>60</against-interval></user-config>", m_config.againstList);
    ASSERT_EQ(2u, m_config.funCfg.size());
    EXPECT_STREQ("<Dns on=\"1\">x</Dns>", m_config.funCfg[CAutoString("Dns")]);
    EXPECT_STREQ("<Stats>y</Stats>", m_config.funCfg[CAutoString("Stats")]);
}

TEST_F(PortalConfigTest, RefusedDocumentsChangeNothing) {
    const char* refused[] = {nullptr,
                             "",
                             "<other><ticket-url>x</ticket-url></other>",
                             "<config><ticket-url>x",
                             "<config/><config/>",
                             "text only"};
    for (const char* xml : refused) {
        m_config.strTickUrl = "before";
        EXPECT_EQ(-1, Parse(xml)) << (xml ? xml : "(null)");
        EXPECT_STREQ("before", m_config.strTickUrl);
        CAuthConfig* fresh = nullptr;
        EXPECT_EQ(-1, m_parser.ParserConfig(xml, fresh));
        EXPECT_EQ(nullptr, fresh);
    }
}

TEST_F(PortalConfigTest, NullRecordGetsAFreshOne) {
    CAuthConfig* config = nullptr;
    ASSERT_EQ(0, m_parser.ParserConfig("<config><auth-url>u</auth-url></config>", config));
    std::unique_ptr<CAuthConfig> owned(config);
    ASSERT_NE(nullptr, config);
    EXPECT_STREQ("u", config->strAuthUrl);
    EXPECT_EQ(5u, config->stateInterval);
}

TEST_F(PortalConfigTest, StateIntervalZeroOrWithoutDigitsIsFiveAndAbsentKeepsIt) {
    const struct {
        const char* xml;
        unsigned long expected;
    } cases[] = {
        {"<config><state-interval>0</state-interval></config>", 5},
        {"<config><state-interval>soon</state-interval></config>", 5},
        {"<config><state-interval></state-interval></config>", 5},
        {"<config><state-interval>12s</state-interval></config>", 12},
        {"<config><ticket-url>t</ticket-url></config>", 77},
    };
    for (const auto& c : cases) {
        m_config.stateInterval = 77;
        EXPECT_EQ(0, Parse(c.xml));
        EXPECT_EQ(c.expected, m_config.stateInterval) << c.xml;
    }
}

TEST_F(PortalConfigTest, AddressesAreSoughtEachAfterThePreviousFound) {
    ASSERT_EQ(0, Parse("<config><query-url>q</query-url><ticket-url>t</ticket-url><state-url>s</state-url>"
                       "<auth-url>a</auth-url><state-interval>9</state-interval></config>"));
    EXPECT_STREQ("t", m_config.strTickUrl);
    EXPECT_STREQ("", m_config.strQueryUrl);
    // auth-url is found after ticket-url; state-url stands before it and is missed.
    EXPECT_STREQ("a", m_config.strAuthUrl);
    EXPECT_STREQ("", m_config.strStateUrl);
    EXPECT_EQ(9u, m_config.stateInterval);
}

TEST_F(PortalConfigTest, AuthElementsSumTheirMethodsAndPickTheDefault) {
    const struct {
        const char* auths;
        int previousDefault;
        int type;
        int defaultAuth;
    } cases[] = {
        {"<auth><type>cdc-http-pap</type><default>YES</default></auth><auth><type>cdc-mobile-qr</type></"
         "auth>",
         4, 3, 1},
        {"<auth><default>1</default><type>cdc-mobile-qr</type></auth>", 1, 2, 2},
        {"<auth><type>cdc-http-pap</type></auth><auth><type>cdc-http-pap</type></auth>", 4, 2, 4},
        {"<auth><type>sms</type><default>no</default></auth>", 2, 4, 2},
        {"<auth/>", 1, 4, 1},
        {"", 2, 0, 2},
    };
    for (const auto& c : cases) {
        m_config.nAuthType = 99;
        m_config.nDefaultAuth = c.previousDefault;
        EXPECT_EQ(0, Parse(("<config>" + std::string(c.auths) + "</config>").c_str()));
        EXPECT_EQ(c.type, m_config.nAuthType) << c.auths;
        EXPECT_EQ(c.defaultAuth, m_config.nDefaultAuth) << c.auths;
    }
}

TEST_F(PortalConfigTest, NotifyReplacesBothListsAndTakesOptionsAfterTheLastRegister) {
    m_config.m_vecRegister = {"old"};
    m_config.m_vecOption = {"old"};
    ASSERT_EQ(0, Parse("<config><ticket-url>t</ticket-url></config>"));
    EXPECT_EQ((std::vector<std::string>{"old"}), Texts(m_config.m_vecRegister));

    ASSERT_EQ(0, Parse("<config><notify><option>early</option><register>r1</register><option>o1</option>"
                       "<register>r2</register><option>o2</option></notify></config>"));
    EXPECT_EQ((std::vector<std::string>{"r1", "r2"}), Texts(m_config.m_vecRegister));
    EXPECT_EQ((std::vector<std::string>{"o2"}), Texts(m_config.m_vecOption));

    ASSERT_EQ(0, Parse("<config><notify/></config>"));
    EXPECT_TRUE(m_config.m_vecRegister.empty());
    EXPECT_TRUE(m_config.m_vecOption.empty());
}

TEST_F(PortalConfigTest, ServerListAttributeTakenWhenPresent) {
    const struct {
        const char* xml;
        const char* expected;
    } cases[] = {
        {"<config><server-clusters servers=\"a,b\"/></config>", "a,b"},
        {"<config><server-clusters servers=\"\"/></config>", ""},
        {"<config><server-clusters note='x servers=y>'/></config>", "kept"},
        {"<config><server-clusters/></config>", "kept"},
        {"<config/>", "kept"},
    };
    for (const auto& c : cases) {
        m_config.m_strServers = "kept";
        EXPECT_EQ(0, Parse(c.xml));
        EXPECT_STREQ(c.expected, m_config.m_strServers) << c.xml;
    }
}

TEST_F(PortalConfigTest, FunctionSettingsReplaceByNameAndKeepOthers) {
    m_config.funCfg[CAutoString("Old")] = "<Old/>";
    m_config.funCfg[CAutoString("Dns")] = "<Dns>1</Dns>";
    ASSERT_EQ(0, Parse("<config><FunCfg><Dns>2</Dns><New a=\"&lt;\">&amp;</New></FunCfg>"
                       "<account><modify><value>v</value><type>t</type></modify></account></config>"));
    EXPECT_EQ(3u, m_config.funCfg.size());
    EXPECT_STREQ("<Old/>", m_config.funCfg[CAutoString("Old")]);
    EXPECT_STREQ("<Dns>2</Dns>", m_config.funCfg[CAutoString("Dns")]);
    EXPECT_STREQ("<New a=\"&lt;\">&amp;</New>", m_config.funCfg[CAutoString("New")]);
    // value is sought after type, so a value written first is missed.
    EXPECT_STREQ("t", m_config.m_strAcountType);
    EXPECT_STREQ("", m_config.m_strAcountValue);
}

TEST(CPortalParserConfigText, CutBetweenTheMarkers) {
    const std::string begin = CPortalParser::kConfigBegin;
    const std::string end = CPortalParser::kConfigEnd;
    EXPECT_EQ("<!--//config.velnor-portal.net", begin);
    EXPECT_EQ("//config.velnor-portal.net-->", end);
    const struct {
        std::string page;
        int length;
        const char* config;
    } cases[] = {
        {"<html>" + begin + " <config>&amp;</config>\n" + end + "</html>", 24, " <config>&amp;</config>\n"},
        {"<html>" + begin + "<config/>", 0, "untouched"},
        {"<html>" + begin + end + "</html>", 0, ""},
        {end + "<config/>" + begin, 0, "untouched"},
        {"<html>no portal</html>", 0, "untouched"},
        {"<!--//CONFIG.velnor-portal.net<config/>" + end, 0, "untouched"},
    };
    for (const auto& c : cases) {
        CAutoString config("untouched");
        EXPECT_EQ(c.length, CPortalParser::GetConfigWithString(c.page.c_str(), config)) << c.page;
        EXPECT_STREQ(c.config, config) << c.page;
    }
}

TEST(CPortalParserSharingTimes, ReadBetweenTheirTags) {
    const struct {
        const char* text;
        int share;
        int logout;
    } cases[] = {
        {"<user-config><against-interval>60</against-interval><logout-delay>120</logout-delay></user-config>",
         60, 120},
        {"<logout-delay>soon</logout-delay><against-interval>x</against-interval>", 0, 0},
        {"<user-config/>", 0, 300},
        {"<against-interval>60", 0, 300},
        {"<logout-delay>45 s</logout-delay>", 0, 45},
        {"", 0, 300},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.share, CPortalParser::GetCheckWifiShareTime(c.text)) << c.text;
        EXPECT_EQ(c.logout, CPortalParser::GetCheckWifiLogoutTime(c.text)) << c.text;
    }
}

}  // namespace
