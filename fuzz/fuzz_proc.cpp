// The readers of the kernel's tables, fed arbitrary text in place of
// /proc/net/route, /proc/net/ipv6_route, /proc/net/dev, the forwarding
// switches and a process's command name.
// Input: route \0 ipv6_route \0 dev \0 forwarding \0 comm \0 interface name.
#include <sys/stat.h>

#include <set>

#include "AdapterCard.h"
#include "FuzzSupport.h"
#include "ProcNet.h"
#include "SystemControl.h"
#include "WiFiSharedValidate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> parts = fuzz::Split(data, size, 6);
    static const std::string route = fuzz::ScratchPath("route"), ipv6 = fuzz::ScratchPath("ipv6_route"),
                             dev = fuzz::ScratchPath("dev"), forward = fuzz::ScratchPath("forward"),
                             proc = fuzz::ScratchPath("proc");
    fuzz::WriteFile(route, parts[0]);
    fuzz::WriteFile(ipv6, parts[1]);
    fuzz::WriteFile(dev, parts[2]);
    fuzz::WriteFile(forward, parts[3]);
    mkdir(proc.c_str(), 0700);
    mkdir((proc + "/1").c_str(), 0700);
    fuzz::WriteFile(proc + "/1/comm", parts[4]);
    const std::string name = fuzz::CText(parts[5]);

    CAdapterCard::ProcFiles files;
    files.route = route.c_str();
    files.ipv6Route = ipv6.c_str();
    CAdapterCard card(files);
    card.HasIPv4Route(name.c_str());
    card.HasIPv6Route(name.c_str());
    std::string defaultName;
    if (ProcNet::FindDefaultRoute(route.c_str(), defaultName))
        fuzz::Check(defaultName.size() <= ProcNet::kMaxInterfaceName, "an interface name fits its slot");
    uint64_t received = 0, transmitted = 0;
    ProcNet::FindDeviceCounters(dev.c_str(), name.c_str(), received, transmitted);

    SYSTEM_CONTROL_PATHS paths;
    paths.strIPv4Forwarding = forward;
    paths.strIPv6Forwarding = forward;
    paths.strNetRoute = route;
    paths.strNetDev = dev;
    paths.strProcDir = proc;
    CSystemControl control(paths);
    control.NetworkEnableIpForwarding();
    uint64_t sent = 0, got = 0;
    control.NetworkTrafficStatistics(sent, got);

    std::set<std::string> names;
    CWiFiSharedValidate::CollectCommandNames(proc.c_str(), names);
    for (const std::string& command : names)
        fuzz::Check(command.size() <= 64, "a command name fits its read");
    return 0;
}
