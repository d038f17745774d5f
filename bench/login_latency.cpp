// Login latency and idle wake-ups of VelnorSvr against the portal simulator
// on 127.0.0.1, which answers at once.
//
//   bench_login_latency [logins] [idle seconds]   (defaults 20 and 10)
//
// Latency: from writing "PortalConnect" to the FIFO until the connected
// state message arrives; the median over the logins. Floor: the same login
// request built, encoded and checksummed in this process and posted by
// libcurl straight to the simulator, its answer decoded; the ratio of the
// two medians is what the service's own path costs. Wake-ups: context
// switches of all the service's threads per second while it is logged in
// and idle between heartbeats (the heartbeat period is far longer than the
// window), from /proc/<pid>/task/*/status.
#include <curl/curl.h>
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

#include "AuthConfig.h"
#include "BenchProcess.h"
#include "PortalParser.h"
#include "UniqueFd.h"

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
        m_read.Reset(open((dir + "/velnorsvrpipe").c_str(), O_RDONLY));
        m_write.Reset(open(own.c_str(), O_WRONLY));
        return m_read.IsValid() && m_write.IsValid();
    }
    bool Send(const std::string& opc, const std::string& p) {
        std::string text = "<M><OpS>client</OpS><OpT>Portal</OpT><OpC>" + opc + "</OpC><P>" + p + "</P></M>";
        text.push_back('\0');
        return write(m_write.Get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
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
            ssize_t n = read(m_read.Get(), chunk, sizeof(chunk));
            if (n <= 0) return false;
            m_buffer.append(chunk, static_cast<size_t>(n));
        }
    }

private:
    CUniqueFd m_read;
    CUniqueFd m_write;
    std::string m_buffer;
};

size_t Append(char* data, size_t size, size_t count, void* text) {
    static_cast<std::string*>(text)->append(data, size * count);
    return size * count;
}

// One POST by a fresh libcurl handle, as the service makes it: the header
// block, the body, no redirects. "" when the transfer failed.
std::string Post(const std::string& url, const std::string& head, const std::string& body,
                 std::string& respHead) {
    CURL* curl = curl_easy_init();
    if (!curl) return "";
    curl_slist* headers = nullptr;
    for (size_t at = 0; at < head.size();) {
        size_t end = head.find("\r\n", at);
        if (end == std::string::npos) end = head.size();
        headers = curl_slist_append(headers, head.substr(at, end - at).c_str());
        at = end + 2;
    }
    std::string answer;
    respHead.clear();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, Append);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &respHead);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 15000L);
    CURLcode rc = curl_easy_perform(curl);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return rc == CURLE_OK ? answer : "";
}

// The floor: logins of a session of our own, straight to the simulator.
class Floor {
public:
    bool Start(const std::string& zxm, const std::string& portal) {
        m_portal = portal;
        m_parser.Init(zxm.c_str());
        m_conf.strUserAgent = "VXRA/Linux64/1.0.0";
        m_conf.strClientId = "bench-floor-client";
        m_conf.schoolId = "S0001", m_conf.domain = "campus", m_conf.area = "north";
        std::string respHead;
        CAutoString body =
            m_parser.MakeTickRequestData("bench", m_conf.strUserAgent, m_conf.strClientId, "127.0.0.1", "",
                                         "02:00:00:00:00:01", "2026-01-01 00:00:00", "Linux");
        std::string answer =
            Post(portal + "/ticket", m_parser.GetRequestHead(m_conf, body).c_str(), body.c_str(), respHead);
        int expire = 0;
        return m_parser.ParserTickResponse(answer.c_str(), m_conf.strTicket, expire) == 0 &&
               !m_conf.strTicket.IsEmpty();
    }
    // One login in ms, or -1 when refused.
    double Login() {
        auto start = Clock::now();
        CAutoString login = m_parser.MakeAuthRequestData(m_conf.strUserAgent, m_conf.strClientId, "bench",
                                                         "pw", m_conf.strTicket, "2026-01-01 00:00:00");
        std::string respHead;
        std::string answer =
            Post(m_portal + "/auth", m_parser.GetRequestHead(m_conf, login).c_str(), login.c_str(), respHead);
        CAutoString account("bench"), keepUrl(""), termUrl(""), userConfig(""), domainConfig("");
        int retry = 0;
        bool ok = respHead.find("Error-Code: 0\r\n") != std::string::npos &&
                  m_parser.ParserAuthResponse(answer.c_str(), account, retry, keepUrl, termUrl, userConfig,
                                              domainConfig) == 0;
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        return ok ? ms : -1;
    }

private:
    std::string m_portal;
    CPortalParser m_parser;
    CAuthConfig m_conf;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int logins = CountArg(argc, argv, 1, 20);
    int idleSeconds = CountArg(argc, argv, 2, 10);
    std::string work = MakeWorkDir("velnor-bench");
    if (work.empty()) return 1;
    std::string install = work + "/velnor";
    for (const char* program : {"VelnorSvr", "VelnorAlgoHost"})
        fs::copy_file(kBin + "/" + program, install + "/" + program);
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
        Floor floor;
        if (!floor.Start(install + "/zxmAlogic.zxm", JsonField(ReadAll(work + "/sim.ready"), "portal"))) {
            fprintf(stderr, "the floor got no ticket\n");
            break;
        }
        // Service and floor logins alternate, so both see the same machine.
        std::vector<double> latencies, floors;
        bool ok = true;
        for (int i = 0; i < logins && ok; ++i) {
            // As a user would, log in after the state query that follows
            // the ticket (due at once, run within the timer's half second).
            // The floor goes first, while the service is idle.
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            floors.push_back(floor.Login());
            auto start = Clock::now();
            ok = floors.back() > 0 &&
                 pipes.Send("PortalConnect", "<user>bench</user><password>pw</password>") &&
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
        double median = Median(latencies), floorMedian = Median(floors);
        printf(
            "login latency (PortalConnect -> connected), %zu logins: median %.2f ms, min %.2f ms, max %.2f "
            "ms\n",
            latencies.size(), median, *std::min_element(latencies.begin(), latencies.end()),
            *std::max_element(latencies.begin(), latencies.end()));
        double fastest = *std::min_element(latencies.begin(), latencies.end());
        double floorFastest = *std::min_element(floors.begin(), floors.end());
        // On a busy machine the minimums are the least disturbed pair.
        printf(
            "floor (the login request by libcurl straight to the simulator): median %.2f ms, min %.2f ms\n"
            "ratio to the floor: %.2f (medians), %.2f (minimums)\n",
            floorMedian, floorFastest, median / floorMedian, fastest / floorFastest);

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
