#include "UpdateFixture.h"

#include <filesystem>

#include "SimJson.h"

namespace fs = std::filesystem;

void UpdateFixture::SetUp() {
    m_install = m_root / kDirName;
    fs::create_directories(m_install + "/conf");
    fs::create_directories(m_install + "/libs/sub");
    WriteFile(m_install + "/conf/conf.xml", "<conf><version>2.0.1</version></conf>");
    WriteFile(m_install + "/libs/sub/libupdate.so", "library");
    ASSERT_TRUE(m_updater.Write(m_install + "/Korvast"));
    m_info.SetGlobalValue("version", "2.0.1");
    m_info.SetGlobalValue("clientId", "0123456789abcdef");
    m_info.SetGlobalValue("account", "alice");
    m_info.SetGlobalValue("schoolId", "S0001");
}

void UpdateFixture::TearDown() {
    if (m_sim) m_sim->Stop();
    for (const std::string& dir : {m_root.Path(), m_install, Staged(""), fs::current_path().string()})
        EXPECT_FALSE(Exists(dir + "/x")) << "a path reached a shell";
}

void UpdateFixture::StartSim(const std::string& updateJson, const std::string& faultsJson) {
    std::string scenario = "{\"update\":" + updateJson + ",\"faults\":" + faultsJson + "}";
    std::string error;
    if (m_sim) {
        ASSERT_TRUE(m_sim->Scenario().Load(scenario, &error)) << error;
        m_sim->Log().Clear();
    } else {
        SimOptions options;
        options.scenarioJson = scenario;
        m_sim = std::make_unique<CPortalSim>(options);
        ASSERT_TRUE(m_sim->Start(&error)) << error;
    }
    // As the portal's configuration arrives: markup with its brackets escaped.
    m_info.SetGlobalValue("FUN_Update", ("&lt;Update url=\"" + ServerUrl() + "/update\"/&gt;").c_str());
}

std::string UpdateFixture::Packages(const std::vector<std::string>& packages) {
    std::string json;
    for (const std::string& package : packages) json += (json.empty() ? "" : ",") + package;
    return "{\"packages\":[" + json + "]}";
}

std::string UpdateFixture::Package(const std::string& name, const std::string& content,
                                   const std::string& extra) {
    return "{\"name\":\"" + name + "\",\"content\":\"" + content + "\"" + (extra.empty() ? "" : "," + extra) +
           "}";
}

std::string UpdateFixture::RunCheck() {
    CUpdateManager manager(m_install, &m_info);
    testing::internal::CaptureStdout();
    manager.RunCheck();
    return testing::internal::GetCapturedStdout();
}

CUpdateList UpdateFixture::List() const {
    CUpdateList list;
    list.Load(Staged(CUpdateManager::kList));
    return list;
}

std::vector<SimRequest> UpdateFixture::Requests(const std::string& endpoint) const {
    std::vector<SimRequest> requests;
    JsonPtr log = simjson::Parse(m_sim->Log().ToJson(endpoint, 0));
    const cJSON* record = nullptr;
    cJSON_ArrayForEach(record, log.get()) {
        requests.push_back({simjson::Str(record, "path"), simjson::Str(record, "range"),
                            simjson::Print(simjson::Get(record, "query"))});
    }
    return requests;
}

bool UpdateFixture::Exists(const std::string& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}
