// Login latency and idle wake-ups of VelnorSvr against the portal simulator
// on 127.0.0.1, which answers at once.
//
//   bench_login_latency [logins] [idle seconds]   (defaults 20 and 10)
//
// Latency: from writing "PortalConnect" to the FIFO until the connected
// state message arrives; the median over the logins. Wake-ups: context
// switches of all the service's threads per second while it is logged in
// and idle between heartbeats (the heartbeat period is far longer than the
// window), from /proc/<pid>/task/*/status.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchProcess.h"

namespace {

using namespace bench;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
const std::string kBin = VELNOR_BIN_DIR;

// The desktop client's end of the two FIFOs.
class Pipes {
public:
    bool Open(const std::string& dir) {
        std::string own = dir + "/velnorclientpipe";
        mkfifo(own.c_str(), 0600);
        if (!WaitForFile(dir + "/velnorsvrpipe")) return false;
        m_read = open((dir + "/velnorsvrpipe").c_str(), O_RDONLY);
        m_write = open(own.c_str(), O_WRONLY);
        return m_read >= 0 && m_write >= 0;
    }
    ~Pipes() {
        if (m_read >= 0) close(m_read);
        if (m_write >= 0) close(m_write);
    }
    bool Send(const std::string& opc, const std::string& p) {
        std::string text = "<M><OpS>client</OpS><OpT>Portal</OpT><OpC>" + opc + "</OpC><P>" + p + "</P></M>";
        text.push_back('\0');
        return write(m_write, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }
    // Reads messages until a state message with this new state; false at
    // the end of the pipe.
    bool WaitState(int state) {
        std::string want = "<newState>" + std::to_string(state) + "</newState>";
        for (;;) {
            size_t end;
            while ((end = m_buffer.find('\0')) != std::string::npos) {
                std::string message = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 1);
                if (message.find("NetStateMessageResp") != std::string::npos &&
                    message.find(want) != std::string::npos)
                    return true;
            }
            char chunk[4096];
            ssize_t n = read(m_read, chunk, sizeof(chunk));
            if (n <= 0) return false;
            m_buffer.append(chunk, static_cast<size_t>(n));
        }
    }

private:
    int m_read = -1;
    int m_write = -1;
    std::string m_buffer;
};

}  // namespace

int main(int argc, char** argv) {
    int logins = CountArg(argc, argv, 1, 20);
    int idleSeconds = CountArg(argc, argv, 2, 10);
    std::string work = MakeWorkDir("velnor-bench");
    if (work.empty()) return 1;
    std::string install = work + "/velnor";
    fs::copy_file(kBin + "/VelnorSvr", install + "/VelnorSvr");
    fs::copy_file(kBin + "/zxmAlogic.zxm", install + "/zxmAlogic.zxm");
    std::ofstream(work + "/scenario.json")
        << "{\"module\":{\"zxm\":\"" << install << "/zxmAlogic.zxm\"},\"accounts\":{\"bench\":\"pw\"},"
        << "\"answers\":{\"interval\":600}}";

    pid_t sim = SpawnSim(kBin, work);
    pid_t service = -1;
    int status = 1;
    do {
        if (!WaitForFile(work + "/sim.ready")) {
            fprintf(stderr, "the simulator did not start\n");
            break;
        }
        std::ofstream(install + "/conf/conf.xml")
            << "<conf><version>1.0.0</version><redirect>" << JsonField(ReadAll(work + "/sim.ready"), "probe")
            << "</redirect></conf>\n";
        service = Spawn({"./VelnorSvr"}, install, work + "/service.out");
        Pipes pipes;
        if (!pipes.Open(install) || !pipes.Send("ClientStart", "") || !pipes.Send("CheckEnv", "") ||
            !pipes.WaitState(31)) {
            fprintf(stderr, "the service did not get ready\n");
            break;
        }
        std::vector<double> latencies;
        bool ok = true;
        for (int i = 0; i < logins && ok; ++i) {
            auto start = Clock::now();
            ok = pipes.Send("PortalConnect", "<user>bench</user><password>pw</password>") &&
                 pipes.WaitState(2);
            latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            if (!ok || i + 1 == logins) break;
            ok = pipes.Send("PortalDisConnect", "<src>2</src>") && pipes.WaitState(12) &&
                 pipes.Send("CheckEnv", "") && pipes.WaitState(31);
        }
        if (!ok) {
            fprintf(stderr, "a login round failed\n");
            break;
        }
        std::sort(latencies.begin(), latencies.end());
        printf(
            "login latency (PortalConnect -> connected), %zu logins: median %.2f ms, min %.2f ms, max %.2f "
            "ms\n",
            latencies.size(), latencies[latencies.size() / 2], latencies.front(), latencies.back());

        // Past the first heartbeat, then a quiet window.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        long before = ContextSwitches(service);
        std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
        long after = ContextSwitches(service);
        printf("idle wake-ups while logged in: %.2f per second (%ld context switches in %d s, all threads)\n",
               static_cast<double>(after - before) / idleSeconds, after - before, idleSeconds);
        status = 0;
    } while (false);
    Stop(service);
    Stop(sim);
    fs::remove_all(work);
    return status;
}
