// Single-instance check of the client and the pipe thread's life without a
// service: a bounded connect gives up, Stop ends an endless one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <thread>

#include "ClientManager.h"
#include "ClientStartup.h"
#include "InfoCenter.h"
#include "NamedSleeper.h"
#include "TempDir.h"

namespace {

pid_t DeadPid() {
    pid_t pid = fork();
    if (pid == 0) _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

bool Exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

TEST(ClientStartupTest, OnlyALiveClientKeepsAnotherFromStarting) {
    TempDir dir;
    NamedSleeper client(dir, "VelnorClient");
    NamedSleeper stranger(dir, "somebody");
    NamedSleeper ended(dir, "VelnorClient");
    ended.KillWithoutReaping();
    const std::string mine = std::to_string(getpid()) + "\n", live = std::to_string(client.Pid());
    struct Case {
        std::string recorded;
        bool starts;
    } cases[] = {
        {"", true},
        {std::to_string(DeadPid()), true},
        // After a reboot the number may belong to anything.
        {std::to_string(stranger.Pid()), true},
        {std::to_string(ended.Pid()), true},
        {"junk", true},
        {live, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.recorded);
        std::string file = dir / "client.xml";
        std::ofstream(file, std::ios::trunc)
            << "<client><ClientPID>" << c.recorded << "</ClientPID></client>";
        CInfoCenter info(CInfoCenter::Flavor::Client, file.c_str());
        testing::internal::CaptureStdout();
        EXPECT_EQ(StartSingleClient(&info), c.starts);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.starts ? "" : "Client Process had start!\n");
        CInfoCenter reread(CInfoCenter::Flavor::Client, file.c_str());
        EXPECT_EQ(std::string(reread.GetLocalValue("ClientPID")), c.starts ? mine : c.recorded);
    }
    // Without a settings file the client runs, but nothing records it.
    CInfoCenter none(CInfoCenter::Flavor::Client, (dir / "conf/client.xml").c_str());
    EXPECT_TRUE(StartSingleClient(&none));
    EXPECT_FALSE(Exists(dir / "conf/client.xml"));
}

TEST(ClientStartupTest, PipeThreadWithoutServiceEndsAndCleansUp) {
    TempDir dir;
    CInfoCenter info(CInfoCenter::Flavor::Client, nullptr);
    CClientManager manager(&info);
    const std::string ownPipe = dir / "velnorclientpipe";

    CNetModule bounded(&manager, dir.Path());
    testing::internal::CaptureStdout();
    EXPECT_EQ(bounded.Run(1), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "open client pipe failed ret = -1\n");
    EXPECT_FALSE(Exists(ownPipe));
    manager.Logout();  // the endpoint is gone: dropped

    CNetModule endless(&manager, dir.Path());
    int result = 0;
    testing::internal::CaptureStdout();
    std::thread pipeThread([&] { result = endless.Run(); });
    for (int i = 0; i < 500 && !Exists(ownPipe); ++i) usleep(10000);
    endless.Stop();
    pipeThread.join();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(Exists(ownPipe));

    CNetModule early(&manager, dir.Path());
    early.Stop();
    EXPECT_EQ(early.Run(), -1);
}
