// The simulated portal's session exchanges, driven with hand-built requests.
#include "SimFixture.h"

namespace {
JsonPtr LastRecord(const std::string& logJson) {
    JsonPtr array = simjson::Parse(logJson);
    int n = cJSON_GetArraySize(array.get());
    if (n == 0) return nullptr;
    return JsonPtr(cJSON_Duplicate(cJSON_GetArrayItem(array.get(), n - 1), 1));
}
}  // namespace

class PortalSimExchangesTest : public SimFixture {};

TEST_F(PortalSimExchangesTest, GoodTicketAndLoginAreAnsweredAndRemembered) {
    StartSim("\"accounts\":{\"alice\":\"s<e>c&\"},\"answers\":{\"keep_retry\":3}");
    SimAnswer ticket = Post("/portal/ticket", TicketDoc());
    ASSERT_EQ(ticket.errorCode, "0") << ticket.subError;
    EXPECT_EQ(ticket.serverTag, "portal-sim-0");
    std::string value = Between(ticket.decoded, "<ticket>", "</ticket>");
    ASSERT_FALSE(value.empty()) << ticket.decoded;
    EXPECT_EQ(Between(ticket.decoded, "<expire>", "</expire>"), "3600");

    SimAnswer login = Post("/portal/auth", LoginDoc(value, "alice", "s<e>c&"));
    ASSERT_EQ(login.errorCode, "0") << login.subError;
    EXPECT_EQ(Between(login.decoded, "<userid>", "</userid>"), "alice");
    EXPECT_EQ(Between(login.decoded, "<keep-retry>", "</keep-retry>"), "3");
    EXPECT_EQ(Between(login.decoded, "<keep-url>", "</keep-url>"), m_sim->ServerUrl(0) + "/portal/keep");
    EXPECT_EQ(Between(login.decoded, "<term-url>", "</term-url>"), m_sim->ServerUrl(0) + "/portal/term");

    JsonPtr sessions = simjson::Parse(m_sim->Sessions().ToJson());
    const cJSON* session = cJSON_GetObjectItem(sessions.get(), m_clientId.c_str());
    EXPECT_TRUE(simjson::Bool(session, "logged_in"));
    EXPECT_EQ(simjson::Str(session, "account"), "alice");
    EXPECT_EQ(simjson::Str(session, "ticket"), value);

    JsonPtr record = LastRecord(LogOf("login"));
    ASSERT_TRUE(record);
    EXPECT_EQ(simjson::Str(record.get(), "fields.passwd"), "s<e>c&");
    EXPECT_EQ(simjson::Str(record.get(), "fields.userid"), "alice");
    EXPECT_EQ(cJSON_GetArraySize(cJSON_GetObjectItem(record.get(), "problems")), 0);
    EXPECT_EQ(simjson::Int(record.get(), "error_code", -1), 0);
}

TEST_F(PortalSimExchangesTest, WrongPasswordAndForeignTicketAreRefused) {
    StartSim("\"accounts\":{\"alice\":\"secret\"},\"answers\":{\"bad_password_code\":11}");
    SimAnswer ticket = Post("/portal/ticket", TicketDoc());
    std::string value = Between(ticket.decoded, "<ticket>", "</ticket>");
    SimAnswer wrong = Post("/portal/auth", LoginDoc(value, "alice", "guess"));
    EXPECT_EQ(wrong.errorCode, "11");
    EXPECT_EQ(wrong.subError, "bad-password");
    SimAnswer foreign = Post("/portal/auth", LoginDoc("TK-not-issued", "alice", "secret"));
    EXPECT_EQ(foreign.errorCode, "1");
    EXPECT_EQ(foreign.subError, "bad-ticket");
}

TEST_F(PortalSimExchangesTest, RequestsFailingACheckAreRefusedWithTheCheckNamed) {
    StartSim();
    std::string ticketDoc = TicketDoc();
    std::string swapped = ticketDoc;
    swapped.replace(swapped.find("<ostag>linux64</ostag>"), 22, "");
    swapped.replace(swapped.find("</request>"), 0, "<ostag>linux64</ostag>");
    struct Case {
        const char* name;
        std::string path;
        std::string document;
        std::function<void(httplib::Headers&)> edit;
        const char* subError;
    };
    auto set = [](const char* name, const char* value) {
        return [=](httplib::Headers& h) {
            h.erase(name);
            if (value) h.emplace(name, value);
        };
    };
    const Case cases[] = {
        {"checksum of another body", "/portal/ticket", ticketDoc,
         set("CDC-Checksum", "00000000000000000000000000000000"), "bad-checksum"},
        {"no checksum", "/portal/ticket", ticketDoc, set("CDC-Checksum", nullptr), "bad-checksum"},
        {"browser user agent", "/portal/ticket", ticketDoc, set("User-Agent", "Mozilla/5.0"), "bad-user-agent"},
        {"no client id", "/portal/ticket", ticketDoc, set("Client-ID", nullptr), "no-client-id"},
        {"all-zero algorithm id", "/portal/ticket", ticketDoc,
         set("Algo-ID", "00000000-0000-0000-0000-000000000000"), "bad-algo-id"},
        {"school headers missing", "/portal/ticket", ticketDoc, set("CDC-SchoolId", nullptr), "bad-school-headers"},
        {"elements out of order", "/portal/ticket", swapped, nullptr, "bad-document"},
        {"wrong root", "/portal/state", "<answer><local-time>x</local-time></answer>", nullptr, "bad-document"},
        {"password not in CDATA", "/portal/auth",
         "<request><local-time>t</local-time><ticket>x</ticket><passwd>plain</passwd>"
         "<userid><![CDATA[alice]]></userid><client-id>" + m_clientId + "</client-id><user-agent>" + m_agent +
             "</user-agent></request>",
         nullptr, "bad-document"},
        {"client id element differs", "/portal/state",
         "<request><local-time>t</local-time><ticket>x</ticket><client-id>other</client-id><user-agent>" + m_agent +
             "</user-agent></request>",
         nullptr, "client-id-mismatch"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimAnswer answer = Post(c.path, c.document, c.edit);
        EXPECT_EQ(answer.errorCode, "1");
        EXPECT_EQ(answer.subError, c.subError);
        JsonPtr record = LastRecord(LogOf(""));
        ASSERT_TRUE(record);
        const cJSON* problems = cJSON_GetObjectItem(record.get(), "problems");
        ASSERT_GT(cJSON_GetArraySize(problems), 0);
        EXPECT_EQ(std::string(cJSON_GetArrayItem(problems, 0)->valuestring).rfind(c.subError, 0), 0u);
    }
}

TEST_F(PortalSimExchangesTest, ChecksCanBeRecordedWithoutRefusing) {
    StartSim("\"checks\":{\"enforce\":false}");
    SimAnswer answer = Post("/portal/ticket", TicketDoc(), [](httplib::Headers& h) {
        h.erase("CDC-Checksum");
        h.emplace("CDC-Checksum", "bad");
    });
    EXPECT_EQ(answer.errorCode, "0");
    EXPECT_NE(LogOf("ticket").find("bad-checksum"), std::string::npos);
}

TEST_F(PortalSimExchangesTest, SessionLifecycleFollowsHeartbeatStateAndLogout) {
    StartSim("\"answers\":{\"interval\":7,\"level\":2}");
    SimAnswer early = Post("/portal/keep", SimpleDoc("heartbeat", "TK-none"));
    EXPECT_EQ(early.errorCode, "14");
    std::string ticket = LogIn();

    SimAnswer beat = Post("/portal/keep", SimpleDoc("heartbeat", ticket, "<shared>2</shared>"));
    ASSERT_EQ(beat.errorCode, "0") << beat.subError;
    EXPECT_EQ(Between(beat.decoded, "<interval>", "</interval>"), "7");
    EXPECT_EQ(Between(beat.decoded, "<level>", "</level>"), "2");
    EXPECT_EQ(Post("/portal/state", SimpleDoc("state", ticket)).errorCode, "0");

    EXPECT_EQ(Post("/portal/term", SimpleDoc("logout", ticket, "2")).errorCode, "0");
    EXPECT_EQ(Post("/portal/term", SimpleDoc("logout", ticket, "7")).errorCode, "13");
    EXPECT_EQ(Post("/portal/state", SimpleDoc("state", ticket)).errorCode, "300");
    EXPECT_EQ(Post("/portal/keep", SimpleDoc("heartbeat", ticket)).errorCode, "14");

    JsonPtr sessions = simjson::Parse(m_sim->Sessions().ToJson());
    const cJSON* session = cJSON_GetObjectItem(sessions.get(), m_clientId.c_str());
    EXPECT_EQ(simjson::Int(session, "heartbeats"), 1);
    EXPECT_EQ(simjson::Str(session, "last_shared"), "2");
    EXPECT_EQ(simjson::Print(cJSON_GetObjectItem(session, "logout_reasons")), "[\"2\",\"7\"]");
    EXPECT_FALSE(simjson::Bool(session, "logged_in", true));
}

TEST_F(PortalSimExchangesTest, LoginAnswerCarriesTheScenarioSettings) {
    StartSim(
        "\"answers\":{\"user_config\":\"<user-config><against-interval>60</against-interval></user-config>\","
        "\"domain_config\":\"<domain-config><dns1>1.2.3.4</dns1><dns2>5.6.7.8</dns2></domain-config>\","
        "\"keep_url\":\"http://127.0.0.1:1/k\",\"term_url\":\"http://127.0.0.1:1/t\"}");
    SimAnswer ticket = Post("/portal/ticket", TicketDoc());
    SimAnswer login = Post("/portal/auth", LoginDoc(Between(ticket.decoded, "<ticket>", "</ticket>"), "bob", "x"));
    EXPECT_NE(login.decoded.find("<user-config><against-interval>60</against-interval></user-config>"),
              std::string::npos);
    EXPECT_NE(login.decoded.find("<dns1>1.2.3.4</dns1>"), std::string::npos);
    EXPECT_EQ(Between(login.decoded, "<keep-url>", "</keep-url>"), "http://127.0.0.1:1/k");
    EXPECT_EQ(Between(login.decoded, "<term-url>", "</term-url>"), "http://127.0.0.1:1/t");
}

TEST_F(PortalSimExchangesTest, TerminalListNamesOtherClientsOfTheAccount) {
    StartSim();
    LogIn("carol", "pw");
    std::string firstClient = m_clientId;
    m_clientId = "ffffffffffffffffffffffffffffffff";
    LogIn("carol", "pw");
    SimAnswer list = Post("/portal/query", SimpleDoc("terminal", ""));
    ASSERT_EQ(list.errorCode, "0");
    EXPECT_NE(list.decoded.find("<client-id>" + firstClient + "</client-id>"), std::string::npos) << list.decoded;
    EXPECT_EQ(list.decoded.find("<client-id>" + m_clientId + "</client-id>"), std::string::npos);
}

TEST_F(PortalSimExchangesTest, OutdatedModuleIsAnsweredWithTheCurrentModuleFile) {
    StartSim();
    std::string fileB = WriteModuleFile("b.zxm", kAlgoB);
    ASSERT_TRUE(m_sim->Scenario().Merge("{\"module\":{\"so\":\"" + ModulePath('b') + "\",\"zxm\":\"" + fileB +
                                            "\",\"algo_id\":null,\"key_id\":null},\"modules\":[{\"so\":\"" +
                                            ModulePath('a') + "\",\"algo_id\":\"" + kAlgoA + "\"}]}",
                                        nullptr));
    SimAnswer old = Post("/portal/ticket", TicketDoc(), nullptr, 'a');
    EXPECT_EQ(old.errorCode, "200");
    EXPECT_EQ(old.body, simhttp::ReadFile(fileB, nullptr));
    // The request was still decoded with the module it was made with.
    EXPECT_NE(LogOf("ticket").find("\"ostag\":\"linux64\""), std::string::npos);

    SimAnswer renewed = Post("/portal/ticket", TicketDoc(), nullptr, 'b');
    EXPECT_EQ(renewed.errorCode, "0") << renewed.subError;
    EXPECT_FALSE(Between(renewed.decoded, "<ticket>", "</ticket>").empty());
}
