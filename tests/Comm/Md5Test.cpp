#include "Md5.h"

#include <gtest/gtest.h>

#include <string>

#include "Hex.h"

// RFC 1321, appendix A.5.
TEST(Md5Test, GivesTheReferenceDigestsInLowerCaseHex) {
    struct Case {
        const char* text;
        const char* digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Md5Hex(c.text), c.digest) << c.text;
        EXPECT_EQ(Md5Hex(c.text, std::string(c.text).size()), c.digest) << c.text;
    }
    EXPECT_EQ(Md5Hex(nullptr), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex(nullptr, 3), "");
}

TEST(Md5Test, DigestsBinaryDataPastNulBytes) {
    const char data[] = {'a', '\0', 'b'};
    EXPECT_NE(Md5Hex(data, sizeof(data)), Md5Hex("a"));
    EXPECT_EQ(Md5Hex(data, sizeof(data)).size(), 32u);
}

TEST(HexTest, WritesLowerCaseAndReadsEitherCase) {
    const unsigned char bytes[] = {0x00, 0x0f, 0xa5, 0xff, 0x10};
    EXPECT_EQ(BytesToHex(bytes, sizeof(bytes)), "000fa5ff10");
    EXPECT_EQ(BytesToHex(nullptr, 4), "");

    std::string back;
    ASSERT_TRUE(HexToBytes("000FA5ff10", back));
    EXPECT_EQ(back, std::string(reinterpret_cast<const char*>(bytes), sizeof(bytes)));
    for (const char* bad : {"abc", "zz", "0g", "a "}) {
        back = "stale";
        EXPECT_FALSE(HexToBytes(bad, back)) << bad;
        EXPECT_TRUE(back.empty()) << bad;
    }
    EXPECT_TRUE(HexToBytes(nullptr, back));
    EXPECT_TRUE(back.empty());
}
