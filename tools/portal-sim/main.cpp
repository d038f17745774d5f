// portal-sim: runs the simulated portal until SIGTERM or SIGINT.
//   portal-sim --scenario FILE [--listen ADDR]... [--module SO] [--netns NAME]
//              [--control ADDR] [--ready-file FILE]
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "PortalSim.h"

namespace {
int Usage() {
    std::fprintf(stderr,
                 "usage: portal-sim --scenario FILE [--listen ADDR]... [--module SO] [--netns NAME]\n"
                 "                  [--control ADDR] [--ready-file FILE]\n");
    return 2;
}

bool WriteReadyFile(const std::string& path, const std::string& json) {
    // Written whole under another name first, so a reader never sees half of it.
    std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << json << "\n";
        if (!out) return false;
    }
    return std::rename(temp.c_str(), path.c_str()) == 0;
}
}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    std::string scenarioPath, readyFile;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (i + 1 >= argc) return Usage();
        std::string value = argv[++i];
        if (arg == "--scenario") {
            scenarioPath = value;
        } else if (arg == "--listen") {
            options.listen.push_back(value);
        } else if (arg == "--module") {
            options.module = value;
        } else if (arg == "--netns") {
            options.netns = value;
        } else if (arg == "--control") {
            options.controlHost = value;
        } else if (arg == "--ready-file") {
            readyFile = value;
        } else {
            return Usage();
        }
    }
    if (scenarioPath.empty()) return Usage();
    std::ifstream in(scenarioPath);
    if (!in) {
        std::fprintf(stderr, "portal-sim: cannot read %s\n", scenarioPath.c_str());
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    options.scenarioJson = text.str();

    // Signals are taken by sigwait below; block them before any thread starts.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    CPortalSim sim(options);
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "portal-sim: %s\n", error.c_str());
        return 1;
    }
    std::string ready = sim.ReadyJson();
    if (!readyFile.empty() && !WriteReadyFile(readyFile, ready)) {
        std::fprintf(stderr, "portal-sim: cannot write %s\n", readyFile.c_str());
        return 1;
    }
    // The same record on standard output, after the file: a reader of either sees a complete one.
    std::printf("%s\n", ready.c_str());
    std::fflush(stdout);
    int received = 0;
    sigwait(&signals, &received);
    sim.Stop();
    return 0;
}
