// Small helpers around cJSON for the portal simulator: an owning pointer and
// lookups by dotted path ("portal.schoolid"). Stateless; any thread.
#pragma once

#include <cjson/cJSON.h>

#include <memory>
#include <string>
#include <vector>

struct SimJsonDeleter {
    void operator()(cJSON* p) const noexcept { cJSON_Delete(p); }
};
using JsonPtr = std::unique_ptr<cJSON, SimJsonDeleter>;

namespace simjson {

// The node at a dotted path below root, or null.
const cJSON* Get(const cJSON* root, const std::string& path);
std::string Str(const cJSON* root, const std::string& path, const std::string& def = "");
long Int(const cJSON* root, const std::string& path, long def = 0);
bool Bool(const cJSON* root, const std::string& path, bool def = false);
// Printed without white space; "" for null.
std::string Print(const cJSON* node);
JsonPtr Parse(const std::string& text);
// Merges patch into target the way a JSON merge patch does: objects merge
// member by member, null removes a member, anything else replaces.
void MergePatch(cJSON* target, const cJSON* patch);
void AddString(cJSON* obj, const char* key, const std::string& value);

}  // namespace simjson
