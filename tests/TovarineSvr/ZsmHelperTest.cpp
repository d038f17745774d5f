#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "HostFiles.h"
#include "Log.h"
#include "ZsmHelper.h"

extern char** environ;

namespace {

const std::string kBin = VELNOR_BIN_DIR;

std::set<std::string> Entries(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.insert(entry.path().filename());
    return names;
}

bool Exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

// Packs a shared object into a module file with the built zxm-pack.
void Pack(const std::string& so, const std::string& out, const std::string& algoId) {
    std::vector<std::string> args = {kBin + "/zxm-pack", "pack", "--key-id", "001", "--key", "k",
                                     "--algo-id",        algoId, so,         out};
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    pid_t pid = -1;
    ASSERT_EQ(0, posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ));
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "zxm-pack failed for " << so;
}

class CZsmHelperTest : public ::testing::Test {
protected:
    // Long enough for a sanitized helper to start and load; a module that
    // overruns it costs each test that long.
    static constexpr int kTestTimeoutMs = 2000;

    void SetUp() override {
        m_helper.reset(new CZsmHelper(Module().c_str()));
        m_helper->SetCallTimeout(kTestTimeoutMs);
    }

    std::string Module() const { return m_dir / "zxmAlogic.zxm"; }
    std::string Text(char* text) {
        std::string result = text ? text : "<null>";
        m_helper->FreeResult(text);
        return result;
    }
    std::string Code(const char* text) { return Text(m_helper->Code(text)); }
    std::string DeCode(const char* text) { return Text(m_helper->DeCode(text)); }
    int Update(std::string bytes) { return m_helper->Update(&bytes[0], bytes.size()); }
    void ExpectNoModule(const std::string& why) {
        SCOPED_TRACE(why);
        EXPECT_STREQ(CZsmHelper::kNoAlgoId, m_helper->GetAlgoId());
        EXPECT_EQ(CZsmHelper::kFallback, Code("<request/>"));
        EXPECT_EQ("<null>", DeCode("00"));
        EXPECT_FALSE(Exists(m_dir / "protect.so"));
    }
    // The sample module works again: the helper recovered from whatever came before.
    void ExpectSampleWorks() {
        Pack(kBin + "/libsample_algo.so", Module(), "algo-good");
        EXPECT_STREQ("algo-good", m_helper->GetAlgoId());
        EXPECT_EQ("<r/>", DeCode(Code("<r/>").c_str()));
    }

    TempDir m_dir;
    std::unique_ptr<CZsmHelper> m_helper;
};

// Modules that misbehave as the service must survive, each with the call
// that sets it off.
struct BadModule {
    const char* library;
    bool failsToLoad;  // so even its identifier cannot be read
    const char* codeInput;
};

const BadModule kBadModules[] = {
    {"libcrash_algo.so", false, "x"},
    {"libabort_algo.so", true, "x"},
    {"libhang_algo.so", false, "x"},
    {"libescape_algo.so", false, "socket"},
};

}  // namespace

TEST_F(CZsmHelperTest, PackedSampleModuleEncodesAndDecodes) {
    Pack(kBin + "/libsample_algo.so", Module(), "algo-one");
    EXPECT_STREQ("algo-one", m_helper->GetAlgoId());
    for (const char* text :
         {"<?xml version=\"1.0\"?><request><ticket>t</ticket></request>", "", "\xe4\xb8\xad"}) {
        std::string encoded = Code(text);
        EXPECT_NE(CZsmHelper::kFallback, encoded);
        EXPECT_EQ(text, DeCode(encoded.c_str()));
    }
    EXPECT_EQ("<null>", DeCode("not hex"));
    EXPECT_EQ(std::set<std::string>{"zxmAlogic.zxm"}, Entries(m_dir.Path()));
}

TEST_F(CZsmHelperTest, WithoutAModuleFileGivesZeroIdFallbackAndNoDecode) {
    ExpectNoModule("missing file");
    m_helper->Init("", nullptr, 0);
    ExpectNoModule("empty path");
    m_helper->Init(std::string(2000, 'x').c_str(), nullptr, 0);
    ExpectNoModule("path too long for its field");
    EXPECT_EQ(CZsmHelper::kFallback, Text(m_helper->Code(nullptr)));
    EXPECT_EQ("<null>", Text(m_helper->DeCode(nullptr)));
    m_helper->Init(Module().c_str(), nullptr, 0);
    ASSERT_EQ(0, mkfifo(Module().c_str(), 0600));  // opening it must not wait for a writer
    ExpectNoModule("fifo");
    unlink(Module().c_str());
    ASSERT_EQ(0, mkdir(Module().c_str(), 0700));
    ExpectNoModule("directory");
}

TEST_F(CZsmHelperTest, ModulesMissingFreeResultOrPrepare) {
    Pack(kBin + "/libnofree_algo.so", Module(), "nofree");
    EXPECT_EQ("nofree:abc", Code("abc"));
    EXPECT_EQ(CZsmHelper::kFallback, Code("null"));  // the module's Code fails
    EXPECT_EQ("echo me", DeCode("echo me"));
    // Its Prepare misbehaves on these: DeCode fails cleanly, never overruns.
    for (const char* input : {"fail", "silent", "null", "grow", "twice"})
        EXPECT_EQ("<null>", DeCode(input)) << input;

    Pack(kBin + "/libcodeonly_algo.so", Module(), "codeonly");
    EXPECT_EQ("codeonly", Code("x"));
    EXPECT_EQ("<null>", DeCode("x"));
}

// Modules load from memory files: nothing is ever written beside the module,
// and a "protect.so" planted there is left alone.
TEST_F(CZsmHelperTest, NothingIsWrittenBesideTheModule) {
    Pack(kBin + "/libsample_algo.so", Module(), "algo");
    WriteFile(m_dir / "victim", "precious");
    ASSERT_EQ(0, symlink((m_dir / "victim").c_str(), (m_dir / "protect.so").c_str()));
    EXPECT_EQ("x", DeCode(Code("x").c_str()));
    EXPECT_STREQ("algo", m_helper->GetAlgoId());
    EXPECT_EQ("precious", ReadFile(m_dir / "victim"));
    EXPECT_EQ((std::set<std::string>{"zxmAlogic.zxm", "victim", "protect.so"}), Entries(m_dir.Path()));
    // An image that unpacks but does not load.
    WriteFile(m_dir / "plain.txt", std::string(1000, 'z'));
    Pack(m_dir / "plain.txt", Module(), "not-elf");
    EXPECT_STREQ(CZsmHelper::kNoAlgoId, m_helper->GetAlgoId());
}

TEST_F(CZsmHelperTest, BadModuleCountsAsNoModuleAndTheNextCallWorks) {
    for (const BadModule& bad : kBadModules) {
        SCOPED_TRACE(bad.library);
        Pack(kBin + "/" + bad.library, Module(), "bad");
        EXPECT_STREQ(bad.failsToLoad ? CZsmHelper::kNoAlgoId : "bad", m_helper->GetAlgoId());
        EXPECT_EQ(CZsmHelper::kFallback, Code(bad.codeInput));
        ExpectSampleWorks();
    }
}

TEST_F(CZsmHelperTest, ModuleCannotWriteFiles) {
    Pack(kBin + "/libescape_algo.so", Module(), "escape");
    const std::string target = m_dir / "written-by-module";
    EXPECT_EQ(CZsmHelper::kFallback, Code(("file:" + target).c_str()));
    EXPECT_FALSE(Exists(target));
}

// The helper that runs module code keeps no privileges of the service.
TEST_F(CZsmHelperTest, HelperRunsConfined) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to see the helper leave it";
    Pack(kBin + "/libsample_algo.so", Module(), "algo");
    ASSERT_STREQ("algo", m_helper->GetAlgoId());  // the helper now waits for the next call
    std::string status;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::string text = ReadFile(entry.path() / "status");
        if (text.find("Name:\tVelnorAlgoHost\n") != std::string::npos &&
            text.find("\nPPid:\t" + std::to_string(getpid()) + "\n") != std::string::npos)
            status = text;
    }
    ASSERT_FALSE(status.empty()) << "no helper process found";
    for (const char* line : {"\nUid:\t65534\t65534\t65534\t65534\n", "\nGid:\t65534\t65534\t65534\t65534\n",
                             "\nCapEff:\t0000000000000000\n", "\nCapPrm:\t0000000000000000\n",
                             "\nNoNewPrivs:\t1\n", "\nSeccomp:\t2\n"})
        EXPECT_NE(std::string::npos, status.find(line)) << line;
}

TEST_F(CZsmHelperTest, CorruptedOrOversizedModuleFileGivesNoModule) {
    Pack(kBin + "/libsample_algo.so", m_dir / "good.zxm", "algo");
    const std::string good = ReadFile(m_dir / "good.zxm");
    const size_t sizeAt = 3 + 1 + 1 + 1 + 4 + 5;  // key "k", identifier "algo"
    auto withSize = [&](uint32_t size) {
        std::string bytes = good;
        for (int i = 0; i < 4; ++i) bytes[sizeAt + i] = static_cast<char>(size >> (8 * i));
        return bytes;
    };
    // The reader's own table covers every kind of damage; here the service turns them into no module.
    for (const auto& c : {std::make_pair("empty file", std::string()),
                          std::make_pair("header without stream", good.substr(0, sizeAt + 4)),
                          std::make_pair("declared size above 64 MiB", withSize((64u << 20) + 1))}) {
        WriteFile(Module(), c.second);
        ExpectNoModule(c.first);
    }
    // lc 4 + lp 1: valid LZMA that liblzma refuses, told apart from damage.
    ASSERT_TRUE(CLog::GetInst()->Create(m_dir.Path().c_str(), "zso.log", ""));
    CLog::GetInst()->SetLevel(kLogInfo);
    std::string wideLiterals = good;
    wideLiterals[sizeAt - 5] = static_cast<char>((2 * 5 + 1) * 9 + 4);
    WriteFile(Module(), wideLiterals);
    ExpectNoModule("lc + lp above 4");
    CLog::GetInst()->SetLevel(kLogAlways);
    CLog::GetInst()->CloseFile();
    EXPECT_NE(ReadFile(m_dir / "zso.log").find("unsupported compression settings"), std::string::npos);
}

TEST_F(CZsmHelperTest, UpdateThatFailsItsTrialKeepsTheWorkingModule) {
    Pack(kBin + "/libsample_algo.so", Module(), "algo-old");
    const std::string old = ReadFile(Module());
    std::vector<std::pair<std::string, std::string>> cases = {
        {"garbage", "this is not a module file at all"},
        {"empty", ""},
        {"truncated module", old.substr(0, old.size() / 2)},
    };
    std::vector<std::string> libraries = {"libcodeonly_algo.so", "libnofree_algo.so"};
    for (const BadModule& bad : kBadModules) libraries.push_back(bad.library);
    for (const std::string& library : libraries) {
        Pack(kBin + "/" + library, m_dir / "pushed.zxm", "pushed");
        cases.emplace_back(library, ReadFile(m_dir / "pushed.zxm"));
    }
    unlink((m_dir / "pushed.zxm").c_str());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(-1, Update(c.second));
        EXPECT_EQ(old, ReadFile(Module()));
        EXPECT_STREQ("algo-old", m_helper->GetAlgoId());
        EXPECT_EQ(std::set<std::string>{"zxmAlogic.zxm"}, Entries(m_dir.Path()));
    }
    EXPECT_EQ(0, m_helper->Update(nullptr, 10));
    m_helper->Init((m_dir / "missing-dir/zxmAlogic.zxm").c_str(), nullptr, 0);
    EXPECT_EQ(-1, Update(old));
}

// A replaced module takes effect at the next call, even one that the
// loader cannot unload and that would otherwise answer for the next one.
TEST_F(CZsmHelperTest, ReplacedModuleTakesEffectAtTheNextCall) {
    Pack(kBin + "/libnodelete_a.so", m_dir / "a.zxm", "nodelete-a");
    Pack(kBin + "/libnodelete_b.so", m_dir / "b.zxm", "nodelete-b");
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(1, Update(ReadFile(m_dir / "a.zxm")));
        EXPECT_EQ("nodelete_a:x", Code("x"));
        EXPECT_EQ(1, Update(ReadFile(m_dir / "b.zxm")));
        EXPECT_STREQ("nodelete-b", m_helper->GetAlgoId());
        EXPECT_EQ("nodelete_b:x", Code("x"));
    }
    // Replaced on disk by other means, too.
    ASSERT_EQ(0, rename((m_dir / "a.zxm").c_str(), Module().c_str()));
    EXPECT_STREQ("nodelete-a", m_helper->GetAlgoId());
    EXPECT_EQ("x", DeCode(Code("x").c_str()));
}

TEST_F(CZsmHelperTest, InitRemovesLeftoversOfAnInterruptedUpdate) {
    // A file someone keeps beside the module is never one of them.
    for (const char* name :
         {".zxmAlogic.zxm.a1B2c3", "zxmAlogic.zxm.backup", ".zxmAlogic.zxm.keep", ".other.zxm.a1B2c3"})
        WriteFile(m_dir / name, "x");
    m_helper->Init(Module().c_str(), nullptr, 0);
    EXPECT_EQ((std::set<std::string>{"zxmAlogic.zxm.backup", ".zxmAlogic.zxm.keep", ".other.zxm.a1B2c3"}),
              Entries(m_dir.Path()));
}

TEST_F(CZsmHelperTest, CallsFromTwoThreadsNeverOverlap) {
    Pack(kBin + "/libsample_algo.so", Module(), "algo");
    const std::string encoded = Code("<request/>");
    auto work = [&](int* failures) {
        for (int i = 0; i < 15; ++i) {
            if (DeCode(encoded.c_str()) != "<request/>") ++*failures;
            if (Code("<request/>") != encoded) ++*failures;
        }
    };
    int first = 0, second = 0;
    std::thread other(work, &second);
    work(&first);
    other.join();
    EXPECT_EQ(0, first + second);
    EXPECT_FALSE(Exists(m_dir / "protect.so"));
}
