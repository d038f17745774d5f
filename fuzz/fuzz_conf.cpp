// conf/conf.xml and conf/client.xml as the two programs load and save them:
// any file in its place is read, values are looked up, and a value set is
// saved and read back by a second store from the same file.
// Input: flavour byte (even: service, odd: client), then settings file \0 key \0 value.
#include <cstring>

#include "CharsetConv.h"
#include "FuzzSupport.h"
#include "InfoCenter.h"

namespace {

// Values the settings file keeps as they are: printable ASCII, no blanks at
// the ends.
bool IsPlainValue(const std::string& text) {
    if (text.empty() || text.front() == ' ' || text.back() == ' ') return false;
    for (unsigned char ch : text)
        if (ch < 0x20 || ch > 0x7e) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const auto flavor = data[0] % 2 ? CInfoCenter::Flavor::Client : CInfoCenter::Flavor::Service;
    std::vector<std::string> parts = fuzz::Split(data + 1, size - 1, 3);
    const std::string file = fuzz::ScratchPath("conf.xml");
    fuzz::WriteFile(file, parts[0]);
    const std::string key = fuzz::CText(parts[1]), value = fuzz::CText(parts[2]);

    CInfoCenter store(flavor, file.c_str());
    for (const char* name : {"pid", "clientId", "schoolId", "tickUrl", "user", "version", key.c_str()})
        store.GetLocalValue(name);
    store.SetValue(key.c_str(), value.c_str());
    store.GetValue(key.c_str());
    store.SetGlobalValue(key.c_str(), value.c_str());
    if (store.SetLocalValue(key.c_str(), value.c_str()) && IsPlainValue(value)) {
        CInfoCenter reloaded(flavor, file.c_str());
        fuzz::Check(reloaded.GetLocalValue(key.c_str()) == value.c_str(), "a saved value reads back");
    }
    return 0;
}
