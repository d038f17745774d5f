#include <gtest/gtest.h>
#include <sys/stat.h>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "NetWatch.h"
#include "TempDir.h"

namespace {

using std::chrono::milliseconds;

// ping played by a script: it records each run; "up" in its directory
// makes it answer, "denied" makes it complain the way ping does without
// the right to open its socket.
class NetWatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_ping = m_dir / "ping";
        std::ofstream(m_ping) << "#!/bin/sh\necho \"$@\" >>'" << (m_dir / "runs") << "'\n"
                              << "[ -e '" << (m_dir / "denied")
                              << "' ] && { echo 'ping: socket: Operation not "
                              << "permitted' >&2; exit 2; }\n[ -e '" << (m_dir / "up")
                              << "' ] && exit 0\nexit 1\n";
        chmod(m_ping.c_str(), 0755);
    }

    std::unique_ptr<CNetWatch> Watch(const std::string& program) {
        CNetWatch::Options options;
        options.address = "192.0.2.1";
        options.interval = milliseconds(300);
        options.retry = milliseconds(20);
        options.program = program;
        return std::make_unique<CNetWatch>(options, [this] {
            std::lock_guard<std::mutex> guard(m_lock);
            ++m_losses;
            m_changed.notify_all();
        });
    }
    // Waits (bounded) until the script ran at least count times.
    size_t WaitRuns(size_t count) {
        size_t runs = 0;
        for (int i = 0; i < 250 && (runs = Runs()) < count; ++i)
            std::this_thread::sleep_for(milliseconds(20));
        return runs;
    }
    size_t Runs() {
        std::ifstream in(m_dir / "runs");
        std::stringstream text;
        text << in.rdbuf();
        std::string s = text.str();
        return static_cast<size_t>(std::count(s.begin(), s.end(), '\n'));
    }
    int Losses() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_losses;
    }
    void Touch(const char* name) { std::ofstream(m_dir / name) << ""; }

    TempDir m_dir;
    std::string m_ping;
    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_losses = 0;
};

TEST_F(NetWatchTest, ReportsEachLossOnceAndPacesItsTests) {
    auto watch = Watch(m_ping);
    watch->Start();
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(Runs(), 0u) << "tests only while on";
    auto on = std::chrono::steady_clock::now();
    watch->SetOn(true);
    // Three periods of failures: a test and its repeat each, one notice.
    EXPECT_GE(WaitRuns(6), 6u);
    EXPECT_GE(std::chrono::steady_clock::now() - on, milliseconds(600)) << "two pauses between the periods";
    EXPECT_EQ(Losses(), 1);
    Touch("up");
    size_t before = WaitRuns(Runs() + 2);
    std::remove((m_dir / "up").c_str());
    WaitRuns(before + 2);
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait_for(lock, milliseconds(5000), [this] { return m_losses == 2; });
    }
    EXPECT_EQ(Losses(), 2) << "a new loss after the network was back";
    watch->SetOn(false);
    size_t off = WaitRuns(0);
    std::this_thread::sleep_for(milliseconds(700));
    EXPECT_LE(Runs(), off + 2) << "at most the test under way ends after switching off";
    std::ifstream in(m_dir / "runs");
    std::string args;
    std::getline(in, args);
    EXPECT_EQ(args, "-c 1 -W 1 192.0.2.1");
}

TEST_F(NetWatchTest, PingThatCannotRunIsNoLoss) {
    Touch("denied");
    for (const std::string& program : {m_ping, std::string("/nonexistent/ping")}) {
        SCOPED_TRACE(program);
        EXPECT_EQ(CNetWatch::Ping(program, "192.0.2.1"), CNetWatch::Probe::Unavailable);
        auto watch = Watch(program);
        watch->Start();
        watch->SetOn(true);
        std::this_thread::sleep_for(milliseconds(400));
        watch.reset();
        EXPECT_EQ(Losses(), 0);
    }
}

}  // namespace
