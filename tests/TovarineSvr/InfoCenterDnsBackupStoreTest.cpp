#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "InfoCenter.h"
#include "InfoCenterDnsBackupStore.h"
#include "NetHelper.h"
#include "TempDir.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

class CInfoCenterDnsBackupStoreTest : public ::testing::Test {
protected:
    void SetUp() override { WriteAll(m_conf, "<conf><version>1.0.0</version></conf>"); }
    std::unique_ptr<CInfoCenter> Open() {
        return std::make_unique<CInfoCenter>(CInfoCenter::Flavor::Service, m_conf.c_str());
    }

    TempDir m_dir;
    std::string m_conf = m_dir / "conf.xml";
    std::string m_resolv = m_dir / "resolv.conf";
};

}  // namespace

TEST_F(CInfoCenterDnsBackupStoreTest, KeepsTheTextInTheSettingsFile) {
    auto info = Open();
    CInfoCenterDnsBackupStore store(info.get());
    EXPECT_STREQ(store.Load().c_str(), "");
    ASSERT_TRUE(store.Save("nameserver 10.1.1.1"));
    EXPECT_STREQ(store.Load().c_str(), "nameserver 10.1.1.1");
    EXPECT_NE(ReadAll(m_conf).find("<dnsBackup>nameserver 10.1.1.1</dnsBackup>"), std::string::npos);
    // Another run reads what this one saved.
    auto reopened = Open();
    EXPECT_STREQ(CInfoCenterDnsBackupStore(reopened.get()).Load().c_str(), "nameserver 10.1.1.1");
    ASSERT_TRUE(store.Clear());
    EXPECT_STREQ(store.Load().c_str(), "");
    EXPECT_FALSE(CInfoCenterDnsBackupStore(nullptr).Save("x"));
}

TEST_F(CInfoCenterDnsBackupStoreTest, ALaterRunRestoresServersAKilledRunDisplaced) {
    const std::string original = "# host\nnameserver 10.1.1.1\nsearch lan\n";
    WriteAll(m_resolv, original);
    {
        auto info = Open();
        CNetHelper helper(m_resolv.c_str(), std::make_unique<CInfoCenterDnsBackupStore>(info.get()));
        CAutoString dns1("1.2.3.4"), dns2("5.6.7.8");
        ASSERT_EQ(helper.SetDNSServers(dns1, dns2), 0);
        ASSERT_NE(ReadAll(m_resolv).find("1.2.3.4"), std::string::npos);
        // The run ends here without logging out.
    }
    auto info = Open();
    CNetHelper helper(m_resolv.c_str(), std::make_unique<CInfoCenterDnsBackupStore>(info.get()));
    EXPECT_TRUE(helper.HasBackup());
    EXPECT_EQ(helper.RestoreDNSServers(), 0);
    EXPECT_EQ(ReadAll(m_resolv), original);
    EXPECT_FALSE(helper.HasBackup());
    // Nothing pending: a second restore leaves the file alone.
    WriteAll(m_resolv, "nameserver 9.9.9.9\n");
    EXPECT_EQ(helper.RestoreDNSServers(), 0);
    EXPECT_EQ(ReadAll(m_resolv), "nameserver 9.9.9.9\n");
}
