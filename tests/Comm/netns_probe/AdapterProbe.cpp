// Prints what CAdapterCard finds in the current network namespace, one
// "key=value" per line on stdout (diagnostics go to stderr). Argument: the
// interface name whose global IPv6 address to look up.
#include <cstdio>

#include "AdapterCard.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s interface\n", argv[0]);
        return 2;
    }
    CAdapterCard card;
    CAutoString name4, ip4, mac, ip6, upper6, defaultRoute;
    int active4 = card.GetActiveCardName(name4);
    int ipAndMac = card.GetIpAndMac(name4, ip4, mac);
    int address6 = card.GetIPAddress(10, argv[1], ip6);
    CAutoString upperName(argv[1]);
    for (char* p = const_cast<char*>(upperName.GetBuffer()); *p; ++p)
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    card.GetIPAddress(10, upperName, upper6);
    card.GetDefaultRouteInterface(defaultRoute);
    fflush(stdout);
    printf("active4=%d\nname4=%s\nipmac=%d\nip4=%s\nmac=%s\naddress6=%d\nip6=%s\nip6upper=%s\ndefault=%s\n",
           active4, name4.GetBuffer(), ipAndMac, ip4.GetBuffer(), mac.GetBuffer(), address6, ip6.GetBuffer(),
           upper6.GetBuffer(), defaultRoute.GetBuffer());
    return 0;
}
