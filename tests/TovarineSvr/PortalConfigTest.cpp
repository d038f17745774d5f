// The portal's configuration document, the page markers around it and the
// hotspot-sharing times of the login answer.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "AuthConfig.h"
#include "PortalParser.h"

namespace {

std::string Joined(const std::vector<CAutoString>& list) {
    std::string text;
    for (const CAutoString& item : list) text += std::string(item) + ";";
    return text;
}

class PortalConfigTest : public ::testing::Test {
protected:
    int Parse(const std::string& body) {
        CAuthConfig* config = &m_config;
        return m_parser.ParserConfig(("<config>" + body + "</config>").c_str(), config);
    }
    CPortalParser m_parser;
    CAuthConfig m_config;
};

TEST_F(PortalConfigTest, DocumentFillsTheRecordAndLeavesWhatItLacks) {
    m_config.strStateUrl = "kept";
    m_config.stateInterval = 77;
    m_config.nDefaultAuth = 4;
    m_config.funCfg[CAutoString("Old")] = "<Old/>";
    m_config.funCfg[CAutoString("Dns")] = "<Dns>1</Dns>";
    ASSERT_EQ(0, Parse("<query-url>q</query-url><ticket-url>t</ticket-url><state-url>s</state-url>"
                       "<auth-url>a?x=1&amp;y=2</auth-url>"
                       "<notify><option>early</option><register>r1</register><register>r2</register>"
                       "<option>o1</option></notify>"
                       "<account><modify><type>add-domain</type><value>campus</value></modify></account>"
                       "<auth><type>cdc-http-pap</type><default>YES</default></auth>"
                       "<auth><type>cdc-mobile-qr</type></auth>"
                       "<server-clusters servers=\"10.0.0.1,10.0.0.2\"/>"
                       "<user-config>\n<against-interval>60</against-interval></user-config>"
                       "<FunCfg><Dns on=\"1\">x</Dns><New>&lt;</New></FunCfg>"));
    EXPECT_EQ("t", std::string(m_config.strTickUrl));
    // Each address is sought after the one found before it.
    EXPECT_EQ("", std::string(m_config.strQueryUrl));
    EXPECT_EQ("kept", std::string(m_config.strStateUrl));
    EXPECT_EQ("a?x=1&y=2", std::string(m_config.strAuthUrl));
    EXPECT_EQ(77u, m_config.stateInterval);
    EXPECT_EQ("r1;r2;", Joined(m_config.m_vecRegister));
    EXPECT_EQ("o1;", Joined(m_config.m_vecOption));
    EXPECT_EQ("add-domain/campus",
              std::string(m_config.m_strAcountType) + "/" + m_config.m_strAcountValue.c_str());
    EXPECT_EQ(3, m_config.nAuthType);
    EXPECT_EQ(1, m_config.nDefaultAuth);
    EXPECT_EQ("10.0.0.1,10.0.0.2", std::string(m_config.m_strServers));
    EXPECT_EQ("<user-config>\n<against-interval>60</against-interval></user-config>",
              std::string(m_config.againstList));
    EXPECT_EQ(3u, m_config.funCfg.size());
    EXPECT_EQ("<Old/>", std::string(m_config.funCfg[CAutoString("Old")]));
    EXPECT_EQ("<Dns on=\"1\">x</Dns>", std::string(m_config.funCfg[CAutoString("Dns")]));
    EXPECT_EQ("<New>&lt;</New>", std::string(m_config.funCfg[CAutoString("New")]));
}

TEST_F(PortalConfigTest, RefusedDocumentsChangeNothing) {
    for (const char* xml : {(const char*)nullptr, "", "<other><ticket-url>x</ticket-url></other>",
                            "<config><ticket-url>x", "<config/><config/>"}) {
        CAuthConfig* config = nullptr;
        EXPECT_EQ(-1, m_parser.ParserConfig(xml, config)) << (xml ? xml : "null");
        EXPECT_EQ(nullptr, config);
    }
    CAuthConfig* config = nullptr;
    ASSERT_EQ(0, m_parser.ParserConfig("<config><auth-url>u</auth-url></config>", config));
    std::unique_ptr<CAuthConfig> owned(config);
    EXPECT_EQ("u", std::string(config->strAuthUrl));
}

TEST_F(PortalConfigTest, NumbersMethodsAndServerLists) {
    const struct {
        const char* body;
        unsigned long interval;
        int authType, defaultAuth;
        const char* servers;
    } cases[] = {
        {"<state-interval>0</state-interval>", 5, 0, 4, "old"},
        {"<state-interval>soon</state-interval><server-clusters servers=\"\"/>", 5, 0, 4, ""},
        {"<state-interval>12s</state-interval><server-clusters note='x servers=y>'/>", 12, 0, 4, "old"},
        {"<auth><default>1</default><type>cdc-mobile-qr</type></auth><auth><type>sms</type></auth>", 77, 6, 2,
         "old"},
        {"<auth><type>cdc-http-pap</type><default>no</default></auth><auth><type>cdc-http-pap</type></auth>",
         77, 2, 4, "old"},
    };
    for (const auto& c : cases) {
        m_config.stateInterval = 77;
        m_config.nDefaultAuth = 4;
        m_config.m_strServers = "old";
        EXPECT_EQ(0, Parse(c.body));
        EXPECT_EQ(c.interval, m_config.stateInterval) << c.body;
        EXPECT_EQ(c.authType, m_config.nAuthType) << c.body;
        EXPECT_EQ(c.defaultAuth, m_config.nDefaultAuth) << c.body;
        EXPECT_EQ(c.servers, std::string(m_config.m_strServers)) << c.body;
    }
}

TEST(CPortalParserText, ConfigurationBetweenMarkersAndSharingTimes) {
    const std::string begin = "<!--//config.velnor-portal.net", end = "//config.velnor-portal.net-->";
    const std::pair<std::string, const char*> pages[] = {
        {"<p>" + begin + " <config>&amp;</config>\n" + end + "</p>", " <config>&amp;</config>\n"},
        {"<p>" + begin + "<config/>", "untouched"},
        {"<p>" + begin + end + "</p>", ""},
        {end + "<config/>" + begin, "untouched"},
        {"<!--//CONFIG.velnor-portal.net<config/>" + end, "untouched"},
    };
    for (const auto& page : pages) {
        CAutoString config("untouched");
        int length = CPortalParser::GetConfigWithString(page.first.c_str(), config);
        EXPECT_EQ(page.second, std::string(config)) << page.first;
        EXPECT_EQ(page.second == std::string("untouched") ? 0 : int(strlen(page.second)), length)
            << page.first;
    }

    const struct {
        const char* text;
        int share, logout;
    } times[] = {
        {"<against-interval>60</against-interval><logout-delay>120</logout-delay>", 60, 120},
        {"<logout-delay>soon</logout-delay><against-interval>x</against-interval>", 0, 0},
        {"<against-interval>60<logout-delay>45 s</logout-delay>", 0, 45},
        {"<user-config/>", 0, 300},
    };
    for (const auto& t : times) {
        EXPECT_EQ(t.share, CPortalParser::GetCheckWifiShareTime(t.text)) << t.text;
        EXPECT_EQ(t.logout, CPortalParser::GetCheckWifiLogoutTime(t.text)) << t.text;
    }
}

}  // namespace
