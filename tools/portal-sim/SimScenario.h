// CSimScenario: the simulator's scenario, a JSON document loaded at start and
// changed while the simulator runs (merge patches from the control API).
// Every method may be called from any thread; handlers take a snapshot per
// request so one request sees one consistent scenario.
#pragma once

#include <mutex>
#include <string>

#include "SimJson.h"

class CSimScenario {
public:
    CSimScenario();

    // Replaces the scenario (and what Reset returns to). False on bad JSON.
    bool Load(const std::string& jsonText, std::string* error);
    bool Merge(const std::string& patchText, std::string* error);
    // Back to the scenario as loaded.
    void Reset();
    JsonPtr Snapshot() const;
    std::string ToJson() const;

    // Takes the fault planned for one request to an endpoint, or null. A
    // "sequence" hands out its first element and shrinks; "times" counts
    // down; a fault that is used up disappears from the scenario.
    JsonPtr TakeFault(const std::string& endpoint);

private:
    mutable std::mutex m_lock;
    JsonPtr m_initial;
    JsonPtr m_current;
};
