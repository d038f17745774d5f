// UpdateFixture: what an update check meets in the field, on one machine.
// The installation directory's name holds a blank, quotes, "&" and
// "$(touch x)", so every test also shows that no path reaches a shell; it
// has conf/conf.xml, the updater "Korvast" (a stand-in script that records
// its working directory and arguments) and its "libs". The portal simulator
// runs in process and serves the update answer and the packages; the
// client's information center holds the values the service shares.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "InfoCenter.h"
#include "PortalSim.h"
#include "StandInUpdater.h"
#include "TempDir.h"
#include "UpdateList.h"
#include "UpdateManager.h"

struct SimRequest {
    std::string path;
    std::string range;
    std::string query;  // the query parameters as JSON
};

class UpdateFixture : public ::testing::Test {
protected:
    static constexpr const char* kDirName = "in st'\"$(touch x)&";

    void SetUp() override;
    void TearDown() override;

    // Starts the simulator (or gives the running one a new scenario and an
    // empty log) with this "update" object and these faults, and points
    // "FUN_Update" at it the way the portal publishes it.
    void StartSim(const std::string& updateJson, const std::string& faultsJson = "{}");
    // {"packages":[..]} of the given package objects.
    static std::string Packages(const std::vector<std::string>& packages);
    static std::string Package(const std::string& name, const std::string& content,
                               const std::string& extra = "");
    std::string ServerUrl() const { return m_sim->ServerUrl(0); }

    // One background check on this thread, with a fresh manager; returns
    // what it printed.
    std::string RunCheck();
    CUpdateList List() const;
    std::string Staged(const std::string& name) const { return m_install + "/Quellan/AutoSetupAuth/" + name; }
    std::vector<SimRequest> Requests(const std::string& endpoint) const;

    static bool Exists(const std::string& path);

    TempDir m_root;
    std::string m_install;
    CInfoCenter m_info{CInfoCenter::Flavor::Client, nullptr};
    std::unique_ptr<CPortalSim> m_sim;
    StandInUpdater m_updater{m_root / "record"};
};
