// PortalSimProcess: runs the portal-sim program for an end-to-end test and
// talks to its control API. Start() writes the scenario into the work
// directory, starts the program from an argument vector and reads the URLs
// it announces; Stop() (also the destructor) ends it. One test thread uses
// an instance.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "ChildProcess.h"

struct PortalSimOptions {
    std::string workDir;  // the scenario and the program's output go here
    std::string scenarioJson = "{}";
    std::vector<std::string> listen;  // default 127.0.0.1
    std::string module;               // --module: the algorithm module shared object
    std::string netns;                // portal servers inside this namespace (control stays outside)
};

class PortalSimProcess {
public:
    explicit PortalSimProcess(PortalSimOptions options) : m_options(std::move(options)) {}

    bool Start(std::string* error);
    void Stop() { m_child.Stop(); }

    const std::string& ProbeUrl() const { return m_probe; }
    const std::string& ControlUrl() const { return m_control; }
    const std::vector<std::string>& ServerUrls() const { return m_servers; }

    // Control API; false when the simulator refused or did not answer.
    bool MergeScenario(const std::string& patchJson);
    bool SetFault(const std::string& endpoint, const std::string& faultJson);
    bool ClearFault(const std::string& endpoint);
    bool StopServer(int index);
    bool Reset();
    // The request log as the control API returns it, a JSON array ("" on failure).
    std::string Requests(const std::string& endpoint = "");
    // Waits (inside the simulator) until count requests of the endpoint arrived.
    bool WaitForRequests(const std::string& endpoint, long count, std::chrono::milliseconds timeout);

private:
    bool Post(const std::string& path, const std::string& body);
    std::string Get(const std::string& path, int timeoutSeconds = 10);

    PortalSimOptions m_options;
    ChildProcess m_child;
    std::string m_control, m_probe;
    std::vector<std::string> m_servers;
};
