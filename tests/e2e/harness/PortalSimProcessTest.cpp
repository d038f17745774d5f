// The simulator as a separate process: what end-to-end runs rely on when
// something goes wrong (refusals, time-outs, a simulator that cannot start).
#include <gtest/gtest.h>
#include <httplib.h>

#include <fstream>

#include "ChildProcess.h"
#include "PortalSimProcess.h"
#include "TempDir.h"

TEST(PortalSimProcessTest, ControlApiRefusesBadRequestsAndResetRestoresTheScenario) {
    TempDir dir;
    PortalSimOptions options;
    options.workDir = dir.Path();
    options.module = VELNOR_BIN_DIR "/portal_sim_xor_a.so";
    options.scenarioJson = "{\"cluster\":{\"servers\":1},\"probe\":{\"mode\":\"303\"}}";
    PortalSimProcess sim(options);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    ASSERT_EQ(sim.ServerUrls().size(), 2u);
    EXPECT_EQ(sim.ProbeUrl(), sim.ServerUrls()[0] + "/");

    httplib::Client probe(sim.ServerUrls()[0]);
    ASSERT_TRUE(sim.MergeScenario("{\"probe\":{\"mode\":\"302\"}}"));
    EXPECT_EQ(probe.Get("/")->status, 302);
    EXPECT_FALSE(sim.MergeScenario("[1]"));
    EXPECT_FALSE(sim.MergeScenario("not json"));
    EXPECT_FALSE(sim.StopServer(5));
    EXPECT_FALSE(sim.WaitForRequests("login", 1, std::chrono::milliseconds(50)));

    ASSERT_TRUE(sim.Reset());
    EXPECT_EQ(sim.Requests(), "[]");
    EXPECT_EQ(probe.Get("/")->status, 303);
    EXPECT_TRUE(sim.WaitForRequests("probe", 1, std::chrono::milliseconds(5000)));
    sim.Stop();
    EXPECT_FALSE(sim.MergeScenario("{}"));
}

TEST(PortalSimProcessTest, RefusesToStartWithAModuleThatDoesNotLoad) {
    TempDir dir;
    PortalSimOptions options;
    options.workDir = dir.Path();
    options.module = dir / "missing.so";
    PortalSimProcess sim(options);
    std::string error;
    EXPECT_FALSE(sim.Start(&error));
    EXPECT_NE(error.find("did not get ready"), std::string::npos);
}

TEST(PortalSimProcessTest, CommandLineMistakesEndTheProgramWithAReason) {
    TempDir dir;
    std::ofstream(dir / "bad.json") << "[not an object";
    std::ofstream(dir / "good.json") << "{}";
    const std::string bin = VELNOR_BIN_DIR "/portal-sim";
    std::chrono::milliseconds limit(10000);
    EXPECT_EQ(ChildProcess::Run({bin}, limit), 2);
    EXPECT_EQ(ChildProcess::Run({bin, "--scenario"}, limit), 2);
    EXPECT_EQ(ChildProcess::Run({bin, "--scenario", dir / "x.json", "--bogus", "1"}, limit), 2);
    EXPECT_EQ(ChildProcess::Run({bin, "--scenario", dir / "missing.json"}, limit), 1);
    EXPECT_EQ(ChildProcess::Run({bin, "--scenario", dir / "bad.json"}, limit), 1);
    EXPECT_EQ(
        ChildProcess::Run({bin, "--scenario", dir / "good.json", "--netns", "no-such-namespace"}, limit), 1);
}
