// Preparation, login, heartbeats and logout of VelnorSvr against the portal
// simulator, seen from the desktop client's side of the FIFOs.
#include <algorithm>
#include <fstream>

#include "ServiceRun.h"

namespace {
using Strings = std::vector<std::string>;

class SessionE2E : public ServiceRun {};
}  // namespace

TEST_F(SessionE2E, StartReachesPreConnectedThroughTheProgressMessages) {
    ASSERT_TRUE(StartSim());
    ASSERT_TRUE(StartService());
    ASSERT_TRUE(Prepare());
    EXPECT_EQ(States(), (Strings{"33/30000101", "33/30000103", "33/30000103", "33/30000102", "31/0"}));
    auto ticket = m_client->WaitForOpc("TicketResp", kWait);
    ASSERT_TRUE(ticket);
    EXPECT_FALSE(ticket->Param("ticket").empty());
}

TEST_F(SessionE2E, LoginSucceedsAndHeartbeatsFollow) {
    ASSERT_TRUE(StartSim(R"({"answers":{"interval":1}})"));
    ASSERT_TRUE(StartService());
    ASSERT_TRUE(LogIn());
    Strings states = States();
    ASSERT_GE(states.size(), 2u);
    EXPECT_EQ(Strings(states.end() - 2, states.end()), (Strings{"1/0", "2/1"}));
    EXPECT_TRUE(m_sim->WaitForRequests("heartbeat", 3, kWait));
    auto logins = Requests("login");
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_EQ(logins[0]["userid"], "alice");
}

TEST_F(SessionE2E, SecondClientStartReportsReadyThenReplaysTheLastState) {
    ASSERT_TRUE(StartSim());
    ASSERT_TRUE(StartService());
    ASSERT_TRUE(LogIn());
    m_client->Send("ClientStart", "");
    auto ready = WaitState(31);
    ASSERT_TRUE(ready);
    EXPECT_EQ(ready->ErrorCode(), 0);
    EXPECT_EQ(ready->Param("oldState"), "0");
    auto replay = m_client->WaitFor([](const Envelope& e) { return e.opc == "NetStateMessageResp"; }, kWait);
    ASSERT_TRUE(replay);
    EXPECT_EQ(replay->NewState(), 2);
    EXPECT_EQ(replay->ErrorCode(), 1);
    // No second "ClientStartComplete": the running engine was kept.
    EXPECT_FALSE(m_client->WaitForOpc("ClientStartComplete", milliseconds(500)));
}

TEST_F(SessionE2E, UserLogoutSendsSourceTwoAndAsksForNoNewTicket) {
    ASSERT_TRUE(StartSim());
    ASSERT_TRUE(StartService());
    ASSERT_TRUE(LogIn());
    long tickets = Count("ticket");
    m_client->SendLogout();
    auto out = WaitState(12);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->ErrorCode(), 1);
    EXPECT_EQ(out->Param("oldState"), "11");
    auto logouts = Requests("logout");
    ASSERT_EQ(logouts.size(), 1u);
    EXPECT_EQ(logouts[0]["reason"], "2");
    // The client answers a logout with "CheckEnv"; until then nothing is asked.
    EXPECT_FALSE(m_sim->WaitForRequests("ticket", tickets + 1, milliseconds(1500)));
}

TEST_F(SessionE2E, LoginFailuresReportTheirCodes) {
    struct Case {
        std::string name, fault, account, password;
        int code;
        std::string sub, ext;
    } cases[] = {
        {"last login", R"({"error_code":105,"last_login":"2026-12-01 08:00 lab-7"})", "alice", "secret",
         150200, "ConnError", "2026-12-01 08:00 lab-7"},
        {"mobile account", R"({"error_code":105,"sub_error":"busy"})", "13812345678@campus", "x", 140105,
         "busy", ""},
        {"letters account", R"({"error_code":105})", "abc", "x", 150201, "", ""},
        {"other code", R"({"error_code":7,"sub_error":"locked"})", "alice", "secret", 140007, "locked", ""},
        {"http 5xx", R"({"http_status":503})", "alice", "secret", 150102, "HttpError", "-3"},
        {"intercepted", R"({"intercept":"302"})", "alice", "secret", 150010, "", ""},
    };
    ASSERT_TRUE(StartSim());
    ASSERT_TRUE(StartService());
    ASSERT_TRUE(Prepare());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(m_sim->SetFault("login", c.fault));
        m_client->SendLogin(c.account, c.password);
        auto failed = WaitState(3);
        ASSERT_TRUE(failed);
        EXPECT_EQ(failed->ErrorCode(), c.code);
        if (c.code == 150200 || c.code == 150102) {
            EXPECT_EQ(failed->Param("subType"), c.sub);
            EXPECT_EQ(failed->Param("extern"), c.ext);
        } else {
            EXPECT_EQ(failed->Param("subErrCode"), c.sub);
        }
        ASSERT_TRUE(m_sim->ClearFault("login"));
        // A fresh ticket comes for the next attempt (after an interception the
        // open-network check takes over instead).
        if (c.code != 150010) {
            ASSERT_TRUE(WaitState(31)) << ::testing::PrintToString(States());
        }
    }
}

TEST_F(SessionE2E, ModuleUpdateRepeatsTheRequestWithTheNewAlgorithmId) {
    const std::string fresh = "0b7e1c52-9d3a-4f60-8e21-5a4c3b2d1e0f";
    std::string module = RepackedModule(fresh);
    ASSERT_TRUE(StartSim(R"({"module":{"zxm":")" + module + R"("},"modules":[{"so":")" + BinDir() +
                         R"(/libsample_algo.so","zxm":")" + BinDir() + R"(/zxmAlogic.zxm"}]})"));
    ASSERT_TRUE(StartService());
    ASSERT_TRUE(Prepare());
    Strings states = States();
    EXPECT_NE(std::find(states.begin(), states.end(), "33/30000104"), states.end());
    EXPECT_NE(std::find(states.begin(), states.end(), "33/30000105"), states.end());
    auto tickets = Requests("ticket");
    ASSERT_GE(tickets.size(), 2u);
    EXPECT_NE(tickets.front()["_algo"], fresh);
    EXPECT_EQ(tickets.back()["_algo"], fresh);
}

TEST_F(SessionE2E, ModuleUpdateFailingTwiceGivesUpWith150003) {
    std::string junk = m_dir / "junk.zxm";
    { std::ofstream(junk) << "not a module"; }
    ASSERT_TRUE(StartSim(R"({"faults":{"ticket":{"module_file":")" + junk + R"("}}})"));
    ASSERT_TRUE(StartService());
    m_client->Send("ClientStart", "");
    ASSERT_TRUE(m_client->WaitForOpc("ClientStartComplete", kWait));
    m_client->Send("CheckEnv", "");
    auto failed = WaitState(32);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->ErrorCode(), 150003);
    EXPECT_EQ(Count("ticket"), 2);
}

TEST_F(SessionE2E, PortalAskingForAModuleForEverIsBoundedTo150003) {
    std::string module = RepackedModule("11111111-2222-3333-4444-555555555555");
    ASSERT_TRUE(StartSim(R"({"faults":{"ticket":{"module_file":")" + module + R"("}}})"));
    ASSERT_TRUE(StartService());
    m_client->Send("ClientStart", "");
    ASSERT_TRUE(m_client->WaitForOpc("ClientStartComplete", kWait));
    m_client->Send("CheckEnv", "");
    auto failed = WaitState(32);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->ErrorCode(), 150003);
    long asked = Count("ticket");
    EXPECT_GE(asked, 2);
    EXPECT_LE(asked, 4);
    EXPECT_FALSE(m_sim->WaitForRequests("ticket", asked + 1, milliseconds(2000)));
}

TEST_F(SessionE2E, RefusedVersionStopsThePreparation) {
    ASSERT_TRUE(StartSim(R"({"faults":{"ticket":{"error_code":3,"sub_error":"too old"}}})"));
    ASSERT_TRUE(StartService());
    m_client->Send("ClientStart", "");
    ASSERT_TRUE(m_client->WaitForOpc("ClientStartComplete", kWait));
    m_client->Send("CheckEnv", "");
    auto failed = WaitState(32);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->ErrorCode(), 140003);
    EXPECT_EQ(failed->Param("subErrCode"), "too old");
}

TEST_F(SessionE2E, HeartbeatFailuresAreToleratedThenLogOutWithReasonThree) {
    ASSERT_TRUE(StartSim(R"({"answers":{"interval":1,"keep_retry":2}})"));
    ASSERT_TRUE(StartService());
    // A first session teaches the service the one-second period, which it
    // keeps while heartbeats go unanswered.
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(m_sim->WaitForRequests("heartbeat", 1, kWait));
    m_client->SendLogout();
    ASSERT_TRUE(WaitState(12));
    m_client->Send("CheckEnv", "");
    ASSERT_TRUE(WaitState(31));
    // Refused from the first heartbeat on: a login with keep-retry 2
    // tolerates three failures in a row.
    ASSERT_TRUE(m_sim->SetFault("heartbeat", R"({"error_code":9})"));
    long before = Count("heartbeat");
    m_client->SendLogin(kAccount, kPassword);
    ASSERT_TRUE(WaitState(2));
    auto failed = WaitState(3, milliseconds(60000));
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->ErrorCode(), 140009);
    EXPECT_EQ(Count("heartbeat") - before, 4);
    ASSERT_TRUE(m_sim->WaitForRequests("logout", 2, kWait));
    EXPECT_EQ(Requests("logout")[1]["reason"], "3");
}

TEST_F(SessionE2E, HeartbeatAnsweredWithFourteenEndsTheSession) {
    ASSERT_TRUE(StartSim(R"({"answers":{"interval":1}})"));
    ASSERT_TRUE(StartService());
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(m_sim->SetFault("heartbeat", R"({"error_code":14,"times":1})"));
    auto ended = WaitState(12);
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->ErrorCode(), 14);
    EXPECT_EQ(ended->Param("oldState"), "2");
}

TEST_F(SessionE2E, NoPortalMeansOnLineWithoutOne) {
    ASSERT_TRUE(StartSim(R"({"probe":{"mode":"none"}})"));
    ASSERT_TRUE(StartService());
    m_client->Send("ClientStart", "");
    ASSERT_TRUE(m_client->WaitForOpc("ClientStartComplete", kWait));
    m_client->Send("CheckEnv", "");
    auto online = WaitState(2);
    ASSERT_TRUE(online);
    EXPECT_EQ(online->Param("type"), "0");
    EXPECT_EQ(online->ErrorCode(), 0);
    EXPECT_EQ(Count("ticket"), 0);
}

TEST_F(SessionE2E, RecordedLoginWithoutPortalIsLoggedOutWithReasonFive) {
    ASSERT_TRUE(StartSim(R"({"probe":{"mode":"none"}})"));
    ServiceOptions options;
    options.values = {{"connState", "1"}, {"termUrl", m_sim->ServerUrls()[0] + "/portal/term"}};
    ASSERT_TRUE(StartService(options));
    m_client->Send("ClientStart", "");
    ASSERT_TRUE(m_client->WaitForOpc("ClientStartComplete", kWait));
    m_client->Send("CheckEnv", "");
    auto online = m_client->WaitFor(
        [](const Envelope& e) { return e.opc == "NetStateMessageResp" && e.Param("type") == "0"; }, kWait);
    ASSERT_TRUE(online);
    Strings states = States();
    EXPECT_NE(std::find(states.begin(), states.end(), "33/30000106"), states.end());
    // Two network checks: the first found the old record, the second the open network.
    EXPECT_EQ(std::count(states.begin(), states.end(), "33/30000101"), 2);
    EXPECT_EQ(Requests("logout").at(0)["reason"], "5");
    EXPECT_NE(m_install->ReadFile("conf/conf.xml").find("<connState>0</connState>"), std::string::npos);
}

TEST_F(SessionE2E, AnswersWithoutLifetimeOrIntervalNeverRepeatAtOnce) {
    ASSERT_TRUE(StartSim(R"({"answers":{"expire":"","interval":""}})"));
    ASSERT_TRUE(StartService());
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(m_sim->WaitForRequests("heartbeat", 1, kWait));
    EXPECT_FALSE(m_sim->WaitForRequests("heartbeat", 3, milliseconds(3000)));
    EXPECT_LE(Count("ticket"), 1);
}

TEST_F(SessionE2E, MarkupInAccountAndPasswordReachesThePortalUnchanged) {
    ASSERT_TRUE(StartSim(R"({"accounts":{"a<b&c>d":"p\"w<&>'d"}})"));
    ASSERT_TRUE(StartService());
    ASSERT_TRUE(Prepare());
    m_client->SendLogin("a<b&c>d", "p\"w<&>'d");
    auto connected = WaitState(2);
    ASSERT_TRUE(connected) << ::testing::PrintToString(States());
    EXPECT_EQ(Requests("login").at(0)["userid"], "a<b&c>d");
}
