#include <gtest/gtest.h>

#include <fstream>
#include <cctype>
#include <set>

#include "InfoCenter.h"
#include "TempDir.h"
#include "UserInfo.h"
#include "uuid32.h"

TEST(CUserInfoTest, FirstStartWritesAnIdThatLaterStartsKeep) {
    TempDir dir;
    std::string file = dir / "conf.xml";
    std::ofstream(file) << "<conf><version>2.5.1</version><clientId></clientId></conf>";
    std::string first;
    {
        CInfoCenter store(CInfoCenter::Flavor::Service, file.c_str());
        CUserInfo info(&store);
        EXPECT_EQ(info.Init(), 1);
        first = store.GetValue("clientId").c_str();
        EXPECT_EQ(first.size(), 36u);
        EXPECT_STREQ(store.GetValue("version"), "2.5.1");
        EXPECT_FALSE(store.GetValue("hostName").IsEmpty());
    }
    CInfoCenter store(CInfoCenter::Flavor::Service, file.c_str());
    CUserInfo info(&store);
    info.Init();
    EXPECT_EQ(std::string(store.GetValue("clientId")), first);
}

TEST(CUserInfoTest, StoredIdIsUsedAsStored) {
    TempDir dir;
    std::string file = dir / "conf.xml";
    std::ofstream(file) << "<conf><clientId>not-a-uuid</clientId></conf>";
    CInfoCenter store(CInfoCenter::Flavor::Service, file.c_str());
    CUserInfo info(&store);
    info.Init();
    EXPECT_STREQ(store.GetValue("clientId"), "not-a-uuid");
}

TEST(Uuid32Test, IdsHaveVersionAndVariantAndDifferWithinAMillisecond) {
    auto hasLayout = [](const std::string& id) {
        if (id.size() != 36) return false;
        for (size_t i = 0; i < id.size(); ++i) {
            bool dash = i == 8 || i == 13 || i == 18 || i == 23;
            if (dash ? id[i] != '-' : !(isdigit(static_cast<unsigned char>(id[i])) || (id[i] >= 'a' && id[i] <= 'f')))
                return false;
        }
        return true;
    };
    std::set<std::string> firstGroups;
    for (int i = 0; i < 50; ++i) {
        std::string id = uuid_create_string();
        ASSERT_TRUE(hasLayout(id)) << id;
        unsigned third = std::stoul(id.substr(14, 4), nullptr, 16);
        unsigned fourth = std::stoul(id.substr(19, 4), nullptr, 16);
        EXPECT_TRUE(third & 0x1000) << id;
        EXPECT_GE(fourth, 0x8000u);
        EXPECT_LE(fourth, 0xbfffu);
        firstGroups.insert(id.substr(0, 8));
    }
    // Fifty ids in well under fifty milliseconds still all differ.
    EXPECT_EQ(firstGroups.size(), 50u);
}
