#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <tuple>

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

std::string Convert(const char* to, const std::string& utf8) {
    std::string out;
    EXPECT_EQ(CCharsetConv(to, "UTF-8").Convert(utf8.data(), utf8.size(), out), 0);
    return out;
}

long Entries(const std::string& dir) {
    return std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator());
}

class CMarkupFileTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return m_dir / name; }
    TempDir m_dir;
};

}  // namespace

TEST(CMarkupTest, NavigatesMainAndChildPositions) {
    CMarkup xml("<M><OpS>a</OpS><OpT>b</OpT><P><x k=\"v\">1</x><y>2</y><x>3</x></P></M>");
    ASSERT_TRUE(xml.IsWellFormed());
    ASSERT_TRUE(xml.FindChildElem("OpT")) << "a reset position moves to the root first";
    EXPECT_EQ(Str(xml.GetTagName()), "M");
    EXPECT_EQ(Str(xml.GetChildData()), "b");
    EXPECT_FALSE(xml.FindChildElem("OpS")) << "search goes on after the child position";
    ASSERT_TRUE(xml.FindChildElem("P") && xml.IntoElem());
    ASSERT_TRUE(xml.FindChildElem("x"));
    EXPECT_EQ(Str(xml.GetChildAttrib("k")), "v");
    ASSERT_TRUE(xml.FindChildElem("x"));
    EXPECT_FALSE(xml.FindChildElem("x"));
    EXPECT_EQ(Str(xml.GetChildData()), "3") << "a failed search keeps the position";
    xml.ResetChildPos();
    ASSERT_TRUE(xml.FindChildElem() && xml.IntoElem());
    EXPECT_EQ(Str(xml.GetData()), "1");
    EXPECT_EQ(Str(xml.GetAttrib("k")), "v");
    ASSERT_TRUE(xml.OutOfElem() && xml.OutOfElem());
    EXPECT_EQ(Str(xml.GetTagName()), "M");
    EXPECT_EQ(Str(xml.GetChildTagName()), "P");
    EXPECT_FALSE(xml.OutOfElem());
    EXPECT_FALSE(xml.FindElem()) << "a document has one root";
    xml.ResetPos();
    EXPECT_TRUE(xml.FindElem("M"));
}

TEST(CMarkupTest, PrintsWhatItParsedCompactly) {
    for (const char* doc : {"<a><b>1</b></a>", "<a>\n  <b>1</b>\n</a>", "<?xml version=\"1.0\"?><r></r>"})
        EXPECT_EQ(Str(CMarkup(doc).GetDoc()), doc);
    EXPECT_EQ(Str(CMarkup("<a/>").GetDoc()), "<a></a>");
    EXPECT_EQ(Str(CMarkup("<a/><b/>").GetDoc()), "<a></a><b></b>");
    for (const char* bad : {"", "plain text", "<a><b></a>", "<a/><b/>", "x<a/>", "<a/>x", "<a/><![CDATA[x]]>",
                            "<M></M><M></M>tail"})
        EXPECT_FALSE(CMarkup().SetDoc(bad)) << bad;
    // Around the root: white space, comments, processing instructions; and
    // undeclared entities of portal pages stay readable.
    for (const char* good : {"<?xml version=\"1.0\"?>\n<!-- c -->\r\n<a/>\n<?pi x?>\t\n", "<a>&nbsp;</a>"})
        EXPECT_TRUE(CMarkup().SetDoc(good)) << good;
    EXPECT_FALSE(CMarkup().SetDoc(nullptr));
}

TEST(CMarkupTest, ReadsTextUnescapedWithCdataJoined) {
    CMarkup xml("<a>x &amp; &lt;y&gt; <![CDATA[<z>&amp;]]> &#x4e2d;<b>\n</b> tail</a>");
    ASSERT_TRUE(xml.FindChildElem("b"));
    EXPECT_EQ(Str(xml.GetData()), "x & <y> <z>&amp; \xE4\xB8\xAD tail");
    EXPECT_EQ(Str(xml.GetChildData()), "\n") << "whitespace alone is an element's text";
    CMarkup indented("<a>\n  <b>1</b>\n</a>");
    ASSERT_TRUE(indented.FindElem());
    EXPECT_EQ(Str(indented.GetData()), "") << "indentation between children is not text";
}

TEST(CMarkupTest, CdataTextSurvivesReparsing) {
    for (const char* text : {"p]]>q", "]]>", "]]]]>>", "a]]>b]]>c", "<&>\"'", ""}) {
        CMarkup built("<r></r>");
        ASSERT_TRUE(built.FindElem() && built.AddChildElem("c", text, MNF_WITHCDATA));
        std::string doc = Str(built.GetDoc());
        EXPECT_EQ(doc.rfind("<r><c><![CDATA[", 0), 0u) << doc;
        CMarkup parsed(doc.c_str());
        ASSERT_TRUE(parsed.FindChildElem("c")) << doc;
        EXPECT_EQ(Str(parsed.GetChildData()), text) << doc;
    }
}

TEST(CMarkupTest, KeepsReferencesAndEscapesTheRest) {
    const std::tuple<const char*, int, const char*, const char*> cases[] = {
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
    for (const auto& [text, flags, markup, data] : cases) {
        CMarkup xml("<h></h>");
        ASSERT_TRUE(xml.FindElem() && xml.SetData(text, flags));
        EXPECT_EQ(Str(xml.GetDoc()), std::string("<h>") + markup + "</h>") << text;
        CMarkup parsed(xml.GetDoc());
        ASSERT_TRUE(parsed.FindElem()) << text;
        EXPECT_EQ(Str(parsed.GetData()), data) << text;
    }
}

TEST(CMarkupTest, BuildsElementsAtTheRightPlaces) {
    CMarkup xml;
    EXPECT_FALSE(xml.InsertChildElem("x")) << "no main position";
    ASSERT_TRUE(xml.AddElem("request"));
    EXPECT_FALSE(xml.AddElem("second")) << "one root only";
    // Each insertion goes in front of the previous one; an addition right after the child position.
    ASSERT_TRUE(xml.InsertChildElem("b", "2") && xml.InsertChildElem("a", "1"));
    xml.ResetChildPos();
    ASSERT_TRUE(xml.InsertChildElem("first") && xml.AddChildElem("c", "3"));
    xml.ResetChildPos();
    ASSERT_TRUE(xml.AddChildElem("last", "9") && xml.AddChildSubDoc("<sub k='1'><i>7</i></sub>"));
    EXPECT_EQ(Str(xml.GetDoc()),
              "<request><first></first><c>3</c><a>1</a><b>2</b><last>9</last><sub "
              "k=\"1\"><i>7</i></sub></request>");
    ASSERT_TRUE(xml.IntoElem());
    EXPECT_FALSE(xml.SetData("x")) << "text would replace child elements";
    ASSERT_TRUE(xml.SetAttrib("k", "a\"b"));
    ASSERT_TRUE(xml.FindChildElem("i") && xml.IntoElem() && xml.SetData(-42) && xml.OutOfElem());
    EXPECT_EQ(Str(xml.GetSubDoc()), "<sub k=\"a&quot;b\"><i>-42</i></sub>");
    ASSERT_TRUE(xml.AddSubDoc("<after/>"));
    EXPECT_EQ(Str(xml.GetTagName()), "after");
    for (const char* bad : {"", "1a", "a b", "a<b", "-x"})
        EXPECT_FALSE(xml.AddElem(bad) || xml.AddChildElem(bad)) << bad;
    for (const char* bad : {"<a/><b/>", "text", "<a>", ""}) EXPECT_FALSE(xml.AddSubDoc(bad)) << bad;
}

TEST(CMarkupTest, RefusesTooDeepOrTooLargeDocuments) {
    EXPECT_TRUE(CMarkup(Nested(CMarkup::kMaxDepth).c_str()).IsWellFormed());
    for (const std::string& doc : {Nested(300), "<a>" + std::string(CMarkup::kMaxDocBytes, 'x') + "</a>"}) {
        CMarkup refused(doc.c_str());
        EXPECT_FALSE(refused.IsWellFormed()) << doc.size();
        EXPECT_EQ(Str(refused.GetDoc()), "") << doc.size();
    }
    // Building past the limit is refused as well.
    CMarkup built(Nested(CMarkup::kMaxDepth - 1).c_str());
    for (int i = 0; i < CMarkup::kMaxDepth - 2; ++i) ASSERT_TRUE(built.FindElem() && built.IntoElem());
    ASSERT_TRUE(built.FindElem() && built.AddChildElem("ok") && built.IntoElem());
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

TEST(CMarkupTest, FindsOnlyTheEncodingOfALeadingDeclaration) {
    EXPECT_EQ(Str(CMarkup::GetDeclaredEncoding("<?xml version='1.0' encoding = 'gbk' ?><a/>")), "gbk");
    for (const char* none : {"<?xml version=\"1.0\"?><a encoding=\"x\"/>", "<a/><?xml encoding=\"GBK\"?>",
                             "<?xml version=\"1.0\" encoding=\"GBK", "<?xml-stylesheet encoding=\"x\"?>"})
        EXPECT_EQ(Str(CMarkup::GetDeclaredEncoding(none)), "") << none;
    EXPECT_EQ(Str(CMarkup::GetDeclaredEncoding(nullptr)), "");
}

TEST_F(CMarkupFileTest, SavesInTheEncodingAndModeTheFileHad) {
    const std::string zhongWen = "\xE4\xB8\xAD\xE6\x96\x87", hanZi = "\xE6\xB1\x89\xE5\xAD\x97";
    const std::string decl = "<?xml version=\"1.0\" encoding=\"GB18030\"?>";
    const std::string utf7 = "<?xml version=\"1.0\" encoding=\"UTF-7\"?>";
    const std::string before = "<c>" + zhongWen + "</c>", after = "<c>" + hanZi + "</c>\n";
    const std::tuple<const char*, std::string, std::string> cases[] = {
        // "\xD6\xD0\xCE\xC4" and "\xBA\xBA\xD7\xD6" are the two texts in GB18030.
        {"declared GB18030", decl + "\n<c>\xD6\xD0\xCE\xC4</c>\n", decl + "\n<c>\xBA\xBA\xD7\xD6</c>\n"},
        {"undeclared, not UTF-8", "<c>\xD6\xD0\xCE\xC4</c>", "<c>\xBA\xBA\xD7\xD6</c>\n"},
        {"plain UTF-8", before, after},
        // Found by fuzzing: saved as UTF-7, the file could not be loaded again.
        {"declared UTF-7, read as what it is", utf7 + before, utf7 + "\n" + after},
        {"UTF-8 mark", "\xEF\xBB\xBF" + before, "\xEF\xBB\xBF" + after},
        {"UTF-16LE mark", "\xFF\xFE" + Convert("UTF-16LE", before), "\xFF\xFE" + Convert("UTF-16LE", after)},
        {"UTF-16BE mark", "\xFE\xFF" + Convert("UTF-16BE", before), "\xFE\xFF" + Convert("UTF-16BE", after)},
    };
    std::string path = Path("e.xml");
    WriteFile(path, "");
    chmod(path.c_str(), 0600);
    for (const auto& [name, file, saved] : cases) {
        WriteFile(path, file);
        CMarkup xml;
        ASSERT_TRUE(xml.Load(path.c_str()) && xml.FindElem()) << name;
        EXPECT_EQ(Str(xml.GetData()), zhongWen) << name;
        ASSERT_TRUE(xml.SetData(hanZi.c_str()) && xml.Save(path.c_str())) << name;
        EXPECT_EQ(ReadFile(path), saved) << name;
        struct stat info;
        EXPECT_TRUE(stat(path.c_str(), &info) == 0 && (info.st_mode & 0777) == 0600) << name << ": mode kept";
        EXPECT_EQ(Entries(m_dir.Path()), 1) << name << ": no temporary file stays";
    }
}

// Found by fuzzing: a value with a stray byte turned the next load into a
// GB18030 one, garbling the file's other texts; an encoding name with a
// control character in it loaded, but was saved in a form that did not; a
// mixed-case "<?xMl ...?>" counted as a declaration when saving but not
// when loading.
TEST_F(CMarkupFileTest, AnUndeclaredUtf8FileStaysUtf8WhenAValueIsNot) {
    const std::string zhongWen = "\xE4\xB8\xAD\xE6\x96\x87", stray = "v\xFF";
    std::string path = Path("u.xml");
    for (const char* head : {"", "<?xml version=\"1.0\"?>", "<?xml version=\"1.0\" encoding=\"U\x15TF-8\"?>",
                             "<?xMl version=\"1.0\" encoding=\"UTF-8\"?>"}) {
        WriteFile(path, std::string(head) + "<c><a>" + zhongWen + "</a></c>");
        CMarkup xml;
        ASSERT_TRUE(xml.Load(path.c_str()) && xml.FindElem()) << head;
        ASSERT_TRUE(xml.AddChildElem("b", stray.c_str()) && xml.Save(path.c_str())) << head;
        CMarkup reloaded;
        ASSERT_TRUE(reloaded.Load(path.c_str()) && reloaded.FindElem()) << head;
        EXPECT_TRUE(reloaded.FindChildElem("a") && Str(reloaded.GetChildData()) == zhongWen) << head;
        EXPECT_TRUE(reloaded.FindChildElem("b") && Str(reloaded.GetChildData()) == stray) << head;
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

TEST_F(CMarkupFileTest, SaveReplacesTheFileWholeOrNotAtAll) {
    const std::string old = "<s><a>old</a></s>";
    auto oldFile = [&](const char* dir) {
        mkdir(Path(dir).c_str(), 0755);
        WriteFile(Path(dir) + "/s.xml", old);
        return Path(dir) + "/s.xml";
    };
    auto expectKept = [&](const char* dir) {
        EXPECT_EQ(ReadFile(Path(dir) + "/s.xml"), old) << dir;
        EXPECT_EQ(Entries(Path(dir)), 1) << dir << ": no temporary file stays";
    };

    std::string refused = oldFile("refused");
    EXPECT_FALSE(CMarkup("<a/><b/>").Save(refused.c_str())) << "not one root";
    EXPECT_FALSE(CMarkup().Save(refused.c_str()));
    expectKept("refused");

    CMarkup big(("<s><a>" + std::string(64 * 1024, 'n') + "</a></s>").c_str());
    // The file size limit makes write() fail as a full disk would.
    std::string full = oldFile("full");
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{4096, RLIM_INFINITY};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    bool saved = big.Save(full.c_str());
    limit.rlim_cur = RLIM_INFINITY;
    setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_FALSE(saved) << "disk full";
    expectKept("full");

    // Root writes anywhere; an unprivileged user meets the read-only directory.
    std::string readOnly = oldFile("ro");
    chmod(m_dir.Path().c_str(), 0755);
    chmod(Path("ro").c_str(), 0555);
    ASSERT_TRUE(geteuid() != 0 || seteuid(65534) == 0);
    saved = big.Save(readOnly.c_str());
    ASSERT_TRUE(getuid() != 0 || seteuid(0) == 0);
    chmod(Path("ro").c_str(), 0755);
    EXPECT_FALSE(saved) << "read-only directory";
    expectKept("ro");

    mkdir(Path("isdir").c_str(), 0755);
    mkdir(Path("isdir/s.xml").c_str(), 0700);
    EXPECT_FALSE(big.Save(Path("isdir/s.xml").c_str())) << "target is a directory";
    EXPECT_EQ(Entries(Path("isdir")), 1) << "no temporary file stays";
}
