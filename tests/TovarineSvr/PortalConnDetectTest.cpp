// Environment detection and the configuration request against the portal
// simulator, plus header forms the simulator does not produce, served by a
// small loopback server.
#include <httplib.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "HttpData.h"

#include "PortalConnSimFixture.h"

using S = INetConn;

TEST_F(PortalConnSimTest, DetectionFollowsEveryRedirectFormToTheConfiguration) {
    struct Case {
        const char* scenario;
        int result;
    } cases[] = {
        {"\"probe\":{\"mode\":\"302\",\"uppercase\":true}", 1},
        {"\"probe\":{\"mode\":\"303\"}", 1},
        {"\"probe\":{\"mode\":\"meta\"}", 1},
        {"\"probe\":{\"mode\":\"script\"}", 1},
        {"\"probe\":{\"mode\":\"none\"}", 0},
        {"\"portal\":{\"markers\":\"none\"}", 0},
        {"\"portal\":{\"markers\":\"open_only\"}", 0},
        {"\"portal\":{\"markers\":\"empty\"}", 0},
    };
    ASSERT_NO_FATAL_FAILURE(StartSim());
    MakeSimConn();
    for (const auto& c : cases) {
        ASSERT_TRUE(m_sim->Reset());
        ASSERT_TRUE(m_sim->MergeScenario(std::string("{") + c.scenario + "}"));
        EXPECT_EQ(m_conn->CheckNetEnv(), c.result) << c.scenario;
    }
}

TEST_F(PortalConnSimTest, UpperCaseRedirectIsFollowedInLowerCaseAndItsParametersKept) {
    ASSERT_NO_FATAL_FAILURE(StartSim("\"probe\":{\"uppercase\":true}"));
    MakeSimConn();
    ASSERT_EQ(m_conn->CheckNetEnv(), 1);
    auto portal = Records("portal");
    ASSERT_EQ(portal.size(), 1u);
    EXPECT_EQ(portal[0].path, "/portal/index.cgi");
    EXPECT_FALSE(Conf().wlanuserip.IsEmpty());
    EXPECT_STREQ(m_info->GetLocalValue("wlanuserip").GetBuffer(), Conf().wlanuserip.GetBuffer());
    // Portal parameters from the headers, all three present.
    EXPECT_STREQ(Conf().schoolId.GetBuffer(), "S0001");
    EXPECT_STREQ(m_info->GetLocalValue("area").GetBuffer(), "north");
}

TEST_F(PortalConnSimTest, PartialPortalHeadersChangeNothing) {
    ASSERT_NO_FATAL_FAILURE(StartSim("\"portal\":{\"area\":\"\"}"));
    MakeSimConn();
    Conf().schoolId = "kept";
    ASSERT_EQ(m_conn->CheckNetEnv(), 1);
    EXPECT_STREQ(Conf().schoolId.GetBuffer(), "kept");
}

TEST_F(PortalConnSimTest, RedirectLoopEndsAtTheHopBoundAsATransportFailure) {
    ASSERT_NO_FATAL_FAILURE(StartSim("\"probe\":{\"mode\":\"loop\"}"));
    MakeSimConn();
    EXPECT_EQ(m_conn->CheckNetEnv(), -4);
    EXPECT_EQ(Records("probe").size(), static_cast<size_t>(CPortalConn::kMaxDetectHops));
    m_host.states.clear();
    EXPECT_EQ(m_conn->RequestConfig(0), -1);
    EXPECT_TRUE(m_host.states.empty());  // told by the result only
    EXPECT_TRUE(m_host.msgs.empty());
}

TEST_F(PortalConnSimTest, EntryPageMovesToAClusterServerBeforeItIsRequested) {
    ASSERT_NO_FATAL_FAILURE(StartSim("\"cluster\":{\"servers\":1}"));
    std::string peer = m_sim->ServerUrls()[1].substr(strlen("http://"));
    MakeSimConn(true, {{"serverCluster", peer}});
    Conf().ip4 = "10.20.30.40";
    ASSERT_EQ(m_conn->CheckNetEnv(), 1);
    auto portal = Records("portal");
    ASSERT_EQ(portal.size(), 1u);
    EXPECT_EQ(portal[0].server, 1);
    // The server is struck off: the next detection stays on the main server.
    ASSERT_EQ(m_conn->CheckNetEnv(), 1);
    portal = Records("portal");
    ASSERT_EQ(portal.size(), 2u);
    EXPECT_EQ(portal[1].server, 0);
}

TEST_F(PortalConnSimTest, ConfigurationIsPublishedInOrderWithFunctionSettingsEscapedOnce) {
    ASSERT_NO_FATAL_FAILURE(StartSim(
        "\"config\":{\"stats_infor\":{\"enable\":\"1\",\"interval\":\"60\",\"url\":\"http://s/x?a=1&b=2\"},"
        "\"update\":true,\"funcfg\":{\"Zeta\":\"<Zeta v=\\\"1\\\">a &amp; b</Zeta>\"}},"
        "\"cluster\":{\"servers\":2}"));
    MakeSimConn(true, {{"clientId", "CID-0001"}});
    ASSERT_EQ(m_conn->RequestConfig(0), 1);
    std::vector<std::string> expected = {"authType", "authDefautType", "schoolId",  "domain",  "area",
                                         "FUN_StatsInfor", "FUN_Update", "FUN_Zeta", "version", "clientId"};
    EXPECT_EQ(PublishedKeys(), expected);
    auto msgs = m_host.Msgs("InfoCenter");
    ASSERT_EQ(msgs.size(), expected.size());
    EXPECT_EQ(msgs[0].param, "<key>authType</key><value>1</value>");
    EXPECT_EQ(msgs[7].param, "<key>FUN_Zeta</key><value>&lt;Zeta v=&quot;1&quot;&gt;a &amp;amp; b&lt;/Zeta&gt;</value>");
    EXPECT_NE(msgs[5].param.find("url=&quot;http://s/x?a=1&amp;amp;b=2&quot;"), std::string::npos) << msgs[5].param;
    // Stored as the portal wrote it; only the envelope carries the escapes.
    EXPECT_STREQ(m_info->GetValue("FUN_Zeta").GetBuffer(), "<Zeta v=\"1\">a &amp; b</Zeta>");

    EXPECT_FALSE(m_info->GetLocalValue("tickUrl").IsEmpty());
    EXPECT_STREQ(m_info->GetLocalValue("defaultAuth").GetBuffer(), "1");
    EXPECT_EQ(m_conn->GetConnCfg(), 0);
    // The announced cluster becomes the list in use.
    Conf().ip4 = "10.20.30.40";
    CAutoString url(m_sim->ServerUrls()[0].c_str());
    EXPECT_EQ(m_conn->GetNewServerIP(url), 1);
    EXPECT_EQ(m_conn->GetNewServerIP(url), 1);
    EXPECT_EQ(m_conn->GetNewServerIP(url), 0);
}

TEST_F(PortalConnSimTest, NoPortalInTheWayPublishesNothing) {
    ASSERT_NO_FATAL_FAILURE(StartSim("\"probe\":{\"mode\":\"none\"}"));
    MakeSimConn();
    EXPECT_EQ(m_conn->RequestConfig(0), 0);
    EXPECT_TRUE(m_host.msgs.empty());
    EXPECT_TRUE(m_host.states.empty());
}

TEST_F(PortalConnSimTest, AnswerWithoutServerTagIsAnInterception) {
    struct Case {
        int status;
        const char* head;
        int redirect;
    } cases[] = {
        {200, "HTTP/1.1 200 OK\r\nError-Code: 0\r\nServer-Tag: a\r\n\r\n", 0},
        {200, "HTTP/1.1 200 OK\r\nError-Code: 0\r\n\r\n", 1},
        {200, "HTTP/1.1 200 OK\r\n\r\n", 1},
        {302, "HTTP/1.1 302 Found\r\nError-Code: 0\r\nServer-Tag: a\r\n\r\n", 1},
        {303, "HTTP/1.1 303 See Other\r\n\r\n", 1},
        {202, "HTTP/1.1 202 Accepted\r\n\r\n", 0},
    };
    MakeConn();
    for (const auto& c : cases) {
        CHttpData data;
        data.retCode = c.status;
        data.RespHead(strdup(c.head));
        EXPECT_EQ(m_conn->IsRequestRedirect(&data), c.redirect) << c.head;
    }
}

namespace {
// A loopback server answering the probe with fixed headers.
class HeaderServer {
public:
    explicit HeaderServer(std::function<void(const httplib::Request&, httplib::Response&)> probe) {
        m_server.Get("/", probe);
        m_server.Get("/portal/index.cgi", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><!--//config.velnor-portal.net<config><ticket-url>http://127.0.0.1:9/t"
                            "</ticket-url></config>//config.velnor-portal.net--></html>",
                            "text/html");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~HeaderServer() {
        m_server.stop();
        m_thread.join();
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port); }

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
};
}  // namespace

TEST_F(PortalConnTest, LocationHeaderFormsTheSimulatorDoesNotSend) {
    std::atomic<bool> contentLocation{true};
    HeaderServer server([&](const httplib::Request& req, httplib::Response& res) {
        std::string base = "http://" + req.get_header_value("Host");
        res.status = 302;
        if (contentLocation) {
            // The first "location:" in the block wins.
            res.set_header("Content-Location", base + "/portal/index.cgi");
            res.set_header("Location", "http://127.0.0.1:9/elsewhere");
        } else {
            res.set_header("Location", "/portal/index.cgi");
        }
    });
    MakeConn({{"redirect", server.Url() + "/"}});
    EXPECT_EQ(m_conn->CheckNetEnv(), 1);
    contentLocation = false;
    EXPECT_EQ(m_conn->CheckNetEnv(), 0);  // no target: the 302 itself is the final page
}
