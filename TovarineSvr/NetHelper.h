// CNetHelper: puts the portal's DNS servers into the resolver file while the
// user is on line and puts the host's own servers back afterwards, exactly as
// they stood. What a rewrite displaced is kept in an IDnsBackupStore until it
// is undone, so a service that was killed on line still restores the host's
// servers in a later run. Only the portal work thread calls it; the resolver
// file is not locked against other writers. Owns its store.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "AutoString.h"
#include "DnsBackupStore.h"

class CDnsBackup;

class CNetHelper {
public:
    // A null store means a CFileDnsBackupStore on kDefaultBackupPath
    // (relative to the working directory, like every file of the service).
    explicit CNetHelper(const char* resolvPath = "/etc/resolv.conf",
                        std::unique_ptr<IDnsBackupStore> store = nullptr);
    ~CNetHelper();
    CNetHelper(const CNetHelper&) = delete;
    CNetHelper& operator=(const CNetHelper&) = delete;

    // Swaps the pair with the file. With the portal's servers: they take the
    // places of the first two foreign nameserver lines (or go ahead of the
    // "search" line, or to the end), and dns1/dns2 become the first two
    // servers the host had (empty when none). With exactly the pair handed
    // back last time, or with two empty texts: the host's lines return byte
    // for byte and dns1/dns2 become the portal's servers taken out (nothing
    // changes when nothing is pending).
    // 0, or an errno value: the file cannot be opened (EACCES = 13), read or
    // written, is larger than kMaxResolvSize, or (EINVAL) neither server is a
    // usable address; kDnsBackupNotSaved when the store refused the backup.
    // The file and the pair are then unchanged.
    int SetDNSServers(CAutoString& dns1, CAutoString& dns2);
    // Puts the host's lines back if a backup is pending; 0 when done or when
    // there is nothing to undo, else an errno value (the backup is kept).
    int RestoreDNSServers();
    // Whether the file currently holds servers this class put there.
    bool HasBackup();

    // Appends "nameserver" lines for the next free slots: replacing mode
    // stands for one foreign nameserver line, inserting mode fills every free
    // slot at once. Returns whether the call took a slot (replacing) or wrote
    // a line (inserting). A server is used only when it is a valid address.
    static bool SetDNS(const char* dns1, const char* dns2, std::vector<std::string>& lines, int& slot,
                       bool replacing);
    // 0 = valid (also for null or empty text); 1-5 IPv4 and 6-9 IPv6 faults.
    static int IsValidAddress(const char* text);
    // Every character is a hexadecimal digit or ':'.
    static bool IsValidIpv6Char(const char* text);
    // Between 2 and 7 colons.
    static bool IsValidNumColon(const char* text);

    static constexpr const char* kDefaultBackupPath = "conf/resolv.backup";
    static constexpr size_t kMaxResolvSize = 16u << 20;

private:
    CDnsBackup* Backup();
    // false (nothing changes) when the store refuses it.
    bool KeepBackup(std::unique_ptr<CDnsBackup> backup);
    void DropBackup();

    CAutoString m_strResolvPath;
    std::unique_ptr<IDnsBackupStore> m_pStore;
    std::unique_ptr<CDnsBackup> m_pBackup;
    bool m_bBackupLoaded = false;
};
