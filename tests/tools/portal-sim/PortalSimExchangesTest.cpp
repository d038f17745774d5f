// The simulated portal refuses what the service must never send: the end-to-end
// runs rely on it to catch a malformed request.
#include "SimFixture.h"

namespace {
JsonPtr LastRecord(const std::string& logJson) {
    JsonPtr array = simjson::Parse(logJson);
    int n = cJSON_GetArraySize(array.get());
    return n == 0 ? nullptr : JsonPtr(cJSON_Duplicate(cJSON_GetArrayItem(array.get(), n - 1), 1));
}
}  // namespace

class PortalSimExchangesTest : public SimFixture {};

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
