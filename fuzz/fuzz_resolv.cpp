// The resolver-file rewrite and its undo on arbitrary files and servers.
// Property: after one or two rewrites, the restore gives back the original
// bytes exactly; the saved backup text decodes to what was encoded.
// Input: resolver file \0 dns1 \0 dns2 \0 second dns1 \0 backup text.
#include <memory>

#include "DnsBackup.h"
#include "DnsBackupStore.h"
#include "FuzzSupport.h"
#include "NetHelper.h"

namespace {

class CMemoryStore : public IDnsBackupStore {
public:
    CAutoString Load() override { return CAutoString(m_text.c_str()); }
    bool Save(const char* text) override {
        m_text = text ? text : "";
        return true;
    }
    bool Clear() override {
        m_text.clear();
        return true;
    }

private:
    std::string m_text;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> parts = fuzz::Split(data, size, 5);
    const std::string& original = parts[0];
    const std::string path = fuzz::ScratchPath("resolv.conf");
    fuzz::WriteFile(path, original);

    {
        CNetHelper helper(path.c_str(), std::make_unique<CMemoryStore>());
        CAutoString dns1(parts[1].c_str()), dns2(parts[2].c_str());
        if (helper.SetDNSServers(dns1, dns2) == 0) {
            CAutoString again1(parts[3].c_str()), again2(parts[2].c_str());
            helper.SetDNSServers(again1, again2);
        }
        fuzz::Check(helper.RestoreDNSServers() == 0, "a restore succeeds");
        fuzz::Check(fuzz::ReadFile(path) == original, "a restore gives back the original bytes");
        fuzz::Check(!helper.HasBackup(), "nothing pending after a restore");
    }

    CDnsBackup backup;
    if (backup.Decode(parts[4].c_str())) {
        std::string encoded = backup.Encode();
        CDnsBackup decoded;
        fuzz::Check(decoded.Decode(encoded.c_str()), "an encoded backup decodes");
        fuzz::Check(decoded.Encode() == encoded, "a backup survives encoding");
        std::vector<std::string> lines = {original};
        backup.Undo(lines);
    }
    return 0;
}
