#include "SoakReport.h"

#include <algorithm>
#include <cstdio>

namespace {
struct Spread {
    double median = 0, max = 0;
};

Spread Of(std::vector<double> values) {
    Spread s;
    if (values.empty()) return s;
    std::sort(values.begin(), values.end());
    s.median = values[values.size() / 2];
    s.max = values.back();
    return s;
}
}  // namespace

const char* FaultName(FaultKind kind) {
    switch (kind) {
        case FaultKind::kServerError:
            return "5xx";
        case FaultKind::kDrop:
            return "dropped";
        case FaultKind::kStall:
            return "stall";
        case FaultKind::kGarbage:
            return "garbage";
        case FaultKind::kRedirect:
            return "redirect";
        case FaultKind::kExpired:
            return "expired";
        case FaultKind::kModuleUpdate:
            return "module-update";
        case FaultKind::kTicketServerError:
            return "ticket-5xx";
        case FaultKind::kLoginServerError:
            return "login-5xx";
        case FaultKind::kLoginRefused:
            return "login-refused";
        case FaultKind::kLogoutServerError:
            return "logout-5xx";
        case FaultKind::kLogoutStall:
            return "logout-stall";
        case FaultKind::kCount:
            break;
    }
    return "?";
}

void SoakReport::PrintGrowth(const char* who, const Growth& growth, std::vector<std::string>& missed) const {
    const ProcSampler::Sample &first = growth.first, &last = growth.last;
    long rss = last.rssKiB - first.rssKiB, fds = last.fds - first.fds, threads = last.threads - first.threads;
    printf(
        "  %-13s RSS %ld -> %ld KiB (%+ld KiB), descriptors %ld -> %ld (%+ld), threads %ld -> %ld (%+ld), "
        "%zu process(es)\n",
        who, first.rssKiB, last.rssKiB, rss, first.fds, last.fds, fds, first.threads, last.threads, threads,
        growth.processes);
    std::string name = who;
    if (first.rssKiB < 0 || last.rssKiB < 0) missed.push_back("no samples of the " + name);
    if (rss > kMaxRssGrowthKiB) missed.push_back(name + ": RSS grew by more than 1 MiB");
    if (fds > 0) missed.push_back(name + ": descriptors grew");
    if (threads > 0) missed.push_back(name + ": threads grew");
}

void SoakReport::AddFault(const FaultOutcome& outcome) { m_faults.push_back(outcome); }

bool SoakReport::Print(double minutes, unsigned long long seed) const {
    printf("soak: %.2f minutes, seed %llu%s\n", minutes, seed, m_interrupted ? " (interrupted)" : "");
    printf("logins: %ld (%ld login requests)\nheartbeats answered: %ld\n", m_logins, m_loginRequests,
           m_heartbeats);
    printf("client attaches: %ld (%ld without the state replayed)\n", m_attaches, m_attachFailures);
    printf("faults injected: %zu\n", m_faults.size());
    std::vector<std::string> missed;
    std::vector<double> recoveries;
    long ending = 0;
    for (int k = 0; k < static_cast<int>(FaultKind::kCount); ++k) {
        std::vector<double> times;
        long count = 0, ok = 0;
        for (const FaultOutcome& f : m_faults) {
            if (static_cast<int>(f.kind) != k) continue;
            ++count;
            if (f.ok) {
                ++ok;
                times.push_back(f.outcomeSeconds);
            } else {
                missed.push_back(std::string(FaultName(f.kind)) + ": " + f.detail);
            }
        }
        Spread s = Of(times);
        printf("  %-14s %4ld injected, %4ld as expected, outcome after median %6.2f s, max %6.2f s\n",
               FaultName(static_cast<FaultKind>(k)), count, ok, s.median, s.max);
    }
    for (const FaultOutcome& f : m_faults) {
        if (!f.endedSession) continue;
        ++ending;
        if (f.recovered)
            recoveries.push_back(f.recoverySeconds);
        else
            missed.push_back(std::string(FaultName(f.kind)) + ": no recovery after " + f.detail);
    }
    Spread r = Of(recoveries);
    printf("recoveries: %zu of %ld ended sessions, time to connected again median %.2f s, max %.2f s\n",
           recoveries.size(), ending, r.median, r.max);
    printf("state messages: %ld, not in the catalogue: %zu, session ends without a fault: %zu\n",
           m_stateMessages, m_uncatalogued.size(), m_unprovoked.size());
    for (const auto& m : m_uncatalogued) missed.push_back("not catalogued: " + m);
    for (const auto& m : m_unprovoked) missed.push_back("session ended without a fault: " + m);

    printf("growth, floor of the first and the last %.0f s:\n", m_windowSeconds);
    PrintGrowth("service", m_service, missed);
    PrintGrowth("module helper", m_helper, missed);
    if (m_attachFailures > 0) missed.push_back("a client attached without the state replayed");
    if (m_interrupted) missed.push_back("interrupted");

    if (missed.empty()) {
        printf(
            "verdict: PASS (every fault ended as expected within its limit; RSS growth <= 1 MiB, no "
            "descriptor or thread growth)\n");
        return true;
    }
    printf("verdict: FAIL\n");
    for (const auto& m : missed) printf("  - %s\n", m.c_str());
    return false;
}
