// What the service does to and reads from the host while logged in: the
// console dialogue, DNS servers, sharing detection and traffic statistics.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "ServiceRun.h"

namespace {

class HostE2E : public ServiceRun {
protected:
    // The service's exit status, or -1 when it is still running at the limit.
    int ExitStatus(milliseconds limit) {
        int status = 0;
        if (!m_service.WaitExit(limit, &status)) return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

const char kDomainConfig[] = "<domain-config><dns1>10.77.1.53</dns1><dns2>10.77.1.54</dns2></domain-config>";

}  // namespace

TEST_F(HostE2E, ConsoleLogsInPromptsAndAnyWordLogsOut) {
    ASSERT_TRUE(StartSim());
    std::string input = m_dir / "stdin";
    ASSERT_EQ(mkfifo(input.c_str(), 0600), 0);
    // Held open for reading and writing so neither side blocks on the open.
    int writer = open(input.c_str(), O_RDWR);
    ASSERT_GE(writer, 0);
    ServiceOptions options;
    options.args = {kAccount, kPassword};
    options.stdinPath = input;
    options.withClient = false;
    ASSERT_TRUE(StartService(options));
    ASSERT_TRUE(m_sim->WaitForRequests("login", 1, kWait));
    ASSERT_TRUE(m_sim->WaitForRequests("heartbeat", 1, kWait));
    ASSERT_EQ(write(writer, "sure\n", 5), 5);
    int status = ExitStatus(kWait);
    close(writer);
    EXPECT_EQ(status, 0) << ServiceOutput();
    EXPECT_NE(ServiceOutput().find("If you want go to offline, Please enter [y]:\n"), std::string::npos);
    ASSERT_EQ(Count("logout"), 1);
    EXPECT_EQ(Requests("logout")[0]["reason"], "1");
    // The password never reaches the log.
    EXPECT_EQ(ServiceLog().find(kPassword), std::string::npos);
}

TEST_F(HostE2E, ConsoleLoginFailurePrintsItsLineAndExitsWithOne) {
    ASSERT_TRUE(StartSim());
    ServiceOptions options;
    options.args = {kAccount, "wrong"};
    options.withClient = false;
    ASSERT_TRUE(StartService(options));
    EXPECT_EQ(ExitStatus(kWait), 1);
    EXPECT_NE(ServiceOutput().find("login fail, the error is 140001, subcode is bad-password\n"),
              std::string::npos)
        << ServiceOutput();
}

TEST_F(HostE2E, ConsoleWithInputAtItsEndStaysConnected) {
    ASSERT_TRUE(StartSim(R"({"answers":{"interval":1}})"));
    ServiceOptions options;
    options.args = {kAccount, kPassword};
    options.withClient = false;  // standard input is /dev/null
    ASSERT_TRUE(StartService(options));
    ASSERT_TRUE(m_sim->WaitForRequests("heartbeat", 3, kWait));
    EXPECT_EQ(Count("logout"), 0);
    EXPECT_TRUE(m_service.IsRunning());
}

TEST_F(HostE2E, PortalDnsServersAreAppliedAtLoginAndRestoredAtLogout) {
    const std::string original = "nameserver 10.77.0.1\nsearch lab.example\n";
    ASSERT_TRUE(m_ns.WriteResolvConf(original));
    ASSERT_TRUE(StartSim(std::string(R"({"answers":{"domain_config":")") + kDomainConfig + "\"}}"));
    ASSERT_TRUE(StartService());
    ASSERT_TRUE(LogIn());
    std::string during = m_ns.ReadResolvConf();
    EXPECT_NE(during.find("nameserver 10.77.1.53\n"), std::string::npos) << during;
    EXPECT_NE(during.find("nameserver 10.77.1.54\n"), std::string::npos) << during;
    EXPECT_EQ(during.find("10.77.0.1\n"), std::string::npos) << during;
    // What was displaced is kept in the settings until the logout.
    EXPECT_NE(m_install->ReadFile("conf/conf.xml").find("dnsBackup"), std::string::npos);
    m_client->SendLogout();
    ASSERT_TRUE(WaitState(12));
    EXPECT_EQ(m_ns.ReadResolvConf(), original);
}

TEST_F(HostE2E, DnsDisplacedByAKilledRunIsRestoredAtTheNextLogout) {
    const std::string original = "nameserver 10.77.0.1\n";
    ASSERT_TRUE(m_ns.WriteResolvConf(original));
    ASSERT_TRUE(StartSim(std::string(R"({"answers":{"domain_config":")") + kDomainConfig + "\"}}"));
    ASSERT_TRUE(StartService());
    ASSERT_TRUE(LogIn());
    ASSERT_NE(m_ns.ReadResolvConf(), original);
    // Killed while on line, then started again on an open network.
    m_client.reset();
    m_service.Stop(milliseconds(2000));
    ASSERT_TRUE(m_sim->MergeScenario(R"({"probe":{"mode":"none"}})"));
    m_client = std::make_unique<FakeClient>(m_install->Path());
    ChildProcess::Options child;
    child.argv = m_ns.Wrap({"./VelnorSvr"});
    child.cwd = m_install->Path();
    child.outputFile = m_dir / "service2.out";
    std::string error;
    ChildProcess second;
    ASSERT_TRUE(second.Start(child, &error)) << error;
    ASSERT_TRUE(m_client->Open(kWait, &error)) << error;
    m_client->Send("ClientStart", "");
    ASSERT_TRUE(m_client->WaitForOpc("ClientStartComplete", kWait));
    m_client->Send("CheckEnv", "");
    // The recorded login is closed (reason 5) and the host's server returns.
    ASSERT_TRUE(m_client->WaitFor(
        [](const Envelope& e) { return e.opc == "NetStateMessageResp" && e.Param("type") == "0"; }, kWait));
    EXPECT_EQ(m_ns.ReadResolvConf(), original);
    m_client.reset();
    second.Stop(milliseconds(2000));
}

TEST_F(HostE2E, SharingProgramLeadsToSharedHeartbeatsAndLogoutSix) {
    // A program with a name of our own stands for the hotspot software.
    std::string name = "vlnshr" + std::to_string(getpid() % 100000);
    std::string program = m_dir / name;
    std::filesystem::copy_file("/bin/sleep", program);
    ChildProcess sharer;
    ChildProcess::Options options;
    options.argv = {program, "300"};
    std::string error;
    ASSERT_TRUE(sharer.Start(options, &error)) << error;
    std::string rules = "<user-config><against><process displayname=\\\"Hotspot\\\">" + name +
                        "</process><shared><ipforward>0</ipforward></shared></against>"
                        "<against-interval>1</against-interval><logout-delay>3</logout-delay></user-config>";
    ASSERT_TRUE(StartSim(R"({"answers":{"interval":1,"user_config":")" + rules + "\"}}"));
    ASSERT_TRUE(StartService());
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(m_sim->WaitForRequests("logout", 1, milliseconds(30000)));
    EXPECT_EQ(Requests("logout")[0]["reason"], "6");
    bool sharedSeen = false;
    for (auto& beat : Requests("heartbeat")) sharedSeen = sharedSeen || beat["shared"] == "1";
    EXPECT_TRUE(sharedSeen);
    EXPECT_NE(ServiceLog().find("Hotspot"), std::string::npos);
}

TEST_F(HostE2E, SharingRulesThatFindNothingKeepTheSession) {
    std::string rules =
        "<user-config><against><process displayname=\\\"Hotspot\\\">vln-no-such-prog</process><shared>"
        "<ipforward>1</ipforward></shared></against><against-interval>1</against-interval>"
        "<logout-delay>1</logout-delay></user-config>";
    ASSERT_TRUE(StartSim(R"({"answers":{"interval":1,"user_config":")" + std::string(rules) + "\"}}"));
    ASSERT_TRUE(StartService());
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(m_sim->WaitForRequests("heartbeat", 4, kWait));
    EXPECT_EQ(Count("logout"), 0);
    for (auto& beat : Requests("heartbeat")) EXPECT_NE(beat["shared"], "1");
}

TEST_F(HostE2E, StatisticsReportLoginPeriodAndLogoutBeforeTheLogoutRequest) {
    ASSERT_TRUE(StartSim(R"({"config":{"stats_infor":{"enable":1,"interval":1}}})"));
    ASSERT_TRUE(StartService());
    ASSERT_TRUE(LogIn());
    // The login reading sends nothing; the periodic report does.
    ASSERT_TRUE(m_sim->WaitForRequests("stats", 1, kWait));
    auto periodic = Requests("stats");
    EXPECT_EQ(periodic[0]["_stattype"], "2");
    m_client->SendLogout();
    ASSERT_TRUE(WaitState(12));
    auto stats = Requests("stats");
    auto logouts = Requests("logout");
    ASSERT_EQ(logouts.size(), 1u);
    ASSERT_FALSE(stats.empty());
    EXPECT_EQ(stats.back()["_stattype"], "0");
    EXPECT_LT(std::stol(stats.back()["_seq"]), std::stol(logouts[0]["_seq"]));
    EXPECT_EQ(logouts[0]["reason"], "2");
}

TEST_F(HostE2E, StatisticsOffLogsOutDirectly) {
    ASSERT_TRUE(StartSim(R"({"config":{"stats_infor":{"enable":0,"interval":1}}})"));
    ASSERT_TRUE(StartService());
    ASSERT_TRUE(LogIn());
    m_client->SendLogout();
    ASSERT_TRUE(WaitState(12));
    EXPECT_EQ(Count("stats"), 0);
    EXPECT_EQ(Count("logout"), 1);
}
