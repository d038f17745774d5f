// The algorithm module file reader on arbitrary files: header fields, sizes
// and the scrambled LZMA stream, up to the image it would load.
#include "FuzzSupport.h"
#include "ZsoModule.h"

namespace {

// A few bytes of LZMA can declare and fill the full 64 MiB, which costs a
// tenth of a second under the sanitizers; a smaller cap runs the same checks
// and still lets the output grow past its first buffer.
constexpr uint32_t kFuzzImageCap = 1u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CZsoModule::Unpacked unpacked;
    if (!CZsoModule::Unpack(std::string(reinterpret_cast<const char*>(data), size), unpacked, kFuzzImageCap))
        return 0;
    fuzz::Check(unpacked.keyid.size() == 3, "the key id is three bytes");
    fuzz::Check(!unpacked.image.empty() && unpacked.image.size() <= kFuzzImageCap,
                "the image is within its cap");
    return 0;
}
