// CPortalPages: the simulator's pages: the connectivity probe with its
// redirect variants and the portal entry page that embeds the configuration
// document. Runs on the HTTP worker threads; keeps no state of its own.
#pragma once

#include <string>

#include "SimJson.h"

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib
class CPortalSim;

class CPortalPages {
public:
    static constexpr const char* kConfigOpen = "<!--//config.velnor-portal.net";
    static constexpr const char* kConfigClose = "//config.velnor-portal.net-->";

    explicit CPortalPages(CPortalSim& sim) : m_sim(sim) {}

    void HandleProbe(const httplib::Request& req, httplib::Response& res, int server);
    void HandlePage(const httplib::Request& req, httplib::Response& res, int server);
    // The gateway's detect page between the probe and the entry page.
    void HandleDetect(const httplib::Request& req, httplib::Response& res, int server);

    // The configuration document as served by one server.
    std::string ConfigDocument(const cJSON* scenario, int server) const;
    std::string PageHtml(const cJSON* scenario, int server) const;

private:
    void AddPortalHeaders(const cJSON* scenario, httplib::Response& res) const;
    std::string ServerClusters(const cJSON* scenario) const;

    CPortalSim& m_sim;
};
