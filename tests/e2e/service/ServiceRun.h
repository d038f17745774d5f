// ServiceRun: one end-to-end run of VelnorSvr: a network namespace, the
// portal simulator serving inside it, an installation directory, the
// service started inside the namespace and (in pipe mode) the fake desktop
// client on its FIFOs. Everything it starts is stopped and removed when the
// fixture ends, also when a test fails half-way. One test thread uses it.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ChildProcess.h"
#include "FakeClient.h"
#include "InstallDir.h"
#include "NetNamespace.h"
#include "PortalSimProcess.h"
#include "TempDir.h"

using std::chrono::milliseconds;

class ServiceRun : public ::testing::Test {
protected:
    static constexpr milliseconds kWait{20000};
    static constexpr const char* kAccount = "alice";
    static constexpr const char* kPassword = "secret";

    struct ServiceOptions {
        std::vector<std::string> args;              // account and password for console mode
        std::map<std::string, std::string> values;  // more settings under "conf"
        std::string stdinPath = "/dev/null";        // the service's standard input
        bool withClient = true;                     // open the FIFOs as the desktop client
    };

    void SetUp() override;
    // On failure: the service's log and output, to see what it did.
    void TearDown() override;

    // The simulator with the sample module and account alice/secret, then
    // the patch merged into that scenario.
    bool StartSim(const std::string& patchJson = "");
    bool StartService(const ServiceOptions& options);
    bool StartService() { return StartService(ServiceOptions()); }
    bool Run(const std::string& patchJson = "") { return StartSim(patchJson) && StartService(); }
    // "ClientStart", "ClientStartComplete", "CheckEnv", then pre-connected.
    bool Prepare();
    // Prepare, log in as alice and wait until connected.
    bool LogIn();

    std::optional<Envelope> WaitState(int newState, milliseconds limit = kWait) {
        return m_client->WaitForState(newState, limit);
    }
    // "newState/ErrorCode" of every state message received so far.
    std::vector<std::string> States() const;
    // Fields of the decoded requests of one endpoint, in order.
    std::vector<std::map<std::string, std::string>> Requests(const std::string& endpoint);
    long Count(const std::string& endpoint) { return static_cast<long>(Requests(endpoint).size()); }
    std::string ServiceLog() const;
    std::string ServiceOutput() const;
    std::string BinDir() const { return VELNOR_BIN_DIR; }
    // A copy of the sample module file packed under another algorithm id.
    std::string RepackedModule(const std::string& algoId);

    TempDir m_dir;
    NetNamespace m_ns;
    std::unique_ptr<PortalSimProcess> m_sim;
    std::unique_ptr<InstallDir> m_install;
    ChildProcess m_service;
    std::unique_ptr<FakeClient> m_client;
};
