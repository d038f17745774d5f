#include "PortalSim.h"

#include <fcntl.h>
#include <httplib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "PortalExchanges.h"
#include "PortalPages.h"
#include "SimHttp.h"
#include "SimListener.h"
#include "StatsCipher.h"

namespace {
// Caps the control API's long poll so a forgotten waiter cannot pin a thread.
constexpr long kMaxWaitMs = 120000;
// Caps a fault's delay for the same reason.
constexpr long kMaxDelayMs = 600000;
// Nothing the service sends comes near this; larger bodies are refused.
constexpr size_t kMaxBodyBytes = 16 * 1024 * 1024;

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

void SendJson(httplib::Response& res, const std::string& json, int status = 200) {
    res.status = status;
    res.set_content(json, "application/json");
}

void SendError(httplib::Response& res, int status, const std::string& message) {
    JsonPtr obj(cJSON_CreateObject());
    cJSON_AddBoolToObject(obj.get(), "ok", false);
    simjson::AddString(obj.get(), "error", message);
    SendJson(res, simjson::Print(obj.get()), status);
}

const char* kOk = "{\"ok\":true}";
}  // namespace

CPortalSim::CPortalSim(SimOptions options) : m_options(std::move(options)) {
    if (m_options.listen.empty()) m_options.listen.push_back("127.0.0.1");
    m_modules.SetCommandLineModule(m_options.module);
    m_exchanges = std::make_unique<CPortalExchanges>(*this);
    m_pages = std::make_unique<CPortalPages>(*this);
}

CPortalSim::~CPortalSim() { Stop(); }

bool CPortalSim::Start(std::string* error) {
    if (!m_scenario.Load(m_options.scenarioJson, error)) return false;
    JsonPtr scenario = m_scenario.Snapshot();
    std::vector<CSimModules::Entry> entries = m_modules.Entries(scenario.get());
    for (const auto& entry : entries) {
        if (!m_modules.Get(entry.so, error)) return false;
    }
    if (!m_options.netns.empty()) {
        std::string path = "/var/run/netns/" + m_options.netns;
        m_netnsFd.Reset(open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (!m_netnsFd.IsValid()) {
            if (error) *error = "no network namespace " + m_options.netns;
            return false;
        }
    }

    int count = 1 + static_cast<int>(std::max(0L, simjson::Int(scenario.get(), "cluster.servers", 0)));
    {
        std::lock_guard<std::mutex> guard(m_stopLock);
        m_stopCounts.assign(static_cast<size_t>(count), 0);
    }
    const cJSON* ports = simjson::Get(scenario.get(), "cluster.ports");
    for (int i = 0; i < count; ++i) {
        const cJSON* port = cJSON_GetArrayItem(ports, i);
        int fixed = cJSON_IsNumber(port) ? port->valueint : 0;
        const std::string& host = m_options.listen[static_cast<size_t>(i) % m_options.listen.size()];
        m_servers.push_back(std::make_unique<CSimListener>(
            host, fixed, [this, i](httplib::Server& server) { SetupPortalRoutes(server, i); },
            m_netnsFd.Get()));
    }
    m_control = std::make_unique<CSimListener>(
        m_options.controlHost, static_cast<int>(simjson::Int(scenario.get(), "control_port", 0)),
        [this](httplib::Server& server) { SetupControlRoutes(server); }, -1);
    if (!m_control->Start(error)) return false;
    for (auto& server : m_servers) {
        if (!server->Start(error)) return false;
    }
    return true;
}

void CPortalSim::Stop() {
    {
        std::lock_guard<std::mutex> guard(m_stopLock);
        m_stopping = true;
    }
    m_stopCv.notify_all();
    if (m_control) m_control->Stop();
    std::lock_guard<std::mutex> guard(m_serversLock);
    for (auto& server : m_servers) server->Stop();
}

void CPortalSim::Delay(long ms, int server) {
    std::unique_lock<std::mutex> lock(m_stopLock);
    size_t index = static_cast<size_t>(server);
    long stops = index < m_stopCounts.size() ? m_stopCounts[index] : 0;
    m_stopCv.wait_for(lock, std::chrono::milliseconds(std::min(ms, kMaxDelayMs)), [&] {
        return m_stopping || (index < m_stopCounts.size() && m_stopCounts[index] != stops);
    });
}

std::string CPortalSim::ControlUrl() const { return m_control ? m_control->Url() : ""; }

std::string CPortalSim::ServerUrl(int index) const {
    if (index < 0 || index >= ServerCount()) index = 0;
    return m_servers.empty() ? "" : m_servers[static_cast<size_t>(index)]->Url();
}

std::string CPortalSim::HostPort(int index) const {
    if (index < 0 || index >= ServerCount()) return "";
    return m_servers[static_cast<size_t>(index)]->HostPort();
}

std::string CPortalSim::EntryUrl(const cJSON* scenario, int server, bool upperCase) const {
    std::string ip = simjson::Str(scenario, "portal.wlanuserip", "10.77.0.2");
    std::string mac = simjson::Str(scenario, "portal.wlanusermac", "02:00:00:77:00:02");
    std::string acip = simjson::Str(scenario, "portal.wlanacip", "10.77.0.1");
    if (upperCase) {
        return ServerUrl(server) + "/Portal/Index.cgi?WlanUserIp=" + Upper(ip) +
               "&WlanUserMac=" + Upper(mac) + "&WlanAcIp=" + Upper(acip);
    }
    return ServerUrl(server) + "/portal/index.cgi?wlanuserip=" + ip + "&wlanusermac=" + mac +
           "&wlanacip=" + acip;
}

std::string CPortalSim::ReadyJson() const {
    JsonPtr obj(cJSON_CreateObject());
    cJSON_AddNumberToObject(obj.get(), "pid", getpid());
    simjson::AddString(obj.get(), "control", ControlUrl());
    std::string main = ServerUrl(0);
    simjson::AddString(obj.get(), "probe", main + "/");
    simjson::AddString(obj.get(), "portal", main + "/portal");
    simjson::AddString(obj.get(), "entry", main + "/portal/index.cgi");
    simjson::AddString(obj.get(), "stats", main + "/stats");
    simjson::AddString(obj.get(), "update", main + "/update");
    cJSON* servers = cJSON_AddArrayToObject(obj.get(), "servers");
    for (const auto& server : m_servers)
        cJSON_AddItemToArray(servers, cJSON_CreateString(server->Url().c_str()));
    return simjson::Print(obj.get());
}

bool CPortalSim::StopServer(int index) {
    std::lock_guard<std::mutex> guard(m_serversLock);
    if (index < 0 || index >= ServerCount()) return false;
    {
        // Delayed answers on this server give up, so that it can stop now.
        std::lock_guard<std::mutex> stopGuard(m_stopLock);
        m_stopCounts[static_cast<size_t>(index)]++;
    }
    m_stopCv.notify_all();
    m_servers[static_cast<size_t>(index)]->Stop();
    return true;
}

bool CPortalSim::StartServer(int index, std::string* error) {
    std::lock_guard<std::mutex> guard(m_serversLock);
    if (index < 0 || index >= ServerCount()) {
        if (error) *error = "no server " + std::to_string(index);
        return false;
    }
    return m_servers[static_cast<size_t>(index)]->Start(error);
}

void CPortalSim::Reset() {
    m_scenario.Reset();
    m_log.Clear();
    m_sessions.Clear();
    {
        std::lock_guard<std::mutex> guard(m_statsLock);
        m_statsRecords.clear();
    }
    for (int i = 0; i < ServerCount(); ++i) StartServer(i, nullptr);
}

bool CPortalSim::ApplyTransportFault(const cJSON* fault, const httplib::Request& req, httplib::Response& res,
                                     cJSON* record) {
    if (!fault) return false;
    cJSON_AddItemToObject(record, "fault", cJSON_Duplicate(fault, 1));
    long delay = simjson::Int(fault, "delay_ms", 0);
    if (delay > 0) Delay(delay, static_cast<int>(simjson::Int(record, "server", 0)));
    if (simjson::Bool(fault, "drop")) {
        cJSON_AddBoolToObject(record, "dropped", simhttp::DropConnection(req));
        return true;
    }
    long status = simjson::Int(fault, "http_status", 0);
    if (status > 0) {
        res.headers.erase("Server-Tag");
        res.status = static_cast<int>(status);
        res.set_content("<html><body>Server error</body></html>", "text/html");
        return true;
    }
    int intercept = std::atoi(simjson::Str(fault, "intercept").c_str());
    if (intercept >= 300 && intercept <= 399) {
        res.headers.erase("Server-Tag");
        res.status = intercept;
        JsonPtr scenario = m_scenario.Snapshot();
        res.set_header("Location", EntryUrl(scenario.get(), 0, false));
        res.set_content("<html><body>Moved</body></html>", "text/html");
        return true;
    }
    if (intercept == 200) {
        res.headers.erase("Server-Tag");
        JsonPtr scenario = m_scenario.Snapshot();
        res.set_content(m_pages->PageHtml(scenario.get(), 0), "text/html");
        return true;
    }
    if (simjson::Bool(fault, "redirect_loop")) {
        res.headers.erase("Server-Tag");
        res.status = 302;
        std::string self = "http://" + req.get_header_value("Host") + req.path;
        res.set_header("Location", self);
        res.set_content("<html><body>Moved</body></html>", "text/html");
        return true;
    }
    return false;
}

void CPortalSim::Finish(JsonPtr record, const std::string& endpoint, const httplib::Response& res) {
    cJSON_AddNumberToObject(record.get(), "status", res.status < 0 ? 200 : res.status);
    cJSON* headers = cJSON_AddObjectToObject(record.get(), "response_headers");
    for (const auto& [key, value] : res.headers) simjson::AddString(headers, key.c_str(), value);
    std::string code = res.get_header_value("Error-Code");
    if (!code.empty()) cJSON_AddNumberToObject(record.get(), "error_code", std::atoi(code.c_str()));
    m_log.Add(std::move(record), endpoint);
}

void CPortalSim::SetupPortalRoutes(httplib::Server& server, int index) {
    server.set_keep_alive_max_count(1);
    server.set_payload_max_length(kMaxBodyBytes);
    server.Get("/", [this, index](const httplib::Request& req, httplib::Response& res) {
        m_pages->HandleProbe(req, res, index);
    });
    auto page = [this, index](const httplib::Request& req, httplib::Response& res) {
        m_pages->HandlePage(req, res, index);
    };
    server.Get("/portal/index.cgi", page);
    server.Get("/detect.html", [this, index](const httplib::Request& req, httplib::Response& res) {
        m_pages->HandleDetect(req, res, index);
    });
    server.Get("/Portal/Index.cgi", page);
    static const std::pair<const char*, const char*> exchanges[] = {
        {"/portal/ticket", "ticket"},  {"/portal/auth", "login"},  {"/portal/state", "state"},
        {"/portal/keep", "heartbeat"}, {"/portal/term", "logout"}, {"/portal/query", "terminal"}};
    for (const auto& [path, name] : exchanges) {
        std::string exchange = name;
        server.Post(path, [this, index, exchange](const httplib::Request& req, httplib::Response& res) {
            m_exchanges->Handle(exchange, req, res, index);
        });
    }
    server.Post("/stats", [this, index](const httplib::Request& req, httplib::Response& res) {
        HandleStats(req, res, index);
    });
    server.Get("/update", [this, index](const httplib::Request& req, httplib::Response& res) {
        HandleUpdate(req, res, index);
    });
    server.Get(R"(/download/([^/]+))", [this, index](const httplib::Request& req, httplib::Response& res) {
        HandleDownload(req, res, index);
    });
}

void CPortalSim::HandleStats(const httplib::Request& req, httplib::Response& res, int index) {
    JsonPtr record = simhttp::NewRecord(req, index, "stats");
    JsonPtr fault = m_scenario.TakeFault("stats");
    if (ApplyTransportFault(fault.get(), req, res, record.get())) {
        Finish(std::move(record), "stats", res);
        return;
    }
    std::string json, error;
    if (CStatsCipher::OpenReport(req.body, json, error)) {
        cJSON_AddItemToObject(record.get(), "record", simjson::Parse(json).release());
        {
            std::lock_guard<std::mutex> guard(m_statsLock);
            m_statsRecords.push_back(json);
        }
        res.set_content("{\"code\":0}", "application/json");
    } else {
        simjson::AddString(record.get(), "error", error);
        res.status = 400;
        res.set_content("{\"code\":1}", "application/json");
    }
    Finish(std::move(record), "stats", res);
}

namespace {
// A package's bytes: the file it names, else its "content".
std::string PackageData(const cJSON* package) {
    std::string file = simjson::Str(package, "file");
    return file.empty() ? simjson::Str(package, "content") : simhttp::ReadFile(file, nullptr);
}
}  // namespace

void CPortalSim::HandleUpdate(const httplib::Request& req, httplib::Response& res, int index) {
    JsonPtr scenario = m_scenario.Snapshot();
    JsonPtr record = simhttp::NewRecord(req, index, "update");
    JsonPtr fault = m_scenario.TakeFault("update");
    if (ApplyTransportFault(fault.get(), req, res, record.get())) {
        Finish(std::move(record), "update", res);
        return;
    }
    const cJSON* fixed = simjson::Get(scenario.get(), "update.answer");
    std::string answer;
    if (cJSON_IsString(fixed)) {
        answer = fixed->valuestring;
    } else {
        answer = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><response><pkgxmls>";
        const cJSON* item = nullptr;
        cJSON_ArrayForEach(item, simjson::Get(scenario.get(), "update.packages")) {
            std::string name = simjson::Str(item, "name");
            std::string data = PackageData(item);
            std::string url = simjson::Str(item, "url", ServerUrl(0) + "/download/" + name);
            std::string kind = simjson::Str(item, "kind", "binfile");
            std::string files;
            for (const char* each : {"binfile", "exefile"}) {
                if (kind != each && kind != "both") continue;
                std::string address =
                    std::string(each) == "exefile" ? simjson::Str(item, "exe_url", url) : url;
                files += std::string("<") + each + " size=\"" +
                         simjson::Str(item, "size", std::to_string(data.size())) + "\" md5=\"" +
                         simjson::Str(item, "md5", simhttp::Md5Hex(data)) + "\">" +
                         simhttp::XmlEscape(address) + "</" + each + ">";
            }
            answer += "<pkgxml><pkglist><pkg name=\"" + simhttp::XmlEscape(name) + "\"><pfile>" + files +
                      "</pfile></pkg></pkglist></pkgxml>";
        }
        answer += "</pkgxmls></response>";
    }
    res.set_content(answer, "text/xml");
    Finish(std::move(record), "update", res);
}

void CPortalSim::HandleDownload(const httplib::Request& req, httplib::Response& res, int index) {
    JsonPtr scenario = m_scenario.Snapshot();
    JsonPtr record = simhttp::NewRecord(req, index, "download");
    JsonPtr fault = m_scenario.TakeFault("download");
    if (ApplyTransportFault(fault.get(), req, res, record.get())) {
        Finish(std::move(record), "download", res);
        return;
    }
    std::string name = req.matches[1];
    bool found = false;
    std::string data;
    const cJSON* item = nullptr;
    cJSON_ArrayForEach(item, simjson::Get(scenario.get(), "update.packages")) {
        if (simjson::Str(item, "name") != name) continue;
        data = PackageData(item);
        found = true;
    }
    simjson::AddString(record.get(), "range", req.get_header_value("Range"));
    if (!found) {
        res.status = 404;
        res.set_content("no such package", "text/plain");
        Finish(std::move(record), "download", res);
        return;
    }
    long cut = simjson::Int(fault.get(), "truncate_after", -1);
    if (cut >= 0) {
        // Announce the whole length, then stop sending: an interrupted download.
        auto shared = std::make_shared<std::string>(std::move(data));
        size_t limit = static_cast<size_t>(cut);
        res.set_content_provider(shared->size(), "application/octet-stream",
                                 [shared, limit](size_t offset, size_t length, httplib::DataSink& sink) {
                                     if (offset >= limit) return false;
                                     size_t n = std::min(length, limit - offset);
                                     sink.write(shared->data() + offset, n);
                                     return true;
                                 });
    } else if (simjson::Bool(fault.get(), "ignore_range")) {
        // Like a server without Range support: 200 and the whole file.
        auto shared = std::make_shared<std::string>(std::move(data));
        res.status = 200;
        res.set_chunked_content_provider("application/octet-stream",
                                         [shared](size_t offset, httplib::DataSink& sink) {
                                             if (offset < shared->size())
                                                 sink.write(shared->data() + offset, shared->size() - offset);
                                             else
                                                 sink.done();
                                             return true;
                                         });
    } else {
        // httplib answers a Range request with 206 and the asked-for part.
        res.set_content(data, "application/octet-stream");
    }
    Finish(std::move(record), "download", res);
}

void CPortalSim::SetupControlRoutes(httplib::Server& server) {
    server.set_payload_max_length(kMaxBodyBytes);
    server.Get("/control/requests", [this](const httplib::Request& req, httplib::Response& res) {
        long since = req.has_param("since") ? std::atol(req.get_param_value("since").c_str()) : 0;
        SendJson(res, m_log.ToJson(req.get_param_value("endpoint"), since));
    });
    server.Get("/control/requests/wait", [this](const httplib::Request& req, httplib::Response& res) {
        std::string endpoint = req.get_param_value("endpoint");
        long count = req.has_param("count") ? std::atol(req.get_param_value("count").c_str()) : 1;
        long timeout =
            req.has_param("timeout_ms") ? std::atol(req.get_param_value("timeout_ms").c_str()) : 5000;
        bool ok = m_log.WaitFor(endpoint, count, std::chrono::milliseconds(std::min(timeout, kMaxWaitMs)));
        JsonPtr obj(cJSON_CreateObject());
        cJSON_AddBoolToObject(obj.get(), "ok", ok);
        cJSON_AddNumberToObject(obj.get(), "count", static_cast<double>(m_log.Count(endpoint)));
        SendJson(res, simjson::Print(obj.get()));
    });
    server.Get("/control/scenario", [this](const httplib::Request&, httplib::Response& res) {
        SendJson(res, m_scenario.ToJson());
    });
    server.Post("/control/scenario", [this](const httplib::Request& req, httplib::Response& res) {
        std::string error;
        if (!m_scenario.Merge(req.body, &error)) return SendError(res, 400, error);
        SendJson(res, kOk);
    });
    server.Post(R"(/control/servers/(\d+)/(stop|start))",
                [this](const httplib::Request& req, httplib::Response& res) {
                    int index = std::atoi(req.matches[1].str().c_str());
                    std::string error = "no server " + std::to_string(index);
                    bool ok = req.matches[2] == "stop" ? StopServer(index) : StartServer(index, &error);
                    if (!ok) return SendError(res, 404, error);
                    SendJson(res, kOk);
                });
    server.Post("/control/reset", [this](const httplib::Request&, httplib::Response& res) {
        Reset();
        SendJson(res, kOk);
    });
    server.Get("/control/sessions", [this](const httplib::Request&, httplib::Response& res) {
        SendJson(res, m_sessions.ToJson());
    });
    server.Get("/control/stats", [this](const httplib::Request&, httplib::Response& res) {
        JsonPtr array(cJSON_CreateArray());
        {
            std::lock_guard<std::mutex> guard(m_statsLock);
            for (const auto& json : m_statsRecords)
                cJSON_AddItemToArray(array.get(), simjson::Parse(json).release());
        }
        SendJson(res, simjson::Print(array.get()));
    });
    server.Get("/control/info",
               [this](const httplib::Request&, httplib::Response& res) { SendJson(res, ReadyJson()); });
}
