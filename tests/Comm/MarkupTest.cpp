#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "CharsetConv.h"
#include "Markup.h"
#include "TempDir.h"

namespace {

std::string Str(const CAutoString& text) { return std::string(text.GetBuffer(), text.GetLength()); }

std::string Nested(int levels) {
    std::string doc;
    for (int i = 0; i < levels; ++i) doc += "<e>";
    for (int i = 0; i < levels; ++i) doc += "</e>";
    return doc;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Convert(const char* to, const char* from, const std::string& text) {
    std::string out;
    EXPECT_EQ(CCharsetConv(to, from).Convert(text.data(), text.size(), out), 0);
    return out;
}

std::vector<std::string> ListDir(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

class CMarkupFileTest : public ::testing::Test {
protected:
    std::string Path(const char* name) const { return m_dir / name; }
    TempDir m_dir;
};

}  // namespace

TEST(CMarkupTest, NavigatesMainAndChildPositions) {
    CMarkup xml("<M><OpS>a</OpS><OpT>b</OpT><P><x k=\"v\">1</x><y>2</y><x>3</x></P></M>");
    ASSERT_TRUE(xml.IsWellFormed());
    // A reset position moves to the root before looking at children.
    ASSERT_TRUE(xml.FindChildElem("OpT"));
    EXPECT_EQ(Str(xml.GetTagName()), "M");
    EXPECT_EQ(Str(xml.GetChildData()), "b");
    EXPECT_FALSE(xml.FindChildElem("OpS")) << "search goes on after the child position";
    ASSERT_TRUE(xml.FindChildElem("P"));
    ASSERT_TRUE(xml.IntoElem());
    EXPECT_EQ(Str(xml.GetTagName()), "P");
    ASSERT_TRUE(xml.FindChildElem("x"));
    EXPECT_EQ(Str(xml.GetChildAttrib("k")), "v");
    ASSERT_TRUE(xml.FindChildElem("x"));
    EXPECT_EQ(Str(xml.GetChildData()), "3");
    EXPECT_FALSE(xml.FindChildElem("x"));
    EXPECT_EQ(Str(xml.GetChildData()), "3") << "a failed search keeps the position";
    xml.ResetChildPos();
    ASSERT_TRUE(xml.FindChildElem());
    EXPECT_EQ(Str(xml.GetChildTagName()), "x");
    ASSERT_TRUE(xml.IntoElem());
    EXPECT_EQ(Str(xml.GetData()), "1");
    EXPECT_EQ(Str(xml.GetAttrib("k")), "v");
    ASSERT_TRUE(xml.OutOfElem());
    ASSERT_TRUE(xml.OutOfElem());
    EXPECT_EQ(Str(xml.GetTagName()), "M");
    EXPECT_EQ(Str(xml.GetChildTagName()), "P");
    EXPECT_FALSE(xml.OutOfElem());
    EXPECT_FALSE(xml.FindElem()) << "a document has one root";
    xml.ResetPos();
    EXPECT_TRUE(xml.FindElem("M"));
    EXPECT_EQ(Str(xml.GetSubDoc()), "<M><OpS>a</OpS><OpT>b</OpT><P><x k=\"v\">1</x><y>2</y><x>3</x></P></M>");
}

TEST(CMarkupTest, ParsesAndPrintsDocumentsCompactly) {
    struct Case {
        const char* in;
        bool wellFormed;
        const char* out;
    } cases[] = {
        {"<a><b>1</b></a>", true, "<a><b>1</b></a>"},
        {"<M><OpS>x</OpS><P></P></M>", true, "<M><OpS>x</OpS><P></P></M>"},
        {"<a/>", true, "<a></a>"},
        {"<a>\n  <b>1</b>\n</a>", true, "<a>\n  <b>1</b>\n</a>"},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><request></request>", true,
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><request></request>"},
        {"", false, ""},
        {"plain text", false, ""},
        {"<a><b></a>", false, nullptr},
        {"<a/><b/>", false, "<a></a><b></b>"},
    };
    for (const Case& c : cases) {
        CMarkup xml;
        EXPECT_EQ(xml.SetDoc(c.in), c.wellFormed) << c.in;
        EXPECT_EQ(xml.IsWellFormed(), c.wellFormed) << c.in;
        if (c.out) {
            EXPECT_EQ(Str(xml.GetDoc()), c.out) << c.in;
        }
    }
    EXPECT_FALSE(CMarkup().SetDoc(nullptr));
}

TEST(CMarkupTest, ReadsTextUnescapedWithCdataJoined) {
    CMarkup xml("<a>x &amp; &lt;y&gt; <![CDATA[<z>&amp;]]> &#x4e2d;<b>\n</b> tail</a>");
    ASSERT_TRUE(xml.FindElem());
    EXPECT_EQ(Str(xml.GetData()), "x & <y> <z>&amp; \xE4\xB8\xAD tail");
    ASSERT_TRUE(xml.FindChildElem("b"));
    EXPECT_EQ(Str(xml.GetChildData()), "\n") << "whitespace alone is an element's text";
    CMarkup indented("<a>\n  <b>1</b>\n</a>");
    ASSERT_TRUE(indented.FindElem());
    EXPECT_EQ(Str(indented.GetData()), "") << "indentation between children is not text";
}

TEST(CMarkupTest, CdataTextSurvivesReparsing) {
    for (const char* text : {"p]]>q", "]]>", "]]]]>>", "a]]>b]]>c", "<&>\"'", ""}) {
        CMarkup built("<r></r>");
        ASSERT_TRUE(built.FindElem());
        ASSERT_TRUE(built.AddChildElem("c", text, MNF_WITHCDATA));
        std::string doc = Str(built.GetDoc());
        EXPECT_EQ(doc.rfind("<r><c><![CDATA[", 0), 0u) << doc;
        CMarkup parsed(doc.c_str());
        ASSERT_TRUE(parsed.IsWellFormed()) << doc;
        ASSERT_TRUE(parsed.FindChildElem("c"));
        EXPECT_EQ(Str(parsed.GetChildData()), text) << doc;
    }
}

TEST(CMarkupTest, KeepsReferencesAndEscapesTheRest) {
    struct Case {
        const char* text;
        int flags;
        const char* markup;
        const char* data;
    } cases[] = {
        {"a&amp;b", MNF_WITHREFS, "a&amp;b", "a&b"},
        {"a&b c&", MNF_WITHREFS, "a&amp;b c&amp;", "a&b c&"},
        {"x&lt;y&gt;&quot;", MNF_WITHREFS, "x&lt;y&gt;\"", "x<y>\""},
        {"&#38;&#x26;&#x4E2D;", MNF_WITHREFS, "&amp;&amp;\xE4\xB8\xAD", "&&\xE4\xB8\xAD"},
        {"1<2>0", MNF_WITHREFS, "1&lt;2&gt;0", "1<2>0"},
        // Undeclared names and non-characters stay literal: the output stays well-formed.
        {"&nbsp;&#0;&#xD800;&#;", MNF_WITHREFS, "&amp;nbsp;&amp;#0;&amp;#xD800;&amp;#;",
         "&nbsp;&#0;&#xD800;&#;"},
        {"a&amp;b<c>", 0, "a&amp;amp;b&lt;c&gt;", "a&amp;b<c>"},
    };
    for (const Case& c : cases) {
        CMarkup xml("<h></h>");
        ASSERT_TRUE(xml.FindElem());
        ASSERT_TRUE(xml.SetData(c.text, c.flags));
        EXPECT_EQ(Str(xml.GetDoc()), std::string("<h>") + c.markup + "</h>") << c.text;
        CMarkup parsed(xml.GetDoc());
        ASSERT_TRUE(parsed.FindElem()) << c.text;
        EXPECT_EQ(Str(parsed.GetData()), c.data) << c.text;
    }
}

TEST(CMarkupTest, BuildsElementsAtTheRightPlaces) {
    CMarkup xml;
    EXPECT_FALSE(xml.InsertChildElem("x")) << "no main position";
    ASSERT_TRUE(xml.AddElem("request"));
    EXPECT_FALSE(xml.AddElem("second")) << "one root only";
    // Each insertion goes in front of the previous one.
    ASSERT_TRUE(xml.InsertChildElem("b", "2"));
    ASSERT_TRUE(xml.InsertChildElem("a", "1"));
    xml.ResetChildPos();
    ASSERT_TRUE(xml.InsertChildElem("first"));
    ASSERT_TRUE(xml.AddChildElem("c", "3"));  // right after the child position
    xml.ResetChildPos();
    ASSERT_TRUE(xml.AddChildElem("last", "9"));
    ASSERT_TRUE(xml.AddChildSubDoc("<sub k='1'><i>7</i></sub>"));
    EXPECT_EQ(Str(xml.GetChildData()), "");
    EXPECT_EQ(Str(xml.GetDoc()),
              "<request><first></first><c>3</c><a>1</a><b>2</b><last>9</last><sub "
              "k=\"1\"><i>7</i></sub></request>");
    ASSERT_TRUE(xml.IntoElem());
    EXPECT_FALSE(xml.SetData("x")) << "text would replace child elements";
    ASSERT_TRUE(xml.SetAttrib("k", "a\"b"));
    ASSERT_TRUE(xml.FindChildElem("i") && xml.IntoElem());
    ASSERT_TRUE(xml.SetData(-42));
    ASSERT_TRUE(xml.OutOfElem());
    EXPECT_EQ(Str(xml.GetSubDoc()), "<sub k=\"a&quot;b\"><i>-42</i></sub>");
    ASSERT_TRUE(xml.AddSubDoc("<after/>"));
    EXPECT_EQ(Str(xml.GetTagName()), "after");
    for (const char* bad : {"", "1a", "a b", "a<b", "-x"}) {
        EXPECT_FALSE(xml.AddElem(bad)) << bad;
        EXPECT_FALSE(xml.AddChildElem(bad)) << bad;
    }
    for (const char* bad : {"<a/><b/>", "text", "<a>", ""}) EXPECT_FALSE(xml.AddSubDoc(bad)) << bad;
    CMarkup reparsed(xml.GetDoc());
    EXPECT_TRUE(reparsed.IsWellFormed());
    EXPECT_EQ(Str(reparsed.GetDoc()), Str(xml.GetDoc()));
}

TEST(CMarkupTest, RefusesTooDeepOrTooLargeDocuments) {
    EXPECT_TRUE(CMarkup(Nested(CMarkup::kMaxDepth).c_str()).IsWellFormed());
    CMarkup deep(Nested(300).c_str());
    EXPECT_FALSE(deep.IsWellFormed());
    EXPECT_EQ(Str(deep.GetDoc()), "");

    std::string big = "<a>" + std::string(CMarkup::kMaxDocBytes, 'x') + "</a>";
    CMarkup large(big.c_str());
    EXPECT_FALSE(large.IsWellFormed());
    EXPECT_EQ(Str(large.GetDoc()), "");

    // Building past the limit is refused as well.
    CMarkup built(Nested(CMarkup::kMaxDepth - 1).c_str());
    for (int i = 0; i < CMarkup::kMaxDepth - 2; ++i) ASSERT_TRUE(built.FindElem() && built.IntoElem());
    ASSERT_TRUE(built.FindElem());
    EXPECT_TRUE(built.AddChildElem("ok"));
    ASSERT_TRUE(built.IntoElem());
    EXPECT_FALSE(built.AddChildElem("tooDeep"));
    EXPECT_FALSE(built.AddChildSubDoc("<x/>"));
}

TEST(CMarkupTest, NeverExpandsDeclaredEntities) {
    CMarkup xml(
        "<!DOCTYPE a [<!ENTITY x \"boom\"><!ENTITY y \"&x;&x;&x;&x;\">]>"
        "<a>&y;<b attr=\"&x;\">&x;</b></a>");
    ASSERT_TRUE(xml.FindChildElem("b"));
    EXPECT_EQ(Str(xml.GetData()), "&y;");
    EXPECT_EQ(Str(xml.GetChildData()), "&x;");
    EXPECT_EQ(Str(xml.GetDoc()).find("boom"), std::string::npos) << Str(xml.GetDoc());
}

TEST(CMarkupTest, FindsTheDeclaredEncoding) {
    struct Case {
        const char* text;
        const char* encoding;
    } cases[] = {
        {"<?xml version=\"1.0\" encoding=\"GB18030\"?><a/>", "GB18030"},
        {"<?xml version='1.0' encoding = 'utf-8' ?>", "utf-8"},
        {"<?xml version=\"1.0\"?><a encoding=\"x\"/>", ""},
        {"<a/><?xml version=\"1.0\" encoding=\"GBK\"?>", ""},
        {"<?xml version=\"1.0\" encoding=\"GBK", ""},
        {"<?xml-stylesheet encoding=\"x\"?>", ""},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(Str(CMarkup::GetDeclaredEncoding(c.text)), c.encoding) << c.text;
    EXPECT_EQ(Str(CMarkup::GetDeclaredEncoding(nullptr)), "");
}

// "\xD6\xD0\xCE\xC4" and "\xBA\xBA\xD7\xD6" are GB18030 for the UTF-8 texts below.
const char kZhongWen[] = "\xE4\xB8\xAD\xE6\x96\x87";
const char kHanZi[] = "\xE6\xB1\x89\xE5\xAD\x97";

TEST_F(CMarkupFileTest, DeclaredGb18030StaysGb18030OnDisk) {
    const std::string decl = "<?xml version=\"1.0\" encoding=\"GB18030\"?>";
    WriteFile(Path("c.xml"), decl + "\n<c>\n<name>\xD6\xD0\xCE\xC4</name>\n</c>\n");
    CMarkup xml;
    ASSERT_TRUE(xml.Load(Path("c.xml").c_str()));
    ASSERT_TRUE(xml.FindChildElem("name"));
    EXPECT_EQ(Str(xml.GetChildData()), kZhongWen);
    ASSERT_TRUE(xml.IntoElem() && xml.SetData(kHanZi));
    ASSERT_TRUE(xml.Save(Path("c.xml").c_str()));
    EXPECT_EQ(ReadFile(Path("c.xml")), decl + "\n<c>\n<name>\xBA\xBA\xD7\xD6</name>\n</c>\n");
    CMarkup again;
    ASSERT_TRUE(again.Load(Path("c.xml").c_str()));
    EXPECT_EQ(Str(again.GetDoc()), decl + "<c>\n<name>" + kHanZi + "</name>\n</c>");
}

TEST_F(CMarkupFileTest, DetectsEncodingFromMarkOrContent) {
    const std::string text = std::string("<c>") + kZhongWen + "</c>";
    struct Case {
        const char* name;
        std::string bytes;     // file content
        std::string saveFrom;  // the bytes a save must begin with
    } cases[] = {
        {"undeclared, not UTF-8", "<c>\xD6\xD0\xCE\xC4</c>", "<c>\xBA\xBA"},
        {"plain UTF-8", text, "<c>\xE6\xB1\x89"},
        {"UTF-8 mark", "\xEF\xBB\xBF" + text, "\xEF\xBB\xBF<c>\xE6\xB1\x89"},
        {"UTF-16LE mark", "\xFF\xFE" + Convert("UTF-16LE", "UTF-8", text),
         std::string("\xFF\xFE<\0c\0>\0\x49\x6C", 10)},
        {"UTF-16BE mark", "\xFE\xFF" + Convert("UTF-16BE", "UTF-8", text),
         std::string("\xFE\xFF\0<\0c\0>\x6C\x49", 10)},
    };
    for (const Case& c : cases) {
        std::string path = Path("e.xml");
        WriteFile(path, c.bytes);
        CMarkup xml;
        ASSERT_TRUE(xml.Load(path.c_str())) << c.name;
        ASSERT_TRUE(xml.FindElem()) << c.name;
        EXPECT_EQ(Str(xml.GetData()), kZhongWen) << c.name;
        ASSERT_TRUE(xml.SetData(kHanZi) && xml.Save(path.c_str())) << c.name;
        EXPECT_EQ(ReadFile(path).substr(0, c.saveFrom.size()), c.saveFrom) << c.name;
        CMarkup again;
        ASSERT_TRUE(again.Load(path.c_str()) && again.FindElem()) << c.name;
        EXPECT_EQ(Str(again.GetData()), kHanZi) << c.name;
    }
}

TEST_F(CMarkupFileTest, LoadFailsOnMissingMalformedOrOversizeFiles) {
    WriteFile(Path("empty.xml"), "");
    WriteFile(Path("bad.xml"), "<a><b></a>");
    WriteFile(Path("big.xml"), "<a>" + std::string(CMarkup::kMaxDocBytes, ' ') + "</a>");
    WriteFile(Path("deep.xml"), Nested(300));
    WriteFile(Path("bad-gbk.xml"), "<?xml version=\"1.0\" encoding=\"GBK\"?><a>\x81</a>");
    mkdir(Path("dir.xml").c_str(), 0700);
    mkfifo(Path("fifo.xml").c_str(), 0600);
    for (const char* name : {"missing.xml", "empty.xml", "bad.xml", "big.xml", "deep.xml", "bad-gbk.xml",
                             "dir.xml", "fifo.xml"}) {
        CMarkup xml("<old></old>");
        EXPECT_FALSE(xml.Load(Path(name).c_str())) << name;
        EXPECT_FALSE(xml.FindElem("old")) << name;
    }
}

TEST_F(CMarkupFileTest, SaveReplacesTheFileWholeAndKeepsItsMode) {
    WriteFile(Path("s.xml"), "<s><a>1</a></s>");
    chmod(Path("s.xml").c_str(), 0600);
    CMarkup xml;
    ASSERT_TRUE(xml.Load(Path("s.xml").c_str()));
    ASSERT_TRUE(xml.FindChildElem("a") && xml.IntoElem() && xml.SetData("2"));
    ASSERT_TRUE(xml.Save(Path("s.xml").c_str()));
    EXPECT_EQ(ReadFile(Path("s.xml")), "<s><a>2</a></s>\n");
    EXPECT_EQ(ListDir(m_dir.Path()), std::vector<std::string>{"s.xml"}) << "no temporary file stays";
    struct stat info;
    ASSERT_EQ(stat(Path("s.xml").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_FALSE(CMarkup("<a/><b/>").Save(Path("s.xml").c_str())) << "not one root";
    EXPECT_FALSE(CMarkup().Save(Path("s.xml").c_str()));
    EXPECT_EQ(ReadFile(Path("s.xml")), "<s><a>2</a></s>\n");
}

TEST_F(CMarkupFileTest, FailedSaveKeepsTheOldFile) {
    const std::string old = "<s><a>old</a></s>";
    CMarkup xml(("<s><a>" + std::string(64 * 1024, 'n') + "</a></s>").c_str());
    struct Case {
        const char* name;
        std::string target;
        std::function<bool()> setUp;  // false: cannot be arranged here
        std::function<void()> tearDown;
    } cases[] = {
        {"disk full", Path("full/s.xml"),
         [] {
             // The file size limit makes write() fail as a full disk would.
             signal(SIGXFSZ, SIG_IGN);
             rlimit limit{4096, RLIM_INFINITY};
             return setrlimit(RLIMIT_FSIZE, &limit) == 0;
         },
         [] {
             rlimit limit{RLIM_INFINITY, RLIM_INFINITY};
             setrlimit(RLIMIT_FSIZE, &limit);
         }},
        {"target is a directory", Path("isdir/s.xml"),
         [this] {
             unlink(Path("isdir/s.xml").c_str());
             return mkdir(Path("isdir/s.xml").c_str(), 0700) == 0;
         },
         [] {}},
        {"read-only directory", Path("ro/s.xml"),
         [this] {
             // Root writes anywhere; drop to an unprivileged user for the attempt.
             chmod(m_dir.Path().c_str(), 0755);
             chmod(Path("ro").c_str(), 0555);
             return geteuid() != 0 || seteuid(65534) == 0;
         },
         [] {
             if (getuid() == 0) {
                 EXPECT_EQ(seteuid(0), 0);
             }
         }},
    };
    for (const Case& c : cases) {
        std::string dir = c.target.substr(0, c.target.rfind('/'));
        mkdir(dir.c_str(), 0755);
        if (ReadFile(c.target).empty()) WriteFile(c.target, old);
        ASSERT_TRUE(c.setUp()) << c.name;
        bool saved = xml.Save(c.target.c_str());
        c.tearDown();
        EXPECT_FALSE(saved) << c.name;
        struct stat info;
        if (stat(c.target.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            EXPECT_EQ(ReadFile(c.target), old) << c.name;
        }
        EXPECT_EQ(ListDir(dir).size(), 1u) << c.name << ": no temporary file stays";
    }
}
