// The module calls the helper process makes (Code, then the two-pass
// Prepare decoding with its callback) run in-process on the sample module,
// loaded once for the whole run, and the answer readers on what they give.
// Property: the module's own encoding decodes back to the text.
// Input: selector byte, then the answer (raw or plain text to encode).
#include <memory>

#include "AnswerReaders.h"
#include "ModuleCall.h"

namespace {

using ModuleWire::EOp;
using ModuleWire::EStatus;

CZsoModule& Module() {
    static std::unique_ptr<CZsoModule> module = [] {
        std::string file;
        std::unique_ptr<CZsoModule> opened;
        if (CZsoModule::ReadFile(VELNOR_FUZZ_MODULE, file)) opened = CZsoModule::Open(file);
        if (!opened) {
            fprintf(stderr, "cannot load %s\n", VELNOR_FUZZ_MODULE);
            abort();
        }
        return opened;
    }();
    return *module;
}

// What DecodePostResponseData gives for the module's reply.
CAutoString Decoded(const ModuleWire::Reply& reply) {
    return reply.status == EStatus::kOk ? CPortalParser::FromModuleText(reply.text.c_str()) : CAutoString("");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The calls take C strings: the text ends at the first NUL.
    const std::string text = fuzz::CText(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    if (data[0] % 2 == 0) {
        fuzz::ReadAnswers(Decoded(CModuleCall::Run(Module(), EOp::kDeCode, text)));
    } else {
        // The module's own encoding of the text, as the portal would send it.
        ModuleWire::Reply encoded = CModuleCall::Run(Module(), EOp::kCode, text);
        fuzz::Check(encoded.status == EStatus::kOk, "the module encodes any text");
        ModuleWire::Reply decoded = CModuleCall::Run(Module(), EOp::kDeCode, encoded.text);
        fuzz::Check(decoded.status == EStatus::kOk && decoded.text == text, "an encoded text decodes back");
        fuzz::ReadAnswers(Decoded(decoded));
    }
    return 0;
}
