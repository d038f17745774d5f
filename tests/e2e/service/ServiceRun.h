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
        std::string stdinPath = "/dev/null";
        bool withClient = true;  // open the FIFOs as the desktop client
    };

    void SetUp() override;
    void TearDown() override;  // on failure: the service's log and output

    // The simulator with the sample module and alice/secret; a scenario
    // that names "module" or "accounts" brings its own.
    bool StartSim(const std::string& scenario = "");
    bool StartService(const ServiceOptions& options);
    bool StartService() { return StartService(ServiceOptions()); }
    bool Run(const std::string& scenario = "") { return StartSim(scenario) && StartService(); }
    // Kills the service and starts it again on the same installation.
    bool RestartService();
    // Console mode: the account and the password as arguments, no client.
    bool StartConsole(const std::string& password, const std::string& stdinPath = "/dev/null") {
        ServiceOptions options;
        options.args = {kAccount, password};
        options.stdinPath = stdinPath;
        options.withClient = false;
        return StartService(options);
    }
    // The service's exit status, or -1 when it is still running at the limit.
    int ExitStatus(milliseconds limit = kWait);
    // The client's start and network check, then pre-connected.
    bool Prepare();
    // Prepare, then log in as alice and wait until connected.
    bool LogIn();

    std::optional<Envelope> WaitState(int newState, milliseconds limit = kWait) {
        return m_client->WaitForState(newState, limit);
    }
    // The next state message to newState as "oldState>newState/ErrorCode",
    // "" when none comes in time.
    std::string NextState(int newState, milliseconds limit = kWait) {
        auto e = WaitState(newState, limit);
        return e ? e->Param("oldState") + ">" + e->Param("newState") + "/" + e->Param("ErrorCode") : "";
    }
    // "newState/ErrorCode" of every state message received so far.
    std::vector<std::string> States() const;
    // Fields of the decoded requests of one endpoint (all when empty), in
    // order, with "_seq", "_server", "_algo" and "_stattype" of the record.
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

private:
    bool Launch(const ServiceOptions& options);
};
