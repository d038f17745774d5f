// CSimModules: the algorithm modules the simulated portal knows. The scenario
// names a primary module ("module": so, zxm, key_id, algo_id) and others
// ("modules": [...]); the command line may replace the primary's shared
// object. Shared objects are loaded on first use and kept. Any thread.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "SimJson.h"
#include "SimModule.h"

class CSimModules {
public:
    struct Entry {
        std::string so;
        std::string zxm;  // packed module file, served to clients that must update
        std::string keyId;
        std::string algoId;
    };

    void SetCommandLineModule(const std::string& so) { m_cliSo = so; }
    // The primary first; ids missing from the scenario come from the zxm file.
    std::vector<Entry> Entries(const cJSON* scenario) const;
    // The identifier requests must carry: "algo_id" of the scenario, else
    // the primary's. Empty: not checked.
    std::string ExpectedAlgoId(const cJSON* scenario) const;
    // The entry whose identifier is algoId, else the primary; false when there is none.
    bool Find(const cJSON* scenario, const std::string& algoId, Entry& entry) const;
    // The loaded shared object; null with a reason when it cannot be loaded.
    CSimModule* Get(const std::string& so, std::string* error);

private:
    std::string m_cliSo;
    std::mutex m_lock;
    std::map<std::string, std::unique_ptr<CSimModule>> m_loaded;
};
