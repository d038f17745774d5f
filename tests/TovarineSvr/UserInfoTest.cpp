#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <set>
#include <string>

#include "InfoCenter.h"
#include "TempDir.h"
#include "UserInfo.h"
#include "uuid32.h"

namespace {
// One start on the settings file: "clientId version" as published, the
// host name being published as well.
std::string Start(const std::string& file) {
    CInfoCenter store(CInfoCenter::Flavor::Service, file.c_str());
    CUserInfo info(&store);
    EXPECT_EQ(info.Init(), 1);
    EXPECT_FALSE(store.GetValue("hostName").IsEmpty());
    return std::string(store.GetValue("clientId").c_str()) + " " + store.GetValue("version").c_str();
}
}  // namespace

TEST(CUserInfoTest, FirstStartWritesAnIdThatLaterStartsKeepAsStored) {
    TempDir dir;
    std::string file = dir / "conf.xml";
    std::ofstream(file) << "<conf><version>2.5.1</version><clientId></clientId></conf>";
    std::string first = Start(file);
    EXPECT_EQ(first.size(), 36u + 6);
    EXPECT_EQ(first.substr(36), " 2.5.1");
    EXPECT_EQ(Start(file), first);
    std::ofstream(file) << "<conf><clientId>not-a-uuid</clientId></conf>";
    EXPECT_EQ(Start(file), "not-a-uuid ");
    // An id that cannot travel in a header is replaced, and the new one kept.
    for (const char* bad : {"id&#13;&#10;X-Injected: 1", "a&#9;b", "&#127;"}) {
        std::ofstream(file) << "<conf><clientId>" << bad << "</clientId></conf>";
        std::string fresh = Start(file);
        EXPECT_EQ(fresh.size(), 36u + 1) << bad;
        EXPECT_EQ(Start(file), fresh) << bad;
    }
}

TEST(Uuid32Test, IdsHaveVersionAndVariantAndDifferWithinAMillisecond) {
    std::set<std::string> firstGroups;
    for (int i = 0; i < 50; ++i) {
        std::string id = uuid_create_string();
        ASSERT_EQ(id.size(), 36u) << id;
        for (size_t at = 0; at < id.size(); ++at) {
            bool dash = at == 8 || at == 13 || at == 18 || at == 23;
            ASSERT_TRUE(dash ? id[at] == '-'
                             : isxdigit(static_cast<unsigned char>(id[at])) && !isupper(id[at]))
                << id;
        }
        EXPECT_TRUE(std::stoul(id.substr(14, 4), nullptr, 16) & 0x1000) << id;
        EXPECT_NE(std::string("89ab").find(id[19]), std::string::npos) << id;
        firstGroups.insert(id.substr(0, 8));
    }
    // Fifty ids in well under fifty milliseconds still all differ.
    EXPECT_EQ(firstGroups.size(), 50u);
}
