#include <gtest/gtest.h>

#include "WeightCalculator.h"

TEST(HashBalanceTest, ListSplittingKeepsInnerEmptiesAndDropsShortTail) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"10.0.0.1,10.0.0.2,10.0.0.3", {"10.0.0.1", "10.0.0.2", "10.0.0.3"}},
        {"10.0.0.1,10.0.0.2,10.0.0.3,", {"10.0.0.1", "10.0.0.2", "10.0.0.3"}},
        {"10.0.0.1,,10.0.0.3", {"10.0.0.1", "", "10.0.0.3"}},
        {"a", {}},
        {"", {}},
        {"ab", {"ab"}},
    };
    for (const auto& [list, expected] : cases) {
        HashBalance balance;
        balance.SetIpList(list);
        ASSERT_EQ(balance.Size(), static_cast<int>(expected.size())) << list;
        for (const std::string& entry : expected)
            balance.deleteIp(entry);  // each removes exactly its own entry
        EXPECT_EQ(balance.Size(), 0) << list;
    }
}

TEST(HashBalanceTest, HashIsTimes31WithWrapAndChoiceFollowsRemainingOrder) {
    EXPECT_EQ(HashBalance::hash_index(""), 0u);
    EXPECT_EQ(HashBalance::hash_index("ab"), 97u * 31u + 98u);
    // Wraps modulo 2^32; bytes count unsigned.
    EXPECT_EQ(HashBalance::hash_index("192.168.100.200-and-more-\xC4"), 3898562585u);

    HashBalance balance;
    balance.SetIpList("s0,s1,s2");
    const std::string key = "10.1.2.3";
    const unsigned int hash = HashBalance::hash_index(key.c_str());
    std::vector<std::string> servers = {"s0", "s1", "s2"};
    const std::string first = balance.getServer(key);
    EXPECT_EQ(first, servers[hash % 3]);
    balance.deleteIp(first);
    balance.deleteIp("absent");
    servers.erase(servers.begin() + hash % 3);
    EXPECT_EQ(balance.getServer(key), servers[hash % 2]);
    EXPECT_EQ(balance.getServer(""), "");
}
