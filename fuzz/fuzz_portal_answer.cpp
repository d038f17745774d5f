// The readers of the portal's answers to the ticket, login, state (read as a
// login answer), heartbeat and terminal exchanges, on decoded text, and on
// raw bytes that first go through the sample module's decoding.
// Input: selector byte, then the answer.
#include "FuzzSupport.h"
#include "PortalParser.h"

namespace {

void ReadAll(const char* text) {
    CAutoString ticket, account, keepUrl, termUrl, userConfig, domainConfig, terminal;
    int expire = 0, retry = 0, interval = 0, level = 0;
    CPortalParser::ReadTickAnswer(text, ticket, expire);
    CPortalParser::ReadAuthAnswer(text, account, retry, keepUrl, termUrl, userConfig, domainConfig);
    CPortalParser::ReadKeepAnswer(text, interval, level);
    if (CPortalParser::ReadTerminalAnswer(text, terminal) == 1)
        fuzz::Check(terminal.Find("<response>") == 0, "the terminal list starts at its root");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string answer(reinterpret_cast<const char*>(data + 1), size - 1);
    ReadAll(answer.c_str());
    // Every module call loads the module afresh (milliseconds), so the
    // decoding runs for one input in eight, the round trip for another.
    const unsigned mode = data[0] % 8;
    if (mode > 1) return 0;
    static CPortalParser parser;
    static bool ready = parser.Init(VELNOR_FUZZ_MODULE) == 1;
    (void)ready;
    if (mode == 0) {
        // The members are the readers above on the decoded text.
        ReadAll(parser.DecodePostResponseData(answer.c_str()));
        int interval = 0, level = 0;
        parser.ParserKeepResponse(answer.c_str(), interval, level);
    } else {
        // The module's own encoding of the text, as the portal would send it.
        CAutoString encoded = parser.EncodePostRequestData(answer.c_str());
        ReadAll(parser.DecodePostResponseData(encoded));
    }
    return 0;
}
