// Figures for the FIFO transport: the round trip of one envelope between the
// two ends (service sends, client echoes), and how often idle threads of the
// transport wake up.
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PipeService.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRoundTrips = 2000;
constexpr int kWarmUp = 200;
constexpr int kIdleSeconds = 10;

pid_t ThreadId() { return static_cast<pid_t>(syscall(SYS_gettid)); }

class CEcho : public IPipeCallback {
public:
    explicit CEcho(CPipeService& pipe) : m_pipe(pipe) {}
    void DoWorkOnPipe(CAutoString message) override { m_pipe.WritePipe(message); }

private:
    CPipeService& m_pipe;
};

class CArrivals : public IPipeCallback {
public:
    void DoWorkOnPipe(CAutoString) override {
        m_workerTid = ThreadId();
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_count;
        m_cond.notify_one();
    }
    bool WaitFor(long count) {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_cond.wait_for(lock, std::chrono::seconds(5), [&] { return m_count >= count; });
    }
    std::atomic<pid_t> m_workerTid{0};

private:
    std::mutex m_lock;
    std::condition_variable m_cond;
    long m_count = 0;
};

class CIdleEngine : public CMsgEngine {
public:
    ~CIdleEngine() override { StopMsgEngine(); }
    std::atomic<pid_t> m_workerTid{0};

protected:
    void DoMessage(CAutoString) override { m_workerTid = ThreadId(); }
};

long ContextSwitches(pid_t tid) {
    std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
    long total = 0;
    for (std::string line; std::getline(status, line);) {
        if (line.find("ctxt_switches:") != std::string::npos)
            total += atol(line.c_str() + line.find(':') + 1);
    }
    return total;
}

bool WaitNonZero(const std::atomic<pid_t>& tid) {
    for (auto end = Clock::now() + std::chrono::seconds(5); Clock::now() < end;) {
        if (tid) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

}  // namespace

int main() {
    CPipeService::IgnoreSigPipe();
    char dirTemplate[] = "/tmp/velnor-bench-XXXXXX";
    if (!mkdtemp(dirTemplate)) return 1;
    const std::string svrPath = std::string(dirTemplate) + "/velnorsvrpipe";
    const std::string cliPath = std::string(dirTemplate) + "/velnorclientpipe";
    int status = 0;
    {
        CPipeService service, client;
        CArrivals arrivals;
        CEcho echo(client);
        service.CreateNamedPipeInServer(svrPath.c_str(), &arrivals);
        client.CreateNamedPipeInServer(cliPath.c_str(), &echo);
        int serviceOpen = -1;
        std::thread opener([&] { serviceOpen = service.OpenNamePipeServer(cliPath.c_str(), 10); });
        int clientOpen = client.OpenNamePipeClient(svrPath.c_str(), 10);
        opener.join();
        if (serviceOpen != 0 || clientOpen != 0) {
            fprintf(stderr, "pipes did not open: %d %d\n", serviceOpen, clientOpen);
            return 1;
        }
        std::atomic<pid_t> readerTid{0};
        std::thread serviceLoop([&] {
            readerTid = ThreadId();
            service.LoopMsg();
        });
        std::thread clientLoop([&] { client.LoopMsg(); });

        const char* envelope =
            "<M><OpS>NetModule</OpS><OpT>Portal</OpT><OpC>NetStateMessageResp</OpC><P><type>1</"
            "type><oldState>3"
            "</oldState><newState>4</newState><ErrorCode>0</ErrorCode><subErrCode></subErrCode><subType></"
            "subType>"
            "<extern></extern></P></M>";
        std::vector<double> micros;
        for (long i = 1; i <= kWarmUp + kRoundTrips && status == 0; ++i) {
            auto start = Clock::now();
            if (!service.WritePipe(envelope) || !arrivals.WaitFor(i)) status = 1;
            auto end = Clock::now();
            if (i > kWarmUp) micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        }
        if (status == 0) {
            std::sort(micros.begin(), micros.end());
            printf(
                "pipe round trip (%d envelopes of %zu bytes): median %.1f us, p99 %.1f us (target median < "
                "100 us)\n",
                kRoundTrips, strlen(envelope) + 1, micros[micros.size() / 2],
                micros[(micros.size() * 99 + 99) / 100 - 1]);
        } else {
            fprintf(stderr, "round trip failed\n");
        }

        CIdleEngine engine;
        engine.StartMsgEngine();
        engine.AddMessage("tid");
        if (status == 0 && WaitNonZero(engine.m_workerTid) && WaitNonZero(readerTid)) {
            const struct {
                const char* name;
                pid_t tid;
            } threads[] = {{"idle message engine worker", engine.m_workerTid},
                           {"idle pipe reader", readerTid},
                           {"idle pipe engine worker", arrivals.m_workerTid}};
            long before[3];
            for (int i = 0; i < 3; ++i) before[i] = ContextSwitches(threads[i].tid);
            std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
            for (int i = 0; i < 3; ++i) {
                printf("%s: %.2f wake-ups/s over %d s (target < 1/s)\n", threads[i].name,
                       double(ContextSwitches(threads[i].tid) - before[i]) / kIdleSeconds, kIdleSeconds);
            }
        }
        service.SetAbort(true);
        client.SetAbort(true);
        serviceLoop.join();
        clientLoop.join();
    }
    rmdir(dirTemplate);
    return status;
}
