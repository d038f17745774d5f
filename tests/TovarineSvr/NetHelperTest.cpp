#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "ChildProcess.h"
#include "DnsBackup.h"
#include "FileDnsBackupStore.h"
#include "HostFiles.h"
#include "NetHelper.h"
#include "NetNamespace.h"

namespace {

ino_t InodeOf(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

class CFailingStore : public IDnsBackupStore {
public:
    CAutoString Load() override { return CAutoString(""); }
    bool Save(const char*) override { return false; }
    bool Clear() override { return true; }
};

class CNetHelperTest : public ::testing::Test {
protected:
    std::unique_ptr<CNetHelper> NewHelper() {
        return std::make_unique<CNetHelper>(m_resolv.c_str(),
                                            std::make_unique<CFileDnsBackupStore>(m_backup.c_str()));
    }
    // Applies the pair and returns what was handed back as "dns1|dns2".
    std::string Apply(CNetHelper& helper, const char* dns1, const char* dns2, int expected = 0) {
        CAutoString first(dns1), second(dns2);
        EXPECT_EQ(helper.SetDNSServers(first, second), expected);
        return std::string(first.GetBuffer()) + "|" + second.GetBuffer();
    }

    TempDir m_dir;
    std::string m_resolv = m_dir / "resolv.conf";
    std::string m_backup = m_dir / "conf/resolv.backup";
};

}  // namespace

TEST_F(CNetHelperTest, PortalServersReplaceForeignLinesAndTheOriginalReturnsExactly) {
    struct {
        const char *name, *before, *dns1, *dns2, *after, *handedBack;
    } cases[] = {
        {"nameserver then search", "nameserver 10.1.1.1\nsearch lan\n", "1.2.3.4", "5.6.7.8",
         "nameserver 1.2.3.4\nnameserver 5.6.7.8\nsearch lan\n", "10.1.1.1|"},
        {"search then nameserver", "search lan\nnameserver 10.1.1.1\n", "1.2.3.4", "5.6.7.8",
         "nameserver 1.2.3.4\nnameserver 5.6.7.8\nsearch lan\n", "10.1.1.1|"},
        {"local resolver stays", "nameserver 127.0.1.1\nsearch lan\n", "1.2.3.4", "5.6.7.8",
         "nameserver 127.0.1.1\nnameserver 1.2.3.4\nnameserver 5.6.7.8\nsearch lan\n", "|"},
        {"empty first server", "nameserver 10.1.1.1\nnameserver 10.2.2.2\n", "", "5.6.7.8",
         "nameserver 5.6.7.8\n", "10.1.1.1|10.2.2.2"},
        {"shorter file leaves no remainder",
         "# host\nnameserver 10.1.1.1\nnameserver 10.2.2.2\nnameserver 10.3.3.3\noptions edns0\n", "1.2.3.4",
         "5.6.7.8", "# host\nnameserver 1.2.3.4\nnameserver 5.6.7.8\noptions edns0\n", "10.1.1.1|10.2.2.2"},
        {"one foreign line and no search line take the first server only",
         "nameserver ::1\nnameserver\t10.1.1.1 # isp\n", "1.2.3.4", "fe80::1",
         "nameserver ::1\nnameserver 1.2.3.4\n", "10.1.1.1|"},
        {"neither a foreign line nor a search line gets none", "options edns0", "1.2.3.4", "5.6.7.8",
         "options edns0", "|"},
        {"zero parts after the first are fine", "nameserver 10.1.1.1\nsearch lan\n", "10.0.0.1",
         "192.168.0.1", "nameserver 10.0.0.1\nnameserver 192.168.0.1\nsearch lan\n", "10.1.1.1|"},
        {"malformed servers never reach the file", "nameserver 10.1.1.1\r\n", "1.2.3.4\nx", "5.6.7.8",
         "nameserver 5.6.7.8\n", "10.1.1.1|"},
        {"dotted text with five parts is skipped", "nameserver 10.1.1.1\n", "1.2.3.4.5", "5.6.7.8",
         "nameserver 5.6.7.8\n", "10.1.1.1|"},
        // The host's servers come back as they were, spacing and all.
        {"host resolver at 10.0.0.1",
         "# host\r\nnameserver 10.0.0.1\nnameserver   127.0.0.53  \noptions edns0\nsearch corp.example\n",
         "1.2.3.4", "5.6.7.8",
         "# host\r\nnameserver 1.2.3.4\nnameserver 5.6.7.8\noptions edns0\nsearch corp.example\n",
         "10.0.0.1|127.0.0.53"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(m_resolv, c.before);
        auto helper = NewHelper();
        std::string handedBack = Apply(*helper, c.dns1, c.dns2);
        EXPECT_EQ(ReadFile(m_resolv), c.after);
        EXPECT_EQ(handedBack, c.handedBack);
        EXPECT_TRUE(helper->HasBackup());
        // Log-off hands the pair back; the servers taken out come back to us.
        size_t bar = handedBack.find('|');
        CAutoString first(handedBack.substr(0, bar).c_str()), second(handedBack.substr(bar + 1).c_str());
        ASSERT_EQ(helper->SetDNSServers(first, second), 0);
        EXPECT_EQ(ReadFile(m_resolv), c.before);
        EXPECT_FALSE(helper->HasBackup());
        if (std::string(c.after) != c.before) {
            EXPECT_NE(std::string(first.GetBuffer()), "");
        }
    }
}

TEST_F(CNetHelperTest, UnusableServersOrUnopenableFileChangeNothing) {
    const std::string original = "nameserver 10.1.1.1\nsearch lan\n";
    WriteFile(m_resolv, original);
    auto helper = NewHelper();
    EXPECT_EQ(Apply(*helper, "0.0.0.1", "1.2.3", EINVAL), "0.0.0.1|1.2.3");
    EXPECT_EQ(ReadFile(m_resolv), original);
    EXPECT_FALSE(helper->HasBackup());

    CNetHelper missing((m_dir / "no/resolv.conf").c_str(),
                       std::make_unique<CFileDnsBackupStore>(m_backup.c_str()));
    EXPECT_EQ(Apply(missing, "1.2.3.4", "5.6.7.8", ENOENT), "1.2.3.4|5.6.7.8");
    EXPECT_EQ(missing.RestoreDNSServers(), 0);  // nothing pending
    EXPECT_EQ(Apply(missing, "", ""), "|");     // a log-off with nothing to undo
}

// Rewritten in place: hard links and bind mounts see the change.
TEST_F(CNetHelperTest, LongFilesAndLongLinesAreKeptWholeInTheSameInode) {
    std::string original;
    for (int i = 0; i < 300; ++i) original += "# comment line " + std::to_string(i) + "\n";
    original += "nameserver 10.1.1.1\n";
    for (int i = 0; i < 297; ++i) original += "# more " + std::to_string(i) + "\n";
    original += "search " + std::string(1993, 'd') + "\n";  // 2000 bytes without the line end
    original += "nameserver 10.2.2.2\n";
    WriteFile(m_resolv, original);
    const std::string link = m_dir / "resolv.link";
    ASSERT_EQ(::link(m_resolv.c_str(), link.c_str()), 0);
    const ino_t inode = InodeOf(m_resolv);
    auto helper = NewHelper();
    EXPECT_EQ(Apply(*helper, "1.2.3.4", "5.6.7.8"), "10.1.1.1|10.2.2.2");
    EXPECT_EQ(InodeOf(m_resolv), inode);
    std::string rewritten = ReadFile(link);
    EXPECT_EQ(rewritten.size(),
              original.size() - 2 * strlen("nameserver 10.1.1.1\n") + 2 * strlen("nameserver 1.2.3.4\n"));
    EXPECT_NE(rewritten.find("search " + std::string(1993, 'd') + "\n"), std::string::npos);
    EXPECT_NE(rewritten.find("# more 296\n"), std::string::npos);
    EXPECT_EQ(helper->RestoreDNSServers(), 0);
    EXPECT_EQ(InodeOf(m_resolv), inode);
    EXPECT_EQ(ReadFile(link), original);
}

TEST_F(CNetHelperTest, BackupSurvivesARestartAndASecondRewrite) {
    const std::string original = "nameserver 10.0.0.1\nsearch lan\n";
    WriteFile(m_resolv, original);
    // Killed while on line: the object goes without restoring anything.
    Apply(*NewHelper(), "1.2.3.4", "");
    EXPECT_EQ(ReadFile(m_resolv), "nameserver 1.2.3.4\nsearch lan\n");

    // The next run logs in again, with new servers and a state update.
    auto later = NewHelper();
    EXPECT_TRUE(later->HasBackup());
    EXPECT_EQ(Apply(*later, "5.6.7.8", "9.9.9.9"), "10.0.0.1|");
    EXPECT_EQ(Apply(*later, "4.4.4.4", ""), "10.0.0.1|");
    EXPECT_EQ(ReadFile(m_resolv), "nameserver 4.4.4.4\nsearch lan\n");
    // Its log-off puts the host's server back.
    EXPECT_EQ(Apply(*later, "10.0.0.1", ""), "4.4.4.4|");
    EXPECT_EQ(ReadFile(m_resolv), original);
    EXPECT_FALSE(NewHelper()->HasBackup());

    // A restart followed directly by a restore works as well.
    Apply(*NewHelper(), "1.2.3.4", "5.6.7.8");
    EXPECT_EQ(NewHelper()->RestoreDNSServers(), 0);
    EXPECT_EQ(ReadFile(m_resolv), original);
}

TEST_F(CNetHelperTest, ReplacedFileIsLeftAndAnUnsavableBackupLeavesTheFileAlone) {
    WriteFile(m_resolv, "nameserver 10.1.1.1\n");
    auto helper = NewHelper();
    Apply(*helper, "1.2.3.4", "5.6.7.8");
    WriteFile(m_resolv, "nameserver 10.9.9.9\n");  // e.g. a new DHCP lease
    EXPECT_EQ(helper->RestoreDNSServers(), 0);
    EXPECT_EQ(ReadFile(m_resolv), "nameserver 10.9.9.9\n");
    EXPECT_FALSE(helper->HasBackup());

    // As on a full disk: a kill would lose the host's servers for good.
    CNetHelper unsaved(m_resolv.c_str(), std::make_unique<CFailingStore>());
    EXPECT_EQ(Apply(unsaved, "1.2.3.4", "5.6.7.8", kDnsBackupNotSaved), "1.2.3.4|5.6.7.8");
    EXPECT_EQ(ReadFile(m_resolv), "nameserver 10.9.9.9\n");
    EXPECT_FALSE(unsaved.HasBackup());
}

TEST(CDnsBackupTest, EncodingRoundTripsAnyBytesAndRejectsForeignText) {
    CDnsBackup backup;
    backup.m_strFirst = "10.0.0.1";
    backup.m_displaced = {{0, "nameserver 10.0.0.1 # a=b%c <x>&\r\n"}, {7, std::string("\x01\xff tail", 7)}};
    backup.m_written = {{0, "nameserver 1.2.3.4\n"}};
    std::string text = backup.Encode();
    EXPECT_EQ(text.find_first_of("<>&\"'\n\r"), std::string::npos) << text;
    CDnsBackup decoded;
    ASSERT_TRUE(decoded.Decode(text.c_str()));
    EXPECT_EQ(decoded.m_strFirst, "10.0.0.1");
    EXPECT_EQ(decoded.m_strSecond, "");
    ASSERT_EQ(decoded.m_displaced.size(), 2u);
    EXPECT_EQ(decoded.m_displaced[0].m_strText, backup.m_displaced[0].m_strText);
    EXPECT_EQ(decoded.m_displaced[1].m_nIndex, 7u);
    EXPECT_EQ(decoded.m_displaced[1].m_strText, backup.m_displaced[1].m_strText);
    for (const char* bad :
         {"", "other a= b=", "velnordns1 a=%4", "velnordns1 x=1", "velnordns1 d=x:abc", "velnordns1  a="}) {
        EXPECT_FALSE(decoded.Decode(bad)) << bad;
    }
    EXPECT_EQ(decoded.m_strFirst, "10.0.0.1");  // a failed decode changes nothing
}

TEST(CNetHelperAddress, ValidityCodes) {
    struct {
        const char* text;
        int code;
    } cases[] = {
        // clang-format off
        {nullptr, 0}, {"", 0}, {"1.2.3.4", 0}, {"255.255.255.255", 0}, {"1.2.3.4.5", 0},
        {"1.2.3", 1}, {"1.2.3.4567890123", 1}, {"1234567", 2}, {"1.2.34567", 2},
        {"1.2.3.4567", 3}, {"1234.2.3.4", 3}, {"a.b.c.d", 4}, {"1.2.x.4", 4},
        {"10.0.0.1", 0}, {"172.16.0.53", 0}, {"192.168.0.1", 0}, {"1.0.0.0", 0},
        {"1.2.3.256", 5}, {"0.1.2.3", 5}, {"0.0.0.0", 5}, {"1.-1.2.3", 5},
        {"fe80::1", 0}, {"::1", 0}, {"1::", 0}, {"2001:db8:0:0:0:0:0:1", 0},
        {"::", 6}, {"1111:2222:3333:4444:5555:6666:7777:88889", 6}, {"fe80::g", 7}, {"fe80::1%eth0", 7},
        {"fe80:", 8}, {"1:2", 8}, {"1:2:3:4:5:6:7:8:9", 8}, {"1::2::3", 8}, {"1:2:3:", 8}, {"1::2:", 8},
        {"12345::1", 9}, {"::12345:", 9},  // a long group outweighs a trailing colon
        // clang-format on
    };
    for (const auto& c : cases)
        EXPECT_EQ(CNetHelper::IsValidAddress(c.text), c.code) << (c.text ? c.text : "null");
}

// The real resolver path, inside a namespace of our own: "ip netns exec"
// mounts /etc/netns/<name>/resolv.conf over /etc/resolv.conf for the probe,
// so only a rewrite in place can reach it.
TEST(CNetHelperNetns, RewritesAndRestoresTheNamespacesResolvConf) {
    NetNamespace ns;
    std::string error;
    if (!ns.CreateEmpty(&error)) GTEST_SKIP() << "no network namespace: " << error;
    TempDir dir;
    const std::string original = "nameserver 10.0.0.1\nsearch velnor.test\n";
    ASSERT_TRUE(ns.WriteResolvConf(original));
    const std::string probe = std::string(VELNOR_BIN_DIR) + "/velnor_dns_probe";
    const std::string backup = dir / "backup";
    const std::chrono::milliseconds limit(30000);

    std::string set;
    ASSERT_EQ(
        ChildProcess::Run(ns.Wrap({probe, backup, "set", "192.168.2.53", "198.51.100.53"}), limit, &set), 0)
        << set;
    EXPECT_NE(set.find("rc=0\ndns1=10.0.0.1\ndns2=\ninode=kept\n"), std::string::npos) << set;
    EXPECT_EQ(ns.ReadResolvConf(), "nameserver 192.168.2.53\nnameserver 198.51.100.53\nsearch velnor.test\n");

    // A separate process: the backup comes from the store, as after a restart.
    std::string restore;
    ASSERT_EQ(ChildProcess::Run(ns.Wrap({probe, backup, "restore"}), limit, &restore), 0) << restore;
    EXPECT_NE(restore.find("rc=0\n"), std::string::npos) << restore;
    EXPECT_EQ(ns.ReadResolvConf(), original);
}
