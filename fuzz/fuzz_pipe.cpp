// The pipe's framer fed the stream in chunks whose sizes the input picks,
// and every message it cuts handed to the hub, which dispatches it by target
// and opcode. Property: how the stream is chunked never changes the messages.
#include <algorithm>

#include "Business.h"
#include "FuzzSupport.h"
#include "PipeFramer.h"
#include "Server.h"
#include "XMLOpt.h"

namespace {

// Reads what the service's handlers read from an envelope.
class CReadingBusiness : public CBusiness {
public:
    void InitOpcodeFun() override {
        AddOpcode("PortalConnect", &CReadingBusiness::Read);
        AddOpcode("ClientStart", &CReadingBusiness::Read);
    }
    void DefaultDeal(CXMLOpt& message) override { message.GetIntValue("P.newState"); }

private:
    void Read(const char* source, CXMLOpt& message) {
        CAutoString user = message.GetValue("P.user");
        CAutoString param = message.GetDoc("P");
        fuzz::Check(source != nullptr, "handler got a null source");
        fuzz::Check(param.IsEmpty() || CXMLOpt(param).IsWellFormed(),
                    "sub-document of an envelope re-parses");
    }
};

std::vector<CAutoString> Frame(const uint8_t* data, size_t size, size_t maxSize, unsigned seed) {
    CPipeFramer framer(maxSize);
    std::vector<CAutoString> messages;
    size_t done = 0;
    while (done < size) {
        // Chunk sizes from a small generator: short reads and long ones.
        seed = seed * 1103515245u + 12345u;
        size_t chunk = seed == 0 ? size : 1 + (seed >> 16) % 97;
        chunk = std::min(chunk, size - done);
        framer.Feed(reinterpret_cast<const char*>(data + done), chunk, messages);
        done += chunk;
    }
    return messages;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t maxSize = 16 + data[0] * 4;
    const unsigned seed = data[1];
    data += 2;
    size -= 2;

    std::vector<CAutoString> whole;
    CPipeFramer framer(maxSize);
    framer.Feed(reinterpret_cast<const char*>(data), size, whole);
    std::vector<CAutoString> chunked = Frame(data, size, maxSize, seed | 1u);
    fuzz::Check(whole.size() == chunked.size(), "chunking changed the number of messages");
    for (size_t i = 0; i < whole.size(); ++i) {
        fuzz::Check(whole[i].GetLength() <= maxSize, "message over the cap");
        fuzz::Check(whole[i] == chunked[i].c_str(), "chunking changed a message");
    }

    static CServer hub;
    static CReadingBusiness business;
    static bool registered = [] {
        hub.RegisterBusiness("Portal", &business);
        business.InitOpcodeFun();
        return true;
    }();
    (void)registered;
    for (const CAutoString& message : whole) {
        hub.DoWorkOnPipe(message);
        business.DealMsg(message);
    }
    return 0;
}
