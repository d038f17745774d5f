#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "ChildProcess.h"
#include "FakeClient.h"
#include "InstallDir.h"
#include "TempDir.h"

using namespace std::chrono_literals;

namespace {

// Text of one element of conf/conf.xml ("" when absent).
std::string ConfValue(const InstallDir& install, const std::string& key) {
    std::string text = install.ReadFile("conf/conf.xml");
    size_t open = text.find("<" + key + ">");
    if (open == std::string::npos) return "";
    open += key.size() + 2;
    size_t close = text.find("</" + key + ">", open);
    return close == std::string::npos ? "" : text.substr(open, close - open);
}

// Waits (bounded) for a condition the service makes true on disk.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

class ServiceStartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallDir::Options options;
        // Never contacted: no test here asks for a network check.
        options.redirect = "http://127.0.0.1:9/";
        std::string error;
        ASSERT_TRUE(m_install.Prepare(options, &error)) << error;
    }

    void StartService(ChildProcess& service, bool removeStaleFifo = true) {
        // A killed service leaves its FIFO behind; its return marks the next start.
        if (removeStaleFifo) unlink(m_install.File("velnorsvrpipe").c_str());
        ChildProcess::Options options;
        options.argv = {m_install.File("VelnorSvr")};
        options.cwd = m_install.Path();
        options.outputFile = m_install.File("service.out");
        std::string error;
        ASSERT_TRUE(service.Start(options, &error)) << error;
    }

    // The service's own FIFO is the last thing start-up creates; by then the
    // PID, the client id and the log are in place.
    void ExpectRecordedPid(ChildProcess& service) {
        struct stat info;
        EXPECT_TRUE(WaitUntil([&] { return lstat(m_install.File("velnorsvrpipe").c_str(), &info) == 0; }));
        EXPECT_EQ(ConfValue(m_install, "PID"), std::to_string(service.Pid()) + "\n")
            << m_install.ReadFile("conf/conf.xml");
    }

    TempDir m_dir;
    InstallDir m_install{m_dir.Path()};
};

}  // namespace

TEST_F(ServiceStartupTest, FirstStartRecordsItselfAndTheNextKeepsTheClientId) {
    std::string clientId;
    {
        ChildProcess first;
        StartService(first);
        ExpectRecordedPid(first);
        clientId = ConfValue(m_install, "clientId");
        EXPECT_EQ(clientId.size(), 36u);
        first.Stop(2s);
    }
    ChildProcess again;
    StartService(again);
    ExpectRecordedPid(again);
    EXPECT_EQ(ConfValue(m_install, "clientId"), clientId);
}

// Started together, exactly one runs; the other says why and ends with 255.
TEST_F(ServiceStartupTest, TwoStartsAtOnceLeaveExactlyOneRunning) {
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        unlink(m_install.File("velnorsvrpipe").c_str());
        ChildProcess services[2];
        for (int i = 0; i < 2; ++i) {
            ChildProcess::Options options;
            options.argv = {m_install.File("VelnorSvr")};
            options.cwd = m_install.Path();
            options.outputFile = m_install.File("service" + std::to_string(i) + ".out");
            std::string error;
            ASSERT_TRUE(services[i].Start(options, &error)) << error;
        }
        int ended = -1, status = 0;
        for (int tries = 0; tries < 400 && ended < 0; ++tries)
            if (services[tries % 2].WaitExit(25ms, &status)) ended = tries % 2;
        ASSERT_GE(ended, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 255);
        EXPECT_NE(m_install.ReadFile("service" + std::to_string(ended) + ".out").find("another VelnorSvr"),
                  std::string::npos);
        EXPECT_TRUE(services[1 - ended].IsRunning());
        ExpectRecordedPid(services[1 - ended]);
        for (ChildProcess& service : services) service.Stop(5s);
    }
}

// A directory at the FIFO's name: a clear message and status 4, not an idle
// service. Leftovers of a killed settings save go at start.
TEST_F(ServiceStartupTest, BlockedFifoPathEndsAtOnceAndSaveLeftoversAreRemoved) {
    const std::string leftover = m_install.File("conf/.conf.xml.Ab12Cd"),
                      foreign = m_install.File("conf/.conf.xml.keep");
    for (const std::string& path : {leftover, foreign}) std::ofstream(path) << "x";
    ASSERT_EQ(mkdir(m_install.File("velnorsvrpipe").c_str(), 0700), 0);
    ChildProcess blocked;
    StartService(blocked, false);
    int status = 0;
    ASSERT_TRUE(blocked.WaitExit(10s, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 4);
    EXPECT_NE(m_install.ReadFile("service.out").find("cannot make the pipe"), std::string::npos);
    EXPECT_NE(access(leftover.c_str(), F_OK), 0);
    EXPECT_EQ(access(foreign.c_str(), F_OK), 0);

    rmdir(m_install.File("velnorsvrpipe").c_str());
    ChildProcess service;
    StartService(service);
    ExpectRecordedPid(service);  // the failed start held nothing back
    service.Stop(5s);
}
