#include "PortalPages.h"

#include <httplib.h>

#include "PortalSim.h"
#include "SimHttp.h"

namespace {
std::string Element(const std::string& name, const std::string& value) {
    return "<" + name + ">" + value + "</" + name + ">";
}

}  // namespace

void CPortalPages::AddPortalHeaders(const cJSON* scenario, httplib::Response& res) const {
    struct Header {
        const char* name;
        const char* key;
        const char* def;
    };
    static const Header headers[] = {{"schoolid", "portal.schoolid", "S0001"},
                                     {"domain", "portal.domain", "campus"},
                                     {"area", "portal.area", "north"}};
    for (const Header& h : headers) {
        std::string value = simjson::Str(scenario, h.key, h.def);
        if (!value.empty()) res.set_header(h.name, value);
    }
}

void CPortalPages::HandleProbe(const httplib::Request& req, httplib::Response& res, int server) {
    JsonPtr scenario = m_sim.Scenario().Snapshot();
    JsonPtr record = simhttp::NewRecord(req, server, "probe");
    JsonPtr fault = m_sim.Scenario().TakeFault("probe");
    if (m_sim.ApplyTransportFault(fault.get(), req, res, record.get())) {
        m_sim.Finish(std::move(record), "probe", res);
        return;
    }
    const cJSON* s = scenario.get();
    std::string mode = simjson::Str(s, "probe.mode", "302");
    bool upper = simjson::Bool(s, "probe.uppercase");
    int target = static_cast<int>(simjson::Int(s, "probe.server", 0));
    std::string location = m_sim.EntryUrl(s, target, upper);
    if (simjson::Bool(s, "probe.headers", true)) AddPortalHeaders(s, res);

    if (mode == "none") {
        res.set_content("<html><head><title>Welcome</title></head><body>You are on line.</body></html>",
                        "text/html");
    } else if (mode == "detect") {
        res.status = 302;
        res.set_header("Location", m_sim.ServerUrl(target) + "/detect.html");
        res.set_content("<html><body>Moved</body></html>", "text/html");
    } else if (mode == "loop") {
        res.status = 302;
        res.set_header("Location", m_sim.ServerUrl(server) + req.path);
        res.set_content("<html><body>Moved</body></html>", "text/html");
    } else if (mode == "meta") {
        res.set_content("<html><head><meta http-equiv=\"refresh\" content=\"0; url=" + location +
                            "\"></head><body>Redirecting</body></html>",
                        "text/html");
    } else if (mode == "script") {
        res.set_content("<html><head><script>location.href=\"" + location +
                            "\"</script></head><body>Redirecting</body></html>",
                        "text/html");
    } else {
        res.status = mode == "303" ? 303 : 302;
        res.set_header("Location", location);
        res.set_content("<html><body>Moved</body></html>", "text/html");
    }
    simjson::AddString(record.get(), "mode", mode);
    m_sim.Finish(std::move(record), "probe", res);
}

std::string CPortalPages::ServerClusters(const cJSON* scenario) const {
    const cJSON* announce = simjson::Get(scenario, "cluster.announce");
    if (cJSON_IsString(announce)) return announce->valuestring;
    std::string list;
    if (cJSON_IsArray(announce)) {
        const cJSON* item = nullptr;
        cJSON_ArrayForEach(item, announce) {
            if (!list.empty()) list += ",";
            list += m_sim.HostPort(static_cast<int>(item->valuedouble));
        }
        return list;
    }
    for (int i = 1; i < m_sim.ServerCount(); ++i) {
        if (!list.empty()) list += ",";
        list += m_sim.HostPort(i);
    }
    return list;
}

std::string CPortalPages::ConfigDocument(const cJSON* scenario, int server) const {
    const cJSON* raw = simjson::Get(scenario, "config.raw");
    if (cJSON_IsString(raw)) return raw->valuestring;

    // A list gives each serving server its own base; the ones it leaves out point at themselves.
    const cJSON* bases = simjson::Get(scenario, "config.base_server");
    long baseIndex = server;
    if (cJSON_IsArray(bases)) {
        const cJSON* entry = cJSON_GetArrayItem(bases, server);
        if (cJSON_IsNumber(entry)) baseIndex = static_cast<long>(entry->valuedouble);
    } else {
        baseIndex = simjson::Int(scenario, "config.base_server", server);
    }
    std::string base = m_sim.ServerUrl(static_cast<int>(baseIndex));
    std::string doc = "<config>";
    doc += Element("ticket-url", simjson::Str(scenario, "config.ticket_url", base + "/portal/ticket"));
    doc += Element("query-url", simjson::Str(scenario, "config.query_url", base + "/portal/query"));
    doc += Element("auth-url", simjson::Str(scenario, "config.auth_url", base + "/portal/auth"));
    doc += Element("state-url", simjson::Str(scenario, "config.state_url", base + "/portal/state"));
    doc += Element("state-interval", simjson::Str(scenario, "config.state_interval", "5"));

    const cJSON* auths = simjson::Get(scenario, "config.auth");
    if (cJSON_IsArray(auths)) {
        const cJSON* item = nullptr;
        cJSON_ArrayForEach(item, auths) {
            std::string body = Element("type", simjson::Str(item, "type", "cdc-http-pap"));
            std::string def = simjson::Str(item, "default");
            if (!def.empty()) body += Element("default", def);
            doc += Element("auth", body);
        }
    } else {
        doc += "<auth><type>cdc-http-pap</type><default>yes</default></auth>";
    }
    std::string modify = simjson::Str(scenario, "config.account_modify.type");
    if (!modify.empty()) {
        doc += "<account><modify>" + Element("type", modify) +
               Element("value", simjson::Str(scenario, "config.account_modify.value")) +
               "</modify></account>";
    }
    std::string clusters = ServerClusters(scenario);
    if (!clusters.empty()) doc += "<server-clusters servers=\"" + simhttp::XmlEscape(clusters) + "\"/>";
    std::string userConfig = simjson::Str(scenario, "config.user_config");
    if (!userConfig.empty()) doc += userConfig;

    std::string funCfg;
    const cJSON* stats = simjson::Get(scenario, "config.stats_infor");
    if (cJSON_IsObject(stats)) {
        funCfg += "<StatsInfor enable=\"" + simjson::Str(stats, "enable", "1") + "\" interval=\"" +
                  simjson::Str(stats, "interval", "60") + "\" url=\"" +
                  simhttp::XmlEscape(simjson::Str(stats, "url", m_sim.ServerUrl(0) + "/stats")) + "\"/>";
    }
    const cJSON* update = simjson::Get(scenario, "config.update");
    if (cJSON_IsTrue(update) || cJSON_IsObject(update)) {
        funCfg += "<Update url=\"" +
                  simhttp::XmlEscape(simjson::Str(update, "url", m_sim.ServerUrl(0) + "/update")) + "\"/>";
    }
    const cJSON* extra = simjson::Get(scenario, "config.funcfg");
    const cJSON* item = nullptr;
    cJSON_ArrayForEach(item, extra) {
        if (cJSON_IsString(item)) funCfg += item->valuestring;
    }
    if (!funCfg.empty()) doc += Element("FunCfg", funCfg);
    doc += simjson::Str(scenario, "config.extra");
    doc += "</config>";
    return doc;
}

std::string CPortalPages::PageHtml(const cJSON* scenario, int server) const {
    std::string config = ConfigDocument(scenario, server);
    std::string markers = simjson::Str(scenario, "portal.markers", "both");
    std::string html = "<html><head><title>Campus portal</title></head><body><h1>Campus network</h1>";
    if (markers == "both") {
        html += std::string(kConfigOpen) + config + kConfigClose;
    } else if (markers == "open_only") {
        html += std::string(kConfigOpen) + config;
    } else if (markers == "empty") {
        html += std::string(kConfigOpen) + kConfigClose;
    }
    html += "</body></html>";
    return html;
}

void CPortalPages::HandleDetect(const httplib::Request& req, httplib::Response& res, int server) {
    JsonPtr scenario = m_sim.Scenario().Snapshot();
    JsonPtr record = simhttp::NewRecord(req, server, "detect");
    JsonPtr fault = m_sim.Scenario().TakeFault("detect");
    if (!m_sim.ApplyTransportFault(fault.get(), req, res, record.get())) {
        res.status = 302;
        res.set_header("Location", m_sim.EntryUrl(scenario.get(), server, false));
        res.set_content("<html><body>Moved</body></html>", "text/html");
    }
    m_sim.Finish(std::move(record), "detect", res);
}

void CPortalPages::HandlePage(const httplib::Request& req, httplib::Response& res, int server) {
    JsonPtr scenario = m_sim.Scenario().Snapshot();
    JsonPtr record = simhttp::NewRecord(req, server, "portal");
    JsonPtr fault = m_sim.Scenario().TakeFault("portal");
    if (m_sim.ApplyTransportFault(fault.get(), req, res, record.get())) {
        m_sim.Finish(std::move(record), "portal", res);
        return;
    }
    if (simjson::Bool(scenario.get(), "portal.headers", true)) AddPortalHeaders(scenario.get(), res);
    res.set_content(PageHtml(scenario.get(), server), "text/html");
    m_sim.Finish(std::move(record), "portal", res);
}
