#include "ServiceRun.h"

#include <cjson/cJSON.h>
#include <dirent.h>
#include <sys/stat.h>

#include <fstream>
#include <iostream>
#include <sstream>

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string JsonString(const std::string& text) {
    cJSON* value = cJSON_CreateString(text.c_str());
    char* printed = cJSON_PrintUnformatted(value);
    std::string out = printed ? printed : "\"\"";
    cJSON_free(printed);
    cJSON_Delete(value);
    return out;
}

// JSON merge patch: objects merge, anything else replaces.
void Merge(cJSON* target, const cJSON* patch) {
    const cJSON* item = nullptr;
    cJSON_ArrayForEach(item, patch) {
        cJSON* existing = cJSON_GetObjectItemCaseSensitive(target, item->string);
        if (existing && cJSON_IsObject(existing) && cJSON_IsObject(item)) {
            Merge(existing, item);
        } else {
            cJSON_DeleteItemFromObjectCaseSensitive(target, item->string);
            cJSON_AddItemToObject(target, item->string, cJSON_Duplicate(item, true));
        }
    }
}

std::string Merged(const std::string& base, const std::string& patch) {
    cJSON* target = cJSON_Parse(base.c_str());
    cJSON* changes = cJSON_Parse(patch.c_str());
    if (!target || !cJSON_IsObject(changes)) {
        cJSON_Delete(target);
        cJSON_Delete(changes);
        return "";
    }
    Merge(target, changes);
    char* printed = cJSON_PrintUnformatted(target);
    std::string out = printed ? printed : "";
    cJSON_free(printed);
    cJSON_Delete(target);
    cJSON_Delete(changes);
    return out;
}

}  // namespace

void ServiceRun::SetUp() {
    if (!NetNamespace::CanCreate()) GTEST_SKIP() << "needs root and the ip tool to create network namespaces";
    std::string error;
    ASSERT_TRUE(m_ns.Create(&error)) << error;
}

void ServiceRun::TearDown() {
    if (!HasFailure()) return;
    std::string log = ServiceLog();
    if (log.size() > 6000) log = "..." + log.substr(log.size() - 6000);
    std::cout << "---- service log (end) ----\n" << log << "---- service output ----\n" << ServiceOutput();
}

bool ServiceRun::StartSim(const std::string& patchJson) {
    PortalSimOptions options;
    options.workDir = m_dir / "sim";
    options.module = BinDir() + "/libsample_algo.so";
    options.netns = m_ns.Name();
    options.listen = {NetNamespace::ServerAddress()};
    options.scenarioJson = "{\"module\":{\"zxm\":" + JsonString(BinDir() + "/zxmAlogic.zxm") +
                           "},\"accounts\":{\"alice\":\"secret\"}}";
    if (!patchJson.empty()) {
        options.scenarioJson = Merged(options.scenarioJson, patchJson);
        if (options.scenarioJson.empty()) {
            ADD_FAILURE() << "bad scenario patch: " << patchJson;
            return false;
        }
    }
    ::mkdir(options.workDir.c_str(), 0700);
    m_sim = std::make_unique<PortalSimProcess>(options);
    std::string error;
    if (!m_sim->Start(&error)) {
        ADD_FAILURE() << error;
        return false;
    }
    return true;
}

bool ServiceRun::StartService(const ServiceOptions& options) {
    m_install = std::make_unique<InstallDir>(m_dir / "velnor");
    InstallDir::Options install;
    install.redirect = m_sim ? m_sim->ProbeUrl() : "";
    install.values = options.values;
    install.moduleFile = BinDir() + "/zxmAlogic.zxm";
    std::string error;
    if (!m_install->Prepare(install, &error)) {
        ADD_FAILURE() << error;
        return false;
    }
    // The shell only redirects standard input; every value is an argument.
    std::vector<std::string> program = {"./VelnorSvr"};
    program.insert(program.end(), options.args.begin(), options.args.end());
    std::vector<std::string> argv = {"sh", "-c", "exec \"$@\" <\"$0\"", options.stdinPath};
    for (const auto& part : m_ns.Wrap(program)) argv.push_back(part);
    ChildProcess::Options child;
    child.argv = argv;
    child.cwd = m_install->Path();
    child.outputFile = m_dir / "service.out";
    if (!m_service.Start(child, &error)) {
        ADD_FAILURE() << error;
        return false;
    }
    if (!options.withClient) return true;
    m_client = std::make_unique<FakeClient>(m_install->Path());
    if (!m_client->Open(kWait, &error)) {
        ADD_FAILURE() << error << "\n" << ServiceOutput();
        return false;
    }
    return true;
}

bool ServiceRun::Prepare() {
    if (!m_client->Send("ClientStart", "")) return false;
    if (!m_client->WaitForOpc("ClientStartComplete", kWait)) {
        ADD_FAILURE() << "no ClientStartComplete";
        return false;
    }
    m_client->Send("CheckEnv", "");
    if (!WaitState(31)) {
        ADD_FAILURE() << "not pre-connected; states seen: " << ::testing::PrintToString(States());
        return false;
    }
    return true;
}

bool ServiceRun::LogIn() {
    if (!Prepare()) return false;
    m_client->SendLogin(kAccount, kPassword);
    if (!WaitState(2)) {
        ADD_FAILURE() << "not connected; states seen: " << ::testing::PrintToString(States());
        return false;
    }
    return true;
}

std::vector<std::string> ServiceRun::States() const {
    std::vector<std::string> states;
    if (!m_client) return states;
    for (const auto& e : m_client->Received())
        if (e.opc == "NetStateMessageResp")
            states.push_back(e.Param("newState") + "/" + e.Param("ErrorCode"));
    return states;
}

std::vector<std::map<std::string, std::string>> ServiceRun::Requests(const std::string& endpoint) {
    std::vector<std::map<std::string, std::string>> out;
    cJSON* list = cJSON_Parse(m_sim->Requests(endpoint).c_str());
    const cJSON* record = nullptr;
    cJSON_ArrayForEach(record, list) {
        std::map<std::string, std::string> fields;
        const cJSON* field = nullptr;
        cJSON_ArrayForEach(field, cJSON_GetObjectItemCaseSensitive(record, "fields")) {
            if (cJSON_IsString(field)) fields[field->string] = field->valuestring;
        }
        const cJSON* seq = cJSON_GetObjectItemCaseSensitive(record, "seq");
        if (cJSON_IsNumber(seq)) fields["_seq"] = std::to_string(static_cast<long>(seq->valuedouble));
        const cJSON* server = cJSON_GetObjectItemCaseSensitive(record, "server");
        if (cJSON_IsNumber(server)) fields["_server"] = std::to_string(server->valueint);
        const cJSON* algo =
            cJSON_GetObjectItemCaseSensitive(cJSON_GetObjectItemCaseSensitive(record, "headers"), "Algo-ID");
        if (cJSON_IsString(algo)) fields["_algo"] = algo->valuestring;
        const cJSON* stats = cJSON_GetObjectItemCaseSensitive(record, "record");
        if (stats) {
            const cJSON* type = cJSON_GetObjectItemCaseSensitive(stats, "stattype");
            if (cJSON_IsNumber(type)) fields["_stattype"] = std::to_string(type->valueint);
        }
        out.push_back(std::move(fields));
    }
    cJSON_Delete(list);
    return out;
}

std::string ServiceRun::ServiceLog() const {
    if (!m_install) return "";
    std::string dir = m_install->File("Log");
    std::string text;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* entry = readdir(d))
            if (entry->d_name[0] != '.') text += ReadAll(dir + "/" + entry->d_name);
        closedir(d);
    }
    return text;
}

std::string ServiceRun::ServiceOutput() const { return ReadAll(m_dir / "service.out"); }

std::string ServiceRun::RepackedModule(const std::string& algoId) {
    std::string out = m_dir / ("module-" + algoId + ".zxm");
    std::string text;
    int rc = ChildProcess::Run({BinDir() + "/zxm-pack", "pack", "--key-id", "001", "--key", "velnor-sample",
                                "--algo-id", algoId, BinDir() + "/libsample_algo.so", out},
                               milliseconds(30000), &text);
    EXPECT_EQ(rc, 0) << text;
    return out;
}
