// CPortalExchanges: the portal server's side of the session exchanges
// (ticket, login, state, heartbeat, logout, terminal). Each request is
// checked (headers, checksum, module, document), decoded, answered from the
// sessions and the scenario, and recorded. Runs on the HTTP worker threads.
#pragma once

#include <string>
#include <vector>

#include "SimJson.h"

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib
class CPortalSim;
class CSimRequestDoc;

class CPortalExchanges {
public:
    explicit CPortalExchanges(CPortalSim& sim) : m_sim(sim) {}

    void Handle(const std::string& exchange, const httplib::Request& req, httplib::Response& res, int server);

private:
    struct Answer {
        int errorCode = 0;
        std::string subError;
        std::string body;  // the plain answer document's children
    };

    // Header checks; problems are short tags with a detail.
    std::vector<std::string> CheckHeaders(const cJSON* scenario, const httplib::Request& req) const;
    Answer Respond(const std::string& exchange, const cJSON* scenario, const CSimRequestDoc& doc,
                   const std::string& clientId, int server);
    std::string LoginAnswer(const cJSON* scenario, const std::string& account, int server) const;
    // Encodes and sends an answer document.
    void SendAnswer(const cJSON* scenario, const std::string& algoId, int errorCode,
                    const std::string& subError, const std::string& plain, httplib::Response& res,
                    cJSON* record);

    CPortalSim& m_sim;
};
