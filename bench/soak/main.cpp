// The soak run: VelnorSvr logged in against the portal simulator for a long
// time, heartbeats every second, faults at the heartbeat, ticket, login and
// logout switched on at random and a fake desktop client attached and
// detached; prints the figures and a verdict, and exits non-zero when a
// target is missed.
//
//   SOAK_MINUTES=N  how long (default 10; fractions allowed)
//   SOAK_SEED=N     the generator's seed (default: drawn and printed)
//   SOAK_KEEP=1     keep the work folder (it is kept anyway when a target is missed)
//
// Needs root (it builds a network namespace); every process it starts is
// stopped and the namespace removed at the end, also after Ctrl-C.
#include <signal.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "SoakRun.h"

namespace {
void OnSignal(int) { SoakRun::Stop(); }
}  // namespace

int main() {
    SoakRun::Options options;
    if (const char* minutes = getenv("SOAK_MINUTES")) options.minutes = strtod(minutes, nullptr);
    if (!(options.minutes > 0)) {
        fprintf(stderr, "SOAK_MINUTES must be a positive number\n");
        return 2;
    }
    const char* seed = getenv("SOAK_SEED");
    options.seed = seed ? strtoull(seed, nullptr, 10) : std::random_device()();
    char pattern[] = "/tmp/velnor-soak.XXXXXX";
    if (!mkdtemp(pattern)) {
        perror("mkdtemp");
        return 2;
    }
    options.workDir = pattern;
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    printf("soak: %.2f minutes, seed %llu, work folder %s\n", options.minutes, options.seed, pattern);
    fflush(stdout);
    SoakReport report;
    std::string error;
    bool passed = false, ran = false;
    {
        SoakRun run(options);
        ran = run.Run(report, &error);
    }  // everything it started is gone here
    if (ran)
        passed = report.Print(options.minutes, options.seed);
    else
        fprintf(stderr, "soak: %s\n", error.c_str());
    const char* keep = getenv("SOAK_KEEP");
    if (passed && !(keep && *keep == '1')) {
        std::error_code ec;
        std::filesystem::remove_all(options.workDir, ec);
    } else {
        printf("work folder kept: %s (the service's log is under velnor/Log)\n", pattern);
    }
    return ran ? (passed ? 0 : 1) : 2;
}
