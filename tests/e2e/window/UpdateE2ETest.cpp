// The whole update cycle as a user meets it: the service publishes the
// update address with the portal's configuration, the client's background
// check stages two packages beside the updater, and the next start of the
// client hands over to the updater and ends.
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <pugixml.hpp>
#include <sstream>
#include <thread>

#include "StandInUpdater.h"
#include "WindowRun.h"

namespace {

class UpdateE2E : public WindowRun {};

TEST_F(UpdateE2E, PackagesStagedOnOneRunAreHandedOverAtTheNextStart) {
    ASSERT_TRUE(StartSim(R"({"config":{"update":true},"update":{"packages":[)"
                         R"({"name":"core","content":"core-2.0"},{"name":"gui","content":"gui-2.0"}]}})"));
    ASSERT_TRUE(Install());
    StandInUpdater updater(m_dir / "updater.record");
    ASSERT_TRUE(updater.Write(m_install->File("Korvast")));
    std::filesystem::create_directories(m_install->File("libs"));
    std::ofstream(m_install->File("libs/libhelper.so")) << "helper";

    ASSERT_TRUE(StartClient() && WaitLoginPanel());
    ASSERT_TRUE(m_sim->WaitForRequests("download", 2, kWait));
    // The updater is copied last, once both packages are in.
    std::string staged = m_install->File("Quellan/AutoSetupAuth/");
    auto deadline = std::chrono::steady_clock::now() + kWait;
    while (!std::filesystem::exists(staged + "Korvast") && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(20));
    ASSERT_TRUE(std::filesystem::exists(staged + "Korvast"));
    EXPECT_EQ(m_install->ReadFile("Quellan/AutoSetupAuth/core.tar.gz"), "core-2.0");
    EXPECT_EQ(m_install->ReadFile("Quellan/AutoSetupAuth/gui.tar.gz"), "gui-2.0");
    EXPECT_EQ(m_install->ReadFile("Quellan/AutoSetupAuth/libs/libhelper.so"), "helper");
    // The values the service published reach the query.
    std::string query = m_sim->Requests("update");
    EXPECT_NE(query.find("\"version\":\"1.0.0\""), std::string::npos) << query;
    EXPECT_NE(query.find("\"cid\":\"S0001\""), std::string::npos) << query;
    m_client.Stop(milliseconds(2000));

    ChildProcess next;
    ASSERT_TRUE(StartAnotherClient(next, "next.out"));
    int status = 0;
    ASSERT_TRUE(next.WaitExit(kWait, &status));
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    std::ifstream out(m_dir / "next.out");
    std::stringstream printed;
    printed << out.rdbuf();
    EXPECT_NE(printed.str().find("need update , exit"), std::string::npos) << printed.str();

    std::vector<std::string> record = updater.Record(static_cast<int>(kWait.count()));
    ASSERT_EQ(record.size(), 3u);
    EXPECT_EQ(record[0], m_install->Path());
    EXPECT_EQ(record[1], staged + "Korvast");
    pugi::xml_document config;
    ASSERT_TRUE(config.load_string(record[2].c_str())) << record[2];
    auto elements = config.child("conf").children();
    EXPECT_EQ(std::distance(elements.begin(), elements.end()), 12) << record[2];
    EXPECT_STREQ(config.child("conf").child_value("mainProgram"), "VelnorClient");
    EXPECT_EQ(config.child("conf").child_value("downloadDir"), staged);
}

}  // namespace
