// The zxm-pack command, run from the build as a user would.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "TempDir.h"

namespace {
const std::string kPack = VELNOR_BIN_DIR "/zxm-pack";
const std::string kSo = VELNOR_BIN_DIR "/libsample_algo.so";

int RunPack(std::vector<std::string> args, std::string* out = nullptr) {
    args.insert(args.begin(), kPack);
    return ChildProcess::Run(args, std::chrono::milliseconds(60000), out);
}

}  // namespace

TEST(ZxmPackCommandTest, PackDescribeUnpackRoundTrip) {
    TempDir dir;
    ASSERT_EQ(0, RunPack({"pack", "--key-id", "002", "--key", "secret", "--algo-id", "my-algo", "--preset",
                          "9", kSo, dir / "m.zxm"}));
    std::string description;
    ASSERT_EQ(0, RunPack({"describe", dir / "m.zxm"}, &description));
    for (const char* line : {"key-id: 002\n", "key: secret\n", "algo-id: my-algo\n", "stream: ok"}) {
        EXPECT_NE(std::string::npos, description.find(line)) << description;
    }
    ASSERT_EQ(0, RunPack({"unpack", dir / "m.zxm", dir / "back.so"}));
    EXPECT_EQ(ReadFile(kSo), ReadFile(dir / "back.so"));
}

TEST(ZxmPackCommandTest, BadUseAndBadFilesFail) {
    TempDir dir;
    std::ofstream(dir / "garbage") << "not a module";
    struct Case {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{}, 2},
        {{"explode"}, 2},
        {{"pack", kSo, dir / "x.zxm"}, 2},                    // no key id
        {{"pack", "--key-id", "01", kSo, dir / "x.zxm"}, 1},  // key id not 3 bytes
        {{"pack", "--key-id", "001", "--preset", "12", kSo, dir / "x.zxm"}, 2},
        {{"pack", "--key-id", "001", dir / "missing.so", dir / "x.zxm"}, 1},
        {{"unpack", dir / "garbage", dir / "x.so"}, 1},
        {{"describe", dir / "garbage"}, 1},
        {{"describe"}, 2},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const auto& arg : c.args) line += arg + " ";
        EXPECT_EQ(c.status, RunPack(c.args)) << line;
    }
    EXPECT_NE(0, access((dir / "x.zxm").c_str(), F_OK));
    EXPECT_NE(0, access((dir / "x.so").c_str(), F_OK));
}
