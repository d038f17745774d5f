#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Log.h"
#include "TempDir.h"

namespace {

// The lines of a log file without their "MM-DD HH:MM:SS " stamp.
std::vector<std::string> Messages(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) {
        EXPECT_TRUE(line.size() >= 15 && line[2] == '-' && line[14] == ' ') << line;
        out.push_back(line.substr(std::min<size_t>(15, line.size())));
    }
    return out;
}

class CLogTest : public ::testing::Test {
protected:
    void TearDown() override {
        m_log->CloseFile();
        m_log->SetLevel(kLogAlways);
        m_log->SetSizeLimit(CLog::kMaxFileBytes);
    }
    TempDir m_dir;
    CLog* m_log = CLog::GetInst();
};

}  // namespace

TEST_F(CLogTest, WritesNonEmptyLinesUpToTheLevelIntoAPrivateDirectory) {
    ASSERT_TRUE(m_log->Create((m_dir.Path() + "/Log/").c_str(), "Info.log", ""));
    m_log->SetLevel(kLogVerbose);
    m_log->WriteLog(kLogInfo, "three %d", 3);
    m_log->WriteLog(kLogVerbose, "four");
    m_log->WriteLog(kLogVerbose + 1, "five");
    m_log->WriteLog(kLogInfo, "%s", "");
    m_log->SetLevel(kLogAlways);
    m_log->WriteLog(kLogInfo, "hidden");
    m_log->WriteLog(kLogAlways, "zero");
    EXPECT_EQ(Messages(m_dir.Path() + "/Log/Info.log"),
              (std::vector<std::string>{"three 3", "four", "zero"}));
    struct stat info;
    ASSERT_EQ(stat((m_dir.Path() + "/Log").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

// A flood of big messages: each is cut with its length noted, and the file
// stops at its limit (counting what an earlier start wrote) with one line.
TEST_F(CLogTest, LongMessagesAreCutAndTheFileStopsAtItsLimit) {
    std::string path = m_dir.Path() + "/Info.log";
    std::ofstream(path) << std::string(1000, 'x') << "\n";
    ASSERT_TRUE(m_log->Create(m_dir.Path().c_str(), "Info.log", ""));
    m_log->SetLevel(kLogInfo);
    m_log->SetSizeLimit(20000);
    std::string big(100000, 'b');
    for (int i = 0; i < 10; ++i) m_log->WriteLog(kLogInfo, "%s", big.c_str());
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 1u + 4u + 1u);
    std::string cut = std::string(CLog::kMaxMessage, 'b') + " ... (cut, 100000 bytes in all)";
    for (size_t i = 1; i <= 4; ++i) EXPECT_EQ(lines[i].substr(15), cut);
    EXPECT_EQ(lines[5].substr(15), "log size limit reached, nothing more is written to this file");
}

TEST_F(CLogTest, FileNameCarriesDateAndSingleSlash) {
    ASSERT_TRUE(m_log->Create((m_dir.Path() + "/deep/er/").c_str(), "Info.log", "%Y%m%d"));
    char date[16];
    CLog::getTimeNow(date, sizeof(date), "%Y%m%d");
    EXPECT_EQ(access((m_dir.Path() + "/deep/er/" + date + "_Info.log").c_str(), F_OK), 0);
}

TEST_F(CLogTest, OverlongPathOrDateIsRefusedNotOverrun) {
    EXPECT_FALSE(m_log->Create(m_dir.Path().c_str(), std::string(2000, 'a').c_str(), ""));
    EXPECT_FALSE(m_log->IsOpen());
    EXPECT_FALSE(m_log->Create(m_dir.Path().c_str(), "x.log", ("%Y" + std::string(100, 'Y')).c_str()));
    EXPECT_FALSE(m_log->IsOpen());
    m_log->SetLevel(kLogVerbose);
    m_log->WriteLog(kLogInfo, "dropped");  // no stream: silently nothing
}

TEST_F(CLogTest, LinesFromManyThreadsStayWhole) {
    ASSERT_TRUE(m_log->Create(m_dir.Path().c_str(), "t.log", ""));
    m_log->SetLevel(kLogVerbose);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([this, t] {
            for (int i = 0; i < 200; ++i) m_log->WriteLog(kLogInfo, "thread-%d-line-%03d-end", t, i);
        });
    for (auto& thread : threads) thread.join();
    const std::vector<std::string> lines = Messages(m_dir.Path() + "/t.log");
    EXPECT_EQ(lines.size(), 800u);
    for (const std::string& body : lines)
        EXPECT_TRUE(body.rfind("thread-", 0) == 0 && body.size() == 21) << body;
}

struct CPeekFile : CSimpleFile {
    int Fd() const { return m_pFile ? fileno(m_pFile) : -1; }
};

TEST(CSimpleFileTest, MakesParentDirectoriesAndRefusesWritesWithoutAStream) {
    TempDir dir;
    CPeekFile file;
    EXPECT_EQ(file.WriteFile("x", 1), -2);
    EXPECT_TRUE(CSimpleFile::RecuMkDir((dir / "d/e/file.txt").c_str(), 0700, true));
    EXPECT_TRUE(CSimpleFile::RecuMkDir((dir / "d/e").c_str(), 0700, false));  // existing is fine
    EXPECT_FALSE(CSimpleFile::IsFileExist((dir / "d/e/file.txt").c_str()));
    ASSERT_EQ(file.CreateFile((dir / "d/e/file.txt").c_str(), "w"), 0);
    EXPECT_EQ(file.WriteFile("abc", 3), 0);
    // Private, and never inherited by a program started meanwhile.
    EXPECT_EQ(fcntl(file.Fd(), F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
    struct stat info;
    ASSERT_EQ(stat((dir / "d/e/file.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(file.CloseFile(), 0);
    ASSERT_EQ(file.CreateFile((dir / "d/e/file.txt").c_str(), "a+b"), 0);
    EXPECT_EQ(file.WriteFile("d", 1), 0);
    EXPECT_EQ(file.CloseFile(), 0);
    ASSERT_EQ(stat((dir / "d/e/file.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 4);
    ASSERT_EQ(symlink((dir / "d/e/file.txt").c_str(), (dir / "link").c_str()), 0);
    EXPECT_EQ(file.CreateFile((dir / "link").c_str(), "a"), -1);
    EXPECT_FALSE(CSimpleFile::RecuMkDir((dir / "d/e/file.txt/sub").c_str(), 0700, false));
    EXPECT_EQ(file.CreateFile((dir / "missing/x").c_str(), "r"), -1);
}
