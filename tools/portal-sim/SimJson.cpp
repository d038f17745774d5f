#include "SimJson.h"

#include <cmath>

namespace simjson {

const cJSON* Get(const cJSON* root, const std::string& path) {
    const cJSON* node = root;
    size_t start = 0;
    while (node && start <= path.size()) {
        size_t dot = path.find('.', start);
        std::string key = path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (!cJSON_IsObject(node)) return nullptr;
        node = cJSON_GetObjectItemCaseSensitive(node, key.c_str());
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    return node;
}

std::string Str(const cJSON* root, const std::string& path, const std::string& def) {
    const cJSON* node = Get(root, path);
    if (cJSON_IsString(node)) return node->valuestring;
    if (cJSON_IsNumber(node)) {
        double v = node->valuedouble;
        if (std::floor(v) == v) return std::to_string(static_cast<long long>(v));
        return std::to_string(v);
    }
    return def;
}

long Int(const cJSON* root, const std::string& path, long def) {
    const cJSON* node = Get(root, path);
    if (cJSON_IsNumber(node)) return static_cast<long>(node->valuedouble);
    if (cJSON_IsString(node)) return std::strtol(node->valuestring, nullptr, 10);
    if (cJSON_IsBool(node)) return cJSON_IsTrue(node) ? 1 : 0;
    return def;
}

bool Bool(const cJSON* root, const std::string& path, bool def) {
    const cJSON* node = Get(root, path);
    if (cJSON_IsBool(node)) return cJSON_IsTrue(node);
    if (cJSON_IsNumber(node)) return node->valuedouble != 0;
    return def;
}

std::string Print(const cJSON* node) {
    if (!node) return "";
    char* text = cJSON_PrintUnformatted(node);
    if (!text) return "";
    std::string out(text);
    cJSON_free(text);
    return out;
}

JsonPtr Parse(const std::string& text) { return JsonPtr(cJSON_ParseWithLength(text.data(), text.size())); }

void MergePatch(cJSON* target, const cJSON* patch) {
    for (const cJSON* item = patch->child; item; item = item->next) {
        if (cJSON_IsNull(item)) {
            cJSON_DeleteItemFromObjectCaseSensitive(target, item->string);
            continue;
        }
        cJSON* existing = cJSON_GetObjectItemCaseSensitive(target, item->string);
        if (cJSON_IsObject(item) && cJSON_IsObject(existing)) {
            MergePatch(existing, item);
            continue;
        }
        cJSON* copy = cJSON_Duplicate(item, 1);
        if (existing) {
            cJSON_ReplaceItemInObjectCaseSensitive(target, item->string, copy);
        } else {
            cJSON_AddItemToObject(target, item->string, copy);
        }
    }
}

void AddString(cJSON* obj, const char* key, const std::string& value) {
    cJSON_AddItemToObject(obj, key, cJSON_CreateString(value.c_str()));
}

}  // namespace simjson
