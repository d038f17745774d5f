#include "WeightCalculator.h"

#include <algorithm>
#include <cstdint>

void HashBalance::SetIpList(const std::string& list) {
    serverMap.clear();
    size_t start = 0;
    for (size_t comma = list.find(','); comma != std::string::npos; comma = list.find(',', start)) {
        serverMap.push_back(list.substr(start, comma - start));
        start = comma + 1;
    }
    std::string last = list.substr(start);
    if (last.size() > 1) serverMap.push_back(last);
}

unsigned int HashBalance::hash_index(const char* key) {
    uint32_t hash = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(key); p && *p; ++p)
        hash = hash * 31u + *p;
    return hash;
}

std::string HashBalance::getServer(const std::string& key) const {
    if (key.empty() || serverMap.empty()) return std::string();
    return serverMap[hash_index(key.c_str()) % serverMap.size()];
}

void HashBalance::deleteIp(const std::string& ip) {
    auto found = std::find(serverMap.begin(), serverMap.end(), ip);
    if (found != serverMap.end()) serverMap.erase(found);
}
