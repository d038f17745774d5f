// conf/code.xml as the client loads it, and the lookup of a text by code and
// sub-error with the report's extra text put in.
// Input: code.xml \0 code (decimal) \0 sub-error \0 extra.
#include <cstdlib>

#include "ErrorCodeText.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> parts = fuzz::Split(data, size, 4);
    const std::string file = fuzz::ScratchPath("code.xml");
    fuzz::WriteFile(file, parts[0]);
    CErrorCodeText texts;
    bool loaded = texts.Load(file.c_str());
    const long code = strtol(parts[1].c_str(), nullptr, 10);
    CAutoString text = texts.GetText(code, parts[2].c_str(), parts[3].c_str());
    fuzz::Check(loaded || !text.IsEmpty(), "an unknown code still has a text");
    texts.GetText(code, nullptr, nullptr);
    return 0;
}
