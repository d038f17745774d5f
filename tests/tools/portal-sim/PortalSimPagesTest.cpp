// The probe, the portal page and its configuration, clusters and the control
// side of the simulator.
#include <pugixml.hpp>

#include "PortalPages.h"
#include "SimFixture.h"

class PortalSimPagesTest : public SimFixture {};

TEST_F(PortalSimPagesTest, ProbeRedirectsToTheEntryPageInEveryVariant) {
    StartSim("\"portal\":{\"wlanuserip\":\"10.1.2.3\",\"wlanusermac\":\"aa:bb:cc:dd:ee:ff\",\"wlanacip\":\"10.1.0.1\"}");
    std::string entry = m_sim->ServerUrl(0) + "/portal/index.cgi?wlanuserip=10.1.2.3&wlanusermac=aa:bb:cc:dd:ee:ff"
                                              "&wlanacip=10.1.0.1";
    struct Case {
        const char* mode;
        int status;
        std::string inLocation;
        std::string inBody;
    };
    const Case cases[] = {
        {"302", 302, entry, ""},
        {"303", 303, entry, ""},
        {"meta", 200, "", "<meta http-equiv=\"refresh\" content=\"0; url=" + entry + "\">"},
        {"script", 200, "", "<head><script>location.href=\"" + entry + "\"</script></head>"},
        {"none", 200, "", "on line"},
        {"loop", 302, m_sim->ServerUrl(0) + "/", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        ASSERT_TRUE(m_sim->Scenario().Merge(std::string("{\"probe\":{\"mode\":\"") + c.mode + "\"}}", nullptr));
        auto res = Client().Get("/");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, c.status);
        EXPECT_EQ(res->get_header_value("Location"), c.inLocation);
        EXPECT_NE(res->body.find(c.inBody), std::string::npos) << res->body;
        EXPECT_EQ(res->get_header_value("schoolid"), "S0001");
        EXPECT_EQ(res->get_header_value("domain"), "campus");
        EXPECT_EQ(res->get_header_value("area"), "north");
    }
}

TEST_F(PortalSimPagesTest, UpperCaseLocationStillLeadsToThePage) {
    StartSim("\"probe\":{\"uppercase\":true},\"portal\":{\"wlanusermac\":\"aa-bb\"}");
    auto res = Client().Get("/");
    ASSERT_TRUE(res);
    std::string location = res->get_header_value("Location");
    EXPECT_NE(location.find("/Portal/Index.cgi?WlanUserIp="), std::string::npos) << location;
    EXPECT_NE(location.find("WlanUserMac=AA-BB"), std::string::npos);
    std::string lower = location;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    std::string path = lower.substr(lower.find("/portal"));
    EXPECT_EQ(Client().Get(path.c_str())->status, 200);
    EXPECT_EQ(Client().Get(location.substr(location.find("/Portal")).c_str())->status, 200);
}

TEST_F(PortalSimPagesTest, PortalPageEmbedsTheConfigurationBetweenTheMarkers) {
    StartSim(
        "\"cluster\":{\"servers\":2},\"config\":{\"state_interval\":9,"
        "\"auth\":[{\"type\":\"cdc-http-pap\",\"default\":\"YES\"},{\"type\":\"cdc-mobile-qr\"}],"
        "\"account_modify\":{\"type\":\"add-domain\",\"value\":\"edu\"},"
        "\"user_config\":\"<user-config><against><process displayname=\\\"Hot\\\">hotspotd</process></against>"
        "</user-config>\",\"stats_infor\":{\"interval\":30},\"update\":true,"
        "\"funcfg\":{\"Extra\":\"<Extra a=\\\"1\\\"/>\"}}");
    auto res = Client(1).Get("/portal/index.cgi");
    ASSERT_TRUE(res);
    std::string config = Between(res->body, CPortalPages::kConfigOpen, CPortalPages::kConfigClose);
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(config.c_str())) << config;
    pugi::xml_node root = doc.child("config");
    std::string base = m_sim->ServerUrl(1);
    std::vector<std::string> order;
    for (pugi::xml_node n = root.first_child(); n; n = n.next_sibling()) order.push_back(n.name());
    EXPECT_EQ(order, (std::vector<std::string>{"ticket-url", "query-url", "auth-url", "state-url", "state-interval",
                                               "auth", "auth", "account", "server-clusters", "user-config",
                                               "FunCfg"}));
    EXPECT_EQ(std::string(root.child_value("ticket-url")), base + "/portal/ticket");
    EXPECT_EQ(std::string(root.child_value("auth-url")), base + "/portal/auth");
    EXPECT_EQ(std::string(root.child_value("state-interval")), "9");
    EXPECT_EQ(std::string(root.child("server-clusters").attribute("servers").value()),
              m_sim->HostPort(1) + "," + m_sim->HostPort(2));
    EXPECT_EQ(std::string(root.child("account").child("modify").child_value("value")), "edu");
    pugi::xml_node stats = root.child("FunCfg").child("StatsInfor");
    EXPECT_EQ(std::string(stats.attribute("url").value()), m_sim->ServerUrl(0) + "/stats");
    EXPECT_EQ(std::string(stats.attribute("interval").value()), "30");
    EXPECT_EQ(std::string(root.child("FunCfg").child("Update").attribute("url").value()),
              m_sim->ServerUrl(0) + "/update");
    EXPECT_TRUE(root.child("FunCfg").child("Extra"));
    EXPECT_EQ(res->get_header_value("schoolid"), "S0001");
}

TEST_F(PortalSimPagesTest, MarkerVariantsSpoilThePageOnRequest) {
    StartSim();
    struct Case {
        const char* markers;
        bool open;
        bool close;
        bool config;
    };
    for (Case c : {Case{"open_only", true, false, true}, Case{"none", false, false, false},
                   Case{"empty", true, true, false}}) {
        SCOPED_TRACE(c.markers);
        ASSERT_TRUE(m_sim->Scenario().Merge(std::string("{\"portal\":{\"markers\":\"") + c.markers + "\"}}", nullptr));
        std::string body = Client().Get("/portal/index.cgi")->body;
        EXPECT_EQ(body.find(CPortalPages::kConfigOpen) != std::string::npos, c.open);
        EXPECT_EQ(body.find(CPortalPages::kConfigClose) != std::string::npos, c.close);
        EXPECT_EQ(body.find("<config>") != std::string::npos, c.config);
    }
}

TEST_F(PortalSimPagesTest, ClusterServerStopsAndStartsOnTheSamePort) {
    StartSim("\"cluster\":{\"servers\":2}");
    std::string url = m_sim->ServerUrl(2);
    EXPECT_EQ(Post("/portal/ticket", TicketDoc(), nullptr, 'a', 2).errorCode, "0");
    httplib::Client control(m_sim->ControlUrl());
    ASSERT_EQ(control.Post("/control/servers/2/stop")->status, 200);
    EXPECT_FALSE(Post("/portal/ticket", TicketDoc(), nullptr, 'a', 2).answered);
    EXPECT_EQ(Post("/portal/ticket", TicketDoc(), nullptr, 'a', 1).errorCode, "0");
    ASSERT_EQ(control.Post("/control/servers/2/start")->status, 200);
    EXPECT_EQ(m_sim->ServerUrl(2), url);
    SimAnswer again = Post("/portal/ticket", TicketDoc(), nullptr, 'a', 2);
    EXPECT_EQ(again.errorCode, "0");
    EXPECT_EQ(again.serverTag, "portal-sim-2");
    EXPECT_EQ(control.Post("/control/servers/9/stop")->status, 404);
}

TEST_F(PortalSimPagesTest, ControlApiChangesTheScenarioAndResetsIt) {
    StartSim("\"answers\":{\"expire\":60}");
    httplib::Client control(m_sim->ControlUrl());
    auto patch = control.Post("/control/scenario", "{\"answers\":{\"expire\":5}}", "application/json");
    ASSERT_EQ(patch->status, 200);
    EXPECT_EQ(Between(Post("/portal/ticket", TicketDoc()).decoded, "<expire>", "</expire>"), "5");
    EXPECT_EQ(control.Post("/control/scenario", "not json", "application/json")->status, 400);

    auto wait = control.Get("/control/requests/wait?endpoint=ticket&count=1&timeout_ms=2000");
    EXPECT_NE(wait->body.find("\"ok\":true"), std::string::npos);
    auto none = control.Get("/control/requests/wait?endpoint=login&count=1&timeout_ms=10");
    EXPECT_NE(none->body.find("\"ok\":false"), std::string::npos);
    auto log = control.Get("/control/requests?endpoint=ticket");
    EXPECT_NE(log->body.find("\"ostag\":\"linux64\""), std::string::npos);
    EXPECT_NE(control.Get("/control/sessions")->body.find(m_clientId), std::string::npos);

    ASSERT_EQ(control.Post("/control/reset")->status, 200);
    EXPECT_EQ(control.Get("/control/requests")->body, "[]");
    EXPECT_EQ(control.Get("/control/sessions")->body, "{}");
    EXPECT_EQ(Between(Post("/portal/ticket", TicketDoc()).decoded, "<expire>", "</expire>"), "60");
}
