// Installation directories and child processes for end-to-end runs.
#include <gtest/gtest.h>
#include <pugixml.hpp>
#include <poll.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

#include "ChildProcess.h"
#include "InstallDir.h"
#include "TempDir.h"

TEST(InstallDirTest, PreparesConfigurationModuleAndPrograms) {
    TempDir dir;
    std::string module = dir / "packed.zxm";
    std::ofstream(module) << "module-bytes";
    std::string bin = dir / "bin";
    std::filesystem::create_directories(bin);
    std::ofstream(bin + "/VelnorSvr") << "program";

    InstallDir install(dir / "install");
    InstallDir::Options options;
    options.redirect = "http://127.0.0.1:8080/?a=1&b=2";
    options.version = "2.5.1";
    options.values = {{"plusFlag", "1"}};
    options.binDir = bin;
    options.moduleFile = module;
    std::string error;
    ASSERT_TRUE(install.Prepare(options, &error)) << error;

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(install.File("conf/conf.xml").c_str()));
    pugi::xml_node conf = doc.child("conf");
    ASSERT_TRUE(conf);
    EXPECT_EQ(std::string(conf.child_value("version")), "2.5.1");
    EXPECT_EQ(std::string(conf.child_value("redirect")), options.redirect);
    EXPECT_EQ(std::string(conf.child_value("plusFlag")), "1");
    EXPECT_EQ(install.ReadFile("zxmAlogic.zxm"), "module-bytes");
    EXPECT_EQ(install.ReadFile("VelnorSvr"), "program");

    std::ofstream(dir / "other.zxm") << "newer";
    ASSERT_TRUE(install.InstallModule(dir / "other.zxm"));
    EXPECT_EQ(install.ReadFile("zxmAlogic.zxm"), "newer");
    options.moduleFile = dir / "absent.zxm";
    EXPECT_FALSE(install.Prepare(options, &error));
}

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
}
