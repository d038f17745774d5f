#include "SimScenario.h"

CSimScenario::CSimScenario() : m_initial(cJSON_CreateObject()), m_current(cJSON_CreateObject()) {}

bool CSimScenario::Load(const std::string& jsonText, std::string* error) {
    JsonPtr parsed = simjson::Parse(jsonText);
    if (!cJSON_IsObject(parsed.get())) {
        if (error) *error = "scenario is not a JSON object";
        return false;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_current.reset(cJSON_Duplicate(parsed.get(), 1));
    m_initial = std::move(parsed);
    return true;
}

bool CSimScenario::Merge(const std::string& patchText, std::string* error) {
    JsonPtr patch = simjson::Parse(patchText);
    if (!cJSON_IsObject(patch.get())) {
        if (error) *error = "patch is not a JSON object";
        return false;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    simjson::MergePatch(m_current.get(), patch.get());
    return true;
}

void CSimScenario::Reset() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_current.reset(cJSON_Duplicate(m_initial.get(), 1));
}

JsonPtr CSimScenario::Snapshot() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return JsonPtr(cJSON_Duplicate(m_current.get(), 1));
}

std::string CSimScenario::ToJson() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return simjson::Print(m_current.get());
}

JsonPtr CSimScenario::TakeFault(const std::string& endpoint) {
    std::lock_guard<std::mutex> guard(m_lock);
    cJSON* faults = cJSON_GetObjectItemCaseSensitive(m_current.get(), "faults");
    cJSON* fault = cJSON_GetObjectItemCaseSensitive(faults, endpoint.c_str());
    if (!cJSON_IsObject(fault)) return nullptr;

    JsonPtr taken;
    cJSON* sequence = cJSON_GetObjectItemCaseSensitive(fault, "sequence");
    if (cJSON_IsArray(sequence)) {
        JsonPtr first(cJSON_DetachItemFromArray(sequence, 0));
        bool empty = cJSON_GetArraySize(sequence) == 0;
        if (!first) {
            cJSON_DeleteItemFromObjectCaseSensitive(faults, endpoint.c_str());
            return nullptr;
        }
        // A bare number in a sequence is an Error-Code; 0 answers normally.
        if (cJSON_IsNumber(first.get())) {
            taken.reset(cJSON_CreateObject());
            if (first->valuedouble != 0)
                cJSON_AddNumberToObject(taken.get(), "error_code", first->valuedouble);
        } else if (cJSON_IsObject(first.get())) {
            taken = std::move(first);
        } else {
            taken.reset(cJSON_CreateObject());
        }
        if (empty) cJSON_DeleteItemFromObjectCaseSensitive(faults, endpoint.c_str());
        return taken;
    }

    taken.reset(cJSON_Duplicate(fault, 1));
    cJSON* times = cJSON_GetObjectItemCaseSensitive(fault, "times");
    if (cJSON_IsNumber(times)) {
        double left = times->valuedouble - 1;
        if (left <= 0) {
            cJSON_DeleteItemFromObjectCaseSensitive(faults, endpoint.c_str());
        } else {
            cJSON_SetNumberValue(times, left);
        }
    }
    return taken;
}
