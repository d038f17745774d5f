// The error-text table: the two key forms, the placeholder, the fallback,
// broken files, and the shipped table.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "ErrorCodeText.h"
#include "TempDir.h"

namespace {

std::string Text(CErrorCodeText& table, long code, const char* sub = "", const char* extra = "") {
    return std::string(table.GetText(code, sub, extra));
}

std::string Load(CErrorCodeText& table, const std::string& path) {
    testing::internal::CaptureStdout();
    table.Load(path.c_str());
    return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(ErrorCodeTextTest, LooksUpCodeOrCodeWithSubErrorAndFillsTheExtraText) {
    TempDir dir;
    std::ofstream(dir / "code.xml") << R"(<?xml version="1.0" encoding="UTF-8"?>
<code>
<err id="20010204" value="没有网络"/>
<err id="100" value="plain"/><err id="100.7" value="seven"/>
<err id="5" value="a %s b"/><err id="6" value="%s and %s"/>
<err id="5" value="second"/>
<other id="9" value="ignored"/>
<err id="-3" value="negative"/>
<err id="8"/>
</code>)";
    CErrorCodeText table;
    EXPECT_EQ(Load(table, dir / "code.xml"), "");
    struct Case {
        long code;
        const char* sub;
        const char* extra;
        std::string text;
    } cases[] = {
        {20010204, "", "", "没有网络"},
        {20010204, nullptr, nullptr, "没有网络"},
        {100, "7", "", "seven"},
        {100, "8", "", "错误码：100"},  // no second try with the code alone
        {5, "", "X", "a X b"},          // the first of two equal ids counts
        {5, "", "", "a  b"},
        {6, "", "%s", "%s and %s"},
        {6, "", "x", "x and x"},
        {9, "", "", "错误码：9"},
        {-3, "", "", "negative"},
        {-4, "", "", "错误码：-4"},
        {8, "", "", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Text(table, c.code, c.sub, c.extra), c.text) << c.code << "." << (c.sub ? c.sub : "");
}

TEST(ErrorCodeTextTest, BrokenOrMissingFileLeavesAnEmptyTable) {
    TempDir dir;
    std::ofstream(dir / "good.xml") << R"(<code><err id="1" value="one"/></code>)";
    std::ofstream(dir / "noroot.xml") << R"(<codes><err id="1" value="one"/></codes>)";
    std::ofstream(dir / "broken.xml") << R"(<code><err id="1" value="one"/>)";
    struct Case {
        std::string file;
        std::string printed;
    } cases[] = {
        {dir / "missing.xml", "load file " + (dir / "missing.xml") + " failed! \n"},
        {dir / "broken.xml", "load file " + (dir / "broken.xml") + " failed! \n"},
        {dir / "noroot.xml", "code not found! "},
    };
    for (const Case& c : cases) {
        CErrorCodeText table;
        Load(table, dir / "good.xml");
        EXPECT_EQ(Load(table, c.file), c.printed);
        EXPECT_EQ(Text(table, 1), "错误码：1") << c.file;
    }
}

// Every code the service reports has a sentence; "%s" only where the report
// carries an extra text.
TEST(ErrorCodeTextTest, ShippedTableCoversEveryCode) {
    CErrorCodeText table;
    ASSERT_EQ(Load(table, VELNOR_SOURCE_DIR "/assets/conf/code.xml"), "");
    for (long code : {0L,        1L,        14L,       30000101L, 30000102L, 30000103L, 30000104L,
                      30000105L, 30000106L, 20010003L, 20010004L, 20010204L, 20010205L, 20010207L,
                      140001L,   140003L,   140105L,   150001L,   150003L,   150010L,   150102L,
                      150103L,   150106L,   150107L,   150108L,   150110L,   150200L,   150201L}) {
        std::string text = Text(table, code, "", "EXTRA");
        EXPECT_EQ(text.find("错误码"), std::string::npos) << code;
        bool hasExtra = text.find("EXTRA") != std::string::npos;
        EXPECT_EQ(hasExtra, code == 150102 || code == 150103 || code == 150200) << code << ": " << text;
    }
}
