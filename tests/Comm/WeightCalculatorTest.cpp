#include <gtest/gtest.h>

#include "WeightCalculator.h"

TEST(HashBalanceTest, ListSplittingKeepsInnerEmptiesAndDropsShortTail) {
    struct Case {
        const char* list;
        std::vector<std::string> expected;
    } cases[] = {
        {"10.0.0.1,10.0.0.2,10.0.0.3", {"10.0.0.1", "10.0.0.2", "10.0.0.3"}},
        {"10.0.0.1,10.0.0.2,10.0.0.3,", {"10.0.0.1", "10.0.0.2", "10.0.0.3"}},
        {"10.0.0.1,,10.0.0.3", {"10.0.0.1", "", "10.0.0.3"}},
        {"a", {}},
        {"", {}},
        {"ab", {"ab"}},
    };
    for (const auto& c : cases) {
        HashBalance balance;
        balance.SetIpList(c.list);
        ASSERT_EQ(balance.Size(), static_cast<int>(c.expected.size())) << c.list;
        HashBalance copy = balance;
        for (size_t i = 0; i < c.expected.size(); ++i) {
            // Walk the list by deleting what getServer would not tell apart:
            // compare through deleteIp of the expected entries in order.
            copy.deleteIp(c.expected[i]);
        }
        EXPECT_EQ(copy.Size(), 0) << c.list;
    }
}

TEST(HashBalanceTest, HashIsTimes31WithWrapAndChoiceFollowsRemainingOrder) {
    EXPECT_EQ(HashBalance::hash_index(""), 0u);
    EXPECT_EQ(HashBalance::hash_index("a"), 97u);
    EXPECT_EQ(HashBalance::hash_index("ab"), 97u * 31u + 98u);
    // Long keys wrap modulo 2^32 instead of overflowing.
    unsigned int expected = 0;
    for (char c : std::string("192.168.100.200-and-more-text")) expected = expected * 31u + static_cast<unsigned char>(c);
    EXPECT_EQ(HashBalance::hash_index("192.168.100.200-and-more-text"), expected);

    HashBalance balance;
    balance.SetIpList("s0,s1,s2");
    const std::string key = "10.1.2.3";
    unsigned int hash = HashBalance::hash_index(key.c_str());
    std::vector<std::string> servers = {"s0", "s1", "s2"};
    std::string first = balance.getServer(key);
    EXPECT_EQ(first, servers[hash % 3]);
    balance.deleteIp(first);
    servers.erase(servers.begin() + hash % 3);
    EXPECT_EQ(balance.getServer(key), servers[hash % 2]);
    EXPECT_EQ(balance.getServer(""), "");
    balance.deleteIp("absent");
    EXPECT_EQ(balance.Size(), 2);
}
