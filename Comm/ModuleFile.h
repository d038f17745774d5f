// CModuleFile: the algorithm module file, packed and unpacked. A file is a
// 3-byte key identifier, a length-prefixed key, a length-prefixed algorithm
// identifier, the 5-byte LZMA properties, the unpacked size (32-bit little
// endian) and a raw LZMA stream scrambled by a backward XOR chain.
// Plain data with static helpers: any thread, no shared state. The object
// owns its strings and image. The service reads modules with it, the packer
// also writes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CModuleFile {
public:
    enum Result {
        kOk = 0,
        kBadField = -1,   // a field does not fit its slot (key id not 3 bytes, text over 255)
        kShort = -2,      // the header runs past the end of the data
        kTooLarge = -3,   // declared or given image above kMaxImageSize, or empty
        kLzma = -4,       // the LZMA coder refused or failed
        kTruncated = -5,  // the stream ended before the declared size was produced
    };

    static constexpr size_t kKeyIdSize = 3;
    static constexpr size_t kPropsSize = 5;
    static constexpr size_t kMaxTextSize = 255;
    static constexpr uint32_t kMaxImageSize = 64u << 20;

    // The fields in front of the stream, as stored.
    struct Header {
        std::string keyId;
        std::string key;
        std::string algoId;
        unsigned char props[kPropsSize] = {};
        uint32_t unpackedSize = 0;
        size_t streamOffset = 0;
        size_t streamSize = 0;
    };

    std::string keyId;
    std::string key;
    std::string algoId;
    std::vector<unsigned char> image;  // the shared object

    // Reads the header only; kShort when it does not fit in size bytes.
    static int ParseHeader(const unsigned char* data, size_t size, Header& header);
    // Builds the whole file into out; preset is liblzma's 0..9.
    int Pack(std::vector<unsigned char>& out, uint32_t preset = 6) const;
    // Fills every field from a whole file. An image larger than declared is
    // cut at the declared size; a cleanly ended shorter one is kept as is.
    // The output grows with what the stream really gives, so a few bytes
    // declaring the largest size do not cost that much memory up front.
    int Unpack(const unsigned char* data, size_t size);
    // Properties with lc + lp above 4: valid LZMA that liblzma will not
    // decode, worth telling apart from damage.
    static bool UnsupportedCompression(const unsigned char props[kPropsSize]);

    // The backward XOR chain: stored[i] = plain[i] ^ plain[i + 1], the last
    // byte stored plain. Both work in place.
    static void Scramble(unsigned char* data, size_t size);
    static void Unscramble(unsigned char* data, size_t size);

    static const char* ErrorText(int result);
};
