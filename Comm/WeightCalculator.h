// HashBalance: one portal server cluster. A client always gets the same
// server for the same list (hash of its own address), and a chosen server
// is struck off, so repeated failures walk through the cluster. Not locked:
// only the portal work thread uses it.
#pragma once

#include <string>
#include <vector>

class HashBalance {
public:
    // Pieces before each "," are kept as they are (empty ones too); the text
    // after the last "," only when it is longer than one character.
    void SetIpList(const std::string& list);
    int Size() const { return static_cast<int>(serverMap.size()); }
    bool Empty() const { return serverMap.empty(); }
    static unsigned int hash_index(const char* key);
    // Empty when the key or the list is empty.
    std::string getServer(const std::string& key) const;
    void deleteIp(const std::string& ip);

private:
    std::vector<std::string> serverMap;
};
