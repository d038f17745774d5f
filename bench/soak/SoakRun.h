// SoakRun: one long run of the service against the portal simulator. It
// builds a network namespace, starts the simulator inside it and VelnorSvr
// from a fresh installation folder, logs in through a fake desktop client and
// then, until the time is up, alternates quiet spells of heartbeats with a
// client detached and attached again or a fault switched on at the
// heartbeat, the ticket, the login or the logout (the kind drawn from a
// seeded generator). Each fault must end in its
// expected outcome within its limit; the run then lets the session recover as
// the desktop client would. Everything it starts is stopped and removed when
// the object goes, also after an interruption (Stop from a signal handler).
// One thread runs it.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>

#include "ChildProcess.h"
#include "FakeClient.h"
#include "InstallDir.h"
#include "NetNamespace.h"
#include "PortalSimProcess.h"
#include "ProcSampler.h"
#include "SimControl.h"
#include "SoakReport.h"

struct FaultPlan;

class SoakRun {
public:
    using Clock = std::chrono::steady_clock;
    struct Options {
        double minutes = 10;
        unsigned long long seed = 1;
        std::string workDir;  // an empty folder of the caller's
    };

    explicit SoakRun(Options options);
    ~SoakRun();

    // Sets up, runs the rounds and fills the report; false with a reason
    // when the run could not start.
    bool Run(SoakReport& report, std::string* error);
    // Async-signal-safe: the run ends at its next check.
    static void Stop() { s_stop = true; }

private:
    bool SetUp(std::string* error);
    bool PackSecondModule(std::string* error);
    bool Attach(bool firstStart);
    void Detach();
    void DetachAndAttach(SoakReport& report);
    FaultOutcome Inject(FaultKind kind);
    // Logs out as the user does, arms the fault and plays the client back to
    // connected; the outcome is the first failure on the way.
    void InjectAtRelogin(const FaultPlan& plan, FaultOutcome& outcome);
    static void Judge(const FaultPlan& plan, const Envelope& e, FaultOutcome& outcome);
    bool WaitSessionKept(FaultKind kind, FaultOutcome& outcome);
    // The first failure state message met on the way back, and when.
    struct FirstFailure {
        std::optional<Envelope> message;
        double afterSeconds = 0;
    };
    // Plays the desktop client until connected again; seconds taken, or -1.
    double Recover(std::chrono::seconds limit, FirstFailure* failure = nullptr);
    // Waits in short slices so that a stop is noticed; nothing when the
    // time ran out, the client's pipe ended or the run was stopped.
    std::optional<Envelope> WaitState(const std::function<bool(const Envelope&)>& match,
                                      std::chrono::milliseconds limit);
    void Quiet(std::chrono::milliseconds spell, SoakReport& report);
    void Drain();
    // Checks the state messages received since the last call against the catalogue.
    void Audit(SoakReport& report);
    long LatestHeartbeatSeq();
    bool Stopped() const { return s_stop || Clock::now() >= m_end; }

    static std::atomic<bool> s_stop;

    Options m_options;
    std::mt19937_64 m_random;
    Clock::time_point m_end;
    std::set<std::string> m_catalogue;
    std::string m_garbageFile, m_moduleA, m_moduleB, m_algoA, m_algoB, m_algoInUse;
    long m_heartbeatSeq = 0;
    size_t m_audited = 0;

    // Destroyed in reverse: the client, the service, the simulator, the namespace.
    NetNamespace m_ns;
    std::unique_ptr<PortalSimProcess> m_sim;
    std::unique_ptr<SimControl> m_control;
    std::unique_ptr<InstallDir> m_install;
    ChildProcess m_service;
    std::unique_ptr<ProcSampler> m_sampler, m_helperSampler;
    std::unique_ptr<FakeClient> m_client;
};
