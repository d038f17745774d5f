// The start-up check: the hand-over to the updater when, and only when, a
// complete update is staged; and the background check's thread.
#include <chrono>
#include <filesystem>
#include <functional>
#include <pugixml.hpp>
#include <thread>

#include "HandOverConfig.h"
#include "UpdateFixture.h"

namespace fs = std::filesystem;

class UpdateStartUpTest : public UpdateFixture {};

TEST_F(UpdateStartUpTest, HandsOverOnlyACompleteStaging) {
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"item still being downloaded",
         [this] {
             CUpdateList list = List();
             list.Items()[1].state = CUpdateList::kDownloading;
             list.Save(Staged(CUpdateManager::kList));
         }},
        {"no updater staged", [this] { fs::remove(Staged("Korvast")); }},
        {"no answer kept", [this] { fs::remove(Staged("install.xml")); }},
        {"no list", [this] { fs::remove(Staged("update.xml")); }},
        {"no settings for the configuration", [this] { fs::remove(m_install + "/conf/conf.xml"); }},
        {"complete", [] {}},
    };
    for (const auto& [what, spoil] : cases) {
        SCOPED_TRACE(what);
        WriteFile(m_install + "/conf/conf.xml", "<conf><version>2.0.1</version></conf>");
        StartSim(Packages({Package("core", "c"), Package("gui", "g")}));
        RunCheck();
        spoil();
        CUpdateManager manager(m_install, &m_info);
        testing::internal::CaptureStdout();
        bool handedOver = manager.CheckStartUp();
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(handedOver, std::string(what) == "complete");
    }
    // The updater ran in the installation folder with the configuration as one argument.
    std::vector<std::string> record = m_updater.Record();
    ASSERT_EQ(record.size(), 3u);
    EXPECT_EQ(record[0], m_install);
    EXPECT_EQ(record[1], Staged("Korvast"));
    pugi::xml_document config;
    ASSERT_TRUE(config.load_string(record[2].c_str())) << record[2];
    const std::pair<const char*, std::string> expected[] = {
        {"version", "2.0.1"},
        {"updateInstId", "UpdateInst_B5FF888E-C6EB-4a14-A3FD-622D682077A8"},
        {"decompressDir", m_install + "/decompress/"},
        {"updateDir", m_install + "/"},
        {"mainProgram", "VelnorClient"},
        {"mainProgramWnd", ""},
        {"mainProgramId", CHandOverConfig::kMainProgramId},
        {"backupPath", ""},
        {"recordFile", m_install + "/conf/client.xml"},
        {"updateType", "0"},
        {"downloadDir", m_install + "/Quellan/AutoSetupAuth/"},
        {"imgDir", ""},
    };
    pugi::xml_node element = config.child("conf").first_child();
    for (const auto& [name, text] : expected) {
        ASSERT_TRUE(element) << name;
        EXPECT_STREQ(element.name(), name);
        EXPECT_EQ(element.text().as_string(), text) << name;
        element = element.next_sibling();
    }
    EXPECT_FALSE(element);
}

TEST_F(UpdateStartUpTest, ConfigurationVersionFallsBackWhenTheSettingsLackIt) {
    WriteFile(m_install + "/conf/conf.xml", "<conf><redirect>x</redirect></conf>");
    EXPECT_NE(CHandOverConfig::Build(m_install).find("<version>1033</version>"), std::string::npos);
}

TEST_F(UpdateStartUpTest, BackgroundCheckStartsOnceAndEndsWhenTheClientCloses) {
    // The answer comes late: the check is still waiting for it when the client closes.
    StartSim(Packages({Package("core", "c")}), "{\"update\":{\"delay_ms\":10000,\"times\":1}}");
    CUpdateManager manager(m_install, &m_info);
    manager.StartBackgroundCheck();
    manager.StartBackgroundCheck();
    // The fault is taken (and gone from the scenario) when the query arrives.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (simjson::Get(m_sim->Scenario().Snapshot().get(), "faults.update") &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    manager.Shutdown();
    // Cancelled mid-query: the late answer was never read, and no second check started.
    EXPECT_FALSE(Exists(Staged("install.xml")));
    manager.StartBackgroundCheck();
    m_sim->Stop();
    EXPECT_EQ(Requests("update").size(), 1u);
}

TEST(UpdateUnknownDirTest, WithoutAnInstallationFolderNothingIsTouched) {
    CUpdateManager manager("", nullptr);
    testing::internal::CaptureStdout();
    manager.RunCheck();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "update check skipped: the installation directory is unknown\n");
    EXPECT_FALSE(manager.CheckStartUp());
    EXPECT_FALSE(manager.Staging().Remove("Korvast"));
    EXPECT_FALSE(manager.Staging().Clear());
    EXPECT_FALSE(fs::exists("Quellan"));
}
