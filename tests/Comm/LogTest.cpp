#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Log.h"
#include "TempDir.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class CLogTest : public ::testing::Test {
protected:
    void TearDown() override {
        CLog::GetInst()->CloseFile();
        CLog::GetInst()->SetLevel(0);
    }
    TempDir m_dir;
};

}  // namespace

TEST_F(CLogTest, WritesLinesUpToTheLevelWithTimeStamp) {
    CLog* log = CLog::GetInst();
    ASSERT_TRUE(log->Create((m_dir.Path() + "/Log/").c_str(), "Info.log", ""));
    log->SetLevel(4);
    log->WriteLog(3, "three %d", 3);
    log->WriteLog(4, "four");
    log->WriteLog(5, "five");
    log->WriteLog(3, "%s", "");
    log->SetLevel(0);
    log->WriteLog(3, "hidden");
    log->WriteLog(0, "zero");
    std::string text = ReadAll(m_dir.Path() + "/Log/Info.log");
    std::istringstream lines(text);
    std::vector<std::string> all;
    for (std::string line; std::getline(lines, line);) all.push_back(line);
    ASSERT_EQ(all.size(), 3u) << text;
    // "MM-DD HH:MM:SS " then the message.
    EXPECT_EQ(all[0].size(), 15u + 7u);
    EXPECT_EQ(all[0].substr(15), "three 3");
    EXPECT_EQ(all[0][2], '-');
    EXPECT_EQ(all[1].substr(15), "four");
    EXPECT_EQ(all[2].substr(15), "zero");
    struct stat info;
    ASSERT_EQ(stat((m_dir.Path() + "/Log").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(CLogTest, FileNameCarriesDateAndSingleSlash) {
    CLog* log = CLog::GetInst();
    ASSERT_TRUE(log->Create((m_dir.Path() + "/deep/er/").c_str(), "Info.log", "%Y%m%d"));
    char date[16];
    CLog::getTimeNow(date, sizeof(date), "%Y%m%d");
    EXPECT_EQ(access((m_dir.Path() + "/deep/er/" + date + "_Info.log").c_str(), F_OK), 0);
}

TEST_F(CLogTest, OverlongPathOrDateIsRefusedNotOverrun) {
    CLog* log = CLog::GetInst();
    std::string longName(2000, 'a');
    EXPECT_FALSE(log->Create(m_dir.Path().c_str(), longName.c_str(), ""));
    EXPECT_FALSE(log->IsOpen());
    std::string longFormat(100, 'Y');
    longFormat = "%" + std::string("Y") + longFormat;
    EXPECT_FALSE(log->Create(m_dir.Path().c_str(), "x.log", longFormat.c_str()));
    EXPECT_FALSE(log->IsOpen());
    log->SetLevel(4);
    log->WriteLog(3, "dropped");  // no stream: silently nothing
}

TEST_F(CLogTest, LinesFromManyThreadsStayWhole) {
    CLog* log = CLog::GetInst();
    ASSERT_TRUE(log->Create(m_dir.Path().c_str(), "t.log", ""));
    log->SetLevel(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([log, t] {
            for (int i = 0; i < 200; ++i) log->WriteLog(3, "thread-%d-line-%03d-end", t, i);
        });
    for (auto& thread : threads) thread.join();
    std::istringstream lines(ReadAll(m_dir.Path() + "/t.log"));
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        ASSERT_GE(line.size(), 15u);
        std::string body = line.substr(15);
        EXPECT_EQ(body.rfind("thread-", 0), 0u) << line;
        EXPECT_EQ(body.substr(body.size() - 4), "-end") << line;
    }
    EXPECT_EQ(count, 800);
}

TEST(CSimpleFileTest, WriteWithoutStreamAndRecursiveDirectories) {
    TempDir dir;
    CSimpleFile file;
    EXPECT_EQ(file.WriteFile("x", 1), -2);
    EXPECT_EQ(file.CloseFile(), 0);
    std::string nested = dir.Path() + "/a/b/c";
    EXPECT_TRUE(CSimpleFile::RecuMkDir(nested.c_str(), 0700, false));
    EXPECT_TRUE(CSimpleFile::IsFileExist(nested.c_str()));
    EXPECT_TRUE(CSimpleFile::RecuMkDir((dir.Path() + "/d/e/file.txt").c_str(), 0700, true));
    EXPECT_TRUE(CSimpleFile::IsFileExist((dir.Path() + "/d/e").c_str()));
    EXPECT_FALSE(CSimpleFile::IsFileExist((dir.Path() + "/d/e/file.txt").c_str()));
    ASSERT_EQ(file.CreateFile((dir.Path() + "/d/e/file.txt").c_str(), "w"), 0);
    EXPECT_EQ(file.WriteFile("abc", 3), 0);
    EXPECT_EQ(file.CloseFile(), 0);
    EXPECT_EQ(file.CreateFile((dir.Path() + "/missing/x").c_str(), "r"), -1);
}
