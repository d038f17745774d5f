// The download list, the update address and the staging folder's names,
// without a server.
#include <gtest/gtest.h>

#include <fstream>

#include "StagingDir.h"
#include "TempDir.h"
#include "UpdateList.h"
#include "UpdateRequest.h"

TEST(CUpdateListTest, RoundTripsAnyTextAndRelistsOnlyANewAddress) {
    TempDir dir;
    CUpdateList list;
    EXPECT_TRUE(list.Record("core", "http://h/d?a=1&b=<2>\"'", "abc", "10"));
    EXPECT_TRUE(list.Record("gui", "http://h/\xe5\xad\xa6", "", "0"));
    list.Items()[0].state = CUpdateList::kDownloaded;
    EXPECT_FALSE(list.Record("core", "http://h/d?a=1&b=<2>\"'", "other", "11"));  // same address: kept
    ASSERT_TRUE(list.Save(dir / "update.xml"));
    CUpdateList loaded;
    ASSERT_TRUE(loaded.Load(dir / "update.xml"));
    ASSERT_EQ(loaded.Items().size(), 2u);
    const CUpdateItem& core = loaded.Items()[0];
    EXPECT_EQ(core.name + "|" + core.md5 + "|" + core.size + "|" + core.state + "|" + core.text,
              "core|abc|10|2|http://h/d?a=1&b=<2>\"'");
    EXPECT_EQ(loaded.Items()[1].text, "http://h/\xe5\xad\xa6");
    // Another address lists the package anew.
    EXPECT_TRUE(loaded.Record("core", "http://h/new", "def", "12"));
    EXPECT_EQ(loaded.Items()[0].state + loaded.Items()[0].md5 + loaded.Items()[0].size, "0def12");
}

TEST(CUpdateListTest, StateTellsWhetherEverythingIsDownloaded) {
    TempDir dir;
    const std::pair<const char*, int> cases[] = {
        {"<update/>", CUpdateList::kNoItems},
        {"<update><item state=\"2\"/><item state=\"2\"/></update>", CUpdateList::kAllDownloaded},
        {"<update><item state=\"2\"/><item state=\"1\"/></update>", CUpdateList::kPending},
        {"<update><item state=\"0\"/></update>", CUpdateList::kPending},
        {"<list><item state=\"2\"/></list>", CUpdateList::kUnreadable},
        {"<update><item", CUpdateList::kUnreadable},
    };
    for (const auto& [text, state] : cases) {
        std::ofstream(dir / "update.xml", std::ios::trunc) << text;
        EXPECT_EQ(CUpdateList::FileState(dir / "update.xml"), state) << text;
    }
    EXPECT_EQ(CUpdateList::FileState(dir / "none.xml"), CUpdateList::kUnreadable);
}

TEST(CUpdateRequestTest, AddressIsTheQuotedPartWhenThereIsOne) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://h/update", "http://h/update"},
        {"<Update url=\"http://h/update\" other=\"x\"/>", "http://h/update"},
        {"see \"http://h/u", "http://h/u"},
        {"", ""},
    };
    for (const auto& [value, address] : cases) EXPECT_EQ(CUpdateRequest::Address(value), address) << value;
    EXPECT_EQ(CUpdateRequest::Query("1.0", "c1", "a b", "S1"),
              "keyword=(auto)&version=1.0&clientid=c1&dialaccount=a%20b&cid=S1&");
}

TEST(CStagingDirTest, OnlyPlainNamesOfItsOwnFolderAreUsed) {
    const std::pair<std::string, bool> names[] = {
        {"core-1.2_b", true}, {std::string(64, 'a'), true}, {std::string(65, 'a'), false}, {".", false},
        {"..", false},        {"../x", false},               {"a/b", false},               {"", false},
        {"a b", false},       {"\xe5\xad\xa6", false},
    };
    CStagingDir staging("/opt/velnor");
    for (const auto& [name, safe] : names) {
        EXPECT_EQ(CStagingDir::IsSafeName(name), safe) << name;
        EXPECT_EQ(staging.File(name), safe ? "/opt/velnor/Quellan/AutoSetupAuth/" + name : "") << name;
    }
    EXPECT_EQ(staging.PackageFile("core"), "/opt/velnor/Quellan/AutoSetupAuth/core.tar.gz");
    EXPECT_EQ(CStagingDir("").File("core"), "");
}
