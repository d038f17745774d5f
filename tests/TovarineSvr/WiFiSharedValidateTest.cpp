#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>

#include "HostFiles.h"
#include "WiFiSharedValidate.h"

namespace {

std::string Rules(const std::string& processes, const char* ipforward = nullptr) {
    std::string shared =
        ipforward ? std::string("<shared><ipforward>") + ipforward + "</ipforward></shared>" : "";
    return "<user-config><against>" + processes + shared + "</against></user-config>";
}

std::string Process(const std::string& name, const std::string& display) {
    return "<process displayname=\"" + display + "\">" + name + "</process>";
}

class CWiFiSharedValidateTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_paths = PathsIn(m_dir);
        mkdir(m_paths.strProcDir.c_str(), 0700);
        WriteFile(m_paths.strIPv4Forwarding, "1\n");
    }
    void FakeProcess(int pid, const std::string& comm) {
        std::string dir = m_paths.strProcDir + "/" + std::to_string(pid);
        mkdir(dir.c_str(), 0700);
        WriteFile(dir + "/comm", comm + "\n");
    }
    TempDir m_dir;
    SYSTEM_CONTROL_PATHS m_paths;
};

}  // namespace

TEST_F(CWiFiSharedValidateTest, ReadsRulesOnceAndKeepsTheFirstReadableOnes) {
    CWiFiSharedValidate validate(m_paths);
    for (const char* unreadable : {"", "<user-config>", "<against/>", "<user-config/>"}) {
        EXPECT_FALSE(validate.Initialization(unreadable)) << unreadable;
        EXPECT_EQ(validate.IsValidEnvironment(unreadable), 0) << unreadable;
    }
    std::string first = Rules(Process("hostapd", "A") + Process(" dog\n", "Dog") + Process("hostapd", "B") +
                                  Process("", "Nameless") + "<process>bare</process>",
                              "0");
    FakeProcess(10, "second");
    EXPECT_EQ(validate.IsValidEnvironment(first.c_str()), 0);  // forwarding is on but does not count
    EXPECT_EQ(validate.IsValidEnvironment(Rules(Process("second", "S"), "1").c_str()), 0);
    std::map<std::string, std::string> expected = {{"bare", ""}, {"dog", "Dog"}, {"hostapd", "B"}};
    EXPECT_EQ(validate.GetProcesses(), expected);
    EXPECT_FALSE(validate.IsIPForward());
}

TEST_F(CWiFiSharedValidateTest, ReportsTheFirstRunningProgramInNameOrderOnly) {
    FakeProcess(10, "zeta");
    FakeProcess(11, "alpha");
    FakeProcess(12, "bash");
    CWiFiSharedValidate validate(m_paths);
    EXPECT_EQ(validate.IsValidEnvironment(Rules(Process("missing", "M") + Process("bas", "Prefix")).c_str()),
              0);
    EXPECT_STREQ(validate.GetDisplayName(), "");
    EXPECT_TRUE(validate.Initialization(Rules(Process("zeta", "Zeta") + Process("alpha", "Alpha")).c_str()));
    EXPECT_EQ(validate.IsValidEnvironment("x"), 1);
    EXPECT_STREQ(validate.GetDisplayName(), "Alpha");

    m_paths.strProcDir = m_dir / "none";  // nothing seen is nothing found
    EXPECT_EQ(CWiFiSharedValidate(m_paths).IsValidEnvironment(Rules(Process("zeta", "Z")).c_str()), 0);
}

TEST_F(CWiFiSharedValidateTest, ShellCharactersInNamesRunNothing) {
    std::string marker = m_dir / "marker";
    std::string processes;
    for (const std::string& name : {"a;touch " + marker, "$(touch " + marker + ")", "`touch " + marker + "`"})
        processes += Process(name, "Danger");
    EXPECT_EQ(CWiFiSharedValidate().IsValidEnvironment(Rules(processes).c_str()), 0);
    struct stat info;
    EXPECT_NE(stat(marker.c_str(), &info), 0);
}

TEST_F(CWiFiSharedValidateTest, ForwardingCountsWhenTheRulesSaySo) {
    CWiFiSharedValidate validate(m_paths);
    EXPECT_EQ(validate.IsValidEnvironment(Rules("", "1").c_str()), 1);
    EXPECT_STREQ(validate.GetDisplayName(), "IP数据转发");
    WriteFile(m_paths.strIPv4Forwarding, "0\n");
    WriteFile(m_paths.strIPv6Forwarding, "0\n");
    EXPECT_EQ(validate.IsValidEnvironment("x"), 0);
    EXPECT_STREQ(validate.GetDisplayName(), "IP数据转发");  // the last finding stays
    unlink(m_paths.strIPv4Forwarding.c_str());              // unread is not forwarding
    EXPECT_EQ(CWiFiSharedValidate(m_paths).IsValidEnvironment(Rules("", "1").c_str()), 0);
}

// Rule names are cut to the kernel's fifteen-byte command name; the portal's
// rules arrive as GB18030 and are matched and shown as UTF-8.
TEST_F(CWiFiSharedValidateTest, RuleNamesMatchTheCommandNameAsTheKernelKeepsIt) {
    const struct {
        std::string comm, rule, display, shown;
    } cases[] = {
        {std::string("vlnw_with_a_long_tail").substr(0, CWiFiSharedValidate::kCommandNameMax),
         "vlnw_with_a_long_tail", "Share tool", "Share tool"},
        {"共享精灵", "\xb9\xb2\xcf\xed\xbe\xab\xc1\xe9", "\xc8\xc8\xb5\xe3\xb9\xb2\xcf\xed", "热点共享"},
    };
    for (const auto& c : cases) {
        FakeProcess(10, c.comm);
        CWiFiSharedValidate validate(m_paths);
        EXPECT_EQ(validate.IsValidEnvironment(Rules(Process(c.rule, c.display)).c_str()), 1) << c.shown;
        EXPECT_STREQ(validate.GetDisplayName(), c.shown.c_str());
    }
}
