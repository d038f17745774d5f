// The service under pressure: signals, kills, a full settings disk, failing
// heartbeats, dead cluster servers, a flood of logins, a portal asking for
// endless heartbeat retries.
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "ServiceRun.h"
#include "TempDir.h"

namespace {

const char kHostResolv[] = "nameserver 10.77.0.1\nsearch lab.example\n";
const char kPortalDns[] =
    R"("domain_config":"<domain-config><dns1>10.77.1.53</dns1><dns2>10.77.1.54</dns2></domain-config>")";

class RobustE2E : public ServiceRun {
protected:
    // The simulator answering logins with the portal's DNS servers, and the
    // host's own resolver file in the namespace.
    bool StartWithPortalDns(const std::string& answers = "") {
        return m_ns.WriteResolvConf(kHostResolv) &&
               StartSim(R"({"answers":{"interval":1,)" + answers + kPortalDns + "}}");
    }
    bool ResolverIsTheHosts() { return m_ns.ReadResolvConf() == kHostResolv; }
};

// Unmounts (lazily) what it mounted, also when the test fails.
class TmpfsMount {
public:
    TmpfsMount(const std::string& path, const std::string& size) : m_path(path) {
        m_ok = ChildProcess::Run({"mount", "-t", "tmpfs", "-o", "size=" + size, "tmpfs", path},
                                 milliseconds(10000)) == 0;
    }
    ~TmpfsMount() {
        if (m_ok) ChildProcess::Run({"umount", "-l", m_path}, milliseconds(10000));
    }
    bool Ok() const { return m_ok; }
    // Takes every free byte.
    void Fill() {
        std::ofstream filler(m_path + "/filler", std::ios::binary);
        std::string block(4096, 'f');
        for (int i = 0; i < 100000 && filler.write(block.data(), block.size()); ++i) filler.flush();
    }

private:
    std::string m_path;
    bool m_ok = false;
};

}  // namespace

// A stop asked for by a signal logs the live session out (reason 7), puts
// the host's DNS servers back, removes the FIFO and ends with 0.
TEST_F(RobustE2E, SigtermWhileLoggedInLogsOutRestoresDnsAndEndsWithZero) {
    for (bool console : {false, true}) {
        SCOPED_TRACE(console ? "console" : "pipe");
        ASSERT_TRUE(StartWithPortalDns());
        if (console) {
            ASSERT_TRUE(StartConsole(kPassword));
            ASSERT_TRUE(m_sim->WaitForRequests("heartbeat", 1, kWait));
        } else {
            ASSERT_TRUE(StartService());
            ASSERT_TRUE(LogIn());
        }
        ASSERT_FALSE(ResolverIsTheHosts());
        kill(m_service.Pid(), SIGTERM);
        EXPECT_EQ(ExitStatus(), 0) << ServiceOutput();
        m_service.Stop();
        ASSERT_EQ(Count("logout"), 1);
        EXPECT_EQ(Requests("logout")[0]["reason"], "7");
        EXPECT_TRUE(ResolverIsTheHosts()) << m_ns.ReadResolvConf();
        EXPECT_NE(access(m_install->File("velnorsvrpipe").c_str(), F_OK), 0);
        m_client.reset();
        m_sim.reset();
    }
}

// Killed on line, the session then expired at the portal: the next start
// finds the portal intercepting and puts the host's servers back.
TEST_F(RobustE2E, AfterAKillTheNextStartRestoresDnsOnceThePortalIntercepts) {
    ASSERT_TRUE(StartWithPortalDns());
    ASSERT_TRUE(StartService());
    ASSERT_TRUE(LogIn());
    ASSERT_FALSE(ResolverIsTheHosts());
    m_client.reset();
    m_service.Kill();
    ASSERT_TRUE(m_sim->Reset());  // the portal forgets the session
    ASSERT_TRUE(RestartService());
    ASSERT_TRUE(Prepare());
    EXPECT_TRUE(ResolverIsTheHosts()) << m_ns.ReadResolvConf();
}

// Settings that cannot be saved (a full disk): the resolver file is left
// alone and the login fails with 150110.
TEST_F(RobustE2E, UnsavableSettingsLeaveTheResolverFileAlone) {
    ASSERT_TRUE(StartWithPortalDns());
    std::string conf = m_dir / "velnor/conf";
    std::filesystem::create_directories(conf);
    TmpfsMount disk(conf, "256k");
    ASSERT_TRUE(disk.Ok());
    ASSERT_TRUE(StartService());
    ASSERT_TRUE(Prepare());
    disk.Fill();
    m_client->SendLogin(kAccount, kPassword);
    EXPECT_EQ(NextState(3), "1>3/150110");
    EXPECT_TRUE(ResolverIsTheHosts()) << m_ns.ReadResolvConf();
}

// Console mode: heartbeats that fail end the session; one line, status 3.
// The password comes from standard input ("-"); the portal checks it.
TEST_F(RobustE2E, ConsoleSessionEndingByItselfPrintsOneLineAndEndsWithThree) {
    ASSERT_TRUE(StartSim(R"({"answers":{"interval":1,"keep_retry":0}})"));
    TempDir input;
    std::ofstream(input / "password") << kPassword << "\n";
    ASSERT_TRUE(StartConsole("-", input / "password"));
    ASSERT_TRUE(m_sim->WaitForRequests("heartbeat", 1, kWait));
    ASSERT_TRUE(m_sim->SetFault("heartbeat", R"({"error_code":9})"));
    EXPECT_EQ(ExitStatus(), 3);
    std::string output = ServiceOutput();
    size_t line = output.find("session ended, the error is 140009");
    EXPECT_NE(line, std::string::npos) << output;
    EXPECT_EQ(output.find("session ended", line + 1), std::string::npos) << output;
    EXPECT_GE(Count("logout"), 1);
}

// A portal asking for 2147483647 tolerated failures gets at most 30: the
// dead session still ends.
TEST_F(RobustE2E, HugeKeepRetryStillEndsTheSession) {
    ASSERT_TRUE(Run(R"({"answers":{"interval":1,"keep_retry":2147483647}})"));
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(m_sim->WaitForRequests("heartbeat", 1, kWait));
    ASSERT_TRUE(m_sim->SetFault("heartbeat", R"({"error_code":9})"));
    EXPECT_EQ(NextState(3, milliseconds(60000)), "1>3/140009");
    ASSERT_TRUE(m_sim->WaitForRequests("logout", 1, kWait));
    EXPECT_EQ(Requests("logout")[0]["reason"], "3");
}

// A thousand login requests at once: the newest replaces the waiting one,
// and a login that succeeds drops the one waiting behind it. Requests still
// arriving after that are sent again, so how many reach the portal depends
// on the machine's pace; without the bound all thousand would.
TEST_F(RobustE2E, BurstOfLoginsReachesThePortalOnlyAFewTimes) {
    ASSERT_TRUE(Run());
    ASSERT_TRUE(Prepare());
    for (int i = 0; i < 1000; ++i) m_client->SendLogin(kAccount, kPassword);
    ASSERT_TRUE(WaitState(2));
    EXPECT_FALSE(m_sim->WaitForRequests("login", 21, milliseconds(3000)));
    EXPECT_LE(Count("login"), 20);
}
