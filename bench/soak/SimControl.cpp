#include "SimControl.h"

#include <cjson/cJSON.h>
#include <httplib.h>

#include <memory>

namespace {
using Json = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

Json Parse(const std::string& text) { return Json(cJSON_Parse(text.c_str()), cJSON_Delete); }

long Number(const cJSON* obj, const char* name, long fallback) {
    const cJSON* item = cJSON_GetObjectItemCaseSensitive(obj, name);
    return cJSON_IsNumber(item) ? static_cast<long>(item->valuedouble) : fallback;
}
}  // namespace

std::string SimControl::Get(const std::string& path, int timeoutSeconds) {
    httplib::Client client(m_url);
    client.set_connection_timeout(5);
    client.set_read_timeout(timeoutSeconds);
    auto res = client.Get(path.c_str());
    return res && res->status == 200 ? res->body : "";
}

bool SimControl::Merge(const std::string& patchJson) {
    httplib::Client client(m_url);
    client.set_connection_timeout(5);
    client.set_read_timeout(10);
    auto res = client.Post("/control/scenario", patchJson, "application/json");
    return res && res->status == 200;
}

bool SimControl::SetFault(const std::string& endpoint, const std::string& faultJson) {
    return Merge("{\"faults\":{\"" + endpoint + "\":" + faultJson + "}}");
}

long SimControl::WaitCount(const std::string& endpoint, long count, std::chrono::milliseconds timeout) {
    Json answer =
        Parse(Get("/control/requests/wait?endpoint=" + endpoint + "&count=" + std::to_string(count) +
                      "&timeout_ms=" + std::to_string(timeout.count()),
                  static_cast<int>(timeout.count() / 1000) + 10));
    return Number(answer.get(), "count", -1);
}

std::vector<SimControl::Record> SimControl::Since(const std::string& endpoint, long since) {
    std::vector<Record> records;
    Json list = Parse(Get("/control/requests?endpoint=" + endpoint + "&since=" + std::to_string(since), 30));
    const cJSON* item = nullptr;
    cJSON_ArrayForEach(item, list.get()) {
        Record r;
        r.seq = Number(item, "seq", 0);
        r.errorCode = static_cast<int>(Number(item, "error_code", -1));
        const cJSON* algo =
            cJSON_GetObjectItemCaseSensitive(cJSON_GetObjectItemCaseSensitive(item, "headers"), "Algo-ID");
        if (cJSON_IsString(algo)) r.algoId = algo->valuestring;
        r.faulted = cJSON_GetObjectItemCaseSensitive(item, "fault") != nullptr;
        records.push_back(std::move(r));
    }
    return records;
}

SimControl::Totals SimControl::SessionTotals() {
    Totals totals;
    Json sessions = Parse(Get("/control/sessions", 10));
    const cJSON* session = nullptr;
    cJSON_ArrayForEach(session, sessions.get()) {
        totals.logins += Number(session, "logins", 0);
        totals.heartbeats += Number(session, "heartbeats", 0);
    }
    return totals;
}
