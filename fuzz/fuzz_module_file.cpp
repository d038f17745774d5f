// The algorithm module file reader on arbitrary files: header fields, sizes
// and the scrambled LZMA stream, up to the image it would load.
#include "FuzzSupport.h"
#include "ZsoModule.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CZsoModule::Unpacked unpacked;
    if (!CZsoModule::Unpack(std::string(reinterpret_cast<const char*>(data), size), unpacked)) return 0;
    fuzz::Check(unpacked.keyid.size() == 3, "the key id is three bytes");
    fuzz::Check(!unpacked.image.empty() && unpacked.image.size() <= CZsoModule::kMaxImageSize,
                "the image is within its cap");
    return 0;
}
