// The download list's state, which decides the hand-over, on lists the
// check itself never writes.
#include <gtest/gtest.h>

#include <fstream>

#include "TempDir.h"
#include "UpdateList.h"

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
