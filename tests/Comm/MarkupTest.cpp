#include "Markup.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Str(const CAutoString& text) { return std::string(text.GetBuffer(), text.GetLength()); }

std::string Nested(int levels) {
    std::string doc;
    for (int i = 0; i < levels; ++i) doc += "<e>";
    for (int i = 0; i < levels; ++i) doc += "</e>";
    return doc;
}

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
        {"&nbsp;&#0;&#xD800;&#;", MNF_WITHREFS, "&amp;nbsp;&amp;#0;&amp;#xD800;&amp;#;", "&nbsp;&#0;&#xD800;&#;"},
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
              "<request><first></first><c>3</c><a>1</a><b>2</b><last>9</last><sub k=\"1\"><i>7</i></sub></request>");
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
