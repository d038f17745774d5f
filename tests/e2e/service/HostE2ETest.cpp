// What the service does to and reads from the host while logged in: the
// console dialogue, DNS servers, sharing detection and traffic statistics.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "ServiceRun.h"
#include "UniqueFd.h"

namespace {

class HostE2E : public ServiceRun {
protected:
    // A login answer carrying these sharing rules, checked every second.
    static std::string SharingRules(const std::string& process, int ipforward, int logoutDelay) {
        return R"({"answers":{"interval":1,"user_config":"<user-config><against><process displayname=\"Hotspot\">)" +
               process + "</process><shared><ipforward>" + std::to_string(ipforward) +
               "</ipforward></shared></against><against-interval>1</against-interval><logout-delay>" +
               std::to_string(logoutDelay) + "</logout-delay></user-config>\"}}";
    }
};

}  // namespace

TEST_F(HostE2E, ConsoleLogsInPromptsAndAnyWordLogsOut) {
    ASSERT_TRUE(StartSim());
    std::string input = m_dir / "stdin";
    ASSERT_EQ(mkfifo(input.c_str(), 0600), 0);
    // Held open for reading and writing so neither side blocks on the open.
    CUniqueFd writer(open(input.c_str(), O_RDWR));
    ASSERT_TRUE(writer.IsValid());
    ASSERT_TRUE(StartConsole(kPassword, input));
    ASSERT_TRUE(m_sim->WaitForRequests("heartbeat", 1, kWait));
    ASSERT_EQ(write(writer.Get(), "sure\n", 5), 5);
    int status = ExitStatus();
    writer.Reset();
    EXPECT_EQ(status, 0) << ServiceOutput();
    EXPECT_NE(ServiceOutput().find("If you want go to offline, Please enter [y]:\n"), std::string::npos);
    ASSERT_EQ(Count("logout"), 1);
    EXPECT_EQ(Requests("logout")[0]["reason"], "1");
    EXPECT_EQ(ServiceLog().find(kPassword), std::string::npos);
}

// The portal's servers replace the host's at login and the host's return at
// logout, also when the run that displaced them was killed.
TEST_F(HostE2E, PortalDnsServersAreRestoredAtLogoutAlsoAfterAKilledRun) {
    const std::string original = "nameserver 10.77.0.1\nsearch lab.example\n";
    ASSERT_TRUE(m_ns.WriteResolvConf(original));
    ASSERT_TRUE(Run(R"({"answers":{"domain_config":"<domain-config><dns1>10.77.1.53</dns1>)"
                    R"(<dns2>10.77.1.54</dns2></domain-config>"}})"));
    ASSERT_TRUE(LogIn());
    std::string during = m_ns.ReadResolvConf();
    EXPECT_NE(during.find("nameserver 10.77.1.53\nnameserver 10.77.1.54\n"), std::string::npos) << during;
    EXPECT_EQ(during.find("10.77.0.1\n"), std::string::npos) << during;
    EXPECT_NE(m_install->ReadFile("conf/conf.xml").find("dnsBackup"), std::string::npos);
    m_client->SendLogout();
    ASSERT_TRUE(WaitState(12));
    EXPECT_EQ(m_ns.ReadResolvConf(), original);

    m_client->Send("CheckEnv", "");
    ASSERT_TRUE(WaitState(31));
    m_client->SendLogin(kAccount, kPassword);
    ASSERT_TRUE(WaitState(2));
    ASSERT_NE(m_ns.ReadResolvConf(), original);
    // Killed while on line, then started again on an open network: the
    // recorded login is closed (reason 5) and the host's servers return.
    ASSERT_TRUE(m_sim->MergeScenario(R"({"probe":{"mode":"none"}})"));
    ASSERT_TRUE(RestartService());
    ASSERT_TRUE(m_client->Handshake(kWait));
    auto online = WaitState(2);
    ASSERT_TRUE(online);
    EXPECT_EQ(online->Param("type"), "0");
    EXPECT_EQ(Requests("logout").back()["reason"], "5");
    EXPECT_EQ(m_ns.ReadResolvConf(), original);
}

TEST_F(HostE2E, SharingProgramLeadsToSharedHeartbeatsAndLogoutSix) {
    // A program with a name of our own stands for the hotspot software.
    std::string name = "vlnshr" + std::to_string(getpid() % 100000);
    std::filesystem::copy_file("/bin/sleep", m_dir / name);
    ChildProcess sharer;
    ChildProcess::Options options;
    options.argv = {m_dir / name, "300"};
    std::string error;
    ASSERT_TRUE(sharer.Start(options, &error)) << error;
    ASSERT_TRUE(Run(SharingRules(name, 0, 3)));
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(m_sim->WaitForRequests("logout", 1, milliseconds(30000)));
    EXPECT_EQ(Requests("logout")[0]["reason"], "6");
    auto beats = Requests("heartbeat");
    EXPECT_TRUE(std::any_of(beats.begin(), beats.end(), [](auto& beat) { return beat["shared"] == "1"; }));
    EXPECT_NE(ServiceLog().find("Hotspot"), std::string::npos);
}

// Enabled: the login reading sends nothing, the periodic report does, and
// the logout report (type 0) goes before the logout request. Disabled by the
// next configuration: a direct logout.
TEST_F(HostE2E, StatisticsReportsAroundTheLogout) {
    ASSERT_TRUE(Run(R"({"config":{"stats_infor":{"enable":1,"interval":1}}})"));
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(m_sim->WaitForRequests("stats", 1, kWait));
    EXPECT_EQ(Requests("stats")[0]["_stattype"], "2");
    m_client->SendLogout();
    ASSERT_TRUE(WaitState(12));
    auto stats = Requests("stats");
    auto logouts = Requests("logout");
    ASSERT_EQ(logouts.size(), 1u);
    EXPECT_EQ(logouts[0]["reason"], "2");
    EXPECT_EQ(stats.back()["_stattype"], "0");
    EXPECT_LT(std::stol(stats.back()["_seq"]), std::stol(logouts[0]["_seq"]));

    ASSERT_TRUE(m_sim->MergeScenario(R"({"config":{"stats_infor":{"enable":0}}})"));
    m_client->Send("CheckEnv", "");
    ASSERT_TRUE(WaitState(31));
    m_client->SendLogin(kAccount, kPassword);
    ASSERT_TRUE(WaitState(2));
    long reports = Count("stats");
    m_client->SendLogout();
    ASSERT_TRUE(WaitState(12));
    EXPECT_EQ(Count("logout"), 2);
    EXPECT_EQ(Count("stats"), reports);
}
