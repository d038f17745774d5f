// SoakReport: the tallies of one soak run and the figures printed at its
// end. The run's thread fills it; Print writes the summary and returns
// whether every target was met.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ProcSampler.h"

enum class FaultKind { kServerError, kDrop, kStall, kGarbage, kRedirect, kExpired, kModuleUpdate, kCount };

const char* FaultName(FaultKind kind);

struct FaultOutcome {
    FaultKind kind = FaultKind::kServerError;
    bool ok = false;             // ended as expected within its limit
    double outcomeSeconds = 0;   // from the fault to its state message (or the kept session)
    std::string detail;          // "newState/ErrorCode" of the message, or why it failed
    bool endedSession = false;   // the fault ended the session, so a recovery followed
    bool recovered = false;      // connected again within the recovery limit
    double recoverySeconds = 0;  // from the state message to connected again
};

class SoakReport {
public:
    void AddFault(const FaultOutcome& outcome);
    void AddAttach(bool ok) { ++m_attaches, m_attachFailures += ok ? 0 : 1; }
    void AddStateMessages(long count) { m_stateMessages += count; }
    void AddUncatalogued(const std::string& message) { m_uncatalogued.push_back(message); }
    void AddUnprovoked(const std::string& message) { m_unprovoked.push_back(message); }
    void SetTotals(long logins, long loginRequests, long heartbeats) {
        m_logins = logins, m_loginRequests = loginRequests, m_heartbeats = heartbeats;
    }
    void SetGrowth(const ProcSampler::Sample& first, const ProcSampler::Sample& last, double windowSeconds) {
        m_first = first, m_last = last, m_windowSeconds = windowSeconds;
    }
    void SetInterrupted() { m_interrupted = true; }

    // Prints everything; true when every target was met.
    bool Print(double minutes, unsigned long long seed) const;

    static constexpr long kMaxRssGrowthKiB = 1024;

private:
    std::vector<FaultOutcome> m_faults;
    long m_attaches = 0, m_attachFailures = 0;
    long m_stateMessages = 0;
    std::vector<std::string> m_uncatalogued, m_unprovoked;
    long m_logins = 0, m_loginRequests = 0, m_heartbeats = 0;
    ProcSampler::Sample m_first, m_last;
    double m_windowSeconds = 0;
    bool m_interrupted = false;
};
