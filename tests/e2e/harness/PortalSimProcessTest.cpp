// The simulator as a separate process, driven through its control API.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "ChildProcess.h"
#include "NetNamespace.h"
#include "PortalSimProcess.h"
#include "TempDir.h"

namespace {
std::string XorModule() { return std::string(VELNOR_BIN_DIR) + "/portal_sim_xor_a.so"; }
}  // namespace

TEST(PortalSimProcessTest, StartsAnnouncesItsUrlsAndObeysTheControlApi) {
    TempDir dir;
    PortalSimOptions options;
    options.workDir = dir.Path();
    options.module = XorModule();
    options.scenarioJson = "{\"cluster\":{\"servers\":1},\"module\":{\"algo_id\":\"X\"}}";
    PortalSimProcess sim(options);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    ASSERT_EQ(sim.ServerUrls().size(), 2u);
    EXPECT_EQ(sim.ProbeUrl(), sim.ServerUrls()[0] + "/");
    EXPECT_EQ(sim.EntryUrl(), sim.ServerUrls()[0] + "/portal/index.cgi");
    // The ready file holds the same record as the announcement.
    std::ifstream ready(dir / "portal-sim.ready");
    std::string line;
    std::getline(ready, line);
    EXPECT_EQ(line, sim.ReadyJson());

    httplib::Client probe(sim.ServerUrls()[0]);
    auto res = probe.Get("/");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 302);
    EXPECT_TRUE(sim.WaitForRequests("probe", 1, std::chrono::milliseconds(5000)));
    EXPECT_NE(sim.Requests("probe").find("\"endpoint\":\"probe\""), std::string::npos);

    ASSERT_TRUE(sim.SetFault("probe", "{\"http_status\":503}"));
    EXPECT_EQ(probe.Get("/")->status, 503);
    ASSERT_TRUE(sim.ClearFault("probe"));
    EXPECT_EQ(probe.Get("/")->status, 302);
    EXPECT_FALSE(sim.MergeScenario("[1]"));

    ASSERT_TRUE(sim.StopServer(1));
    httplib::Client peer(sim.ServerUrls()[1]);
    peer.set_connection_timeout(2);
    EXPECT_FALSE(peer.Get("/portal/index.cgi"));
    ASSERT_TRUE(sim.StartServer(1));
    EXPECT_EQ(peer.Get("/portal/index.cgi")->status, 200);
    EXPECT_FALSE(sim.StopServer(5));

    ASSERT_TRUE(sim.Reset());
    EXPECT_EQ(sim.Requests(), "[]");
    EXPECT_FALSE(sim.WaitForRequests("login", 1, std::chrono::milliseconds(50)));
    EXPECT_EQ(sim.Sessions(), "{}");

    sim.Stop();
    EXPECT_FALSE(sim.IsRunning());
}

TEST(PortalSimProcessTest, RefusesToStartWithAModuleThatDoesNotLoad) {
    TempDir dir;
    PortalSimOptions options;
    options.workDir = dir.Path();
    options.module = dir / "missing.so";
    options.startTimeout = std::chrono::milliseconds(5000);
    PortalSimProcess sim(options);
    std::string error;
    EXPECT_FALSE(sim.Start(&error));
    EXPECT_NE(error.find("did not get ready"), std::string::npos);
}

TEST(PortalSimProcessTest, ServesInsideANamespaceWhileTheControlApiStaysOutside) {
    if (!NetNamespace::CanCreate()) GTEST_SKIP() << "needs root and the ip tool to create network namespaces";
    NetNamespace ns;
    std::string error;
    ASSERT_TRUE(ns.Create(&error)) << error;
    TempDir dir;
    PortalSimOptions options;
    options.workDir = dir.Path();
    options.module = XorModule();
    options.netns = ns.Name();
    options.listen = {NetNamespace::ServerAddress()};
    PortalSimProcess sim(options);
    ASSERT_TRUE(sim.Start(&error)) << error;
    EXPECT_EQ(sim.ProbeUrl(), std::string("http://") + NetNamespace::ServerAddress() + ":" +
                                  sim.ProbeUrl().substr(sim.ProbeUrl().rfind(':') + 1));
    EXPECT_EQ(sim.Requests(), "[]");

    // From inside the namespace the probe answers; a child enters it so this
    // process stays where it is.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int fd = open(("/var/run/netns/" + ns.Name()).c_str(), O_RDONLY);
        if (fd < 0 || setns(fd, CLONE_NEWNET) != 0) _exit(2);
        httplib::Client client(sim.ServerUrls()[0]);
        client.set_connection_timeout(5);
        auto res = client.Get("/");
        _exit(res && res->status == 302 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(sim.WaitForRequests("probe", 1, std::chrono::milliseconds(5000)));
    EXPECT_NE(sim.Requests("probe").find(NetNamespace::ClientAddress()), std::string::npos);
}

TEST(PortalSimProcessTest, CommandLineMistakesEndTheProgramWithAReason) {
    TempDir dir;
    std::ofstream(dir / "bad.json") << "[not an object";
    std::ofstream(dir / "good.json") << "{}";
    std::string bin = PortalSimProcess::DefaultBinary();
    std::chrono::milliseconds limit(10000);
    EXPECT_EQ(ChildProcess::Run({bin}, limit), 2);
    EXPECT_EQ(ChildProcess::Run({bin, "--scenario"}, limit), 2);
    EXPECT_EQ(ChildProcess::Run({bin, "--scenario", dir / "x.json", "--bogus", "1"}, limit), 2);
    EXPECT_EQ(ChildProcess::Run({bin, "--scenario", dir / "missing.json"}, limit), 1);
    EXPECT_EQ(ChildProcess::Run({bin, "--scenario", dir / "bad.json"}, limit), 1);
    EXPECT_EQ(ChildProcess::Run({bin, "--scenario", dir / "good.json", "--netns", "no-such-namespace"}, limit), 1);
}
