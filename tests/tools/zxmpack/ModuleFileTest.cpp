#include "ModuleFile.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (auto& b : bytes) b = static_cast<unsigned char>(random());
    return bytes;
}

Bytes TextBytes(size_t size) {
    static const char kText[] = "ELF text with repeats: the module image compresses. ";
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(kText[i % (sizeof(kText) - 1)]);
    return bytes;
}

CModuleFile Sample(Bytes image) {
    CModuleFile module;
    module.keyId = "001";
    module.key = "k3y";
    module.algoId = "5d0c8a3e-7f21-4b96-a4e8-1c9b7d3f6a02";
    module.image = std::move(image);
    return module;
}

Bytes Packed(const CModuleFile& module) {
    Bytes file;
    EXPECT_EQ(CModuleFile::kOk, module.Pack(file));
    return file;
}

}  // namespace

TEST(CModuleFileTest, PackThenUnpackGivesBackEveryField) {
    struct Case {
        const char* name;
        Bytes image;
        std::string key;
        std::string algoId;
    } cases[] = {
        {"one byte", Bytes{0x7f}, "k", "a"},
        {"compressible", TextBytes(200000), "key", "5d0c8a3e-7f21-4b96-a4e8-1c9b7d3f6a02"},
        {"incompressible", RandomBytes(70000, 7), std::string(255, 'k'), std::string(255, 'a')},
        {"no key, no identifier", RandomBytes(100, 3), "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CModuleFile module = Sample(c.image);
        module.key = c.key;
        module.algoId = c.algoId;
        Bytes file = Packed(module);
        CModuleFile back;
        ASSERT_EQ(CModuleFile::kOk, back.Unpack(file.data(), file.size()));
        EXPECT_EQ("001", back.keyId);
        EXPECT_EQ(c.key, back.key);
        EXPECT_EQ(c.algoId, back.algoId);
        EXPECT_EQ(c.image, back.image);
    }
}

TEST(CModuleFileTest, HeaderIsLaidOutFieldByField) {
    CModuleFile module = Sample(TextBytes(1000));
    module.key = "KEY";
    module.algoId = "ID";
    Bytes file = Packed(module);
    ASSERT_GT(file.size(), 3u + 1 + 3 + 1 + 2 + 5 + 4);
    EXPECT_EQ(std::string("001\x03KEY\x02ID"), std::string(file.begin(), file.begin() + 10));
    // Little-endian unpacked size after the 5 property bytes.
    EXPECT_EQ(0xE8, file[15]);
    EXPECT_EQ(0x03, file[16]);
    EXPECT_EQ(0x00, file[17]);
    EXPECT_EQ(0x00, file[18]);
    CModuleFile::Header header;
    ASSERT_EQ(CModuleFile::kOk, CModuleFile::ParseHeader(file.data(), file.size(), header));
    EXPECT_EQ(1000u, header.unpackedSize);
    EXPECT_EQ(19u, header.streamOffset);
    EXPECT_EQ(file.size() - 19, header.streamSize);
}

TEST(CModuleFileTest, XorChainStoresEachByteXoredWithItsPlainSuccessor) {
    Bytes plain{0x10, 0x32, 0x54, 0x76, 0xff};
    Bytes data = plain;
    CModuleFile::Scramble(data.data(), data.size());
    EXPECT_EQ((Bytes{0x10 ^ 0x32, 0x32 ^ 0x54, 0x54 ^ 0x76, 0x76 ^ 0xff, 0xff}), data);
    CModuleFile::Unscramble(data.data(), data.size());
    EXPECT_EQ(plain, data);

    Bytes single{0xAB};
    CModuleFile::Unscramble(single.data(), single.size());
    EXPECT_EQ(Bytes{0xAB}, single);
    CModuleFile::Unscramble(nullptr, 0);
}

TEST(CModuleFileTest, FieldsThatDoNotFitAreRefused) {
    Bytes file;
    CModuleFile module = Sample(TextBytes(10));
    for (const char* keyId : {"", "01", "0001"}) {
        module.keyId = keyId;
        EXPECT_EQ(CModuleFile::kBadField, module.Pack(file)) << keyId;
    }
    module = Sample(TextBytes(10));
    module.key.assign(256, 'k');
    EXPECT_EQ(CModuleFile::kBadField, module.Pack(file));
    module = Sample(TextBytes(10));
    module.algoId.assign(256, 'a');
    EXPECT_EQ(CModuleFile::kBadField, module.Pack(file));
    EXPECT_EQ(CModuleFile::kTooLarge, Sample(Bytes{}).Pack(file));
    EXPECT_TRUE(file.empty());
}

TEST(CModuleFileTest, EveryCutInsideTheHeaderIsShort) {
    CModuleFile module = Sample(TextBytes(500));
    Bytes file = Packed(module);
    size_t headerSize = 3 + 1 + module.key.size() + 1 + module.algoId.size() + 5 + 4;
    for (size_t cut = 0; cut < headerSize; ++cut) {
        CModuleFile back;
        EXPECT_EQ(CModuleFile::kShort, back.Unpack(file.data(), cut)) << cut;
        EXPECT_TRUE(back.image.empty());
    }
}

TEST(CModuleFileTest, TruncatedOrDamagedStreamGivesNoImage) {
    CModuleFile module = Sample(RandomBytes(20000, 11));
    Bytes file = Packed(module);
    CModuleFile::Header header;
    ASSERT_EQ(CModuleFile::kOk, CModuleFile::ParseHeader(file.data(), file.size(), header));

    CModuleFile back;
    EXPECT_NE(CModuleFile::kOk, back.Unpack(file.data(), header.streamOffset + header.streamSize / 2));
    EXPECT_NE(CModuleFile::kOk, back.Unpack(file.data(), header.streamOffset));
    EXPECT_TRUE(back.image.empty());

    Bytes badProps = file;
    badProps[header.streamOffset - 9] = 0xff;  // lc/lp/pb out of range
    EXPECT_EQ(CModuleFile::kLzma, back.Unpack(badProps.data(), badProps.size()));
}

TEST(CModuleFileTest, DeclaredSizeBoundsTheImage) {
    CModuleFile module = Sample(TextBytes(4000));
    Bytes file = Packed(module);
    size_t sizeAt = 3 + 1 + module.key.size() + 1 + module.algoId.size() + 5;

    Bytes zero = file;
    std::fill(zero.begin() + sizeAt, zero.begin() + sizeAt + 4, 0);
    CModuleFile back;
    EXPECT_EQ(CModuleFile::kTooLarge, back.Unpack(zero.data(), zero.size()));

    Bytes huge = file;
    uint32_t tooMany = CModuleFile::kMaxImageSize + 1;
    for (int i = 0; i < 4; ++i) huge[sizeAt + i] = static_cast<unsigned char>(tooMany >> (8 * i));
    EXPECT_EQ(CModuleFile::kTooLarge, back.Unpack(huge.data(), huge.size()));

    // A smaller declared size cuts the image there.
    Bytes smaller = file;
    smaller[sizeAt] = 100;
    smaller[sizeAt + 1] = 0;
    ASSERT_EQ(CModuleFile::kOk, back.Unpack(smaller.data(), smaller.size()));
    EXPECT_EQ(Bytes(module.image.begin(), module.image.begin() + 100), back.image);
}
