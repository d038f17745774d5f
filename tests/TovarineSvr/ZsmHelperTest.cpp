#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
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

// Memory-file loading is the default; only the cases where the load mode
// matters run with both.
class CZsmHelperTest : public ::testing::Test {
protected:
    void SetUp() override { m_helper.reset(new CZsmHelper(Module().c_str(), m_dir.Path().c_str())); }

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

    TempDir m_dir;
    std::unique_ptr<CZsmHelper> m_helper;
};

class CZsmHelperModeTest : public CZsmHelperTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        CZsmHelperTest::SetUp();
        m_helper->SetUseMemFile(GetParam());
    }
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

TEST_F(CZsmHelperTest, WithoutModuleFileGivesZeroIdFallbackAndNoDecode) {
    ExpectNoModule("missing file");
    m_helper->Init("", nullptr, 0);
    ExpectNoModule("empty path");
    m_helper->Init(std::string(2000, 'x').c_str(), nullptr, 0);
    ExpectNoModule("path too long for its field");
    EXPECT_EQ(CZsmHelper::kFallback, Text(m_helper->Code(nullptr)));
    EXPECT_EQ("<null>", Text(m_helper->DeCode(nullptr)));
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

TEST_F(CZsmHelperTest, ReplacedModuleTakesEffectAtTheNextCall) {
    Pack(kBin + "/libsample_algo.so", m_dir / "a.zxm", "algo-a");
    Pack(kBin + "/libnofree_algo.so", m_dir / "b.zxm", "algo-b");
    EXPECT_EQ(1, Update(ReadText(m_dir / "a.zxm")));
    EXPECT_STREQ("algo-a", m_helper->GetAlgoId());
    EXPECT_NE("nofree:x", Code("x"));
    EXPECT_EQ(1, Update(ReadText(m_dir / "b.zxm")));
    EXPECT_STREQ("algo-b", m_helper->GetAlgoId());
    EXPECT_EQ("nofree:x", Code("x"));
    // Replaced on disk by other means, too.
    ASSERT_EQ(0, rename((m_dir / "a.zxm").c_str(), Module().c_str()));
    EXPECT_STREQ("algo-a", m_helper->GetAlgoId());
}

TEST_P(CZsmHelperModeTest, NoProtectSoRemainsAfterAnyCall) {
    Pack(kBin + "/libsample_algo.so", Module(), "algo");
    Code("x");
    EXPECT_FALSE(Exists(m_dir / "protect.so"));
    DeCode("00");
    EXPECT_FALSE(Exists(m_dir / "protect.so"));
    m_helper->GetAlgoId();
    EXPECT_FALSE(Exists(m_dir / "protect.so"));
    // An image that unpacks but does not load.
    WriteText(m_dir / "plain.txt", std::string(1000, 'z'));
    Pack(m_dir / "plain.txt", Module(), "not-elf");
    ExpectNoModule("image the loader refuses");
}

// A memory-file load never touches the directory; a "protect.so" load
// replaces the link itself, never writing through it.
TEST_P(CZsmHelperModeTest, SymbolicLinkNamedProtectSoIsNotFollowed) {
    const bool viaFile = !GetParam();
    Pack(kBin + "/libsample_algo.so", Module(), "algo");
    WriteText(m_dir / "victim", "precious");
    ASSERT_EQ(0, symlink((m_dir / "victim").c_str(), (m_dir / "protect.so").c_str()));
    EXPECT_EQ("x", DeCode(Code("x").c_str()));
    EXPECT_EQ("precious", ReadText(m_dir / "victim"));
    EXPECT_EQ(!viaFile, Exists(m_dir / "protect.so"));

    unlink((m_dir / "protect.so").c_str());  // the first link, where it is still there
    ASSERT_EQ(0, symlink((m_dir / "planted").c_str(), (m_dir / "protect.so").c_str()));
    EXPECT_STREQ("algo", m_helper->GetAlgoId());
    EXPECT_FALSE(Exists(m_dir / "planted"));
    EXPECT_EQ(!viaFile, Exists(m_dir / "protect.so"));
}

INSTANTIATE_TEST_SUITE_P(LoadModes, CZsmHelperModeTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "MemoryFile" : "ProtectSo";
                         });

TEST_F(CZsmHelperTest, CorruptedOrOversizedModuleFileGivesNoModule) {
    Pack(kBin + "/libsample_algo.so", m_dir / "good.zxm", "algo");
    const std::string good = ReadText(m_dir / "good.zxm");
    const size_t sizeAt = 3 + 1 + 1 + 1 + 4 + 5;  // key "k", identifier "algo"
    auto withSize = [&](uint32_t size) {
        std::string bytes = good;
        for (int i = 0; i < 4; ++i) bytes[sizeAt + i] = static_cast<char>(size >> (8 * i));
        return bytes;
    };
    std::string flipped = good;
    for (size_t i = sizeAt + 4 + 10; i < flipped.size(); i += 7)
        flipped[i] = static_cast<char>(flipped[i] ^ 0x5A);
    const std::pair<const char*, std::string> cases[] = {
        {"empty file", ""},
        {"key identifier only", "001"},
        {"key length past the end", std::string("001\x40key", 7)},
        {"header cut before the size", good.substr(0, sizeAt + 2)},
        {"header without stream", good.substr(0, sizeAt + 4)},
        {"stream cut in half", good.substr(0, sizeAt + 4 + (good.size() - sizeAt - 4) / 2)},
        {"declared size zero", withSize(0)},
        {"declared size above 64 MiB", withSize((64u << 20) + 1)},
        {"declared size 4 GiB", withSize(0xFFFFFFFFu)},
        {"damaged stream", flipped},
    };
    for (const auto& c : cases) {
        WriteText(Module(), c.second);
        ExpectNoModule(c.first);
    }
    // lc 4 + lp 1: valid LZMA that liblzma refuses, told apart from damage.
    ASSERT_TRUE(CLog::GetInst()->Create(m_dir.Path().c_str(), "zso.log", ""));
    CLog::GetInst()->SetLevel(3);
    std::string wideLiterals = good;
    wideLiterals[sizeAt - 5] = static_cast<char>((2 * 5 + 1) * 9 + 4);
    WriteText(Module(), wideLiterals);
    ExpectNoModule("lc + lp above 4");
    CLog::GetInst()->SetLevel(0);
    CLog::GetInst()->CloseFile();
    EXPECT_NE(ReadText(m_dir / "zso.log").find("unsupported compression settings"), std::string::npos);
}

TEST_F(CZsmHelperTest, UpdateThatFailsKeepsTheWorkingModule) {
    Pack(kBin + "/libsample_algo.so", Module(), "algo-old");
    Pack(kBin + "/libcodeonly_algo.so", m_dir / "codeonly.zxm", "codeonly");
    const std::string old = ReadText(Module());
    const std::pair<const char*, std::string> cases[] = {
        {"garbage", "this is not a module file at all"},
        {"empty", ""},
        {"truncated module", old.substr(0, old.size() / 2)},
        {"module without Prepare", ReadText(m_dir / "codeonly.zxm")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(-1, Update(c.second));
        EXPECT_EQ(old, ReadText(Module()));
        EXPECT_STREQ("algo-old", m_helper->GetAlgoId());
    }
    EXPECT_EQ(0, m_helper->Update(nullptr, 10));
    EXPECT_EQ((std::set<std::string>{"zxmAlogic.zxm", "codeonly.zxm"}), Entries(m_dir.Path()));
    m_helper->Init((m_dir / "missing-dir/zxmAlogic.zxm").c_str(), nullptr, 0);
    EXPECT_EQ(-1, Update(old));
}

TEST_F(CZsmHelperTest, CallsFromTwoThreadsNeverOverlap) {
    m_helper->SetUseMemFile(false);  // the shared "protect.so" is what could collide
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
