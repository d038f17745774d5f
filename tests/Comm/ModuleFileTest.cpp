#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "ModuleFile.h"

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

CModuleFile Sample(Bytes image, std::string key = "KEY", std::string algoId = "ID") {
    CModuleFile module;
    module.keyId = "001";
    module.key = std::move(key);
    module.algoId = std::move(algoId);
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
    const CModuleFile cases[] = {
        Sample(Bytes{0x7f}, "k", "a"),
        Sample(TextBytes(200000), "key", "5d0c8a3e-7f21-4b96-a4e8-1c9b7d3f6a02"),
        Sample(RandomBytes(70000, 7), std::string(255, 'k'), std::string(255, 'a')),
        Sample(RandomBytes(100, 3), "", ""),
    };
    for (const auto& module : cases) {
        SCOPED_TRACE(module.image.size());
        Bytes file = Packed(module);
        CModuleFile back;
        ASSERT_EQ(CModuleFile::kOk, back.Unpack(file.data(), file.size()));
        EXPECT_EQ(module.keyId, back.keyId);
        EXPECT_EQ(module.key, back.key);
        EXPECT_EQ(module.algoId, back.algoId);
        EXPECT_EQ(module.image, back.image);
    }
}

TEST(CModuleFileTest, HeaderAndXorChainAreLaidOutByteByByte) {
    Bytes file = Packed(Sample(TextBytes(1000)));
    // Key id, length-prefixed key and identifier, 5 property bytes, then the
    // little-endian unpacked size.
    ASSERT_GT(file.size(), 19u);
    EXPECT_EQ(std::string("001\x03KEY\x02ID"), std::string(file.begin(), file.begin() + 10));
    EXPECT_EQ((Bytes{0xE8, 0x03, 0x00, 0x00}), Bytes(file.begin() + 15, file.begin() + 19));
    CModuleFile::Header header;
    ASSERT_EQ(CModuleFile::kOk, CModuleFile::ParseHeader(file.data(), file.size(), header));
    EXPECT_EQ(1000u, header.unpackedSize);
    EXPECT_EQ(19u, header.streamOffset);
    EXPECT_EQ(file.size() - 19, header.streamSize);

    // Each byte is stored XORed with its plain successor.
    Bytes plain{0x10, 0x32, 0x54, 0x76, 0xff};
    Bytes data = plain;
    CModuleFile::Scramble(data.data(), data.size());
    EXPECT_EQ((Bytes{0x10 ^ 0x32, 0x32 ^ 0x54, 0x54 ^ 0x76, 0x76 ^ 0xff, 0xff}), data);
    CModuleFile::Unscramble(data.data(), data.size());
    EXPECT_EQ(plain, data);
    CModuleFile::Unscramble(nullptr, 0);
}

TEST(CModuleFileTest, FieldsThatDoNotFitAreRefused) {
    const std::function<void(CModuleFile&)> spoil[] = {
        [](CModuleFile& m) { m.keyId = ""; },
        [](CModuleFile& m) { m.keyId = "01"; },
        [](CModuleFile& m) { m.keyId = "0001"; },
        [](CModuleFile& m) { m.key.assign(256, 'k'); },
        [](CModuleFile& m) { m.algoId.assign(256, 'a'); },
    };
    Bytes file;
    for (const auto& edit : spoil) {
        CModuleFile module = Sample(TextBytes(10));
        edit(module);
        EXPECT_EQ(CModuleFile::kBadField, module.Pack(file)) << module.keyId;
    }
    EXPECT_EQ(CModuleFile::kTooLarge, Sample(Bytes{}).Pack(file));
    EXPECT_TRUE(file.empty());
}

TEST(CModuleFileTest, CorruptedFilesGiveNoImage) {
    const CModuleFile module = Sample(RandomBytes(20000, 11));
    const Bytes file = Packed(module);
    const size_t sizeAt = 15, streamAt = 19;
    auto withSize = [&](uint32_t size) {
        Bytes spoilt = file;
        for (int i = 0; i < 4; ++i) spoilt[sizeAt + i] = static_cast<unsigned char>(size >> (8 * i));
        return spoilt;
    };
    Bytes badProps = file;
    badProps[sizeAt - 5] = 0xff;  // lc/lp/pb out of range
    Bytes damaged = file;
    for (size_t i = streamAt + 10; i < damaged.size(); i += 7) damaged[i] ^= 0x5A;
    struct Case {
        const char* name;
        Bytes data;
        int result;
    };
    std::vector<Case> cases = {
        {"no stream", Bytes(file.begin(), file.begin() + streamAt), CModuleFile::kTruncated},
        {"bad properties", badProps, CModuleFile::kLzma},
        {"declared size zero", withSize(0), CModuleFile::kTooLarge},
        {"declared size too large", withSize(CModuleFile::kMaxImageSize + 1), CModuleFile::kTooLarge},
        {"declared size 4 GiB", withSize(0xFFFFFFFFu), CModuleFile::kTooLarge},
        {"stream cut in half", Bytes(file.begin(), file.begin() + streamAt + (file.size() - streamAt) / 2),
         1},
        {"damaged stream", damaged, 1},  // 1: any refusal; the damage decides which
    };
    for (size_t cut = 0; cut < streamAt; ++cut) {
        cases.push_back({"short header", Bytes(file.begin(), file.begin() + cut), CModuleFile::kShort});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(c.data.size()));
        CModuleFile back;
        int result = back.Unpack(c.data.data(), c.data.size());
        if (c.result == 1) {
            EXPECT_NE(CModuleFile::kOk, result);
        } else {
            EXPECT_EQ(c.result, result);
        }
        EXPECT_TRUE(back.image.empty());
    }
    CModuleFile back;
    EXPECT_NE(CModuleFile::kOk, back.Unpack(file.data(), streamAt + (file.size() - streamAt) / 2));
    EXPECT_TRUE(back.image.empty());
    // A smaller declared size cuts the image there.
    Bytes smaller = withSize(100);
    ASSERT_EQ(CModuleFile::kOk, back.Unpack(smaller.data(), smaller.size()));
    EXPECT_EQ(Bytes(module.image.begin(), module.image.begin() + 100), back.image);
}
