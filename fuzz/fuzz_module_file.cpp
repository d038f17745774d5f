// The algorithm module file reader on arbitrary files: header fields, sizes
// and the scrambled LZMA stream, up to the image it would load.
#include <vector>

#include "FuzzSupport.h"
#include "ModuleFile.h"

namespace {

// The decoder sets up a window as large as the declared image before it
// reads a byte, and blocks past 128 KiB are fresh mappings under ASan: at up
// to 64 MiB every input would cost milliseconds in the allocator. Declared
// sizes fold under 64 KiB, or under 1 MiB (past the first output block, so
// the growing output is fuzzed too) when their top bit is set; the sizes
// above are unit-tested.
constexpr uint32_t kSmallCap = 64u << 10;
constexpr uint32_t kLargeCap = 1u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CModuleFile::Header header;
    if (CModuleFile::ParseHeader(data, size, header) != CModuleFile::kOk) return 0;
    std::vector<unsigned char> file(data, data + size);
    const uint32_t declared = header.unpackedSize;
    const uint32_t folded = declared % ((declared >> 31 ? kLargeCap : kSmallCap) + 1);
    for (size_t i = 0; i < 4; ++i)
        file[header.streamOffset - 4 + i] = static_cast<unsigned char>(folded >> (8 * i));

    CModuleFile module;
    if (module.Unpack(file.data(), file.size()) != CModuleFile::kOk) return 0;
    fuzz::Check(module.keyId.size() == CModuleFile::kKeyIdSize, "the key id is three bytes");
    fuzz::Check(!module.image.empty() && module.image.size() <= folded,
                "the image is within its declared size");
    return 0;
}
