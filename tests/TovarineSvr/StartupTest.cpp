#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <string>

#include "HostFiles.h"
#include "InfoCenter.h"
#include "NamedSleeper.h"
#include "Startup.h"

TEST(StartupTest, OnlyALiveVelnorSvrCountsAsRunning) {
    TempDir dir;
    NamedSleeper service(dir, "VelnorSvr");
    NamedSleeper stranger(dir, "somebody");
    EXPECT_TRUE(IsServiceAlive(std::to_string(service.Pid()).c_str()));
    EXPECT_TRUE(IsServiceAlive((std::to_string(service.Pid()) + "\n").c_str()));
    EXPECT_FALSE(IsServiceAlive(std::to_string(stranger.Pid()).c_str()));
    for (const char* junk : {"", "abc", "0", "1", "-5", "12abc", "99999999999", " "})
        EXPECT_FALSE(IsServiceAlive(junk)) << junk;
    EXPECT_FALSE(IsServiceAlive(std::to_string(getpid()).c_str()));
    // Ended but not yet reaped: gone.
    service.KillWithoutReaping();
    EXPECT_FALSE(IsServiceAlive(std::to_string(service.Pid()).c_str()));
}

TEST(StartupTest, TheLockDecidesAndThePidIsRecorded) {
    TempDir dir;
    std::string file = dir / "conf.xml", lockPath = dir / "VelnorSvr.lock";
    const std::string mine = std::to_string(getpid()) + "\n";
    NamedSleeper service(dir, "VelnorSvr");
    // A recorded PID of a live service does not count while the lock is free.
    for (std::string pid : {std::string("abc"), std::to_string(service.Pid())}) {
        std::ofstream(file) << "<conf><PID>" << pid << "</PID><version>1.0.0</version></conf>";
        CInfoCenter store(CInfoCenter::Flavor::Service, file.c_str());
        CUniqueFd lock, second;
        EXPECT_TRUE(StartSingle(&store, lockPath.c_str(), lock)) << pid;
        EXPECT_TRUE(lock.IsValid());
        EXPECT_FALSE(StartSingle(&store, lockPath.c_str(), second)) << pid;  // held by the first
        CInfoCenter reloaded(CInfoCenter::Flavor::Service, file.c_str());
        EXPECT_EQ(std::string(reloaded.GetLocalValue("PID")), mine) << pid;
        EXPECT_STREQ(reloaded.GetLocalValue("version"), "1.0.0");
    }
    // Without a usable lock file the recorded PID decides.
    CInfoCenter store(CInfoCenter::Flavor::Service, file.c_str());
    store.SetLocalValue("PID", std::to_string(service.Pid()).c_str());
    CUniqueFd lock;
    EXPECT_FALSE(StartSingle(&store, (dir / "no/such/dir/lock").c_str(), lock));
}

TEST(StartupTest, WipeArgumentClearsEveryByte) {
    char argument[] = "s3cret";
    WipeArgument(argument);
    for (char c : argument) EXPECT_EQ(c, '\0');
}
