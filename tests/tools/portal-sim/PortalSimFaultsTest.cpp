// Faults the simulated portal produces on demand, one endpoint at a time.
#include <future>
#include <thread>

#include "SimFixture.h"

class PortalSimFaultsTest : public SimFixture {
protected:
    void SetFault(const std::string& endpoint, const std::string& fault) {
        std::string error;
        ASSERT_TRUE(m_sim->Scenario().Merge("{\"faults\":{\"" + endpoint + "\":" + fault + "}}", &error)) << error;
    }
};

TEST_F(PortalSimFaultsTest, EachFaultModeShapesTheAnswer) {
    StartSim();
    std::string moduleFile = WriteModuleFile("new.zxm", kAlgoB);
    struct Case {
        const char* fault;
        std::function<void(const SimAnswer&)> expect;
    };
    const Case cases[] = {
        {"{\"error_code\":105,\"sub_error\":\"E42\",\"last_login\":\"2026-12-01 08:00:00 10.0.0.9\"}",
         [](const SimAnswer& a) {
             EXPECT_EQ(a.errorCode, "105");
             EXPECT_EQ(a.subError, "E42");
             EXPECT_EQ(a.lastLogin, "2026-12-01 08:00:00 10.0.0.9");
             EXPECT_EQ(a.serverTag, "portal-sim-0");
         }},
        {"{\"sub_error\":\"note\"}",
         [](const SimAnswer& a) {
             EXPECT_EQ(a.errorCode, "0");
             EXPECT_EQ(a.subError, "note");
         }},
        {"{\"intercept\":\"302\"}",
         [](const SimAnswer& a) {
             EXPECT_EQ(a.status, 302);
             EXPECT_NE(a.location.find("/portal/index.cgi?wlanuserip="), std::string::npos);
             EXPECT_EQ(a.serverTag, "");
         }},
        {"{\"intercept\":\"200\"}",
         [](const SimAnswer& a) {
             EXPECT_EQ(a.status, 200);
             EXPECT_EQ(a.errorCode, "");
             EXPECT_EQ(a.serverTag, "");
             EXPECT_NE(a.body.find("<!--//config.velnor-portal.net"), std::string::npos);
         }},
        {"{\"omit_server_tag\":true}",
         [](const SimAnswer& a) {
             EXPECT_EQ(a.errorCode, "0");
             EXPECT_EQ(a.serverTag, "");
         }},
        {"{\"http_status\":503}",
         [](const SimAnswer& a) {
             EXPECT_EQ(a.status, 503);
             EXPECT_EQ(a.errorCode, "");
         }},
        {"{\"drop\":true}", [](const SimAnswer& a) { EXPECT_FALSE(a.answered); }},
        {"{\"delay_ms\":50}",
         [](const SimAnswer& a) {
             EXPECT_TRUE(a.answered);
             EXPECT_EQ(a.errorCode, "0");
         }},
        {"{\"redirect_loop\":true}",
         [](const SimAnswer& a) {
             EXPECT_EQ(a.status, 302);
             EXPECT_NE(a.location.find("/portal/ticket"), std::string::npos);
         }},
        {nullptr, nullptr},
    };
    for (const Case* c = cases; c->fault; ++c) {
        SCOPED_TRACE(c->fault);
        SetFault("ticket", c->fault);
        c->expect(Post("/portal/ticket", TicketDoc()));
        // The same fault hits every request until it is taken away.
        c->expect(Post("/portal/ticket", TicketDoc()));
        ASSERT_TRUE(m_sim->Scenario().Merge("{\"faults\":{\"ticket\":null}}", nullptr));
        EXPECT_EQ(Post("/portal/ticket", TicketDoc()).errorCode, "0");
    }

    SetFault("ticket", "{\"error_code\":200,\"module_file\":\"" + moduleFile + "\"}");
    SimAnswer update = Post("/portal/ticket", TicketDoc());
    EXPECT_EQ(update.errorCode, "200");
    EXPECT_EQ(update.body, simhttp::ReadFile(moduleFile, nullptr));
}

TEST_F(PortalSimFaultsTest, SequenceHandsOutOneEntryPerRequestThenAnswersNormally) {
    StartSim();
    SetFault("ticket", "{\"sequence\":[3,0,{\"http_status\":500},{\"error_code\":7,\"sub_error\":\"s\"}]}");
    EXPECT_EQ(Post("/portal/ticket", TicketDoc()).errorCode, "3");
    EXPECT_EQ(Post("/portal/ticket", TicketDoc()).errorCode, "0");
    EXPECT_EQ(Post("/portal/ticket", TicketDoc()).status, 500);
    SimAnswer fourth = Post("/portal/ticket", TicketDoc());
    EXPECT_EQ(fourth.errorCode, "7");
    EXPECT_EQ(fourth.subError, "s");
    EXPECT_EQ(Post("/portal/ticket", TicketDoc()).errorCode, "0");
    EXPECT_EQ(m_sim->Scenario().ToJson().find("\"ticket\""), std::string::npos);
}

TEST_F(PortalSimFaultsTest, TimesLimitsAFaultAndOtherEndpointsAreUntouched) {
    StartSim();
    SetFault("ticket", "{\"error_code\":9,\"times\":2}");
    SimAnswer state = Post("/portal/state", SimpleDoc("state", "x"));
    EXPECT_EQ(state.errorCode, "300");
    EXPECT_EQ(Post("/portal/ticket", TicketDoc()).errorCode, "9");
    EXPECT_EQ(Post("/portal/ticket", TicketDoc()).errorCode, "9");
    EXPECT_EQ(Post("/portal/ticket", TicketDoc()).errorCode, "0");
}

TEST_F(PortalSimFaultsTest, ProbeAndPortalPageTakeFaultsToo) {
    StartSim();
    SetFault("probe", "{\"http_status\":502,\"times\":1}");
    EXPECT_EQ(Client().Get("/")->status, 502);
    EXPECT_EQ(Client().Get("/")->status, 302);
    SetFault("portal", "{\"drop\":true,\"times\":1}");
    EXPECT_FALSE(Client().Get("/portal/index.cgi"));
    EXPECT_EQ(Client().Get("/portal/index.cgi")->status, 200);
    EXPECT_NE(LogOf("portal").find("\"dropped\":true"), std::string::npos);
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
        auto stopping = std::async(std::launch::async, [&] {
            if (server == 1) {
                m_sim->StopServer(1);
            } else {
                m_sim->Stop();
            }
        });
        EXPECT_EQ(stopping.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        stopping.wait();
        request.join();
    }
}
