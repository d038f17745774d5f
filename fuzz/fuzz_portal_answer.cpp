// The readers of the portal's answers to the ticket, login, state (read as a
// login answer), heartbeat and terminal exchanges, on decoded text, and on
// raw bytes that go through the module helper process as the service sends
// them (fuzz_module_codec runs the same decoding in-process on every input).
// Input: selector byte, then the answer.
#include "AnswerReaders.h"

namespace {

// A call through the helper costs a process round trip and a module load, a
// thousand times the readers. The first 256 inputs go through it (the seeds
// of a fresh run, as in CI, and an input replayed on its own), then one in 512.
bool ThroughHelper() {
    static unsigned long calls = 0;
    ++calls;
    return calls <= 256 || calls % 512 == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string answer(reinterpret_cast<const char*>(data + 1), size - 1);
    fuzz::ReadAnswers(answer.c_str());
    const unsigned mode = data[0];
    if (mode > 1 || !ThroughHelper()) return 0;
    static CPortalParser parser;
    static bool ready = parser.Init(VELNOR_FUZZ_MODULE) == 1;
    (void)ready;
    if (mode == 0) {
        // The members are the readers above on the decoded text.
        fuzz::ReadAnswers(parser.DecodePostResponseData(answer.c_str()));
        int interval = 0, level = 0;
        parser.ParserKeepResponse(answer.c_str(), interval, level);
    } else {
        // The module's own encoding of the text, as the portal would send it.
        CAutoString encoded = parser.EncodePostRequestData(answer.c_str());
        fuzz::ReadAnswers(parser.DecodePostResponseData(encoded));
    }
    return 0;
}
