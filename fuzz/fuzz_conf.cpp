// conf/conf.xml as the service loads and saves it: any file in its place is
// read, values are looked up, and a value set is saved and read back by a
// second store from the same file.
// Input: settings file \0 key \0 value.
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
    std::vector<std::string> parts = fuzz::Split(data, size, 3);
    const std::string file = fuzz::ScratchPath("conf.xml");
    fuzz::WriteFile(file, parts[0]);
    const std::string key = fuzz::CText(parts[1]), value = fuzz::CText(parts[2]);

    CInfoCenter store(CInfoCenter::Flavor::Service, file.c_str());
    for (const char* name : {"pid", "clientId", "schoolId", "tickUrl", key.c_str()}) store.GetLocalValue(name);
    store.SetValue(key.c_str(), value.c_str());
    store.GetValue(key.c_str());
    store.SetGlobalValue(key.c_str(), value.c_str());
    if (store.SetLocalValue(key.c_str(), value.c_str()) && IsPlainValue(value)) {
        CInfoCenter reloaded(CInfoCenter::Flavor::Service, file.c_str());
        fuzz::Check(reloaded.GetLocalValue(key.c_str()) == value.c_str(), "a saved value reads back");
    }
    return 0;
}
