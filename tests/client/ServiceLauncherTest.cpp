// The service launcher with a stand-in service in temporary installation
// directories: only this directory's recorded service is ended, the new one
// starts once the old one is gone, inherits no descriptor and leaves no
// zombie behind.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "RecordingWindow.h"
#include "ServiceLauncher.h"
#include "TempDir.h"
#include "UniqueFd.h"
#include "UniqueStream.h"

namespace {

using std::chrono::milliseconds;

const std::string kStandIn = VELNOR_BIN_DIR "/velnor_standin_svr";

// An installation directory with the stand-in as exeName (none when empty).
std::string MakeInstall(const TempDir& base, const std::string& name, const std::string& exeName) {
    std::string dir = base / name;
    ::mkdir(dir.c_str(), 0755);
    ::mkdir((dir + "/conf").c_str(), 0755);
    if (!exeName.empty()) {
        std::ofstream(dir + "/" + exeName, std::ios::binary) << ReadFile(kStandIn);
        ::chmod((dir + "/" + exeName).c_str(), 0644);  // the launcher makes it runnable
    }
    return dir;
}

void RecordPid(const std::string& dir, pid_t pid) {
    std::ofstream(dir + "/conf/conf.xml", std::ios::trunc) << "<conf><PID>" << pid << "\n</PID></conf>\n";
}

pid_t RecordedPid(const std::string& dir) {
    std::string text = ReadFile(dir + "/conf/conf.xml");
    size_t start = text.find("<PID>");
    return start == std::string::npos ? -1 : atoi(text.c_str() + start + 5);
}

// Started by the test (cwd dir, running dir/exeName), ready once it printed.
class StandIn {
public:
    StandIn(const std::string& dir, const std::string& exeName) {
        ChildProcess::Options options;
        options.argv = {dir + "/" + exeName};
        options.cwd = dir;
        options.pipeStdout = true;
        ::chmod(options.argv[0].c_str(), 0755);
        std::string error;
        EXPECT_TRUE(m_child.Start(options, &error)) << error;
        char line[16] = {0};
        EXPECT_GT(read(m_child.StdoutFd(), line, sizeof(line) - 1), 0);  // "ready", or end of file
    }
    pid_t Pid() const { return m_child.Pid(); }
    bool IsRunning() { return m_child.IsRunning(); }
    ChildProcess& Child() { return m_child; }

private:
    ChildProcess m_child;
};

// Reaps the children of ours that have ended (except those in keep, which
// their owners reap) and returns their exit codes.
std::vector<int> ReapEnded(const std::vector<pid_t>& keep) {
    std::vector<int> codes;
    CUniqueDir proc(opendir("/proc"));
    while (dirent* entry = proc ? readdir(proc.get()) : nullptr) {
        pid_t pid = atoi(entry->d_name);
        if (pid <= 0 || std::find(keep.begin(), keep.end(), pid) != keep.end()) continue;
        std::string stat = ReadFile("/proc/" + std::string(entry->d_name) + "/stat");
        size_t close = stat.rfind(')');
        char state = 0;
        int parent = 0;
        if (close == std::string::npos || sscanf(stat.c_str() + close + 1, " %c %d", &state, &parent) != 2)
            continue;
        int status = 0;
        if (parent == getpid() && state == 'Z' && waitpid(pid, &status, 0) == pid)
            codes.push_back(WEXITSTATUS(status));
    }
    return codes;
}

void EndService(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

class ServiceLauncherTest : public ::testing::Test {
protected:
    // The launcher hands the service on; as the subreaper the test gets it
    // (and a start that failed) back and reaps it, whatever the machine's init does.
    void SetUp() override { ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0); }

    TempDir m_base;
    RecordingWindow m_window;
};

}  // namespace

// A recorded PID that is not this directory's VelnorSvr is left alone; a
// directory without the executable reports the failure of the start.
TEST_F(ServiceLauncherTest, OnlyThisDirectorysServiceIsEnded) {
    std::string empty = MakeInstall(m_base, "empty", "VelnorSvr2");
    std::string other = MakeInstall(m_base, "other", "VelnorSvr");
    StandIn lookalike(empty, "VelnorSvr2");
    StandIn foreign(other, "VelnorSvr");
    for (pid_t recorded : {lookalike.Pid(), foreign.Pid()}) {
        RecordPid(empty, recorded);
        testing::internal::CaptureStdout();
        int status = LaunchService(&m_window, empty.c_str());
        std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(status, ENOENT);
        EXPECT_EQ(printed, "open svr " + std::to_string(ENOENT) + "\n");
        EXPECT_EQ(m_window.WaitFor("init text", milliseconds(0)),
                  "init text server start: " + std::to_string(ENOENT));
    }
    EXPECT_TRUE(lookalike.IsRunning());
    EXPECT_TRUE(foreign.IsRunning());
    // Only the two failed starts end up here (exit 127): the launcher reaped
    // its own child.
    EXPECT_EQ(ReapEnded({lookalike.Pid(), foreign.Pid()}), (std::vector<int>{127, 127}));
}

// The old service takes a second to go; the new one (which, like the real
// one, refuses to start while the old one lives) starts after it.
TEST_F(ServiceLauncherTest, ReplacesTheRunningServiceAfterItHasGone) {
    std::string dir = MakeInstall(m_base, "velnor", "VelnorSvr");
    StandIn old(dir, "VelnorSvr");
    ASSERT_EQ(RecordedPid(dir), old.Pid());
    // A descriptor of the client that a careless spawn would hand on.
    CUniqueFd inheritable(open("/dev/null", O_RDONLY));

    testing::internal::CaptureStdout();
    int status = LaunchService(&m_window, dir.c_str());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(m_window.Calls(), std::vector<std::string>{"init text server start: 0"});
    EXPECT_FALSE(old.IsRunning());
    struct stat info;
    ASSERT_EQ(::stat((dir + "/VelnorSvr").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0755u);

    pid_t fresh = -1;
    for (int i = 0; i < 500 && ((fresh = RecordedPid(dir)) == old.Pid() || fresh <= 0); ++i) usleep(10000);
    ASSERT_NE(fresh, old.Pid()) << "the new service did not record itself";
    std::vector<std::string> fds;
    if (CUniqueDir d{opendir(("/proc/" + std::to_string(fresh) + "/fd").c_str())}) {
        while (dirent* entry = readdir(d.get()))
            if (entry->d_name[0] != '.') {
                char target[256] = {0};
                std::string link = "/proc/" + std::to_string(fresh) + "/fd/" + entry->d_name;
                if (readlink(link.c_str(), target, sizeof(target) - 1) < 0) target[0] = '?';
                fds.push_back(std::string(entry->d_name) + " " + target);
            }
    }
    EXPECT_EQ(fds.size(), 3u) << testing::PrintToString(fds);  // the standard streams only
    EXPECT_TRUE(ReapEnded({old.Pid()}).empty());
    EndService(fresh);
}
