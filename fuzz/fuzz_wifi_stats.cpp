// The portal's rules against sharing the connection and its statistics
// setting ("StatsInfor"), with the intervals read from them.
// Input: charset selector byte, then the rule text \0 statistics markup.
#include <sys/stat.h>

#include "CTrafficStatistics.h"
#include "FuzzSupport.h"
#include "PortalParser.h"
#include "WiFiSharedValidate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    std::vector<std::string> parts = fuzz::Split(data + 1, size - 1, 2);
    // No process and no forwarding: the rules are only read, never matched.
    static const std::string proc = [] {
        std::string dir = fuzz::ScratchPath("noproc");
        mkdir(dir.c_str(), 0700);
        fuzz::WriteFile(fuzz::ScratchPath("forward0"), "0\n");
        fuzz::WriteFile(fuzz::ScratchPath("os-release"), "ID=ubuntu\n");
        return dir;
    }();
    SYSTEM_CONTROL_PATHS paths;
    paths.strProcDir = proc;
    paths.strOsRelease = fuzz::ScratchPath("os-release");
    paths.strIPv4Forwarding = fuzz::ScratchPath("forward0");
    paths.strIPv6Forwarding = fuzz::ScratchPath("forward0");

    CWiFiSharedValidate validate(paths);
    validate.SetRuleCharset(data[0] & 1 ? "UTF-8" : "GB18030");
    validate.IsValidEnvironment(parts[0].c_str());
    for (const auto& process : validate.GetProcesses())
        fuzz::Check(!process.first.empty(), "a rule names a program");
    validate.GetDisplayName();

    CAutoString url;
    long interval = -1;
    int enabled = CTrafficStatistics::ReadStatsInfor(parts[1].c_str(), url, interval);
    fuzz::Check(enabled != 1 || interval >= 0, "an enabled setting has a usable interval");
    fuzz::Check(CTrafficStatistics::ReportInterval(parts[1].c_str()) >= 0, "an interval is never negative");
    CPortalParser::GetCheckWifiShareTime(CAutoString(parts[0].c_str()));
    CPortalParser::GetCheckWifiLogoutTime(CAutoString(parts[0].c_str()));
    return 0;
}
