// The exchanges with the portal server, against the portal simulator.
#include "PortalConnFixture.h"

using V = std::vector<std::string>;

namespace {
const std::string kSample = "5d0c8a3e-7f21-4b96-a4e8-1c9b7d3f6a02";
const std::string kNone = "00000000-0000-0000-0000-000000000000";
}  // namespace

TEST_F(PortalConnTest, FromTicketToLoginHeartbeatStateAndLogout) {
    ASSERT_NO_FATAL_FAILURE(
        StartSim("\"answers\":{\"ticket\":\"T-1\",\"domain_config\":\"<domain-config><dns1>1.2.3.4</dns1></"
                 "domain-config>\"}"));
    MakeConn();
    ASSERT_EQ(m_conn->RequestConfig(0), 1);
    m_host.states.clear(), m_host.msgs.clear();
    Conf().hostName = "pc<1>";
    ASSERT_EQ(m_conn->RequestTicket(), 1);
    EXPECT_EQ(m_host.states, (V{"33>33 30000103 ", "33>33 30000103 ", "33>33 30000102 ", "33>31 0 "}));
    EXPECT_EQ(m_host.msgs, V{"Portal TicketResp <ticket>T-1</ticket><hostname>pc&lt;1&gt;</hostname>"
                             "<qr>vxra://T-1@pc&lt;1&gt;</qr>"});
    EXPECT_STREQ(m_info->GetLocalValue("ticket").GetBuffer(), "T-1");
    EXPECT_EQ(m_conn->CheckConnectState(1), kResultNothing);  // not logged in yet: nothing posted

    m_host.states.clear(), m_host.msgs.clear();
    ASSERT_EQ(m_conn->Connect(Login(" alice ").c_str()), 1);
    EXPECT_EQ(m_host.states, (V{"0>1 0 ", "1>2 1 "}));
    EXPECT_EQ(m_host.msgs, V{"Portal SetValue <key>DialAccount</key><value>alice</value>"});
    EXPECT_EQ(m_host.dnsCalls, V{"1.2.3.4|"});
    EXPECT_EQ(m_conn->GetConnCfg(), 1);
    EXPECT_EQ(m_conn->KeepPluse(), 1);
    EXPECT_EQ(Conf().iInterval, 30);
    EXPECT_EQ(m_conn->CheckConnectState(1), 1);

    m_host.states.clear();
    EXPECT_EQ(m_conn->DisConnect("2"), 1);
    EXPECT_EQ(m_conn->KeepPluse(), kResultSessionEnded);  // the portal no longer knows the session
    EXPECT_EQ(m_host.states, (V{"11>12 1 ", "2>12 14 "}));
    EXPECT_EQ(m_conn->GetConnCfg(), 0);
    EXPECT_EQ(m_host.dnsCalls.size(), 3u);  // applied again by the state answer, restored at logout
}

// The other refusal codes are seen end to end.
TEST_F(PortalConnTest, RefusedLoginsAreReportedByTheirCause) {
    struct Case {
        const char *fault, *user, *posted;
    } cases[] = {
        {"{\"error_code\":105,\"last_login\":\"06-12 <pc1>\"}", "alice",
         "1>3 150200 [ConnError] 06-12 <pc1>"},
        {"{\"error_code\":105,\"sub_error\":\"busy\"}", "13812345678@campus", "1>3 140105 busy"},
        {"{\"error_code\":105}", "abc", "1>3 150201 "},
        {"{\"http_status\":202}", "alice", "1>3 139999 "},
        {"{\"http_status\":503}", "alice", "0>3 150102 [HttpError] -3"},
        {"{\"intercept\":\"302\"}", "alice", "33>3 150010 "},
        {"{\"error_code\":14}", "alice", "0>1 0 "},  // refused quietly
        // Header names in any case (HTTP/2), codes only when wholly decimal.
        {"{\"error_code\":7,\"sub_error\":\"locked\",\"lowercase_headers\":true}", "alice",
         "1>3 140007 locked"},
        {"{\"error_code_text\":\"E1\"}", "alice", "1>3 139999 "},
        {"{\"error_code_text\":\"-0\"}", "alice", "1>3 139999 "},
        {"{\"error_code_text\":\"0x69\"}", "alice", "1>3 139999 "},
        {"{\"intercept\":\"301\"}", "alice", "33>3 150010 "},
        {"{\"intercept\":\"307\"}", "alice", "33>3 150010 "},
        {"{\"intercept\":\"308\"}", "alice", "33>3 150010 "},
    };
    ASSERT_NO_FATAL_FAILURE(StartSim());
    MakeConn();
    ASSERT_NO_FATAL_FAILURE(Prepare());
    for (const auto& c : cases) {
        ASSERT_NO_FATAL_FAILURE(Fault("login", c.fault));
        // Only an interception differs from the plain failure.
        int expected =
            std::string(c.fault).find("intercept") != std::string::npos ? kResultRedirected : kResultFailed;
        EXPECT_EQ(m_conn->Connect(Login(c.user).c_str()), expected) << c.fault;
        EXPECT_EQ(m_host.Last(), c.posted) << c.fault;
    }
    EXPECT_EQ(m_host.unknownEnv, 4);  // the interceptions
    EXPECT_EQ(m_conn->Connect("<M><P>"), kResultFailed);
    EXPECT_EQ(Requests("login").size(), 15u);  // the HTTP failure was sent twice
}

TEST_F(PortalConnTest, NewModuleIsInstalledAndTheRequestRunsAgainWithIt) {
    ASSERT_NO_FATAL_FAILURE(StartSim());
    MakeConn({}, false);  // no module yet: the portal sends one
    ASSERT_EQ(m_conn->RequestConfig(0), 1);
    m_host.states.clear();
    EXPECT_EQ(m_conn->_RequestTicket(), kResultRunAgain);
    EXPECT_EQ(m_host.Last(), "33>33 30000105 ");
    EXPECT_EQ(m_conn->_RequestTicket(), 1);
    EXPECT_EQ(Requests("ticket"), (V{"0 " + kNone + " 200", "0 " + kSample + " 0"}));

    // A module that will not install, twice, fails the exchange.
    std::ofstream(m_dir / "junk.zxm") << "not a module";
    ASSERT_NO_FATAL_FAILURE(Fault("login", "{\"module_file\":\"" + m_dir / "junk.zxm" + "\"}"));
    EXPECT_EQ(m_conn->Connect(Login("alice").c_str()), kResultFailed);
    EXPECT_EQ(m_host.Last(), "1>3 150003 ");

    // A module in an answer the portal server did not mark is never installed.
    m_host.states.clear();
    ASSERT_NO_FATAL_FAILURE(Fault("login", "{\"module_file\":\"" + Bin("zxmAlogic.zxm") +
                                               "\",\"status\":201,\"omit_server_tag\":true}"));
    EXPECT_EQ(m_conn->Connect(Login("alice").c_str()), kResultFailed);
    EXPECT_EQ(m_host.states, (V{"0>1 0 ", "1>3 150003 "}));
}

TEST_F(PortalConnTest, HeartbeatToleratesTheRetriesThenGivesUp) {
    ASSERT_NO_FATAL_FAILURE(StartSim());
    MakeConn();
    ASSERT_NO_FATAL_FAILURE(Prepare("alice"));  // keep-retry 2: three failures are tolerated
    ASSERT_NO_FATAL_FAILURE(Fault("heartbeat", "{\"error_code\":9,\"sub_error\":\"busy\"}"));
    V results;
    for (int i = 0; i < 4; ++i) results.push_back(std::to_string(m_conn->KeepPluse()));
    // An answered heartbeat restores the portal's count (2).
    ASSERT_TRUE(m_sim->ClearFault("heartbeat"));
    results.push_back(std::to_string(m_conn->KeepPluse()));
    ASSERT_NO_FATAL_FAILURE(Fault("heartbeat", "{\"http_status\":500}"));
    for (int i = 0; i < 3; ++i) results.push_back(std::to_string(m_conn->KeepPluse()));
    EXPECT_EQ(results, (V{"0", "0", "0", "-1", "1", "0", "0", "-1"}));
    EXPECT_EQ(m_host.states, (V{"1>3 140009 busy", "1>3 150108 "}));

    ASSERT_NO_FATAL_FAILURE(Fault("heartbeat", "{\"intercept\":\"200\"}"));
    m_conn->KeepPluse();
    EXPECT_EQ(m_host.disconnects, V{"4"});
    EXPECT_EQ(m_host.Last(), "1>3 150108 ");
}

TEST_F(PortalConnTest, LogoutThatThePortalNoLongerKnowsCountsAsDone) {
    ASSERT_NO_FATAL_FAILURE(StartSim());
    MakeConn();
    ASSERT_NO_FATAL_FAILURE(Prepare("alice"));  // the logout address comes with the login
    V results;
    for (const char* fault : {"{\"error_code\":13}", "{\"error_code\":14}", "{\"error_code\":21}"}) {
        ASSERT_NO_FATAL_FAILURE(Fault("logout", fault));
        results.push_back(std::to_string(m_conn->DisConnect("2")));
    }
    m_host.portalEnv = 0;  // outside a portal the answer does not matter
    results.push_back(std::to_string(m_conn->DisConnect("2")));
    EXPECT_EQ(results, (V{"1", "1", "-1", "0"}));
    EXPECT_EQ(m_host.states, (V{"11>12 1 ", "11>12 1 ", "1>3 140021 "}));
}

TEST_F(PortalConnTest, TicketMovesThroughTheClusterUntilNoServerIsLeft) {
    ASSERT_NO_FATAL_FAILURE(StartSim("\"cluster\":{\"servers\":1}"));
    MakeConn();
    ASSERT_EQ(m_conn->RequestConfig(0), 1);
    ASSERT_TRUE(m_sim->StopServer(0));
    EXPECT_EQ(m_conn->RequestTicket(), kResultSwitchedServer);
    EXPECT_EQ(m_conn->RequestTicket(), 1);
    EXPECT_EQ(Requests("ticket"), V{"1 " + kSample + " 0"});
    ASSERT_TRUE(m_sim->StopServer(1));
    EXPECT_EQ(m_conn->RequestTicket(), kResultFailed);
    EXPECT_EQ(m_host.Last(), "0>32 150103 [HttpError] -4");
}

TEST_F(PortalConnTest, TerminalExchangesStopAfterThreeRepeats) {
    ASSERT_NO_FATAL_FAILURE(StartSim());
    MakeConn();
    ASSERT_NO_FATAL_FAILURE(Prepare("alice"));
    CAutoString xml("");
    ASSERT_EQ(m_conn->TerminalRequestData(xml), 1);
    EXPECT_EQ(std::string(xml.GetBuffer()).rfind("<response>", 0), 0u) << xml.GetBuffer();
    // A portal that keeps sending a module makes every answer "run again".
    std::string fault = "{\"module_file\":\"" + Bin("zxmAlogic.zxm") + "\"}";
    ASSERT_NO_FATAL_FAILURE(Fault("terminal", fault));
    ASSERT_NO_FATAL_FAILURE(Fault("logout", fault));
    EXPECT_EQ(m_conn->TerminalRequestData(xml), kResultNothing);
    EXPECT_EQ(m_conn->TerminalTermRequest("other"), kResultFailed);
    EXPECT_EQ(Requests("terminal").size(), 2u + CPortalConn::kMaxRepeats);
    EXPECT_EQ(Requests("logout").size(), 1u + CPortalConn::kMaxRepeats);
    m_conn->Destroy();  // the login is still recorded: logs out
    EXPECT_EQ(Requests("logout").size(), 2u + CPortalConn::kMaxRepeats);
}
