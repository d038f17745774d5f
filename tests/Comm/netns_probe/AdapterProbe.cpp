// Prints what CAdapterCard and the default-route reader find in the current
// network namespace, one "key=value" per line. Argument: the interface whose global IPv6 address to
// look up (also looked up in upper case as "ip6upper").
#include <cctype>
#include <cstdio>
#include <string>

#include "AdapterCard.h"
#include "ProcNet.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    CAdapterCard card;
    CAutoString name4, ip4, mac, ip6, upper6;
    int active4 = card.GetActiveCardName(name4);
    int ipAndMac = card.GetIpAndMac(name4, ip4, mac);
    int address6 = card.GetIPAddress(10, argv[1], ip6);
    std::string upper = argv[1];
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    card.GetIPAddress(10, upper.c_str(), upper6);
    std::string defaultRoute;
    ProcNet::FindDefaultRoute("/proc/net/route", defaultRoute);
    fflush(stdout);
    printf("active4=%d\nname4=%s\nipmac=%d\nip4=%s\nmac=%s\naddress6=%d\nip6=%s\nip6upper=%s\ndefault=%s\n",
           active4, name4.GetBuffer(), ipAndMac, ip4.GetBuffer(), mac.GetBuffer(), address6, ip6.GetBuffer(),
           upper6.GetBuffer(), defaultRoute.c_str());
    return 0;
}
