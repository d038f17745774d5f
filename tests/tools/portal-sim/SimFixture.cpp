#include "SimFixture.h"

#include "SimHttp.h"

void SimFixture::SetUp() {
    std::string error;
    m_module = CSimModule::Load(ModulePath(), &error);
    ASSERT_TRUE(m_module) << error;
}

void SimFixture::TearDown() {
    if (m_sim) m_sim->Stop();
}

std::string SimFixture::ModulePath() { return VELNOR_BIN_DIR "/portal_sim_xor.so"; }

void SimFixture::StartSim(const std::string& extraScenarioMembers) {
    std::string scenario =
        "{\"module\":{\"so\":\"" + ModulePath() + "\",\"algo_id\":\"" + kAlgo + "\",\"key_id\":\"K01\"}";
    if (!extraScenarioMembers.empty()) scenario += "," + extraScenarioMembers;
    scenario += "}";
    SimOptions options;
    options.scenarioJson = scenario;
    m_sim = std::make_unique<CPortalSim>(options);
    std::string error;
    ASSERT_TRUE(m_sim->Start(&error)) << error;
}

httplib::Client SimFixture::Client() const {
    httplib::Client client(m_sim->ServerUrl(0));
    client.set_connection_timeout(5);
    client.set_read_timeout(10);
    return client;
}

SimAnswer SimFixture::ToAnswer(const httplib::Result& result, CSimModule* decoder) {
    SimAnswer answer;
    if (!result) return answer;
    if (result->has_header("Error-Code")) answer.errorCode = result->get_header_value("Error-Code");
    answer.subError = result->get_header_value("Sub-Error");
    answer.body = result->body;
    if (decoder && !answer.body.empty()) decoder->Decode("K01", answer.body, answer.decoded);
    return answer;
}

SimAnswer SimFixture::Post(const std::string& path, const std::string& document,
                           const std::function<void(httplib::Headers&)>& edit) {
    CSimModule* codec = m_module.get();
    std::string body;
    EXPECT_TRUE(codec->Encode(document, body));
    httplib::Headers headers = {{"User-Agent", m_agent},   {"Algo-ID", kAlgo},
                                {"Client-ID", m_clientId}, {"CDC-Checksum", simhttp::Md5Hex(body)},
                                {"CDC-SchoolId", "S0001"}, {"CDC-Domain", "campus"},
                                {"CDC-Area", "north"}};
    if (edit) edit(headers);
    httplib::Client client = Client();
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

std::string SimFixture::Between(const std::string& text, const std::string& open, const std::string& close) {
    size_t start = text.find(open);
    if (start == std::string::npos) return "";
    start += open.size();
    size_t end = text.find(close, start);
    return end == std::string::npos ? "" : text.substr(start, end - start);
}

std::string SimFixture::LogOf(const std::string& endpoint) const { return m_sim->Log().ToJson(endpoint, 0); }
