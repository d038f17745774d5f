// SoakReport: the tallies of one soak run and the figures printed at its
// end. The run's thread fills it; Print writes the summary and returns
// whether every target was met.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ProcSampler.h"

// Heartbeat faults first, then those met by a fresh ticket and login after
// the user's logout, then those met by the logout itself.
enum class FaultKind {
    kServerError,
    kDrop,
    kStall,
    kGarbage,
    kRedirect,
    kExpired,
    kModuleUpdate,
    kTicketServerError,
    kLoginServerError,
    kLoginRefused,
    kLogoutServerError,
    kLogoutStall,
    kCount
};

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
    // A process's floors over the first and the last window of the run.
    struct Growth {
        ProcSampler::Sample first, last;
        size_t processes = 0;  // numbers it ran under: above 1 means restarts
    };
    void SetGrowth(const Growth& service, const Growth& helper, double windowSeconds) {
        m_service = service, m_helper = helper, m_windowSeconds = windowSeconds;
    }
    void SetInterrupted() { m_interrupted = true; }

    // Prints everything; true when every target was met.
    bool Print(double minutes, unsigned long long seed) const;

    static constexpr long kMaxRssGrowthKiB = 1024;

private:
    // Prints one process's growth and adds what misses a target to missed.
    void PrintGrowth(const char* who, const Growth& growth, std::vector<std::string>& missed) const;

private:
    std::vector<FaultOutcome> m_faults;
    long m_attaches = 0, m_attachFailures = 0;
    long m_stateMessages = 0;
    std::vector<std::string> m_uncatalogued, m_unprovoked;
    long m_logins = 0, m_loginRequests = 0, m_heartbeats = 0;
    Growth m_service, m_helper;
    double m_windowSeconds = 0;
    bool m_interrupted = false;
};
