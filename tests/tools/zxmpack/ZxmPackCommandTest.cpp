// The zxm-pack command, run from the build as a user would.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ModuleFile.h"
#include "TempDir.h"

extern char** environ;

namespace {

// Runs zxm-pack with args, its standard output into outPath; the exit status.
int RunPack(std::vector<std::string> args, const std::string& outPath) {
    args.insert(args.begin(), VELNOR_BIN_DIR "/zxm-pack");
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(ZxmPackCommandTest, PackDescribeUnpackRoundTrip) {
    TempDir dir;
    std::string so = VELNOR_BIN_DIR "/libsample_algo.so";
    ASSERT_EQ(0, RunPack({"pack", "--key-id", "002", "--key", "secret", "--algo-id", "my-algo", "--preset", "9",
                          so, dir / "m.zxm"},
                         dir / "out"));
    ASSERT_EQ(0, RunPack({"describe", dir / "m.zxm"}, dir / "describe"));
    std::string description = ReadText(dir / "describe");
    EXPECT_NE(std::string::npos, description.find("key-id: 002\n")) << description;
    EXPECT_NE(std::string::npos, description.find("key: secret\n"));
    EXPECT_NE(std::string::npos, description.find("algo-id: my-algo\n"));
    EXPECT_NE(std::string::npos, description.find("stream: ok"));

    ASSERT_EQ(0, RunPack({"unpack", dir / "m.zxm", dir / "back.so"}, dir / "out"));
    EXPECT_EQ(ReadText(so), ReadText(dir / "back.so"));
}

TEST(ZxmPackCommandTest, BadUseAndBadFilesFail) {
    TempDir dir;
    std::string so = VELNOR_BIN_DIR "/libsample_algo.so";
    std::ofstream(dir / "garbage") << "not a module";
    struct Case {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{}, 2},
        {{"explode"}, 2},
        {{"pack", so, dir / "x.zxm"}, 2},                          // no key id
        {{"pack", "--key-id", "01", so, dir / "x.zxm"}, 1},        // key id not 3 bytes
        {{"pack", "--key-id", "001", "--preset", "12", so, dir / "x.zxm"}, 2},
        {{"pack", "--key-id", "001", dir / "missing.so", dir / "x.zxm"}, 1},
        {{"unpack", dir / "garbage", dir / "x.so"}, 1},
        {{"describe", dir / "garbage"}, 1},
        {{"describe"}, 2},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const auto& arg : c.args) line += arg + " ";
        EXPECT_EQ(c.status, RunPack(c.args, dir / "out")) << line;
    }
    EXPECT_NE(0, access((dir / "x.zxm").c_str(), F_OK));
    EXPECT_NE(0, access((dir / "x.so").c_str(), F_OK));
}
