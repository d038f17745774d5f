// Child processes for end-to-end runs end, also when they resist.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>

#include "ChildProcess.h"

TEST(ChildProcessTest, ReportsExecFailureAndEscalatesToKill) {
    ChildProcess missing;
    ChildProcess::Options options;
    options.argv = {"/nonexistent/program"};
    std::string error;
    EXPECT_FALSE(missing.Start(options, &error));
    EXPECT_NE(error.find("No such file"), std::string::npos);

    ChildProcess stubborn;
    // An ignored SIGTERM is inherited by the sleep as well.
    options.argv = {"sh", "-c", "trap '' TERM; echo ready; sleep 30"};
    options.pipeStdout = true;
    ASSERT_TRUE(stubborn.Start(options, &error)) << error;
    struct pollfd p = {stubborn.StdoutFd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 10000), 1);  // the trap is set
    EXPECT_TRUE(stubborn.IsRunning());
    int status = stubborn.Stop(std::chrono::milliseconds(200));
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);

    std::string out;
    EXPECT_EQ(ChildProcess::Run({"sh", "-c", "echo hi; exit 3"}, std::chrono::milliseconds(5000), &out), 3);
    EXPECT_EQ(out, "hi\n");
    EXPECT_EQ(ChildProcess::Run({"sleep", "30"}, std::chrono::milliseconds(100)), -1);
}
