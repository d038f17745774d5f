// The algorithm module file reader on arbitrary files: header fields, sizes
// and the scrambled LZMA stream, up to the image it would load.
#include "FuzzSupport.h"
#include "ModuleFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CModuleFile module;
    if (module.Unpack(data, size) != CModuleFile::kOk) return 0;
    fuzz::Check(module.keyId.size() == CModuleFile::kKeyIdSize, "the key id is three bytes");
    fuzz::Check(!module.image.empty() && module.image.size() <= CModuleFile::kMaxImageSize,
                "the image is within its cap");
    return 0;
}
