#include "WiFiSharedValidate.h"

#include <fcntl.h>
#include <iconv.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "HostFiles.h"
#include "TempDir.h"

namespace {

// A child process that renames itself and waits until it is ended; it also
// ends when the test process goes away (its hold pipe reads end-of-file).
class CNamedChild {
public:
    explicit CNamedChild(const std::string& name) {
        int ready[2];
        int hold[2];
        if (pipe2(ready, O_CLOEXEC) != 0) return;
        if (pipe2(hold, O_CLOEXEC) != 0) {
            close(ready[0]);
            close(ready[1]);
            return;
        }
        const char* text = name.c_str();
        m_pid = fork();
        if (m_pid == 0) {
            close(ready[0]);
            close(hold[1]);
            prctl(PR_SET_NAME, text, 0, 0, 0);
            char byte = 1;
            if (write(ready[1], &byte, 1) != 1) _exit(1);
            while (read(hold[0], &byte, 1) > 0) {
            }
            _exit(0);
        }
        close(ready[1]);
        close(hold[0]);
        m_hold = hold[1];
        if (m_pid > 0) {
            struct pollfd wait = {ready[0], POLLIN, 0};
            char byte = 0;
            m_ready = poll(&wait, 1, 10000) == 1 && read(ready[0], &byte, 1) == 1;
        }
        close(ready[0]);
    }
    ~CNamedChild() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_hold >= 0) close(m_hold);
    }
    CNamedChild(const CNamedChild&) = delete;
    CNamedChild& operator=(const CNamedChild&) = delete;
    bool Ready() const { return m_ready; }

private:
    pid_t m_pid = -1;
    int m_hold = -1;
    bool m_ready = false;
};

std::string Rules(const std::string& processes, const char* ipforward = nullptr) {
    std::string text = "<user-config><against>" + processes;
    if (ipforward) text += std::string("<shared><ipforward>") + ipforward + "</ipforward></shared>";
    return text + "</against><against-interval>60</against-interval></user-config>";
}

std::string Process(const std::string& name, const std::string& display) {
    return "<process displayname=\"" + display + "\">" + name + "</process>";
}

std::string Unique(const char* prefix) { return prefix + std::to_string(getpid()); }

bool Exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

std::string Convert(const char* to, const char* from, const std::string& text) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return "";
    std::string out(text.size() * 4, '\0');
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* outPtr = &out[0];
    size_t outLeft = out.size();
    size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (result == static_cast<size_t>(-1)) return "";
    out.resize(out.size() - outLeft);
    return out;
}

class CWiFiSharedValidateTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_paths = PathsIn(m_dir);
        mkdir(m_paths.strProcDir.c_str(), 0700);
        WriteText(m_paths.strIPv4Forwarding, "0\n");
        WriteText(m_paths.strIPv6Forwarding, "0\n");
    }
    // A process entry in the fake process directory.
    void FakeProcess(int pid, const std::string& comm) {
        std::string dir = m_paths.strProcDir + "/" + std::to_string(pid);
        mkdir(dir.c_str(), 0700);
        WriteText(dir + "/comm", comm + "\n");
    }
    TempDir m_dir;
    SYSTEM_CONTROL_PATHS m_paths;
};

}  // namespace

TEST_F(CWiFiSharedValidateTest, ReadsProcessesAndForwardingRule) {
    CWiFiSharedValidate validate(m_paths);
    validate.SetRuleCharset("UTF-8");
    std::string rules = Rules(Process("hostapd", "Hotspot") + Process(" wifidog\n", "Dog") +
                                  Process("hostapd", "Hotspot again") + Process("", "Nameless") +
                                  "<process>bare</process>",
                              "1");
    EXPECT_TRUE(validate.Initialization(rules.c_str()));
    EXPECT_TRUE(validate.IsInitialized());
    EXPECT_TRUE(validate.IsIPForward());
    std::map<std::string, std::string> expected = {{"bare", ""}, {"hostapd", "Hotspot again"}, {"wifidog", "Dog"}};
    EXPECT_EQ(validate.GetProcesses(), expected);
}

TEST_F(CWiFiSharedValidateTest, UnreadableRuleTextsLeaveTheValidatorUnread) {
    CWiFiSharedValidate validate(m_paths);
    FakeProcess(10, "hostapd");
    for (const char* text : {static_cast<const char*>(nullptr), "", "<user-config>", "<against/>",
                             "<user-config/>", "<other><user-config><against/></user-config></other>"}) {
        EXPECT_FALSE(validate.Initialization(text)) << (text ? text : "(null)");
        EXPECT_EQ(validate.IsValidEnvironment(text), 0) << (text ? text : "(null)");
    }
    EXPECT_FALSE(validate.IsInitialized());
}

TEST_F(CWiFiSharedValidateTest, TheFirstReadableRulesStayInForce) {
    CWiFiSharedValidate validate(m_paths);
    FakeProcess(10, "second");
    EXPECT_EQ(validate.IsValidEnvironment(Rules(Process("first", "First")).c_str()), 0);
    EXPECT_EQ(validate.IsValidEnvironment(Rules(Process("second", "Second"), "1").c_str()), 0);
    EXPECT_FALSE(validate.IsIPForward());
    EXPECT_EQ(validate.GetProcesses().count("second"), 0u);
    // An explicit read takes new rules.
    EXPECT_TRUE(validate.Initialization(Rules(Process("second", "Second")).c_str()));
    EXPECT_EQ(validate.IsValidEnvironment("x"), 1);
    EXPECT_STREQ(validate.GetDisplayName(), "Second");
}

TEST_F(CWiFiSharedValidateTest, ReportsTheFirstRunningProgramInNameOrder) {
    FakeProcess(10, "zeta");
    FakeProcess(11, "alpha");
    FakeProcess(12, "kworker/0:1");
    CWiFiSharedValidate validate(m_paths);
    validate.SetRuleCharset("UTF-8");
    std::string rules = Rules(Process("zeta", "Zeta") + Process("missing", "Missing") + Process("alpha", "Alpha"));
    EXPECT_EQ(validate.IsValidEnvironment(rules.c_str()), 1);
    EXPECT_STREQ(validate.GetDisplayName(), "Alpha");
}

TEST_F(CWiFiSharedValidateTest, ProgramsThatDoNotRunAreNotFound) {
    FakeProcess(10, "bash");
    CWiFiSharedValidate validate(m_paths);
    std::string rules = Rules(Process("hostapd", "Hotspot") + Process("bas", "Prefix"));
    EXPECT_EQ(validate.IsValidEnvironment(rules.c_str()), 0);
    EXPECT_STREQ(validate.GetDisplayName(), "");
    // A process directory that cannot be read finds nothing either.
    m_paths.strProcDir = m_dir / "no-such-dir";
    CWiFiSharedValidate blind(m_paths);
    EXPECT_EQ(blind.IsValidEnvironment(rules.c_str()), 0);
}

TEST_F(CWiFiSharedValidateTest, FindsARealProcessByItsCommandName) {
    std::string name = Unique("vlnw");
    CNamedChild child(name);
    ASSERT_TRUE(child.Ready());
    CWiFiSharedValidate validate;  // the real process file system
    validate.SetRuleCharset("UTF-8");
    EXPECT_EQ(validate.IsValidEnvironment(Rules(Process(name, "Share tool")).c_str()), 1);
    EXPECT_STREQ(validate.GetDisplayName(), "Share tool");
}

TEST_F(CWiFiSharedValidateTest, LongProgramNamesMatchOnTheirFirstFifteenBytes) {
    std::string name = Unique("vlnlong") + "_with_a_long_tail";
    ASSERT_GT(name.size(), CWiFiSharedValidate::kCommandNameMax);
    CNamedChild child(name);
    ASSERT_TRUE(child.Ready());
    CWiFiSharedValidate validate;
    EXPECT_EQ(validate.IsValidEnvironment(Rules(Process(name, "Long")).c_str()), 1);
    std::string other = name.substr(0, CWiFiSharedValidate::kCommandNameMax) + "_other";
    CWiFiSharedValidate second;
    EXPECT_EQ(second.IsValidEnvironment(Rules(Process(other, "Long")).c_str()), 1);
}

TEST_F(CWiFiSharedValidateTest, ShellCharactersInNamesRunNothing) {
    std::string marker = m_dir / "marker";
    std::string names[] = {"a;touch " + marker, "$(touch " + marker + ")", "`touch " + marker + "`",
                           "x|touch " + marker, "-e"};
    std::string processes;
    for (const std::string& name : names) processes += Process(name, "Danger");
    CWiFiSharedValidate validate;
    EXPECT_EQ(validate.IsValidEnvironment(Rules(processes).c_str()), 0);
    EXPECT_FALSE(Exists(marker));
}

TEST_F(CWiFiSharedValidateTest, ForwardingCountsOnlyWhenTheRulesSaySo) {
    WriteText(m_paths.strIPv4Forwarding, "1\n");
    CWiFiSharedValidate ignoring(m_paths);
    EXPECT_EQ(ignoring.IsValidEnvironment(Rules("", "0").c_str()), 0);
    CWiFiSharedValidate unset(m_paths);
    EXPECT_EQ(unset.IsValidEnvironment(Rules("").c_str()), 0);

    CWiFiSharedValidate counting(m_paths);
    EXPECT_EQ(counting.IsValidEnvironment(Rules("", "1").c_str()), 1);
    EXPECT_STREQ(counting.GetDisplayName(), "IP数据转发");

    WriteText(m_paths.strIPv4Forwarding, "0\n");
    EXPECT_EQ(counting.IsValidEnvironment("x"), 0);
    // The last finding's name stays.
    EXPECT_STREQ(counting.GetDisplayName(), "IP数据转发");
}

TEST_F(CWiFiSharedValidateTest, AnUnreadableForwardingSwitchCountsAsSharing) {
    unlink(m_paths.strIPv4Forwarding.c_str());
    unlink(m_paths.strIPv6Forwarding.c_str());
    CWiFiSharedValidate validate(m_paths);
    EXPECT_EQ(validate.IsValidEnvironment(Rules("", "1").c_str()), 1);
}

TEST_F(CWiFiSharedValidateTest, KeepsNamesFromGb18030RulesAsUtf8) {
    const std::string display = "热点共享";
    const std::string program = "共享精灵";
    std::string gbDisplay = Convert("GB18030", "UTF-8", display);
    std::string gbProgram = Convert("GB18030", "UTF-8", program);
    ASSERT_FALSE(gbDisplay.empty());
    ASSERT_NE(gbDisplay, display);
    FakeProcess(10, program.substr(0, CWiFiSharedValidate::kCommandNameMax));
    CWiFiSharedValidate validate(m_paths);  // GB18030 rules by default
    EXPECT_EQ(validate.IsValidEnvironment(Rules(Process(gbProgram, gbDisplay)).c_str()), 1);
    EXPECT_EQ(std::string(validate.GetDisplayName()), display);
}
