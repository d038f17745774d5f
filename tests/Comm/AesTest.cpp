#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "Aes.h"
#include "Hex.h"
#include "Md5.h"
#include "TempDir.h"

namespace {

std::string FromHex(const char* hex) {
    std::string bytes;
    EXPECT_TRUE(HexToBytes(hex, bytes)) << hex;
    return bytes;
}

const unsigned char* Bytes(const std::string& text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

}  // namespace

// NIST SP 800-38A F.2.1 (CBC-AES128); whole blocks get a full padding block.
TEST(AesTest, MatchesThePublishedCbcVectorAndRoundTripsEveryLength) {
    const std::string key = FromHex("2b7e151628aed2a6abf7158809cf4f3c"),
                      iv = FromHex("000102030405060708090a0b0c0d0e0f");
    std::string cipher, back;
    ASSERT_EQ(AesCbcEncrypt(FromHex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
                                    "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710"),
                            Bytes(key), Bytes(iv), cipher),
              0);
    ASSERT_EQ(cipher.size(), 80u);
    EXPECT_EQ(BytesToHex(cipher.data(), 64),
              "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
              "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7");
    for (size_t length : {0u, 1u, 15u, 16u, 17u, 1000u}) {
        const std::string text(length, '\x5a');
        ASSERT_EQ(AesCbcEncrypt(text, Bytes(key), Bytes(iv), cipher), 0);
        EXPECT_EQ(cipher.size(), (length / 16 + 1) * 16) << length;
        ASSERT_EQ(AesCbcDecrypt(cipher, Bytes(key), Bytes(iv), back), 0) << length;
        EXPECT_EQ(back, text) << length;
    }
}

TEST(AesTest, RefusesMissingKeysTruncatedCipherTextAndBadHex) {
    const std::string key = "0123456789abcdef";
    std::string out = "stale", cipher;
    EXPECT_EQ(AesCbcEncrypt("abc", nullptr, Bytes(key), out), -1);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(AesCbcDecrypt("abc", Bytes(key), nullptr, out), -1);
    ASSERT_EQ(AesCbcEncrypt("some text", Bytes(key), Bytes(key), cipher), 0);
    out = "stale";
    EXPECT_EQ(AesCbcDecrypt(cipher.substr(0, 15), Bytes(key), Bytes(key), out), -3);
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(HexToBytes("0g", out));
    EXPECT_FALSE(HexToBytes("abc", out));
}

// RFC 1321 A.5.
TEST(Md5Test, GivesTheReferenceDigestsInLowerCaseHex) {
    EXPECT_EQ(Md5Hex(nullptr), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_NE(Md5Hex("a\0b", 3), Md5Hex("a"));
    TempDir dir;
    std::string big(200 * 1024, 'v');  // more than one piece of the file digest
    for (const std::string& content : {std::string("abc"), big}) {
        std::ofstream(dir / "f", std::ios::binary | std::ios::trunc) << content;
        EXPECT_EQ(Md5HexFile((dir / "f").c_str()), Md5Hex(content.data(), content.size()));
    }
    EXPECT_EQ(Md5HexFile((dir / "none").c_str()), "");
}
