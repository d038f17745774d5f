#include "Aes.h"

#include <gtest/gtest.h>

#include <string>

#include "Hex.h"

namespace {

std::string FromHex(const char* hex) {
    std::string bytes;
    EXPECT_TRUE(HexToBytes(hex, bytes)) << hex;
    return bytes;
}

const unsigned char* Bytes(const std::string& text) { return reinterpret_cast<const unsigned char*>(text.data()); }

}  // namespace

// NIST SP 800-38A, F.2.1 CBC-AES128.Encrypt. The four blocks are whole, so
// PKCS#7 adds one block of 0x10 bytes after them.
TEST(AesTest, MatchesPublishedCbcVectorAndAddsAFullPaddingBlock) {
    std::string key = FromHex("2b7e151628aed2a6abf7158809cf4f3c");
    std::string iv = FromHex("000102030405060708090a0b0c0d0e0f");
    std::string plain = FromHex(
        "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
        "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
    std::string cipher;
    ASSERT_EQ(AesCbcEncrypt(plain, Bytes(key), Bytes(iv), cipher), 0);
    ASSERT_EQ(cipher.size(), 80u);
    EXPECT_EQ(BytesToHex(cipher.data(), 64),
              "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
              "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7");

    std::string back;
    ASSERT_EQ(AesCbcDecrypt(cipher, Bytes(key), Bytes(iv), back), 0);
    EXPECT_EQ(back, plain);
}

TEST(AesTest, PadsEveryLengthToWholeBlocksAndRoundTrips) {
    const std::string key = "0123456789abcdef";
    const std::string iv = "fedcba9876543210";
    for (size_t length : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 1000u}) {
        std::string plain(length, 'x');
        for (size_t i = 0; i < length; ++i) plain[i] = static_cast<char>(i * 7);
        std::string cipher;
        ASSERT_EQ(AesCbcEncrypt(plain, Bytes(key), Bytes(iv), cipher), 0) << length;
        EXPECT_EQ(cipher.size(), (length / 16 + 1) * 16) << length;
        std::string back;
        ASSERT_EQ(AesCbcDecrypt(cipher, Bytes(key), Bytes(iv), back), 0) << length;
        EXPECT_EQ(back, plain) << length;
    }
}

TEST(AesTest, RefusesMissingKeysAndDamagedCipherText) {
    const std::string key = "0123456789abcdef";
    std::string out = "stale";
    EXPECT_EQ(AesCbcEncrypt("abc", nullptr, Bytes(key), out), -1);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(AesCbcDecrypt("abc", Bytes(key), nullptr, out), -1);

    std::string cipher;
    ASSERT_EQ(AesCbcEncrypt("some text", Bytes(key), Bytes(key), cipher), 0);
    out = "stale";
    EXPECT_EQ(AesCbcDecrypt(cipher.substr(0, 15), Bytes(key), Bytes(key), out), -3);
    EXPECT_TRUE(out.empty());
    const std::string otherKey = "0123456789abcdeX";
    // A wrong key almost always yields bad padding; it must never yield the text.
    int result = AesCbcDecrypt(cipher, Bytes(otherKey), Bytes(key), out);
    EXPECT_TRUE(result == -3 || out != "some text");
}
