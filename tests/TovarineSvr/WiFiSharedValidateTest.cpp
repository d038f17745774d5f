#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "HostFiles.h"
#include "WiFiSharedValidate.h"

namespace {

// A child that renames itself and waits; killed and reaped on destruction,
// and it ends by itself when the test process goes (its hold pipe closes).
class CNamedChild {
public:
    explicit CNamedChild(const std::string& name) {
        int ready[2], hold[2] = {-1, -1};
        if (pipe2(ready, O_CLOEXEC) != 0) return;
        if (pipe2(hold, O_CLOEXEC) == 0 && (m_pid = fork()) == 0) {
            prctl(PR_SET_NAME, name.c_str(), 0, 0, 0);
            char byte = 1;
            if (write(ready[1], &byte, 1) == 1) {
                close(hold[1]);
                while (read(hold[0], &byte, 1) > 0) {
                }
            }
            _exit(0);
        }
        close(ready[1]);
        if (hold[0] >= 0) close(hold[0]);
        m_hold = hold[1];
        if (m_pid > 0) {
            struct pollfd wait = {ready[0], POLLIN, 0};
            char byte = 0;
            m_ready = poll(&wait, 1, 10000) == 1 && read(ready[0], &byte, 1) == 1;
        }
        close(ready[0]);
    }
    ~CNamedChild() {
        if (m_pid > 0 && kill(m_pid, SIGKILL) == 0) waitpid(m_pid, nullptr, 0);
        if (m_hold >= 0) close(m_hold);
    }
    bool Ready() const { return m_ready; }

private:
    pid_t m_pid = -1;
    int m_hold = -1;
    bool m_ready = false;
};

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
        WriteText(m_paths.strIPv4Forwarding, "1\n");
    }
    void FakeProcess(int pid, const std::string& comm) {
        std::string dir = m_paths.strProcDir + "/" + std::to_string(pid);
        mkdir(dir.c_str(), 0700);
        WriteText(dir + "/comm", comm + "\n");
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

TEST_F(CWiFiSharedValidateTest, FindsARealProcessByItsCommandNameCutToFifteenBytes) {
    std::string name = "vlnw" + std::to_string(getpid()) + "_with_a_long_tail";
    CNamedChild child(name);
    ASSERT_TRUE(child.Ready());
    CWiFiSharedValidate validate;
    EXPECT_EQ(validate.IsValidEnvironment(Rules(Process(name, "Share tool")).c_str()), 1);
    EXPECT_STREQ(validate.GetDisplayName(), "Share tool");
    std::string sameStart = name.substr(0, CWiFiSharedValidate::kCommandNameMax) + "x";
    EXPECT_EQ(CWiFiSharedValidate().IsValidEnvironment(Rules(Process(sameStart, "S")).c_str()), 1);
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
    WriteText(m_paths.strIPv4Forwarding, "0\n");
    WriteText(m_paths.strIPv6Forwarding, "0\n");
    EXPECT_EQ(validate.IsValidEnvironment("x"), 0);
    EXPECT_STREQ(validate.GetDisplayName(), "IP数据转发");  // the last finding stays
    unlink(m_paths.strIPv4Forwarding.c_str());
    EXPECT_EQ(CWiFiSharedValidate(m_paths).IsValidEnvironment(Rules("", "1").c_str()), 1);
}

TEST_F(CWiFiSharedValidateTest, KeepsNamesFromGb18030RulesAsUtf8) {
    FakeProcess(10, "共享精灵");
    CWiFiSharedValidate validate(m_paths);  // the portal's rules arrive as GB18030
    std::string rules =
        Rules(Process("\xb9\xb2\xcf\xed\xbe\xab\xc1\xe9", "\xc8\xc8\xb5\xe3\xb9\xb2\xcf\xed"));
    EXPECT_EQ(validate.IsValidEnvironment(rules.c_str()), 1);
    EXPECT_STREQ(validate.GetDisplayName(), "热点共享");
}
