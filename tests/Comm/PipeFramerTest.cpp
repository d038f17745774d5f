#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PipeFramer.h"

namespace {

std::vector<std::string> Texts(const std::vector<CAutoString>& messages) {
    std::vector<std::string> out;
    for (const CAutoString& m : messages) out.emplace_back(m.c_str(), m.GetLength());
    return out;
}

}  // namespace

TEST(CPipeFramerTest, JoinsMessagesCutAnywhereAndKeepsTheUnfinishedTail) {
    const std::string bytes("<M>one</M>\0\0<M>three</M>\0<M>tail", 32);
    for (size_t split = 0; split <= bytes.size(); ++split) {
        CPipeFramer framer;
        std::vector<CAutoString> out;
        framer.Feed(bytes.data(), split, out);
        framer.Feed(bytes.data() + split, bytes.size() - split, out);
        EXPECT_EQ(Texts(out), (std::vector<std::string>{"<M>one</M>", "", "<M>three</M>"})) << split;
        EXPECT_EQ(framer.GetPendingSize(), 7u);
    }
}

TEST(CPipeFramerTest, DropsMessagesOverTheCapWholeAndResynchronises) {
    CPipeFramer framer(8);
    std::vector<CAutoString> out;
    const std::string bytes = std::string("12345678\0", 9) + std::string("123456789abc\0", 13) + "ok" + '\0';
    for (char byte : bytes) framer.Feed(&byte, 1, out);  // the cap is crossed between reads
    framer.Feed(std::string("123456789\0x\0", 12).data(), 12, out);  // and inside one
    EXPECT_EQ(Texts(out), (std::vector<std::string>{"12345678", "ok", "x"}));
    EXPECT_EQ(framer.GetDroppedCount(), 2u);
    EXPECT_EQ(framer.GetPendingSize(), 0u);
}
