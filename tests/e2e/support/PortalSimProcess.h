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
    std::string workDir;  // scenario, ready file and the program's output go here
    std::string scenarioJson = "{}";
    std::vector<std::string> listen;  // default 127.0.0.1
    std::string module;               // --module: the algorithm module shared object
    std::string netns;                // portal servers inside this namespace (control stays outside)
    std::string binary;               // default: portal-sim next to the other programs
    std::chrono::milliseconds startTimeout{10000};
};

class PortalSimProcess {
public:
    explicit PortalSimProcess(PortalSimOptions options);
    ~PortalSimProcess();

    bool Start(std::string* error);
    void Stop();
    bool IsRunning() { return m_child.IsRunning(); }

    const std::string& ControlUrl() const { return m_control; }
    const std::string& ProbeUrl() const { return m_probe; }
    const std::string& PortalUrl() const { return m_portal; }
    const std::string& EntryUrl() const { return m_entry; }
    const std::string& StatsUrl() const { return m_stats; }
    const std::string& UpdateUrl() const { return m_update; }
    const std::vector<std::string>& ServerUrls() const { return m_servers; }
    const std::string& ReadyJson() const { return m_ready; }

    // Control API; false when the simulator refused or did not answer.
    bool MergeScenario(const std::string& patchJson);
    bool SetFault(const std::string& endpoint, const std::string& faultJson);
    bool ClearFault(const std::string& endpoint);
    bool StopServer(int index);
    bool StartServer(int index);
    bool Reset();
    // JSON arrays/objects as the control API returns them ("" on failure).
    std::string Requests(const std::string& endpoint = "", long sinceSeq = 0);
    std::string Sessions();
    std::string StatsRecords();
    std::string Scenario();
    // Waits (inside the simulator) until count requests of the endpoint arrived.
    bool WaitForRequests(const std::string& endpoint, long count, std::chrono::milliseconds timeout);

    static std::string DefaultBinary();

private:
    bool Post(const std::string& path, const std::string& body);
    std::string Get(const std::string& path, int timeoutSeconds = 10);

    PortalSimOptions m_options;
    ChildProcess m_child;
    std::string m_ready, m_control, m_probe, m_portal, m_entry, m_stats, m_update;
    std::vector<std::string> m_servers;
};
