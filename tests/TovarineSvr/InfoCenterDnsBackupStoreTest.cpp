#include <gtest/gtest.h>

#include <string>

#include "HostFiles.h"
#include "InfoCenter.h"
#include "InfoCenterDnsBackupStore.h"

TEST(CInfoCenterDnsBackupStoreTest, KeepsTheTextInTheSettingsFileForTheNextRun) {
    TempDir dir;
    const std::string conf = dir / "conf.xml";
    WriteFile(conf, "<conf><version>1.0.0</version></conf>");
    CInfoCenter info(CInfoCenter::Flavor::Service, conf.c_str());
    CInfoCenterDnsBackupStore store(&info);
    EXPECT_STREQ(store.Load().c_str(), "");
    ASSERT_TRUE(store.Save("nameserver 10.1.1.1"));
    EXPECT_NE(ReadFile(conf).find("<dnsBackup>nameserver 10.1.1.1</dnsBackup>"), std::string::npos);
    CInfoCenter reopened(CInfoCenter::Flavor::Service, conf.c_str());
    EXPECT_STREQ(CInfoCenterDnsBackupStore(&reopened).Load().c_str(), "nameserver 10.1.1.1");
    ASSERT_TRUE(store.Clear());
    EXPECT_STREQ(store.Load().c_str(), "");
    EXPECT_FALSE(CInfoCenterDnsBackupStore(nullptr).Save("x"));
}
