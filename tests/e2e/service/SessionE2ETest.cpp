// Preparation, login, heartbeats and logout of VelnorSvr against the portal
// simulator, seen from the desktop client's side of the FIFOs.
#include <algorithm>
#include <sstream>

#include "ServiceRun.h"

namespace {
using Strings = std::vector<std::string>;

class SessionE2E : public ServiceRun {};

const char kFreshAlgo[] = "0b7e1c52-9d3a-4f60-8e21-5a4c3b2d1e0f";

long Occurrences(const Strings& list, const std::string& item) {
    return std::count(list.begin(), list.end(), item);
}

}  // namespace

// One run from start to logout: progress messages, a second ClientStart,
// markup in the credentials, heartbeats, logouts answered normally or with
// the codes of a session the portal no longer knows, and a heartbeat refused once.
TEST_F(SessionE2E, StartLoginHeartbeatsAndLogouts) {
    const std::string account = "a<b&c>d", password = "p\"w<&>'d";
    ASSERT_TRUE(Run(R"({"answers":{"interval":1,"keep_retry":2},"accounts":{"a<b&c>d":"p\"w<&>'d"}})"));
    ASSERT_TRUE(Prepare());
    EXPECT_EQ(States(), (Strings{"33/30000101", "33/30000103", "33/30000103", "33/30000102", "31/0"}));
    auto ticket = m_client->WaitForOpc("TicketResp", kWait);
    EXPECT_TRUE(ticket && !ticket->Param("ticket").empty());

    m_client->SendLogin(account, password);
    ASSERT_TRUE(WaitState(2)) << ::testing::PrintToString(States());
    Strings states = States();
    EXPECT_EQ(Strings(states.end() - 2, states.end()), (Strings{"1/0", "2/1"}))
        << ::testing::PrintToString(states);
    EXPECT_TRUE(m_sim->WaitForRequests("heartbeat", 3, kWait));
    EXPECT_EQ(Requests("login").at(0)["userid"], account);

    // A second client start keeps the running engine and replays the last state.
    m_client->Send("ClientStart", "");
    EXPECT_EQ(NextState(31), "0>31/0");
    auto replay = m_client->WaitFor([](const Envelope& e) { return e.opc == "NetStateMessageResp"; }, kWait);
    EXPECT_TRUE(replay && replay->NewState() == 2 && replay->ErrorCode() == 1);
    EXPECT_FALSE(m_client->WaitForOpc("ClientStartComplete", milliseconds(500)));

    auto logInAgain = [&] {
        m_client->Send("CheckEnv", "");
        return WaitState(31) && m_client->SendLogin(account, password) && WaitState(2);
    };
    for (const char* code : {"0", "13", "14"}) {
        SCOPED_TRACE(std::string("logout answered with ") + code);
        if (std::string(code) != "0") {
            ASSERT_TRUE(logInAgain());
            ASSERT_TRUE(m_sim->SetFault("logout", std::string(R"({"error_code":)") + code + "}"));
        }
        long tickets = Count("ticket");
        m_client->SendLogout();
        EXPECT_EQ(NextState(12), "11>12/1");
        EXPECT_EQ(Requests("logout").back()["reason"], "2");
        // The client answers a logout with "CheckEnv"; until then nothing is asked.
        if (std::string(code) == "0") {
            EXPECT_FALSE(m_sim->WaitForRequests("ticket", tickets + 1, milliseconds(1500)));
        }
        ASSERT_TRUE(m_sim->ClearFault("logout"));
    }

    ASSERT_TRUE(logInAgain());
    ASSERT_TRUE(m_sim->SetFault("heartbeat", R"({"error_code":14,"times":1})"));
    EXPECT_EQ(NextState(12), "2>12/14");
}

// The account's kind decides what a 105 means; the other codes are the
// session's unit table.
// How the preparation ends: module updates, refusals and server failover.
struct PrepCase {
    const char* name;
    std::string scenario;  // "@BIN@": the program directory; "@NEW@": the module repacked as kFreshAlgo
    std::vector<int> stopped;
    // Every state message: "round" is a network check with its ticket
    // request, "ticket" the request alone, a bare number a progress message,
    // the last one the outcome.
    std::string states;
    std::string sub, ext;  // subErrCode, or subType and extern of the extended message
    long tickets;          // ticket requests the running servers received
};
void PrintTo(const PrepCase& c, std::ostream* os) { *os << c.name; }

class PrepE2E : public ServiceRun, public ::testing::WithParamInterface<PrepCase> {};

const PrepCase kPrepCases[] = {
    {"EndlessModuleUpdateIsBounded",
     R"({"faults":{"ticket":{"module_file":"@NEW@"}}})",
     {},
     "round 30000104 30000105 ticket 30000104 30000105 ticket 30000104 30000105 32/150003",
     "",
     "",
     3},
    {"RefusedVersion",
     R"({"faults":{"ticket":{"error_code":3,"sub_error":"too old"}}})",
     {},
     "round 32/140003",
     "too old",
     "",
     1},
    // Server 0 serves the page pointing at the stopped server 1; the cluster
    // servers' own pages point at themselves. The second check's page comes
    // from the cluster.
    {"TicketFailsOverToALiveClusterServer",
     R"({"cluster":{"servers":3,"announce":[1,2,3]},"config":{"base_server":[1]}})",
     {1},
     "round round 31/0",
     "",
     "",
     1},
    // The second check's page request takes the last server and fails.
    {"ClusterUsedUpByThePageRequest",
     R"({"cluster":{"servers":2,"announce":[1,2]},"config":{"base_server":1}})",
     {1, 2},
     "round 30000101 32/20010207",
     "",
     "",
     0},
    // The fallback goes to the public probe, which has no route from here.
    {"DeadDetectPageFallsBackToThePublicProbe",
     R"({"probe":{"mode":"detect"},"faults":{"detect":{"http_status":503}}})",
     {},
     "30000101 32/20010207",
     "",
     "",
     0},
};

INSTANTIATE_TEST_SUITE_P(Cases, PrepE2E, ::testing::ValuesIn(kPrepCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(PrepE2E, PreparationEndsAsExpected) {
    const PrepCase& c = GetParam();
    std::string scenario = c.scenario;
    for (auto [key, value] : {std::pair<std::string, std::string>{"@BIN@", BinDir()}, {"@NEW@", ""}}) {
        for (size_t at; (at = scenario.find(key)) != std::string::npos;)
            scenario.replace(at, key.size(), value.empty() ? RepackedModule(kFreshAlgo) : value);
    }
    Strings expected;
    std::istringstream words(c.states);
    for (std::string w; words >> w;) {
        if (w == "round") expected.push_back("33/30000101");
        if (w == "round" || w == "ticket") {
            expected.insert(expected.end(), {"33/30000103", "33/30000103", "33/30000102"});
        } else {
            expected.push_back(w.find('/') == std::string::npos ? "33/" + w : w);
        }
    }
    ASSERT_TRUE(StartSim(scenario));
    ASSERT_TRUE(m_ns.WriteResolvConf("nameserver 127.0.0.1\n"));  // no name resolves
    for (int server : c.stopped) ASSERT_TRUE(m_sim->StopServer(server));
    ASSERT_TRUE(StartService());
    ASSERT_TRUE(m_client->Handshake(kWait));
    int endState = std::stoi(expected.back());
    auto end = WaitState(endState, milliseconds(60000));
    ASSERT_TRUE(end) << ::testing::PrintToString(States());
    EXPECT_EQ(States(), expected);
    EXPECT_EQ(end->Param(c.ext.empty() ? "subErrCode" : "subType"), c.sub);
    EXPECT_EQ(end->Param("extern"), c.ext);
    auto tickets = Requests("ticket");
    EXPECT_EQ(static_cast<long>(tickets.size()), c.tickets);
    if (endState == 32) {
        // Given up for good: nothing more is asked of any server.
        EXPECT_FALSE(m_sim->WaitForRequests("", Count("") + 1, milliseconds(1500)));
    } else if (!c.stopped.empty()) {
        std::string server = tickets.back()["_server"];
        EXPECT_TRUE(server == "2" || server == "3") << "ticket served by " << server;
    }
    if (std::string(c.name) == "DeadDetectPageFallsBackToThePublicProbe") {
        EXPECT_NE(ServiceLog().find("requestConfig is :http://www.example.com\n"), std::string::npos);
        EXPECT_EQ(Count("probe"), 1);
        EXPECT_EQ(Count("detect"), 1);
    }
    if (std::string(c.name) == "ModuleUpdateRepeatsWithTheNewAlgorithm") {
        EXPECT_NE(tickets.front()["_algo"], kFreshAlgo);
        EXPECT_EQ(tickets.back()["_algo"], kFreshAlgo);
    }
}

// The record of a login survives the run; found with no portal in the way it
// is closed with reason 5 and a new check finds the open network.
TEST_F(SessionE2E, RecordedLoginWithoutPortalIsClosedThenOnLineWithoutOne) {
    ASSERT_TRUE(StartSim(R"({"probe":{"mode":"none"}})"));
    ServiceOptions options;
    options.values = {{"connState", "1"}, {"termUrl", m_sim->ServerUrls()[0] + "/portal/term"}};
    ASSERT_TRUE(StartService(options));
    ASSERT_TRUE(m_client->Handshake(kWait));
    auto online = WaitState(2);
    ASSERT_TRUE(online);
    EXPECT_EQ(online->Param("type"), "0");
    EXPECT_EQ(online->ErrorCode(), 0);
    Strings states = States();
    EXPECT_EQ(Occurrences(states, "33/30000106"), 1);
    EXPECT_EQ(Occurrences(states, "33/30000101"), 2);
    EXPECT_EQ(Requests("logout").at(0)["reason"], "5");
    EXPECT_EQ(Count("ticket"), 0);
    EXPECT_NE(m_install->ReadFile("conf/conf.xml").find("<connState>0</connState>"), std::string::npos);
}

// A terminal list that would close the envelope reaches the client as text.
TEST_F(SessionE2E, TerminalListIsEmbeddedOnlyAsOneElement) {
    ASSERT_TRUE(Run());
    ASSERT_TRUE(LogIn());
    for (std::string list :
         {"<terminals><terminal><ticket>T</ticket></terminal></terminals>",
          "</response></P></M><M><OpS>Portal</OpS><OpT>NetModule</OpT><OpC>Injected</OpC><P>"
          "<response>"}) {
        SCOPED_TRACE(list);
        ASSERT_TRUE(m_sim->MergeScenario(R"({"answers":{"terminals":")" + list + R"("}})"));
        m_client->Send("GetTerminalData", "");
        auto data = m_client->WaitForOpc("SetTerminalData", kWait);
        ASSERT_TRUE(data);
        bool embedded = list.rfind("<terminals>", 0) == 0;
        EXPECT_EQ(data->raw.find("<response><terminals><terminal>") != std::string::npos, embedded)
            << data->raw;
        EXPECT_EQ(data->raw.find("<M>", 1), std::string::npos) << data->raw;
        EXPECT_NE(data->raw.find("<host>"), std::string::npos);
    }
}

TEST_F(SessionE2E, AnswersWithoutLifetimeOrIntervalNeverRepeatAtOnce) {
    ASSERT_TRUE(Run(R"({"answers":{"expire":"","interval":""}})"));
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(m_sim->WaitForRequests("heartbeat", 1, kWait));
    EXPECT_FALSE(m_sim->WaitForRequests("heartbeat", 3, milliseconds(3000)));
    EXPECT_LE(Count("ticket"), 1);
}

// Heartbeats failing from the first one: retried every second until the
// login's tolerance is used up, then logged out with reason 3; a portal
// that keeps sending modules is given up on the same way.
struct BeatCase {
    const char* name;
    std::string scenario;  // "@BIN@": the program directory
    Strings states;        // after connected, up to the logout
    long beats;            // heartbeat requests sent
};
void PrintTo(const BeatCase& c, std::ostream* os) { *os << c.name; }

class BeatE2E : public ServiceRun, public ::testing::WithParamInterface<BeatCase> {};

const BeatCase kBeatCases[] = {
    {"RefusedWithKeepRetryTwo",
     R"({"answers":{"keep_retry":2},"faults":{"heartbeat":{"error_code":9}}})",
     {"3/140009", "12/1"},
     4},
    {"HttpErrorWithKeepRetryZero",
     R"({"answers":{"keep_retry":0},"faults":{"heartbeat":{"http_status":500}}})",
     {"3/150108", "12/1"},
     4},  // each failure is sent twice
    // (Module progress is not shown while connected.)
    {"ModuleOnEveryHeartbeat",
     R"({"faults":{"heartbeat":{"module_file":"@BIN@/zxmAlogic.zxm"}}})",
     {"32/150003", "12/1"},
     3},
};

INSTANTIATE_TEST_SUITE_P(Cases, BeatE2E, ::testing::ValuesIn(kBeatCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(BeatE2E, FailingHeartbeatsEndInLogoutThree) {
    const BeatCase& c = GetParam();
    std::string scenario = c.scenario;
    if (size_t at = scenario.find("@BIN@"); at != std::string::npos) scenario.replace(at, 5, BinDir());
    ASSERT_TRUE(Run(scenario));
    ASSERT_TRUE(LogIn());
    // Seconds, not the minute a heartbeat period defaults to.
    ASSERT_TRUE(WaitState(12, milliseconds(15000))) << ::testing::PrintToString(States());
    Strings states = States();
    auto connected = std::find(states.begin(), states.end(), "2/1");
    auto loggedOut = std::find(connected, states.end(), "12/1");
    ASSERT_NE(loggedOut, states.end());
    EXPECT_EQ(Strings(connected + 1, loggedOut + 1), c.states);
    ASSERT_EQ(Count("logout"), 1);
    EXPECT_EQ(Requests("logout")[0]["reason"], "3");
    EXPECT_EQ(Count("heartbeat"), c.beats);
}
