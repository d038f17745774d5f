// Start-up of VelnorClient on a headless display against the portal
// simulator on 127.0.0.1, which answers at once, and the client's idle
// wake-ups.
//
//   bench_client_start [starts] [idle seconds]   (defaults 5 and 10)
//
// Start: from starting VelnorClient until its trace shows the login panel,
// the median over the starts. The service paces its preparation on purpose
// (500 ms after each progress message); that part is printed beside the
// total, counted from the progress texts the window showed. Wake-ups:
// context switches of all the client's threads per second while it idles
// on the login panel (the network watch is off until a login).
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchProcess.h"

namespace {

using namespace bench;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
const std::string kBin = VELNOR_BIN_DIR;
constexpr double kPacingMs = 500;

struct Start {
    double totalMs = -1;
    int progressTexts = 0;
};

// Waits (bounded) for "STATE panel=login" in the trace.
Start WaitLoginPanel(const std::string& trace, Clock::time_point started) {
    Start result;
    for (int i = 0; i < 3000; ++i) {
        std::string text = ReadAll(trace);
        if (text.find("STATE panel=login\n") != std::string::npos) {
            result.totalMs = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
            // Progress texts: status lines other than the first and the launcher's.
            size_t at = 0;
            while ((at = text.find("STATE init_text=", at)) != std::string::npos) {
                at += 16;
                if (text.compare(at, 12, "server start") != 0 && text.compare(at, 6, "正在初始化") != 0)
                    ++result.progressTexts;
            }
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return result;
}

pid_t RecordedPid(const std::string& confFile) {
    std::string text = ReadAll(confFile);
    size_t at = text.find("<PID>");
    return at == std::string::npos ? -1 : static_cast<pid_t>(atol(text.c_str() + at + 5));
}

}  // namespace

int main(int argc, char** argv) {
    int starts = CountArg(argc, argv, 1, 5);
    int idleSeconds = CountArg(argc, argv, 2, 10);
    std::string work = MakeWorkDir("velnor-bench-client"), install = work + "/velnor";
    if (work.empty()) return 1;
    for (const char* file : {"VelnorSvr", "VelnorAlgoHost", "VelnorClient", "zxmAlogic.zxm"})
        fs::copy_file(kBin + "/" + file, install + "/" + file);
    fs::copy(VELNOR_SOURCE_DIR "/assets/image", install + "/image");
    fs::copy_file(VELNOR_SOURCE_DIR "/assets/conf/code.xml", install + "/conf/code.xml");
    std::ofstream(work + "/scenario.json")
        << "{\"module\":{\"zxm\":\"" << install << "/zxmAlogic.zxm\"},\"answers\":{\"interval\":600}}";

    pid_t xvfb = Spawn({"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "640x520x24", "-nolisten", "tcp"},
                       work, work + "/xvfb.out");
    pid_t sim = SpawnSim(kBin, work);
    pid_t client = -1;
    int status = 1;
    do {
        std::string display;
        for (int i = 0; i < 200 && display.find('\n') == std::string::npos; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            display = ReadAll(work + "/xvfb.out");
        }
        if (display.empty() || !WaitForFile(work + "/sim.ready")) {
            fprintf(stderr, "Xvfb or the simulator did not start\n");
            break;
        }
        setenv("DISPLAY", (":" + display.substr(0, display.find('\n'))).c_str(), 1);
        std::ofstream(install + "/conf/conf.xml")
            << "<conf><version>1.0.0</version><redirect>" << JsonField(ReadAll(work + "/sim.ready"), "probe")
            << "</redirect></conf>\n";
        std::vector<Start> runs;
        for (int i = 0; i < starts; ++i) {
            if (client > 0) Stop(client);
            std::ofstream(install + "/conf/client.xml")
                << "<client><pingAddress>127.0.0.1</pingAddress></client>\n";
            std::string trace = work + "/trace" + std::to_string(i);
            setenv("VELNOR_UI_TRACE", trace.c_str(), 1);
            auto started = Clock::now();
            client = Spawn({install + "/VelnorClient"}, install, work + "/client.out");
            runs.push_back(WaitLoginPanel(trace, started));
            if (runs.back().totalMs < 0) break;
        }
        if (runs.empty() || runs.back().totalMs < 0) {
            fprintf(stderr, "the login panel did not come\n");
            break;
        }
        std::sort(runs.begin(), runs.end(),
                  [](const Start& a, const Start& b) { return a.totalMs < b.totalMs; });
        const Start& median = runs[runs.size() / 2];
        double pacing = median.progressTexts * kPacingMs;
        printf("start to login panel, %zu starts: median %.0f ms (min %.0f, max %.0f)\n", runs.size(),
               median.totalMs, runs.front().totalMs, runs.back().totalMs);
        printf(
            "  of which the preparation's pacing: %d progress texts x %.0f ms = %.0f ms; above it: %.0f ms\n",
            median.progressTexts, kPacingMs, pacing, median.totalMs - pacing);

        std::this_thread::sleep_for(std::chrono::seconds(2));  // the last redraws settle
        long before = ContextSwitches(client);
        std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
        long after = ContextSwitches(client);
        printf("idle on the login panel, watch off: %.2f wake-ups per second over %d s\n",
               double(after - before) / idleSeconds, idleSeconds);
        status = 0;
    } while (false);
    pid_t service = RecordedPid(install + "/conf/conf.xml");
    Stop(client);
    if (service > 0) kill(service, SIGTERM);
    Stop(sim);
    Stop(xvfb);
    fs::remove_all(work);
    return status;
}
