#include "PortalSimProcess.h"

#include <cjson/cJSON.h>
#include <httplib.h>
#include <poll.h>
#include <unistd.h>

#include <fstream>

namespace {
std::string Member(const cJSON* obj, const char* name) {
    const cJSON* item = cJSON_GetObjectItemCaseSensitive(obj, name);
    return cJSON_IsString(item) ? item->valuestring : "";
}

httplib::Client MakeClient(const std::string& url, int timeoutSeconds) {
    httplib::Client client(url);
    client.set_connection_timeout(5);
    client.set_read_timeout(timeoutSeconds);
    return client;
}
}  // namespace

bool PortalSimProcess::Start(std::string* error) {
    std::string scenarioPath = m_options.workDir + "/scenario.json";
    if (!(std::ofstream(scenarioPath, std::ios::trunc) << m_options.scenarioJson)) {
        if (error) *error = "cannot write " + scenarioPath;
        return false;
    }
    ChildProcess::Options child;
    child.argv = {VELNOR_E2E_BIN_DIR "/portal-sim", "--scenario", scenarioPath};
    for (const auto& addr : m_options.listen) child.argv.insert(child.argv.end(), {"--listen", addr});
    if (!m_options.module.empty()) child.argv.insert(child.argv.end(), {"--module", m_options.module});
    if (!m_options.netns.empty()) child.argv.insert(child.argv.end(), {"--netns", m_options.netns});
    child.outputFile = m_options.workDir + "/portal-sim.log";
    child.pipeStdout = true;
    if (!m_child.Start(child, error)) return false;

    // The program prints the ready record as one line once it listens.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string line;
    char buffer[1024];
    while (line.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        struct pollfd p = {m_child.StdoutFd(), POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        ssize_t n = read(m_child.StdoutFd(), buffer, sizeof(buffer));
        if (n <= 0) break;
        line.append(buffer, static_cast<size_t>(n));
    }
    cJSON* ready = cJSON_Parse(line.c_str());
    if (!cJSON_IsObject(ready)) {
        cJSON_Delete(ready);
        if (error) *error = "portal-sim did not get ready; see " + child.outputFile;
        m_child.Stop();
        return false;
    }
    m_control = Member(ready, "control");
    m_probe = Member(ready, "probe");
    m_servers.clear();
    const cJSON* item = nullptr;
    cJSON_ArrayForEach(item, cJSON_GetObjectItemCaseSensitive(ready, "servers")) {
        if (cJSON_IsString(item)) m_servers.push_back(item->valuestring);
    }
    cJSON_Delete(ready);
    return true;
}

bool PortalSimProcess::Post(const std::string& path, const std::string& body) {
    if (m_control.empty()) return false;
    auto res = MakeClient(m_control, 10).Post(path.c_str(), body, "application/json");
    return res && res->status == 200;
}

std::string PortalSimProcess::Get(const std::string& path, int timeoutSeconds) {
    if (m_control.empty()) return "";
    auto res = MakeClient(m_control, timeoutSeconds).Get(path.c_str());
    return res && res->status == 200 ? res->body : "";
}

bool PortalSimProcess::MergeScenario(const std::string& patchJson) {
    return Post("/control/scenario", patchJson);
}

bool PortalSimProcess::SetFault(const std::string& endpoint, const std::string& faultJson) {
    return MergeScenario("{\"faults\":{\"" + endpoint + "\":" + faultJson + "}}");
}

bool PortalSimProcess::ClearFault(const std::string& endpoint) { return SetFault(endpoint, "null"); }

bool PortalSimProcess::StopServer(int index) {
    return Post("/control/servers/" + std::to_string(index) + "/stop", "");
}

bool PortalSimProcess::Reset() { return Post("/control/reset", ""); }

std::string PortalSimProcess::Requests(const std::string& endpoint) {
    return Get("/control/requests?endpoint=" + endpoint);
}

bool PortalSimProcess::WaitForRequests(const std::string& endpoint, long count,
                                       std::chrono::milliseconds timeout) {
    std::string body = Get("/control/requests/wait?endpoint=" + endpoint + "&count=" + std::to_string(count) +
                               "&timeout_ms=" + std::to_string(timeout.count()),
                           static_cast<int>(timeout.count() / 1000) + 10);
    return body.find("\"ok\":true") != std::string::npos;
}
