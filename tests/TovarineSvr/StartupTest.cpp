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

TEST(StartupTest, JunkOrMissingPidIsWrittenAndLiveServiceRefuses) {
    TempDir dir;
    std::string file = dir / "conf.xml";
    const std::string mine = std::to_string(getpid()) + "\n";
    for (const char* conf : {"<conf><PID>abc</PID></conf>", "<conf><version>1.0.0</version></conf>"}) {
        std::ofstream(file) << conf;
        CInfoCenter store(CInfoCenter::Flavor::Service, file.c_str());
        EXPECT_TRUE(StartSingle(&store)) << conf;
        CInfoCenter reloaded(CInfoCenter::Flavor::Service, file.c_str());
        EXPECT_EQ(std::string(reloaded.GetLocalValue("PID")), mine) << conf;
        EXPECT_STREQ(reloaded.GetLocalValue("version"), strstr(conf, "1.0.0") ? "1.0.0" : "") << conf;
    }
    CInfoCenter store(CInfoCenter::Flavor::Service, file.c_str());
    NamedSleeper service(dir, "VelnorSvr");
    store.SetLocalValue("PID", std::to_string(service.Pid()).c_str());
    EXPECT_FALSE(StartSingle(&store));
}

TEST(StartupTest, WipeArgumentClearsEveryByte) {
    char argument[] = "s3cret";
    WipeArgument(argument);
    for (char c : argument) EXPECT_EQ(c, '\0');
}
