// CInfoCenterDnsBackupStore: keeps the DNS backup text as a local value of
// the service's information center, so it lives in conf/conf.xml and a
// later run restores what a killed run displaced. The information center is
// not owned and must outlive the store; its own locks make calls safe.
#pragma once

#include "AutoString.h"
#include "DnsBackupStore.h"

class ISvrInfoCenter;

class CInfoCenterDnsBackupStore : public IDnsBackupStore {
public:
    static constexpr const char* kKey = "dnsBackup";

    explicit CInfoCenterDnsBackupStore(ISvrInfoCenter* infoCenter) : m_pInfoCenter(infoCenter) {}

    CAutoString Load() override;
    bool Save(const char* text) override;
    bool Clear() override;

private:
    ISvrInfoCenter* m_pInfoCenter;
};
