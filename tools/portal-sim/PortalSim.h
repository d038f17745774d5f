// CPortalSim: a simulated campus portal for tests. It answers the
// connectivity probe, serves the portal page with its embedded configuration,
// the session exchanges, a statistics endpoint and an update server, on
// listeners it only binds to the addresses it is given; a control API on a
// listener of its own lets tests change the scenario, stop and start servers
// and read what every request carried. Start and Stop belong to the owning
// thread; handlers run on the HTTP servers' worker threads.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "SimJson.h"
#include "SimModules.h"
#include "SimRequestLog.h"
#include "SimScenario.h"
#include "SimSessions.h"
#include "UniqueFd.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib
class CSimListener;
class CPortalExchanges;
class CPortalPages;

struct SimOptions {
    std::string scenarioJson = "{}";
    std::vector<std::string> listen;  // default 127.0.0.1
    std::string module;               // replaces the scenario's primary module
    std::string netns;                // bind the portal servers inside this namespace
    std::string controlHost = "127.0.0.1";
};

class CPortalSim {
public:
    explicit CPortalSim(SimOptions options);
    ~CPortalSim();
    CPortalSim(const CPortalSim&) = delete;
    CPortalSim& operator=(const CPortalSim&) = delete;

    bool Start(std::string* error);
    void Stop();

    // What the ready file holds: control, probe, portal, servers and more.
    std::string ReadyJson() const;
    std::string ControlUrl() const;
    std::string ServerUrl(int index) const;
    std::string HostPort(int index) const;
    int ServerCount() const { return static_cast<int>(m_servers.size()); }
    bool StopServer(int index);
    bool StartServer(int index, std::string* error);
    void Reset();

    CSimScenario& Scenario() { return m_scenario; }
    CSimRequestLog& Log() { return m_log; }
    CSimSessions& Sessions() { return m_sessions; }
    CSimModules& Modules() { return m_modules; }

    // Faults that end a request before the portal looks at it: delay, drop,
    // HTTP status, interception, redirect loop. True when the response is done.
    bool ApplyTransportFault(const cJSON* fault, const httplib::Request& req, httplib::Response& res,
                             cJSON* record);
    // Adds the record to the log with the status and headers of the answer.
    void Finish(JsonPtr record, const std::string& endpoint, const httplib::Response& res);
    // The portal entry page on a server, with the portal parameters.
    std::string EntryUrl(const cJSON* scenario, int server, bool upperCase) const;

private:
    void SetupPortalRoutes(httplib::Server& server, int index);
    void SetupControlRoutes(httplib::Server& server);
    void HandleStats(const httplib::Request& req, httplib::Response& res, int index);
    void HandleUpdate(const httplib::Request& req, httplib::Response& res, int index);
    void HandleDownload(const httplib::Request& req, httplib::Response& res, int index);
    // Sleeps, but wakes early when the simulator or this server stops.
    void Delay(long ms, int server);

    SimOptions m_options;
    CSimScenario m_scenario;
    CSimRequestLog m_log;
    CSimSessions m_sessions;
    CSimModules m_modules;
    std::unique_ptr<CPortalExchanges> m_exchanges;
    std::unique_ptr<CPortalPages> m_pages;
    std::vector<std::unique_ptr<CSimListener>> m_servers;
    std::unique_ptr<CSimListener> m_control;
    std::mutex m_serversLock;  // serialises stop and start of servers
    std::mutex m_statsLock;
    std::vector<std::string> m_statsRecords;
    CUniqueFd m_netnsFd;
    std::mutex m_stopLock;
    std::condition_variable m_stopCv;
    bool m_stopping = false;
    std::vector<long> m_stopCounts;  // per server, bumped by each stop
};
