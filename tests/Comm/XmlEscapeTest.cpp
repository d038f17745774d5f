#include <gtest/gtest.h>

#include <string>

#include "Envelope.h"
#include "XmlEscape.h"

TEST(XmlEscapeTest, EscapesTheFiveMarkupCharactersOnly) {
    const std::pair<const char*, const char*> cases[] = {
        {nullptr, ""},
        {"plain text 123", "plain text 123"},
        {"</user><x>", "&lt;/user&gt;&lt;x&gt;"},
        {"\"quoted\" 'single'", "&quot;quoted&quot; &apos;single&apos;"},
        {"&amp;", "&amp;amp;"},
        {"\xe5\xaf\x86\xe7\xa0\x81\t", "\xe5\xaf\x86\xe7\xa0\x81\t"},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_FALSE(XmlEscape(in).IsNull());
        EXPECT_STREQ(XmlEscape(in).c_str(), out) << (in ? in : "(null)");
    }
}

TEST(XmlEscapeTest, EscapedPasswordKeepsTheLoginEnvelopeWellFormed) {
    EXPECT_STREQ(LoginEnvelope("client", "Portal", "bob", "p<a>&ss</password>").c_str(),
                 "<M><OpS>client</OpS><OpT>Portal</OpT><OpC>PortalConnect</OpC><P><user>bob</user>"
                 "<password>p&lt;a&gt;&amp;ss&lt;/password&gt;</password></P></M>");
}
