#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <fstream>
#include <iterator>
#include <string>

#include "TempDir.h"
#include "XMLOpt.h"

namespace {

std::string Str(const CAutoString& text) { return std::string(text.GetBuffer(), text.GetLength()); }

const char kEnvelope[] =
    "<M><OpS>Portal</OpS><OpT>NetModule</OpT><OpC>NetStateMessageResp</OpC>"
    "<P><newState>31</newState><code>-7</code></P><n><a> 7x</a><b>99999999999</b><c>-99999999999</c></n></M>";

}  // namespace

TEST(CXMLOptTest, ReadsValuesByDottedPathUnderTheRoot) {
    CXMLOpt xml(kEnvelope);
    EXPECT_EQ(xml.GetIntValue("P.newState"), 31);
    EXPECT_EQ(xml.GetIntValue("P.code"), -7);
    EXPECT_EQ(Str(xml.GetValue("OpC")), "NetStateMessageResp");
    // Leading digits, clamped to int; no digits read as 0.
    EXPECT_EQ(xml.GetIntValue("n.a"), 7);
    EXPECT_EQ(xml.GetIntValue("n.b"), INT_MAX);
    EXPECT_EQ(xml.GetIntValue("n.c"), INT_MIN);
    EXPECT_EQ(xml.GetIntValue("OpS"), 0);
    EXPECT_EQ(Str(xml.GetDoc(nullptr)), kEnvelope);
    EXPECT_EQ(Str(xml.GetDoc("P")), "<P><newState>31</newState><code>-7</code></P>");
    // The root's own name is not part of a path; empty names name nothing.
    for (const char* missing :
         {"P.oldState", "Q", "M.P", "P.newState.x", "", ".", "P.", ".P", "P..newState"}) {
        EXPECT_FALSE(xml.SetXMLPos(missing)) << missing;
        EXPECT_EQ(xml.GetIntValue(missing), 0) << missing;
        EXPECT_EQ(Str(xml.GetValue(missing)), "") << missing;
        EXPECT_EQ(Str(xml.GetDoc(missing)), "") << missing;
    }
    EXPECT_FALSE(xml.SetXMLPos(nullptr));
}

TEST(CXMLOptTest, CreatesMissingElementsAsFirstChildren) {
    CXMLOpt xml("<r><z>0</z></r>");
    ASSERT_TRUE(xml.SetValue("a.b.c", "v"));
    EXPECT_EQ(Str(xml.GetDoc()), "<r><a><b><c>v</c></b></a><z>0</z></r>");
    ASSERT_TRUE(xml.SetValue("a.x", 5));
    EXPECT_EQ(Str(xml.GetDoc()), "<r><a><x>5</x><b><c>v</c></b></a><z>0</z></r>");
    ASSERT_TRUE(xml.CreateXMLPos("a.b.c"));
    EXPECT_EQ(Str(xml.GetTagName()), "c") << "an existing path is only walked";
    EXPECT_FALSE(xml.SetValue("a", "text")) << "would drop the children of a";
    EXPECT_FALSE(xml.SetValue("bad name", "v"));
    EXPECT_FALSE(xml.CreateXMLPos("a..b"));
    ASSERT_TRUE(xml.SetValue("k", "<a&b>"));
    EXPECT_NE(Str(xml.GetDoc()).find("<k>&lt;a&amp;b&gt;</k>"), std::string::npos);
    EXPECT_EQ(Str(xml.GetValue("k")), "<a&b>");
}

TEST(CXMLOptTest, SavesBackOnlyToTheFileItLoaded) {
    TempDir dir;
    std::string path = dir / "conf.xml";
    std::ofstream(path) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<conf></conf>\n";
    CXMLOpt xml;
    ASSERT_TRUE(xml.LoadFile(path.c_str()));
    ASSERT_TRUE(xml.SetValue("PID", "1234\n") && xml.SaveFile());
    ASSERT_TRUE(xml.SetValue("PID", "99") && xml.SaveFile());
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<conf><PID>99</PID></conf>\n");
    // A failed load forgets the file, so nothing is written over it.
    EXPECT_FALSE(xml.LoadFile((dir / "none.xml").c_str()));
    EXPECT_EQ(xml.m_filename, nullptr);
    EXPECT_FALSE(xml.SaveFile());
    EXPECT_FALSE(xml.SetValue("PID", "1")) << "the root is never created";
    EXPECT_EQ(Str(xml.GetDoc(nullptr)), "");
    EXPECT_NE(access((dir / "none.xml").c_str(), F_OK), 0) << "no file is created";
}
