#include "ServiceRun.h"

#include <cjson/cJSON.h>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <fstream>
#include <iostream>
#include <sstream>

#include "SampleSim.h"
#include "UniqueStream.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string JsonText(const cJSON* item) { return cJSON_IsString(item) ? item->valuestring : ""; }

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
    m_sim = StartSampleSim(m_dir / "sim", m_ns.Name(), patchJson);
    return m_sim != nullptr;
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
    return Launch(options);
}

bool ServiceRun::RestartService() {
    m_client.reset();
    m_service.Kill();
    return Launch(ServiceOptions());
}

bool ServiceRun::Launch(const ServiceOptions& options) {
    // The shell only redirects standard input; every value is an argument.
    std::vector<std::string> program = {"./VelnorSvr"};
    program.insert(program.end(), options.args.begin(), options.args.end());
    ChildProcess::Options child;
    child.argv = {"sh", "-c", "exec \"$@\" <\"$0\"", options.stdinPath};
    for (const auto& part : m_ns.Wrap(program)) child.argv.push_back(part);
    child.cwd = m_install->Path();
    child.outputFile = m_dir / "service.out";
    std::string error;
    if (!m_service.Start(child, &error)) {
        ADD_FAILURE() << error;
        return false;
    }
    if (!options.withClient) return true;
    m_client = std::make_unique<FakeClient>(m_install->Path());
    if (m_client->Open(kWait, &error)) return true;
    ADD_FAILURE() << error << "\n" << ServiceOutput();
    return false;
}

int ServiceRun::ExitStatus(milliseconds limit) {
    int status = 0;
    if (!m_service.WaitExit(limit, &status)) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool ServiceRun::Prepare() {
    if (!m_client->Handshake(kWait)) {
        ADD_FAILURE() << "no ClientStartComplete";
        return false;
    }
    if (WaitState(31)) return true;
    ADD_FAILURE() << "not pre-connected; states seen: " << ::testing::PrintToString(States());
    return false;
}

bool ServiceRun::LogIn() {
    if (!Prepare()) return false;
    m_client->SendLogin(kAccount, kPassword);
    if (WaitState(2)) return true;
    ADD_FAILURE() << "not connected; states seen: " << ::testing::PrintToString(States());
    return false;
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
            fields[field->string] = JsonText(field);
        }
        auto number = [&](const cJSON* item) {
            return std::to_string(static_cast<long>(item ? item->valuedouble : -1));
        };
        fields["_seq"] = number(cJSON_GetObjectItemCaseSensitive(record, "seq"));
        fields["_server"] = number(cJSON_GetObjectItemCaseSensitive(record, "server"));
        fields["_algo"] = JsonText(
            cJSON_GetObjectItemCaseSensitive(cJSON_GetObjectItemCaseSensitive(record, "headers"), "Algo-ID"));
        const cJSON* stats = cJSON_GetObjectItemCaseSensitive(record, "record");
        if (stats) fields["_stattype"] = number(cJSON_GetObjectItemCaseSensitive(stats, "stattype"));
        out.push_back(std::move(fields));
    }
    cJSON_Delete(list);
    return out;
}

std::string ServiceRun::ServiceLog() const {
    if (!m_install) return "";
    std::string dir = m_install->File("Log"), text;
    if (CUniqueDir d{opendir(dir.c_str())}) {
        while (dirent* entry = readdir(d.get()))
            if (entry->d_name[0] != '.') text += ReadAll(dir + "/" + entry->d_name);
    }
    return text;
}

std::string ServiceRun::ServiceOutput() const { return ReadAll(m_dir / "service.out"); }

std::string ServiceRun::RepackedModule(const std::string& algoId) {
    std::string out = m_dir / ("module-" + algoId + ".zxm"), text;
    int rc = ChildProcess::Run({BinDir() + "/zxm-pack", "pack", "--key-id", "001", "--key", "velnor-sample",
                                "--algo-id", algoId, BinDir() + "/libsample_algo.so", out},
                               milliseconds(30000), &text);
    EXPECT_EQ(rc, 0) << text;
    return out;
}
