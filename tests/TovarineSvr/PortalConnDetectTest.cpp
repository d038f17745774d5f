// Environment detection and the configuration request against the portal
// simulator; header forms the simulator does not send come from a small
// loopback server.
#include <httplib.h>

#include <atomic>
#include <thread>

#include "PortalConnFixture.h"

using V = std::vector<std::string>;

TEST_F(PortalConnTest, DetectionFollowsEveryRedirectFormToTheConfiguration) {
    struct Case {
        const char* scenario;
        int result;
    } cases[] = {{"\"probe\":{\"mode\":\"302\",\"uppercase\":true}", 1},
                 {"\"probe\":{\"mode\":\"303\"}", 1},
                 {"\"probe\":{\"mode\":\"meta\"}", 1},
                 {"\"probe\":{\"mode\":\"script\"}", 1},
                 {"\"probe\":{\"mode\":\"none\"}", 0},
                 {"\"portal\":{\"markers\":\"none\"}", 0},
                 {"\"portal\":{\"markers\":\"open_only\"}", 0},
                 {"\"portal\":{\"markers\":\"empty\"}", 0},
                 {"\"probe\":{\"mode\":\"loop\"}", kResultDetectLoop}};
    ASSERT_NO_FATAL_FAILURE(StartSim());
    MakeConn();
    for (const auto& c : cases) {
        ASSERT_TRUE(m_sim->Reset() && m_sim->MergeScenario(std::string("{") + c.scenario + "}"));
        EXPECT_EQ(m_conn->CheckNetEnv(), c.result) << c.scenario;
    }
    // The loop ended at the hop bound.
    EXPECT_EQ(Requests("probe").size(), static_cast<size_t>(CPortalDetector::kMaxDetectHops));
    // Upper-case targets were followed in lower case, parameters included.
    EXPECT_EQ(Conf().wlanuserip, m_info->GetLocalValue("wlanuserip"));
    EXPECT_EQ(std::string(Conf().wlanuserip.GetBuffer()).find_first_of("ABCDEF"), std::string::npos);
    EXPECT_STREQ(Conf().schoolId.GetBuffer(), "S0001");
    EXPECT_EQ(m_conn->RequestConfig(0), kResultFailed);  // a transport failure is told by the result only
    EXPECT_TRUE(m_host.states.empty() && m_host.msgs.empty());
}

TEST_F(PortalConnTest, EntryPageMovesToAClusterServerBeforeItIsRequested) {
    ASSERT_NO_FATAL_FAILURE(StartSim("\"cluster\":{\"servers\":1},\"portal\":{\"area\":\"\"}"));
    MakeConn({{"serverCluster", m_sim->ServerUrls()[1].substr(7)}});
    Conf().ip4 = "10.20.30.40";
    Conf().schoolId = "kept";
    ASSERT_EQ(m_conn->CheckNetEnv(), 1);
    ASSERT_EQ(m_conn->CheckNetEnv(), 1);  // the server was struck off: back to the main one
    std::string portal = m_sim->Requests("portal");
    EXPECT_LT(portal.find("\"server\":1"), portal.find("\"server\":0"));
    EXPECT_STREQ(Conf().schoolId.GetBuffer(), "kept");  // "area:" was missing
}

TEST_F(PortalConnTest, ConfigurationIsPublishedInOrderWithFunctionSettingsEscapedOnce) {
    ASSERT_NO_FATAL_FAILURE(
        StartSim("\"config\":{\"stats_infor\":{\"url\":\"http://s/x?a=1&b=2\"},\"update\":true,"
                 "\"funcfg\":{\"Zeta\":\"<Zeta>a &amp; b</Zeta>\"}},\"cluster\":{\"servers\":2}"));
    MakeConn({{"clientId", "CID-0001"}});
    ASSERT_EQ(m_conn->RequestConfig(0), 1);
    V keys;
    for (const auto& m : m_host.msgs) keys.push_back(m.substr(0, m.find("</key>")));
    for (auto& k : keys) k = k.substr(k.find("<key>") + 5);
    EXPECT_EQ(keys, (V{"authType", "authDefautType", "schoolId", "domain", "area", "FUN_StatsInfor",
                       "FUN_Update", "FUN_Zeta", "version", "clientId"}));
    EXPECT_EQ(m_host.msgs[7],
              "Portal InfoCenter <key>FUN_Zeta</key><value>&lt;Zeta&gt;a &amp;amp; b&lt;/Zeta&gt;</value>");
    EXPECT_NE(m_host.msgs[5].find("url=&quot;http://s/x?a=1&amp;amp;b=2&quot;"), std::string::npos);
    EXPECT_STREQ(m_info->GetValue("FUN_Zeta").GetBuffer(), "<Zeta>a &amp; b</Zeta>");
    EXPECT_EQ(m_conn->GetConnCfg(), 0);
    // The announced cluster (two servers) became the list in use.
    Conf().ip4 = "10.20.30.40";
    CAutoString url(m_sim->ServerUrls()[0].c_str());
    EXPECT_EQ(m_conn->GetNewServerIP(url) + m_conn->GetNewServerIP(url) + m_conn->GetNewServerIP(url), 2);
}

TEST_F(PortalConnTest, LocationHeaderFormsTheSimulatorDoesNotSend) {
    std::atomic<bool> contentLocation{true};
    httplib::Server server;
    server.Get("/", [&](const httplib::Request& req, httplib::Response& res) {
        res.status = 302;
        if (contentLocation) {  // the first "location:" of the block wins
            res.set_header("Content-Location",
                           "http://" + req.get_header_value("Host") + "/portal/index.cgi");
            res.set_header("Location", "http://127.0.0.1:9/elsewhere");
        } else {
            res.set_header("Location", "/portal/index.cgi");
        }
    });
    server.Get("/portal/index.cgi", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<!--//config.velnor-portal.net<config/>//config.velnor-portal.net-->", "text/html");
    });
    int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { server.listen_after_bind(); });
    MakeConn({{"redirect", "http://127.0.0.1:" + std::to_string(port) + "/"}});
    EXPECT_EQ(m_conn->CheckNetEnv(), 1);
    contentLocation = false;
    EXPECT_EQ(m_conn->CheckNetEnv(), 0);  // no target: the 302 itself is the final page
    server.stop();
    thread.join();
}
