// Faults the simulated portal produces on demand, and servers stopping.
#include <future>
#include <map>
#include <thread>

#include "SimFixture.h"

class PortalSimFaultsTest : public SimFixture {
protected:
    void SetFault(const std::string& endpoint, const std::string& fault) {
        std::string error;
        ASSERT_TRUE(m_sim->Scenario().Merge("{\"faults\":{\"" + endpoint + "\":" + fault + "}}", &error))
            << error;
    }
    // One request to the endpoint: status|Error-Code|Sub-Error|Server-Tag|Last-Login|Location path.
    std::string Ask(const std::string& endpoint) {
        SimAnswer a = endpoint == "ticket"
                          ? Post("/portal/ticket", TicketDoc())
                          : ToAnswer(Client().Get(endpoint == "probe" ? "/" : "/portal/index.cgi"), nullptr);
        if (!a.answered) return "dropped";
        std::string path = a.location.empty() ? "" : a.location.substr(a.location.find('/', 8));
        return std::to_string(a.status) + "|" + a.errorCode + "|" + a.subError + "|" + a.serverTag + "|" +
               a.lastLogin + "|" + path.substr(0, path.find('?'));
    }
};

TEST_F(PortalSimFaultsTest, EachFaultModeShapesTheAnswersUntilTakenAway) {
    StartSim();
    const std::string ok = "200|0||portal-sim-0||";
    struct Case {
        const char* endpoint;
        const char* fault;
        std::vector<std::string> answers;  // for consecutive requests
    } cases[] = {
        {"ticket",
         "{\"error_code\":105,\"sub_error\":\"E42\",\"last_login\":\"2026-12-01 08:00:00 10.0.0.9\"}",
         {"200|105|E42|portal-sim-0|2026-12-01 08:00:00 10.0.0.9|",
          "200|105|E42|portal-sim-0|2026-12-01 08:00:00 10.0.0.9|"}},
        {"ticket", "{\"sub_error\":\"note\"}", {"200|0|note|portal-sim-0||", "200|0|note|portal-sim-0||"}},
        {"ticket", "{\"intercept\":\"302\"}", {"302|||||/portal/index.cgi", "302|||||/portal/index.cgi"}},
        {"ticket", "{\"intercept\":\"200\"}", {"200|||||", "200|||||"}},
        {"ticket", "{\"omit_server_tag\":true}", {"200|0||||", "200|0||||"}},
        {"ticket", "{\"http_status\":503}", {"503|||||", "503|||||"}},
        {"ticket", "{\"drop\":true}", {"dropped", "dropped"}},
        {"ticket", "{\"delay_ms\":50}", {ok, ok}},
        {"ticket", "{\"redirect_loop\":true}", {"302|||||/portal/ticket", "302|||||/portal/ticket"}},
        {"ticket",
         "{\"sequence\":[3,0,{\"http_status\":500},{\"error_code\":7,\"sub_error\":\"s\"}]}",
         {"200|3||portal-sim-0||", ok, "500|||||", "200|7|s|portal-sim-0||", ok}},
        {"ticket", "{\"error_code\":9,\"times\":2}", {"200|9||portal-sim-0||", "200|9||portal-sim-0||", ok}},
        {"probe", "{\"http_status\":502,\"times\":1}", {"502|||||", "302|||||/portal/index.cgi"}},
        {"portal", "{\"drop\":true,\"times\":1}", {"dropped", "200|||||"}},
    };
    std::map<std::string, std::string> normal;
    for (const char* endpoint : {"ticket", "probe", "portal"}) normal[endpoint] = Ask(endpoint);
    EXPECT_EQ(normal["ticket"], ok);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        SetFault(c.endpoint, c.fault);
        const std::string other = c.endpoint == std::string("ticket") ? "probe" : "ticket";
        EXPECT_EQ(Ask(other), normal[other]);  // other endpoints are untouched
        for (const auto& expected : c.answers) EXPECT_EQ(Ask(c.endpoint), expected);
        ASSERT_TRUE(
            m_sim->Scenario().Merge("{\"faults\":{\"" + std::string(c.endpoint) + "\":null}}", nullptr));
        EXPECT_EQ(Ask(c.endpoint), normal[c.endpoint]);
    }

    std::string moduleFile = WriteModuleFile("new.zxm", kAlgoB);
    SetFault("ticket", "{\"error_code\":200,\"module_file\":\"" + moduleFile + "\"}");
    SimAnswer update = Post("/portal/ticket", TicketDoc());
    EXPECT_EQ(update.errorCode, "200");
    EXPECT_EQ(update.body, simhttp::ReadFile(moduleFile, nullptr));
}

TEST_F(PortalSimFaultsTest, DelayedAnswersDoNotHoldUpStoppingAServerOrTheSimulator) {
    StartSim("\"cluster\":{\"servers\":1}");
    for (int server : {1, 0}) {
        SCOPED_TRACE(server);
        SetFault("ticket", "{\"delay_ms\":120000,\"times\":1}");
        std::thread request([&] { Post("/portal/ticket", TicketDoc(), nullptr, 'a', server); });
        // The fault leaves the scenario once a request has taken it.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (m_sim->Scenario().ToJson().find("delay_ms") != std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        auto stopping =
            std::async(std::launch::async, [&] { server == 1 ? (void)m_sim->StopServer(1) : m_sim->Stop(); });
        EXPECT_EQ(stopping.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        stopping.wait();
        request.join();
    }
}

TEST_F(PortalSimFaultsTest, ClusterServerStopsAndStartsOnTheSamePort) {
    StartSim("\"cluster\":{\"servers\":2}");
    std::string url = m_sim->ServerUrl(2);
    httplib::Client control(m_sim->ControlUrl());
    ASSERT_EQ(control.Post("/control/servers/2/stop")->status, 200);
    EXPECT_FALSE(Post("/portal/ticket", TicketDoc(), nullptr, 'a', 2).answered);
    EXPECT_EQ(Post("/portal/ticket", TicketDoc(), nullptr, 'a', 1).errorCode, "0");
    ASSERT_EQ(control.Post("/control/servers/2/start")->status, 200);
    EXPECT_EQ(m_sim->ServerUrl(2), url);
    EXPECT_EQ(Post("/portal/ticket", TicketDoc(), nullptr, 'a', 2).serverTag, "portal-sim-2");
    EXPECT_EQ(control.Post("/control/servers/9/stop")->status, 404);
}
