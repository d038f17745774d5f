#include "PortalExchanges.h"

#include <httplib.h>

#include <cctype>

#include "PortalSim.h"
#include "SimHttp.h"
#include "SimRequestDoc.h"

namespace {
std::string Element(const std::string& name, const std::string& value) {
    return "<" + name + ">" + value + "</" + name + ">";
}

std::string Tag(const std::string& problem) { return problem.substr(0, problem.find(':')); }
}  // namespace

std::vector<std::string> CPortalExchanges::CheckHeaders(const cJSON* scenario,
                                                        const httplib::Request& req) const {
    std::vector<std::string> problems;
    std::string userAgent = req.get_header_value("User-Agent");
    auto versionAfter = [&](const std::string& prefix) {
        return userAgent.size() > prefix.size() && userAgent.compare(0, prefix.size(), prefix) == 0;
    };
    if (!versionAfter("VXRA/Linux64/") && !versionAfter("VXRA/LinuxIpv664/"))
        problems.push_back("bad-user-agent: \"" + userAgent + "\"");
    if (req.get_header_value("Client-ID").empty()) problems.push_back("no-client-id: Client-ID is missing");
    std::string checksum = req.get_header_value("CDC-Checksum");
    std::string md5 = simhttp::Md5Hex(req.body);
    if (checksum != md5) problems.push_back("bad-checksum: \"" + checksum + "\", body has " + md5);
    if (simjson::Bool(scenario, "checks.school_headers", true)) {
        struct Pair {
            const char* header;
            const char* key;
            const char* def;
        };
        static const Pair pairs[] = {{"CDC-SchoolId", "portal.schoolid", "S0001"},
                                     {"CDC-Domain", "portal.domain", "campus"},
                                     {"CDC-Area", "portal.area", "north"}};
        for (const Pair& p : pairs) {
            std::string want = simjson::Str(scenario, p.key, p.def);
            std::string got = req.get_header_value(p.header);
            if (!want.empty() && got != want) {
                problems.push_back(std::string("bad-school-headers: ") + p.header + " is \"" + got +
                                   "\", not \"" + want + "\"");
            }
        }
    }
    return problems;
}

void CPortalExchanges::SendAnswer(const cJSON* scenario, const std::string& algoId, int errorCode,
                                  const std::string& subError, const std::string& plain,
                                  httplib::Response& res, cJSON* record) {
    std::string document = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><response>" + plain + "</response>";
    std::string encoded = document;
    CSimModules::Entry entry;
    std::string error;
    if (m_sim.Modules().Find(scenario, algoId, entry)) {
        CSimModule* module = m_sim.Modules().Get(entry.so, &error);
        if (!module || !module->Encode(document, encoded)) {
            simjson::AddString(record, "module_error", module ? "Code failed" : error);
        }
    }
    res.set_header("Error-Code", std::to_string(errorCode));
    if (!subError.empty()) res.set_header("Sub-Error", subError);
    res.set_content(encoded, "text/xml");
    simjson::AddString(record, "answer", document);
}

std::string CPortalExchanges::LoginAnswer(const cJSON* scenario, const std::string& account,
                                          int server) const {
    std::string base = m_sim.ServerUrl(server);
    std::string body =
        Element("userid", simhttp::XmlEscape(simjson::Str(scenario, "answers.userid", account)));
    body += Element("keep-retry", simjson::Str(scenario, "answers.keep_retry", "2"));
    body += Element("keep-url", simjson::Str(scenario, "answers.keep_url", base + "/portal/keep"));
    body += Element("term-url", simjson::Str(scenario, "answers.term_url", base + "/portal/term"));
    body += simjson::Str(scenario, "answers.user_config");
    body += simjson::Str(scenario, "answers.domain_config");
    return body;
}

CPortalExchanges::Answer CPortalExchanges::Respond(const std::string& exchange, const cJSON* scenario,
                                                   const CSimRequestDoc& doc, const std::string& clientId,
                                                   int server) {
    CSimSessions& sessions = m_sim.Sessions();
    Answer answer;
    std::string ticket = doc.Field("ticket");
    if (exchange == "ticket") {
        sessions.NoteIdentity(clientId, doc.Field("host-name"), doc.Field("ipv4"), doc.Field("mac"));
        std::string issued = sessions.IssueTicket(clientId, simjson::Str(scenario, "answers.ticket"));
        answer.body =
            Element("ticket", issued) + Element("expire", simjson::Str(scenario, "answers.expire", "3600"));
    } else if (exchange == "login") {
        std::string account = doc.Field("userid");
        const cJSON* accounts = simjson::Get(scenario, "accounts");
        const cJSON* password = cJSON_GetObjectItemCaseSensitive(accounts, account.c_str());
        if (!sessions.HasTicket(clientId, ticket)) {
            answer.errorCode = static_cast<int>(simjson::Int(scenario, "checks.refuse_code", 1));
            answer.subError = "bad-ticket";
        } else if (cJSON_IsObject(accounts) &&
                   (!cJSON_IsString(password) || doc.Field("passwd") != password->valuestring)) {
            answer.errorCode = static_cast<int>(simjson::Int(scenario, "answers.bad_password_code", 1));
            answer.subError = "bad-password";
        } else {
            sessions.Login(clientId, account);
            answer.body = LoginAnswer(scenario, account, server);
        }
    } else if (exchange == "state") {
        sessions.CountStateQuery(clientId);
        if (sessions.IsLoggedIn(clientId, ticket)) {
            answer.body = LoginAnswer(scenario, "", server);
            // The state answer names no account unless the scenario does.
            if (simjson::Str(scenario, "answers.userid").empty()) {
                answer.body = answer.body.substr(answer.body.find("</userid>") + 9);
            }
        } else {
            answer.errorCode = 300;
        }
    } else if (exchange == "heartbeat") {
        if (sessions.Heartbeat(clientId, ticket, doc.Field("shared"))) {
            answer.body = Element("interval", simjson::Str(scenario, "answers.interval", "30")) +
                          Element("level", simjson::Str(scenario, "answers.level", "1"));
        } else {
            answer.errorCode = 14;
        }
    } else if (exchange == "logout") {
        if (!sessions.Logout(clientId, ticket, doc.Field("reason"))) answer.errorCode = 13;
    } else if (exchange == "terminal") {
        const cJSON* fixed = simjson::Get(scenario, "answers.terminals");
        if (cJSON_IsString(fixed)) {
            answer.body = fixed->valuestring;
        } else {
            std::string list;
            for (const auto& other : sessions.OthersOfAccount(clientId)) {
                list += "<terminal>" + Element("ticket", other.tickets.empty() ? "" : other.tickets.back()) +
                        Element("client-id", other.clientId) + Element("host-name", other.hostName) +
                        Element("ipv4", other.ipv4) + "</terminal>";
            }
            answer.body = Element("terminals", list);
        }
    }
    return answer;
}

void CPortalExchanges::Handle(const std::string& exchange, const httplib::Request& req,
                              httplib::Response& res, int server) {
    JsonPtr scenario = m_sim.Scenario().Snapshot();
    const cJSON* s = scenario.get();
    JsonPtr record = simhttp::NewRecord(req, server, exchange);
    JsonPtr fault = m_sim.Scenario().TakeFault(exchange);
    res.set_header("Server-Tag", simjson::Str(s, "server_tag", "portal-sim-" + std::to_string(server)));
    if (m_sim.ApplyTransportFault(fault.get(), req, res, record.get())) {
        m_sim.Finish(std::move(record), exchange, res);
        return;
    }

    std::vector<std::string> problems = CheckHeaders(s, req);
    std::string algoId = req.get_header_value("Algo-ID");
    std::string expectedAlgo = m_sim.Modules().ExpectedAlgoId(s);
    bool algoMismatch = !expectedAlgo.empty() && algoId != expectedAlgo;
    if (algoMismatch)
        problems.push_back("bad-algo-id: \"" + algoId + "\", expected \"" + expectedAlgo + "\"");

    // Decode with the module the client says it used, whatever the verdict.
    std::string decoded;
    CSimModules::Entry entry;
    std::string error;
    if (!m_sim.Modules().Find(s, algoId, entry)) {
        problems.push_back("no-module: the simulator has no module to decode with");
    } else if (CSimModule* module = m_sim.Modules().Get(entry.so, &error); !module) {
        problems.push_back("no-module: " + error);
    } else if (!module->Decode(entry.keyId, req.body, decoded)) {
        problems.push_back("undecodable: \"Prepare\" refused the body");
    }
    simjson::AddString(record.get(), "decoded", decoded);
    CSimRequestDoc doc(exchange, decoded);
    if (!decoded.empty()) {
        for (const std::string& p : doc.Problems()) problems.push_back("bad-document: " + p);
        cJSON* elements = cJSON_AddArrayToObject(record.get(), "elements");
        cJSON* fields = cJSON_AddObjectToObject(record.get(), "fields");
        for (const auto& [name, value] : doc.Fields()) {
            cJSON_AddItemToArray(elements, cJSON_CreateString(name.c_str()));
            simjson::AddString(fields, name.c_str(), value);
        }
        std::string clientElement = doc.Field("client-id");
        if (doc.Ok() && clientElement != req.get_header_value("Client-ID")) {
            problems.push_back("client-id-mismatch: element \"" + clientElement +
                               "\" differs from the header");
        }
    }
    cJSON* problemList = cJSON_AddArrayToObject(record.get(), "problems");
    for (const std::string& p : problems) cJSON_AddItemToArray(problemList, cJSON_CreateString(p.c_str()));

    // A client with an outdated module gets the current one, as a portal does.
    std::vector<CSimModules::Entry> entries = m_sim.Modules().Entries(s);
    std::string updateFile;
    for (const auto& candidate : entries) {
        if (candidate.algoId == expectedAlgo && !candidate.zxm.empty()) updateFile = candidate.zxm;
    }
    if (algoMismatch && !updateFile.empty() && simjson::Bool(s, "checks.update_outdated_module", true)) {
        bool ok = false;
        std::string bytes = simhttp::ReadFile(updateFile, &ok);
        res.set_header("Error-Code", "200");
        res.set_content(bytes, "application/octet-stream");
        simjson::AddString(record.get(), "answer", "module file " + updateFile);
        m_sim.Finish(std::move(record), exchange, res);
        return;
    }

    const cJSON* f = fault.get();
    std::string faultSub = simjson::Str(f, "sub_error");
    std::string lastLogin = simjson::Str(f, "last_login");
    if (!lastLogin.empty()) res.set_header("Last-Login", lastLogin);

    if (!problems.empty() && simjson::Bool(s, "checks.enforce", true)) {
        SendAnswer(s, algoId, static_cast<int>(simjson::Int(s, "checks.refuse_code", 1)),
                   Tag(problems.front()), "", res, record.get());
    } else if (cJSON_IsNumber(simjson::Get(f, "error_code")) || !simjson::Str(f, "module_file").empty()) {
        int code = static_cast<int>(simjson::Int(f, "error_code", 200));
        std::string moduleFile = simjson::Str(f, "module_file");
        if (!moduleFile.empty()) {
            bool ok = false;
            std::string bytes = simhttp::ReadFile(moduleFile, &ok);
            res.set_header("Error-Code", std::to_string(code));
            if (!faultSub.empty()) res.set_header("Sub-Error", faultSub);
            res.set_content(bytes, "application/octet-stream");
            simjson::AddString(record.get(), "answer", "module file " + moduleFile);
        } else {
            SendAnswer(s, algoId, code, faultSub, "", res, record.get());
        }
    } else {
        Answer answer = Respond(exchange, s, doc, req.get_header_value("Client-ID"), server);
        SendAnswer(s, algoId, answer.errorCode, faultSub.empty() ? answer.subError : faultSub, answer.body,
                   res, record.get());
    }
    if (simjson::Bool(f, "omit_server_tag")) res.headers.erase("Server-Tag");
    if (simjson::Bool(f, "omit_error_code")) res.headers.erase("Error-Code");
    if (long status = simjson::Int(f, "status", 0); status > 0) res.status = static_cast<int>(status);
    if (std::string text = simjson::Str(f, "error_code_text"); !text.empty()) {
        res.headers.erase("Error-Code");
        res.set_header("Error-Code", text);
    }
    if (simjson::Bool(f, "lowercase_headers")) {
        // As every HTTP/2 answer names them.
        for (const char* name : {"Error-Code", "Server-Tag", "Sub-Error", "Last-Login"}) {
            if (!res.has_header(name)) continue;
            std::string value = res.get_header_value(name), lower = name;
            for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            res.headers.erase(name);
            res.set_header(lower, value);
        }
    }
    m_sim.Finish(std::move(record), exchange, res);
}
