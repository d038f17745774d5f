// SimControl: the soak's side of the portal simulator's control API (JSON
// over HTTP on the control address): scenario patches, request counts that
// the simulator waits for itself, the request log from a sequence number on,
// and the session totals. One thread uses an instance.
#pragma once

#include <chrono>
#include <string>
#include <vector>

class SimControl {
public:
    struct Record {
        long seq = 0;
        int errorCode = -1;  // -1 when the answer had no Error-Code
        std::string algoId;  // the request's Algo-ID header
        bool faulted = false;
    };
    struct Totals {
        long logins = 0;
        long heartbeats = 0;  // answered as the portal does, faults not counted
    };

    explicit SimControl(std::string controlUrl) : m_url(std::move(controlUrl)) {}

    bool Merge(const std::string& patchJson);
    bool SetFault(const std::string& endpoint, const std::string& faultJson);
    bool ClearFault(const std::string& endpoint) { return SetFault(endpoint, "null"); }
    // Waits (inside the simulator) until count requests of the endpoint have
    // arrived; the count reached, -1 when the simulator did not answer.
    long WaitCount(const std::string& endpoint, long count, std::chrono::milliseconds timeout);
    long Count(const std::string& endpoint) { return WaitCount(endpoint, 0, std::chrono::milliseconds(0)); }
    // Records of the endpoint numbered above since, oldest first.
    std::vector<Record> Since(const std::string& endpoint, long since);
    Totals SessionTotals();

private:
    std::string Get(const std::string& path, int timeoutSeconds);

    std::string m_url;
};
