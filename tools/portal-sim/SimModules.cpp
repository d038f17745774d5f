#include "SimModules.h"

namespace {
CSimModules::Entry ReadEntry(const cJSON* node) {
    CSimModules::Entry entry;
    entry.so = simjson::Str(node, "so");
    entry.zxm = simjson::Str(node, "zxm");
    entry.keyId = simjson::Str(node, "key_id");
    entry.algoId = simjson::Str(node, "algo_id");
    if (!entry.zxm.empty() && (entry.keyId.empty() || entry.algoId.empty())) {
        std::string keyId, algoId;
        if (CSimModule::ReadModuleFileIds(entry.zxm, keyId, algoId)) {
            if (entry.keyId.empty()) entry.keyId = keyId;
            if (entry.algoId.empty()) entry.algoId = algoId;
        }
    }
    return entry;
}
}  // namespace

std::vector<CSimModules::Entry> CSimModules::Entries(const cJSON* scenario) const {
    std::vector<Entry> entries;
    Entry primary = ReadEntry(simjson::Get(scenario, "module"));
    if (!m_cliSo.empty()) primary.so = m_cliSo;
    if (!primary.so.empty()) entries.push_back(primary);
    const cJSON* others = simjson::Get(scenario, "modules");
    const cJSON* item = nullptr;
    cJSON_ArrayForEach(item, others) {
        Entry entry = ReadEntry(item);
        if (!entry.so.empty()) entries.push_back(entry);
    }
    return entries;
}

std::string CSimModules::ExpectedAlgoId(const cJSON* scenario) const {
    std::string fixed = simjson::Str(scenario, "algo_id");
    if (!fixed.empty()) return fixed;
    std::vector<Entry> entries = Entries(scenario);
    return entries.empty() ? "" : entries.front().algoId;
}

bool CSimModules::Find(const cJSON* scenario, const std::string& algoId, Entry& entry) const {
    std::vector<Entry> entries = Entries(scenario);
    if (entries.empty()) return false;
    for (const Entry& candidate : entries) {
        if (!algoId.empty() && candidate.algoId == algoId) {
            entry = candidate;
            return true;
        }
    }
    entry = entries.front();
    return true;
}

CSimModule* CSimModules::Get(const std::string& so, std::string* error) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_loaded.find(so);
    if (it != m_loaded.end()) return it->second.get();
    std::unique_ptr<CSimModule> module = CSimModule::Load(so, error);
    if (!module) return nullptr;
    CSimModule* raw = module.get();
    m_loaded[so] = std::move(module);
    return raw;
}
