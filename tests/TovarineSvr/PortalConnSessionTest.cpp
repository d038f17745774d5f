// The exchanges with the portal server, against the portal simulator.
#include <fstream>

#include "PortalConnSimFixture.h"

using S = INetConn;

namespace {
const char kSampleAlgoId[] = "5d0c8a3e-7f21-4b96-a4e8-1c9b7d3f6a02";
const char kNoAlgoId[] = "00000000-0000-0000-0000-000000000000";
}  // namespace

TEST_F(PortalConnSimTest, FromTicketToLoginHeartbeatStateAndLogout) {
    ASSERT_NO_FATAL_FAILURE(StartSim());
    MakeSimConn();
    ASSERT_EQ(m_conn->RequestConfig(0), 1);
    m_host.states.clear();
    ASSERT_EQ(m_conn->RequestTicket(), 1);
    EXPECT_EQ(m_host.Codes(), (std::vector<int>{30000103, 30000103, 30000102, 0}));
    EXPECT_EQ(m_conn->GetNetState(), S::ES_PRECONNECTED);
    std::string ticket = Conf().strTicket.GetBuffer();
    ASSERT_FALSE(ticket.empty());
    EXPECT_STREQ(m_info->GetLocalValue("ticket").GetBuffer(), ticket.c_str());
    auto ticketResp = m_host.Msgs("TicketResp");
    ASSERT_EQ(ticketResp.size(), 1u);
    EXPECT_EQ(ticketResp[0].param, "<ticket>" + ticket + "</ticket><hostname>lab-pc</hostname><qr>vxra://" + ticket +
                                       "@lab-pc</qr>");
    // Not logged in yet: the state query says so without a message.
    m_host.states.clear();
    EXPECT_EQ(m_conn->CheckConnectState(1), 0);
    EXPECT_TRUE(m_host.states.empty());

    ASSERT_EQ(m_conn->Connect(LoginMessage(" alice ").c_str()), 1);
    EXPECT_EQ(m_host.Codes(), (std::vector<int>{0, 1}));
    EXPECT_EQ(m_host.states[0].newState, S::ES_CONNECTING);
    EXPECT_EQ(m_host.states[1].newState, S::ES_CONNECTED);
    EXPECT_EQ(m_conn->GetConnCfg(), 1);
    EXPECT_FALSE(Conf().strKeepUrl.IsEmpty());
    EXPECT_STREQ(m_info->GetLocalValue("keepRetry").GetBuffer(), "2");
    auto account = m_host.Msgs("SetValue");
    ASSERT_EQ(account.size(), 1u);
    EXPECT_EQ(account[0].param, "<key>DialAccount</key><value>alice</value>");

    EXPECT_EQ(m_conn->KeepPluse(), 1);
    EXPECT_EQ(Conf().iInterval, 30);
    EXPECT_EQ(m_conn->CheckConnectState(1), 1);

    m_host.states.clear();
    EXPECT_EQ(m_conn->DisConnect("2"), 1);
    ASSERT_EQ(m_host.states.size(), 1u);
    EXPECT_EQ(m_host.states[0].oldState, S::ES_DISCONNECTING);
    EXPECT_EQ(m_host.states[0].newState, S::ES_DISCONNECTED);
    EXPECT_EQ(m_host.states[0].code, 1);
    EXPECT_EQ(m_conn->GetConnCfg(), 0);
    // The portal has ended the session: the heartbeat hears 14.
    m_host.states.clear();
    EXPECT_EQ(m_conn->KeepPluse(), -14);
    ASSERT_EQ(m_host.states.size(), 1u);
    EXPECT_EQ(m_host.states[0].newState, S::ES_DISCONNECTED);
    EXPECT_EQ(m_host.states[0].code, 14);
}

TEST_F(PortalConnSimTest, RefusedLoginsAreReportedByTheirCause) {
    struct Case {
        const char* fault;
        const char* user;
        bool extended;
        int code;
        const char* text;  // sub-error or extern
    } cases[] = {
        {"{\"error_code\":105,\"last_login\":\"2026-12-06 <pc1>\"}", "alice", true, 150200, "2026-12-06 &lt;pc1&gt;"},
        {"{\"error_code\":105,\"sub_error\":\"dup\"}", "13800138000@campus", false, 140105, "dup"},
        {"{\"error_code\":105,\"sub_error\":\"dup\"}", "abc", false, 150201, ""},
        {"{\"error_code\":7,\"sub_error\":\"s7\"}", "alice", false, 140007, "s7"},
        {"{\"http_status\":202}", "alice", false, 139999, ""},
    };
    ASSERT_NO_FATAL_FAILURE(StartSim());
    MakeSimConn();
    ASSERT_NO_FATAL_FAILURE(Prepare());
    for (const auto& c : cases) {
        ASSERT_TRUE(m_sim->ClearFault("login"));
        ASSERT_TRUE(m_sim->SetFault("login", c.fault));
        m_host.states.clear();
        EXPECT_EQ(m_conn->Connect(LoginMessage(c.user).c_str()), -1) << c.fault;
        ASSERT_EQ(m_host.states.size(), 2u) << c.fault;
        const StatePost& p = m_host.states[1];
        EXPECT_EQ(p.extended, c.extended) << c.fault;
        EXPECT_EQ(p.oldState, S::ES_CONNECTING);
        EXPECT_EQ(p.newState, S::ES_CONNECTFAIL);
        EXPECT_EQ(p.code, c.code) << c.fault;
        EXPECT_EQ(c.extended ? p.ext : p.sub, c.text) << c.fault;
        if (c.extended) {
            EXPECT_EQ(p.sub, "ConnError");
        }
        EXPECT_EQ(m_conn->GetNetState(), S::ES_CONNECTFAIL);
    }
    // 14 refuses quietly.
    ASSERT_TRUE(m_sim->ClearFault("login"));
    ASSERT_TRUE(m_sim->SetFault("login", "{\"error_code\":14}"));
    m_host.states.clear();
    EXPECT_EQ(m_conn->Connect(LoginMessage("alice").c_str()), -1);
    EXPECT_EQ(m_host.Codes(), std::vector<int>{0});
    // A message that is no document is refused before anything is posted.
    m_host.states.clear();
    EXPECT_EQ(m_conn->Connect("<M><P>"), -1);
    EXPECT_TRUE(m_host.states.empty());
}

TEST_F(PortalConnSimTest, LoginFailingAtHttpLevelIsTriedTwiceThenReported) {
    ASSERT_NO_FATAL_FAILURE(StartSim());
    MakeSimConn();
    ASSERT_NO_FATAL_FAILURE(Prepare());
    ASSERT_TRUE(m_sim->SetFault("login", "{\"http_status\":503}"));
    EXPECT_EQ(m_conn->Connect(LoginMessage("alice").c_str()), -1);
    EXPECT_EQ(Records("login").size(), 2u);
    const StatePost* p = m_host.Last();
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->extended);
    EXPECT_EQ(p->oldState, S::ES_NONE);
    EXPECT_EQ(p->newState, S::ES_CONNECTFAIL);
    EXPECT_EQ(p->code, 150102);
    EXPECT_EQ(p->sub, "HttpError");
    EXPECT_EQ(p->ext, "-3");
}

TEST_F(PortalConnSimTest, InterceptedLoginSwitchesToTheOpenNetwork) {
    ASSERT_NO_FATAL_FAILURE(StartSim());
    MakeSimConn();
    ASSERT_NO_FATAL_FAILURE(Prepare());
    ASSERT_TRUE(m_sim->SetFault("login", "{\"intercept\":\"302\"}"));
    EXPECT_EQ(m_conn->Connect(LoginMessage("alice").c_str()), -8);
    EXPECT_EQ(m_host.unknownEnv, 1);
    EXPECT_EQ(m_host.Last()->code, 150010);
    EXPECT_EQ(m_host.Last()->oldState, S::ES_PRECONNECTING);
    // An intercepted heartbeat logs out instead.
    ASSERT_TRUE(m_sim->ClearFault("login"));
    ASSERT_EQ(m_conn->Connect(LoginMessage("alice").c_str()), 1);
    ASSERT_TRUE(m_sim->SetFault("heartbeat", "{\"intercept\":\"200\"}"));
    // Reported and logged out at once, though retries were left.
    EXPECT_EQ(m_conn->KeepPluse(), 0);
    EXPECT_EQ(m_host.disconnects, std::vector<std::string>{"4"});
    EXPECT_EQ(m_host.Last()->code, 150108);
    EXPECT_EQ(m_host.unknownEnv, 1);
}

TEST_F(PortalConnSimTest, NewModuleIsInstalledAndTheRequestRunsAgainWithIt) {
    ASSERT_NO_FATAL_FAILURE(StartSim());
    MakeSimConn(false);  // no module yet: the portal sends one
    ASSERT_EQ(m_conn->RequestConfig(0), 1);
    m_host.states.clear();
    EXPECT_EQ(m_conn->_RequestTicket(), 2);
    EXPECT_EQ(m_host.Codes(), (std::vector<int>{30000103, 30000103, 30000102, 30000104, 30000105}));
    EXPECT_EQ(m_conn->_RequestTicket(), 1);
    auto tickets = Records("ticket");
    ASSERT_EQ(tickets.size(), 2u);
    EXPECT_EQ(tickets[0].algoId, kNoAlgoId);
    EXPECT_EQ(tickets[0].errorCode, 200);
    EXPECT_EQ(tickets[1].algoId, kSampleAlgoId);
    EXPECT_EQ(tickets[1].errorCode, 0);
}

TEST_F(PortalConnSimTest, ModuleThatWillNotInstallTwiceFailsTheExchange) {
    ASSERT_NO_FATAL_FAILURE(StartSim());
    std::string junk = m_dir / "junk.zxm";
    std::ofstream(junk) << "not a module";
    MakeSimConn();
    ASSERT_NO_FATAL_FAILURE(Prepare());
    ASSERT_TRUE(m_sim->SetFault("login", "{\"module_file\":\"" + junk + "\"}"));
    EXPECT_EQ(m_conn->Connect(LoginMessage("alice").c_str()), -1);
    EXPECT_EQ(Records("login").size(), 2u);
    EXPECT_EQ(m_host.Last()->code, 150003);
    EXPECT_EQ(m_host.Last()->newState, S::ES_CONNECTFAIL);
    // Any other exchange reports it as a failed preparation.
    ASSERT_TRUE(m_sim->SetFault("ticket", "{\"module_file\":\"" + junk + "\"}"));
    EXPECT_EQ(m_conn->_RequestTicket(), -1);
    EXPECT_EQ(m_host.Last()->code, 150003);
    EXPECT_EQ(m_host.Last()->newState, S::ES_PRECONNECTFAIL);
}

TEST_F(PortalConnSimTest, VersionRefusedEndsThePreparation) {
    ASSERT_NO_FATAL_FAILURE(StartSim());
    MakeSimConn();
    ASSERT_EQ(m_conn->RequestConfig(0), 1);
    ASSERT_TRUE(m_sim->SetFault("ticket", "{\"error_code\":3,\"sub_error\":\"old\"}"));
    EXPECT_EQ(m_conn->RequestTicket(), -1);
    EXPECT_EQ(m_host.Last()->code, 140003);
    EXPECT_EQ(m_host.Last()->sub, "old");
    ASSERT_TRUE(m_sim->SetFault("ticket", "{\"error_code\":12}"));
    EXPECT_EQ(m_conn->RequestTicket(), -1);
    EXPECT_EQ(m_host.Last()->code, 140012);
    EXPECT_TRUE(m_host.Msgs("TicketResp").empty());
}

TEST_F(PortalConnSimTest, HeartbeatToleratesTheRetriesThenGivesUp) {
    ASSERT_NO_FATAL_FAILURE(StartSim());
    MakeSimConn();
    ASSERT_NO_FATAL_FAILURE(LogIn());  // keep-retry 2: three failures tolerated
    ASSERT_TRUE(m_sim->SetFault("heartbeat", "{\"error_code\":9,\"sub_error\":\"busy\"}"));
    m_host.states.clear();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(m_conn->KeepPluse(), 0) << i;
    EXPECT_TRUE(m_host.states.empty());
    EXPECT_EQ(m_conn->KeepPluse(), -1);
    ASSERT_EQ(m_host.states.size(), 1u);
    EXPECT_EQ(m_host.states[0].code, 140009);
    EXPECT_EQ(m_host.states[0].sub, "busy");
    EXPECT_EQ(m_host.states[0].oldState, S::ES_CONNECTING);
    EXPECT_EQ(m_host.states[0].newState, S::ES_CONNECTFAIL);

    // An answered heartbeat restores the portal's retry count (2).
    ASSERT_TRUE(m_sim->ClearFault("heartbeat"));
    EXPECT_EQ(m_conn->KeepPluse(), 1);
    ASSERT_TRUE(m_sim->SetFault("heartbeat", "{\"http_status\":500}"));
    m_host.states.clear();
    EXPECT_EQ(m_conn->KeepPluse(), 0);
    EXPECT_EQ(m_conn->KeepPluse(), 0);
    EXPECT_EQ(m_conn->KeepPluse(), -1);
    ASSERT_EQ(m_host.states.size(), 1u);
    EXPECT_EQ(m_host.states[0].code, 150108);
}

TEST_F(PortalConnSimTest, LogoutThatThePortalNoLongerKnowsCountsAsDone) {
    ASSERT_NO_FATAL_FAILURE(StartSim());
    MakeSimConn();
    ASSERT_NO_FATAL_FAILURE(LogIn());  // the logout address comes with the login
    for (const char* fault : {"{\"error_code\":13}", "{\"error_code\":14}"}) {
        ASSERT_TRUE(m_sim->SetFault("logout", fault));
        m_host.states.clear();
        EXPECT_EQ(m_conn->DisConnect("2"), 1) << fault;
        ASSERT_EQ(m_host.states.size(), 1u);
        EXPECT_EQ(m_host.states[0].newState, S::ES_DISCONNECTED);
        EXPECT_EQ(m_host.states[0].code, 1);
    }
    ASSERT_TRUE(m_sim->SetFault("logout", "{\"error_code\":21}"));
    EXPECT_EQ(m_conn->DisConnect("2"), -1);
    EXPECT_EQ(m_host.Last()->code, 140021);
    // Outside a portal the answer does not matter.
    m_host.portalEnv = 0;
    m_host.states.clear();
    EXPECT_EQ(m_conn->DisConnect("2"), 0);
    EXPECT_TRUE(m_host.states.empty());
}

TEST_F(PortalConnSimTest, TicketMovesThroughTheClusterUntilNoServerIsLeft) {
    ASSERT_NO_FATAL_FAILURE(StartSim("\"cluster\":{\"servers\":1}"));
    MakeSimConn();
    ASSERT_EQ(m_conn->RequestConfig(0), 1);
    ASSERT_TRUE(m_sim->StopServer(0));
    EXPECT_EQ(m_conn->RequestTicket(), -99);
    EXPECT_EQ(m_conn->RequestTicket(), 1);  // the cluster server answers
    auto tickets = Records("ticket");
    ASSERT_EQ(tickets.size(), 1u);
    EXPECT_EQ(tickets[0].server, 1);

    ASSERT_TRUE(m_sim->StopServer(1));
    m_host.states.clear();
    EXPECT_EQ(m_conn->_RequestTicket(), -1);
    const StatePost* p = m_host.Last();
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->extended);
    EXPECT_EQ(p->oldState, S::ES_NONE);
    EXPECT_EQ(p->newState, S::ES_PRECONNECTFAIL);
    EXPECT_EQ(p->code, 150103);
    EXPECT_EQ(p->sub, "HttpError");
    EXPECT_EQ(p->ext, "-4");
}

TEST_F(PortalConnSimTest, TerminalExchangesStopAfterThreeRepeats) {
    ASSERT_NO_FATAL_FAILURE(StartSim());
    MakeSimConn();
    ASSERT_NO_FATAL_FAILURE(LogIn());
    CAutoString xml("");
    ASSERT_EQ(m_conn->TerminalRequestData(xml), 1);
    EXPECT_EQ(std::string(xml.GetBuffer()).rfind("<response>", 0), 0u) << xml.GetBuffer();

    // A portal that keeps handing out a module makes every answer "run again".
    std::string fault = "{\"module_file\":\"" + SampleZxm() + "\"}";
    ASSERT_TRUE(m_sim->SetFault("terminal", fault));
    EXPECT_EQ(m_conn->TerminalRequestData(xml), 0);
    EXPECT_EQ(Records("terminal").size(), 1u + 1u + CPortalConn::kMaxRepeats);
    ASSERT_TRUE(m_sim->SetFault("logout", fault));
    EXPECT_EQ(m_conn->TerminalTermRequest("other-ticket"), -1);
    EXPECT_EQ(Records("logout").size(), 1u + CPortalConn::kMaxRepeats);
}

TEST_F(PortalConnSimTest, DestroyLogsOutOnlyARecordedLogin) {
    ASSERT_NO_FATAL_FAILURE(StartSim());
    MakeSimConn();
    ASSERT_NO_FATAL_FAILURE(Prepare());
    m_conn->Destroy();
    EXPECT_TRUE(Records("logout").empty());
    ASSERT_EQ(m_conn->Connect(LoginMessage("alice").c_str()), 1);
    m_conn->Destroy();
    EXPECT_EQ(Records("logout").size(), 1u);
    EXPECT_EQ(m_conn->GetConnCfg(), 0);
}
