// Rewrites or restores /etc/resolv.conf with CNetHelper's defaults, keeping
// its backup in the given file, and prints "rc=", "dns1=", "dns2=" and
// whether the file kept its inode. Usage:
//   velnor_dns_probe BACKUP set DNS1 DNS2   (SetDNSServers with the pair)
//   velnor_dns_probe BACKUP restore         (RestoreDNSServers)
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "FileDnsBackupStore.h"
#include "NetHelper.h"

int main(int argc, char** argv) {
    bool set = argc == 5 && strcmp(argv[2], "set") == 0;
    bool restore = argc == 3 && strcmp(argv[2], "restore") == 0;
    if (!set && !restore) {
        fprintf(stderr, "usage: %s BACKUP set DNS1 DNS2 | %s BACKUP restore\n", argv[0], argv[0]);
        return 2;
    }
    struct stat before, after;
    if (stat("/etc/resolv.conf", &before) != 0) return 3;
    CNetHelper helper("/etc/resolv.conf", std::make_unique<CFileDnsBackupStore>(argv[1]));
    CAutoString dns1(set ? argv[3] : ""), dns2(set ? argv[4] : "");
    int rc = set ? helper.SetDNSServers(dns1, dns2) : helper.RestoreDNSServers();
    if (stat("/etc/resolv.conf", &after) != 0) return 3;
    printf("rc=%d\ndns1=%s\ndns2=%s\ninode=%s\n", rc, dns1.GetBuffer(), dns2.GetBuffer(),
           before.st_ino == after.st_ino ? "kept" : "changed");
    return 0;
}
