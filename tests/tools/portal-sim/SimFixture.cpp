#include "SimFixture.h"

#include <fstream>

#include "SimHttp.h"

void SimFixture::SetUp() {
    std::string error;
    m_moduleA = CSimModule::Load(ModulePath('a'), &error);
    m_moduleB = CSimModule::Load(ModulePath('b'), &error);
    ASSERT_TRUE(m_moduleA && m_moduleB) << error;
}

void SimFixture::TearDown() {
    if (m_sim) m_sim->Stop();
}

std::string SimFixture::ModulePath(char variant) {
    return std::string(VELNOR_BIN_DIR) + "/portal_sim_xor_" + variant + ".so";
}

std::string SimFixture::WriteModuleFile(const std::string& name, const std::string& algoId) {
    std::string path = m_dir / name;
    std::ofstream out(path, std::ios::binary);
    out << "K01" << '\x03' << "key" << static_cast<char>(algoId.size()) << algoId << "packed-body-of-"
        << name;
    return path;
}

void SimFixture::StartSim(const std::string& extraScenarioMembers) {
    std::string scenario =
        "{\"module\":{\"so\":\"" + ModulePath('a') + "\",\"algo_id\":\"" + kAlgoA + "\",\"key_id\":\"K01\"}";
    if (!extraScenarioMembers.empty()) scenario += "," + extraScenarioMembers;
    scenario += "}";
    SimOptions options;
    options.scenarioJson = scenario;
    m_sim = std::make_unique<CPortalSim>(options);
    std::string error;
    ASSERT_TRUE(m_sim->Start(&error)) << error;
}

httplib::Client SimFixture::Client(int server) const {
    httplib::Client client(m_sim->ServerUrl(server));
    client.set_connection_timeout(5);
    client.set_read_timeout(10);
    return client;
}

SimAnswer SimFixture::ToAnswer(const httplib::Result& result, CSimModule* decoder) {
    SimAnswer answer;
    if (!result) return answer;
    answer.answered = true;
    answer.status = result->status;
    if (result->has_header("Error-Code")) answer.errorCode = result->get_header_value("Error-Code");
    answer.subError = result->get_header_value("Sub-Error");
    answer.serverTag = result->get_header_value("Server-Tag");
    answer.lastLogin = result->get_header_value("Last-Login");
    answer.location = result->get_header_value("Location");
    answer.body = result->body;
    if (decoder && !answer.body.empty()) decoder->Decode("K01", answer.body, answer.decoded);
    return answer;
}

SimAnswer SimFixture::Post(const std::string& path, const std::string& document,
                           const std::function<void(httplib::Headers&)>& edit, char module, int server) {
    CSimModule* codec = module == 'a' ? m_moduleA.get() : m_moduleB.get();
    std::string body;
    EXPECT_TRUE(codec->Encode(document, body));
    httplib::Headers headers = {{"User-Agent", m_agent},   {"Algo-ID", module == 'a' ? kAlgoA : kAlgoB},
                                {"Client-ID", m_clientId}, {"CDC-Checksum", simhttp::Md5Hex(body)},
                                {"CDC-SchoolId", "S0001"}, {"CDC-Domain", "campus"},
                                {"CDC-Area", "north"}};
    if (edit) edit(headers);
    httplib::Client client = Client(server);
    return ToAnswer(client.Post(path.c_str(), headers, body, "text/xml"), codec);
}

std::string SimFixture::TicketDoc() const {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><request><ostag>linux64</ostag>"
           "<local-time>2026-12-06 10:00:00</local-time><mac>02:00:00:77:00:02</mac><ipv6></ipv6>"
           "<ipv4>10.77.0.2</ipv4><client-id>" +
           m_clientId + "</client-id><user-agent>" + m_agent +
           "</user-agent><host-name>desk</host-name></request>";
}

std::string SimFixture::LoginDoc(const std::string& ticket, const std::string& user,
                                 const std::string& password) const {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><request><local-time>2026-12-06 10:00:01</local-time>"
           "<ticket>" +
           ticket + "</ticket><passwd><![CDATA[" + password + "]]></passwd><userid><![CDATA[" + user +
           "]]></userid><client-id>" + m_clientId + "</client-id><user-agent>" + m_agent +
           "</user-agent></request>";
}

std::string SimFixture::SimpleDoc(const std::string& exchange, const std::string& ticket,
                                  const std::string& extra) const {
    std::string tail = "<client-id>" + m_clientId + "</client-id><user-agent>" + m_agent + "</user-agent>";
    std::string time = "<local-time>2026-12-06 10:00:02</local-time>";
    std::string t = "<ticket>" + ticket + "</ticket>";
    std::string inner;
    if (exchange == "heartbeat") {
        inner = extra + time + "<mac>02:00:00:77:00:02</mac><ipv6></ipv6><ipv4>10.77.0.2</ipv4>" + t + tail;
    } else if (exchange == "logout") {
        inner = "<reason>" + extra + "</reason>" + time + t + tail;
    } else if (exchange == "state") {
        inner = time + t + tail;
    } else {
        inner = time + tail;
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><request>" + inner + "</request>";
}

std::string SimFixture::Between(const std::string& text, const std::string& open, const std::string& close) {
    size_t start = text.find(open);
    if (start == std::string::npos) return "";
    start += open.size();
    size_t end = text.find(close, start);
    return end == std::string::npos ? "" : text.substr(start, end - start);
}

std::string SimFixture::LogIn(const std::string& user, const std::string& password) {
    SimAnswer ticket = Post("/portal/ticket", TicketDoc());
    std::string value = Between(ticket.decoded, "<ticket>", "</ticket>");
    SimAnswer login = Post("/portal/auth", LoginDoc(value, user, password));
    EXPECT_EQ(login.errorCode, "0") << login.subError;
    return value;
}

std::string SimFixture::LogOf(const std::string& endpoint) const { return m_sim->Log().ToJson(endpoint, 0); }
