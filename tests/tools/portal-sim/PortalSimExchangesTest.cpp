// The simulated portal's session exchanges, driven with hand-built requests.
#include "SimFixture.h"

namespace {
JsonPtr LastRecord(const std::string& logJson) {
    JsonPtr array = simjson::Parse(logJson);
    int n = cJSON_GetArraySize(array.get());
    return n == 0 ? nullptr : JsonPtr(cJSON_Duplicate(cJSON_GetArrayItem(array.get(), n - 1), 1));
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

    JsonPtr record = LastRecord(LogOf("login"));
    ASSERT_TRUE(record);
    EXPECT_EQ(simjson::Str(record.get(), "fields.passwd"), "s<e>c&");
    EXPECT_EQ(simjson::Str(record.get(), "fields.userid"), "alice");
    EXPECT_EQ(cJSON_GetArraySize(cJSON_GetObjectItem(record.get(), "problems")), 0);
    EXPECT_EQ(simjson::Int(record.get(), "error_code", -1), 0);
}

TEST_F(PortalSimExchangesTest, RefusedRequestsNameTheirCause) {
    StartSim("\"accounts\":{\"alice\":\"secret\"},\"answers\":{\"bad_password_code\":11}");
    std::string ticket = Between(Post("/portal/ticket", TicketDoc()).decoded, "<ticket>", "</ticket>");
    std::string ticketDoc = TicketDoc();
    std::string swapped = ticketDoc;
    swapped.replace(swapped.find("<ostag>linux64</ostag>"), 22, "");
    swapped.replace(swapped.find("</request>"), 0, "<ostag>linux64</ostag>");
    auto set = [](const char* name, const char* value) {
        return [=](httplib::Headers& h) {
            h.erase(name);
            if (value) h.emplace(name, value);
        };
    };
    struct Case {
        const char* name;
        std::string path, document;
        std::function<void(httplib::Headers&)> edit;
        const char* errorCode;
        const char* subError;
        bool failedCheck;  // logged as a problem of the request itself
    };
    const Case cases[] = {
        {"checksum of another body", "/portal/ticket", ticketDoc,
         set("CDC-Checksum", "00000000000000000000000000000000"), "1", "bad-checksum", true},
        {"no checksum", "/portal/ticket", ticketDoc, set("CDC-Checksum", nullptr), "1", "bad-checksum", true},
        {"browser user agent", "/portal/ticket", ticketDoc, set("User-Agent", "Mozilla/5.0"), "1",
         "bad-user-agent", true},
        {"no client id", "/portal/ticket", ticketDoc, set("Client-ID", nullptr), "1", "no-client-id", true},
        {"all-zero algorithm id", "/portal/ticket", ticketDoc,
         set("Algo-ID", "00000000-0000-0000-0000-000000000000"), "1", "bad-algo-id", true},
        {"school headers missing", "/portal/ticket", ticketDoc, set("CDC-SchoolId", nullptr), "1",
         "bad-school-headers", true},
        {"elements out of order", "/portal/ticket", swapped, nullptr, "1", "bad-document", true},
        {"wrong root", "/portal/state", "<answer><local-time>x</local-time></answer>", nullptr, "1",
         "bad-document", true},
        {"password not in CDATA", "/portal/auth",
         "<request><local-time>t</local-time><ticket>x</ticket><passwd>plain</passwd>"
         "<userid><![CDATA[alice]]></userid><client-id>" +
             m_clientId + "</client-id><user-agent>" + m_agent + "</user-agent></request>",
         nullptr, "1", "bad-document", true},
        {"client id element differs", "/portal/state",
         "<request><local-time>t</local-time><ticket>x</ticket><client-id>other</client-id><user-agent>" +
             m_agent + "</user-agent></request>",
         nullptr, "1", "client-id-mismatch", true},
        {"wrong password", "/portal/auth", LoginDoc(ticket, "alice", "guess"), nullptr, "11", "bad-password",
         false},
        {"ticket never issued", "/portal/auth", LoginDoc("TK-not-issued", "alice", "secret"), nullptr, "1",
         "bad-ticket", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimAnswer answer = Post(c.path, c.document, c.edit);
        EXPECT_EQ(answer.errorCode, c.errorCode);
        EXPECT_EQ(answer.subError, c.subError);
        if (!c.failedCheck) continue;
        JsonPtr record = LastRecord(LogOf(""));
        ASSERT_TRUE(record);
        const cJSON* problems = cJSON_GetObjectItem(record.get(), "problems");
        ASSERT_GT(cJSON_GetArraySize(problems), 0);
        EXPECT_EQ(std::string(cJSON_GetArrayItem(problems, 0)->valuestring).rfind(c.subError, 0), 0u);
    }
}

TEST_F(PortalSimExchangesTest, SessionLifecycleFollowsHeartbeatStateAndLogout) {
    StartSim("\"answers\":{\"interval\":7,\"level\":2}");
    EXPECT_EQ(Post("/portal/keep", SimpleDoc("heartbeat", "TK-none")).errorCode, "14");
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
}

TEST_F(PortalSimExchangesTest, TerminalListNamesOtherClientsOfTheAccount) {
    StartSim();
    LogIn("carol", "pw");
    std::string firstClient = m_clientId;
    m_clientId = "ffffffffffffffffffffffffffffffff";
    LogIn("carol", "pw");
    SimAnswer list = Post("/portal/query", SimpleDoc("terminal", ""));
    ASSERT_EQ(list.errorCode, "0");
    EXPECT_NE(list.decoded.find("<client-id>" + firstClient + "</client-id>"), std::string::npos)
        << list.decoded;
    EXPECT_EQ(list.decoded.find("<client-id>" + m_clientId + "</client-id>"), std::string::npos);
}
