#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PipeFramer.h"
#include "PipeService.h"
#include "TempDir.h"
#include "UniqueFd.h"

namespace {

using namespace std::chrono_literals;

class CRecorder : public IPipeCallback {
public:
    void DoWorkOnPipe(CAutoString message) override {
        std::lock_guard<std::mutex> lock(m_lock);
        m_messages.emplace_back(message.c_str(), message.GetLength());
        m_cond.notify_all();
    }
    bool WaitForCount(size_t count) {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_cond.wait_for(lock, 20s, [&] { return m_messages.size() >= count; });
    }
    std::vector<std::string> Messages() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_messages;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_cond;
    std::vector<std::string> m_messages;
};

void WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        ASSERT_GT(n, 0);
        done += static_cast<size_t>(n);
    }
}

// Waits until the reader has taken everything out of the FIFO, so that the
// next write lands in a read of its own.
bool WaitDrained(int fd) {
    auto deadline = std::chrono::steady_clock::now() + 5s;
    int pending = 0;
    while (ioctl(fd, FIONREAD, &pending) == 0 && pending > 0) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

std::string Envelope(const std::string& opc, const std::string& p) {
    return "<M><OpS>client</OpS><OpT>Portal</OpT><OpC>" + opc + "</OpC><P>" + p + "</P></M>";
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ino_t Inode(const std::string& path) {
    struct stat info {};
    lstat(path.c_str(), &info);
    return info.st_ino;
}

class CPipeServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CPipeService::IgnoreSigPipe(); }

    void TearDown() override {
        m_service.SetAbort(true);
        m_client.SetAbort(true);
        if (m_serviceLoop.joinable()) m_serviceLoop.join();
        if (m_clientLoop.joinable()) m_clientLoop.join();
    }

    // Runs both opens at once; aborts both if they do not pair up in time.
    void OpenBoth(std::function<int()> first, std::function<int()> second) {
        auto a = std::async(std::launch::async, first);
        auto b = std::async(std::launch::async, second);
        if (a.wait_for(20s) != std::future_status::ready || b.wait_for(20s) != std::future_status::ready) {
            m_service.SetAbort(true);
            m_client.SetAbort(true);
            ADD_FAILURE() << "opens did not pair up";
        }
        EXPECT_EQ(a.get(), 0);
        EXPECT_EQ(b.get(), 0);
    }

    void StartLoops() {
        m_serviceLoop = std::thread([this] { m_service.LoopMsg(); });
        m_clientLoop = std::thread([this] { m_client.LoopMsg(); });
    }

    // The two objects connected to each other, as the service and the client.
    void ConnectPair() {
        m_service.CreateNamedPipeInServer(m_svrPath.c_str(), &m_serviceGot);
        m_client.CreateNamedPipeInServer(m_cliPath.c_str(), &m_clientGot);
        OpenBoth([this] { return m_service.OpenNamePipeServer(m_cliPath.c_str(), 30); },
                 [this] { return m_client.OpenNamePipeClient(m_svrPath.c_str(), 30); });
        StartLoops();
    }

    // The client object against raw descriptors playing the service.
    void ConnectClientToRawPeer() {
        m_client.CreateNamedPipeInServer(m_cliPath.c_str(), &m_clientGot);
        ASSERT_EQ(mkfifo(m_svrPath.c_str(), 0600), 0);
        m_rawIn.Reset(open(m_cliPath.c_str(), O_RDONLY | O_NONBLOCK));
        OpenBoth([this] { return m_client.OpenNamePipeClient(m_svrPath.c_str(), 30); },
                 [this] {
                     m_rawOut.Reset(open(m_svrPath.c_str(), O_WRONLY));
                     return m_rawOut.IsValid() ? 0 : -1;
                 });
        m_clientLoop = std::thread([this] { m_client.LoopMsg(); });
    }

    TempDir m_dir;
    std::string m_svrPath = m_dir / "svrpipe";
    std::string m_cliPath = m_dir / "clipipe";
    CRecorder m_serviceGot, m_clientGot;
    CUniqueFd m_rawIn, m_rawOut;
    CPipeService m_service, m_client;  // after the recorders: stopped before they go
    std::thread m_serviceLoop, m_clientLoop;
};

}  // namespace

// Split 0: both messages in one write, so usually in one read.
TEST_F(CPipeServiceTest, MessagesSplitAtEveryOffsetArriveWholeAndInOrder) {
    ConnectClientToRawPeer();
    const std::string first = Envelope("CheckEnv", "CheckEnv"), second = "<M>2</M>";
    const std::string bytes = first + '\0' + second + '\0';
    std::vector<std::string> expected;
    for (size_t split = 0; split < bytes.size(); ++split) {
        if (split) WriteAll(m_rawOut.Get(), bytes.substr(0, split));
        ASSERT_TRUE(WaitDrained(m_rawOut.Get()));
        WriteAll(m_rawOut.Get(), bytes.substr(split));
        expected.push_back(first);
        expected.push_back(second);
    }
    ASSERT_TRUE(m_clientGot.WaitForCount(expected.size()));
    EXPECT_EQ(m_clientGot.Messages(), expected);
}

TEST_F(CPipeServiceTest, MessagesLongerThanOneReadBlockArriveWhole) {
    ConnectPair();
    std::vector<std::string> sent;
    for (size_t size : {4095u, 4096u, 4097u, 10000u, 200000u}) {
        sent.push_back(Envelope("Long", std::string(size, 'a' + sent.size())));
        ASSERT_TRUE(m_service.WritePipe(sent.back().c_str()));
    }
    ASSERT_TRUE(m_clientGot.WaitForCount(sent.size()));
    EXPECT_EQ(m_clientGot.Messages(), sent);
}

TEST_F(CPipeServiceTest, OversizedMessageIsDroppedAndReaderResynchronises) {
    ConnectClientToRawPeer();
    const std::string atCap(CPipeFramer::kMaxMessageSize, 'c');
    std::string bytes =
        atCap + '\0' + std::string(CPipeFramer::kMaxMessageSize + 1, 'x') + '\0' + "<M>ok</M>";
    bytes += '\0';
    WriteAll(m_rawOut.Get(), bytes);  // the reader drains it meanwhile
    ASSERT_TRUE(m_clientGot.WaitForCount(2));
    EXPECT_EQ(m_clientGot.Messages(), (std::vector<std::string>{atCap, "<M>ok</M>"}));
}

TEST_F(CPipeServiceTest, PairCarriesMessagesBothWaysInOrderIncludingEmptyParameters) {
    ConnectPair();
    const std::string start = Envelope("ClientStart", "ClientStart");
    const std::string complete =
        "<M><OpS>NetModule</OpS><OpT>Portal</OpT><OpC>ClientStartComplete</OpC><P></P></M>";
    ASSERT_TRUE(m_client.WritePipe(start.c_str()));
    ASSERT_TRUE(m_service.WritePipe(complete.c_str()));
    ASSERT_TRUE(m_service.WritePipe(""));
    ASSERT_TRUE(m_serviceGot.WaitForCount(1));
    ASSERT_TRUE(m_clientGot.WaitForCount(2));
    EXPECT_EQ(m_serviceGot.Messages(), std::vector<std::string>{start});
    EXPECT_EQ(m_clientGot.Messages(), (std::vector<std::string>{complete, ""}));
}

TEST_F(CPipeServiceTest, ConcurrentWritersNeverInterleaveMessages) {
    ConnectPair();
    const int writers = 4, each = 100;
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([this, w] {
            for (int i = 0; i < each; ++i) {
                std::string p =
                    std::to_string(w) + ":" + std::to_string(i) + ":" + std::string(i * 90, 'a' + w);
                EXPECT_TRUE(m_service.WritePipe(Envelope("W", p).c_str()));
            }
        });
    }
    for (std::thread& t : threads) t.join();
    ASSERT_TRUE(m_clientGot.WaitForCount(writers * each));
    std::vector<int> next(writers, 0);
    for (const std::string& message : m_clientGot.Messages()) {
        int w = message[message.find("<P>") + 3] - '0';
        ASSERT_TRUE(w >= 0 && w < writers) << message;
        int i = next[w]++;
        EXPECT_EQ(message, Envelope("W", std::to_string(w) + ":" + std::to_string(i) + ":" +
                                             std::string(i * 90, 'a' + w)));
    }
}

TEST_F(CPipeServiceTest, ClientStartingFirstConnectsOnceTheServiceOpens) {
    m_client.CreateNamedPipeInServer(m_cliPath.c_str(), &m_clientGot);
    auto client =
        std::async(std::launch::async, [this] { return m_client.OpenNamePipeClient(m_svrPath.c_str(), 30); });
    // The service's FIFO does not exist yet: the client is retrying.
    EXPECT_EQ(client.wait_for(50ms), std::future_status::timeout);
    m_service.CreateNamedPipeInServer(m_svrPath.c_str(), &m_serviceGot);
    OpenBoth([this] { return m_service.OpenNamePipeServer(m_cliPath.c_str(), 30); }, [] { return 0; });
    EXPECT_EQ(client.get(), 0);
    StartLoops();
    ASSERT_TRUE(m_client.WritePipe("<M>hello</M>"));
    ASSERT_TRUE(m_serviceGot.WaitForCount(1));
}

TEST_F(CPipeServiceTest, PeerReopeningItsEndIsNotAnError) {
    ConnectClientToRawPeer();
    WriteAll(m_rawOut.Get(), std::string("<M>1</M>\0", 9));
    ASSERT_TRUE(m_clientGot.WaitForCount(1));
    m_rawOut.Reset();  // the writer goes away for a while
    m_rawOut.Reset(open(m_svrPath.c_str(), O_WRONLY));
    WriteAll(m_rawOut.Get(), std::string("<M>2</M>\0", 9));
    ASSERT_TRUE(m_clientGot.WaitForCount(2));
    EXPECT_EQ(m_clientGot.Messages(), (std::vector<std::string>{"<M>1</M>", "<M>2</M>"}));
}

TEST_F(CPipeServiceTest, WritePipeAfterTheReaderLeftReturnsFalseAndTheProcessLives) {
    ConnectClientToRawPeer();
    ASSERT_TRUE(m_client.WritePipe("<M>1</M>"));
    m_rawIn.Reset();
    EXPECT_FALSE(m_client.WritePipe("<M>2</M>"));
    EXPECT_TRUE(m_client.IsConnected());
}

TEST_F(CPipeServiceTest, WritePipeBeforeConnectingReturnsFalseAndWritesNothing) {
    ASSERT_EQ(m_service.CreateNamedPipeInServer(m_svrPath.c_str(), &m_serviceGot), 0);
    CUniqueFd reader(open(m_svrPath.c_str(), O_RDONLY | O_NONBLOCK));
    EXPECT_FALSE(m_service.IsConnected());
    EXPECT_FALSE(m_service.WritePipe("<M>early</M>"));
    char byte;
    EXPECT_EQ(read(reader.Get(), &byte, 1), 0);
}

TEST_F(CPipeServiceTest, ExistingFifoIsReusedAnythingElseReplacedAndRemovedAtTheEnd) {
    const std::string target = m_dir / "target";
    std::ofstream(target) << "keep me";
    for (const std::string kind : {"fifo", "file", "link"}) {
        SCOPED_TRACE(kind);
        const bool reused = kind == "fifo";
        if (kind == "file") std::ofstream(m_svrPath) << "stale";
        ASSERT_EQ(kind == "file" ? 0
                  : reused       ? mkfifo(m_svrPath.c_str(), 0600)
                                 : symlink(target.c_str(), m_svrPath.c_str()),
                  0);
        ino_t before = Inode(m_svrPath);
        {
            CPipeService service;
            EXPECT_EQ(service.CreateNamedPipeInServer(m_svrPath.c_str(), nullptr), reused ? -1 : 0);
            struct stat info {};
            ASSERT_EQ(lstat(m_svrPath.c_str(), &info), 0);
            EXPECT_TRUE(S_ISFIFO(info.st_mode));
            EXPECT_EQ(info.st_mode & 0777, 0600u);
            if (reused) {
                EXPECT_EQ(info.st_ino, before);  // a replacement may get the freed number, so only here
            }
        }
        EXPECT_NE(access(m_svrPath.c_str(), F_OK), 0);
        EXPECT_EQ(ReadFile(target), "keep me");
    }
}

TEST_F(CPipeServiceTest, OpenRefusesALinkPutInPlaceOfTheFifo) {
    const std::string target = m_dir / "target";
    std::ofstream(target) << "keep me";
    m_service.CreateNamedPipeInServer(m_svrPath.c_str(), nullptr);
    unlink(m_svrPath.c_str());
    ASSERT_EQ(symlink(target.c_str(), m_svrPath.c_str()), 0);
    EXPECT_EQ(m_service.OpenNamePipeServer(m_cliPath.c_str(), 1), -1);
    EXPECT_FALSE(m_service.WritePipe("<M>secret</M>"));
    EXPECT_EQ(ReadFile(target), "keep me");
}

TEST_F(CPipeServiceTest, OpensGiveUpAfterTheirAttemptsOrWhenAborted) {
    std::ofstream(m_dir / "plainfile") << "not a fifo";
    EXPECT_EQ(m_client.OpenNamePipeClient((m_dir / "missing").c_str(), 2), -2);
    EXPECT_EQ(m_client.OpenNamePipeClient((m_dir / "plainfile").c_str(), 1), -2);

    struct Case {
        const char* name;
        std::function<int(CPipeService&)> open;
    };
    ASSERT_EQ(mkfifo(m_svrPath.c_str(), 0600), 0);
    const std::vector<Case> cases = {
        {"retrying on a missing FIFO",
         [&](CPipeService& s) { return s.OpenNamePipeClient((m_dir / "missing").c_str()); }},
        {"blocked reading a FIFO with no writer",
         [&](CPipeService& s) { return s.OpenNamePipeClient(m_svrPath.c_str()); }},
        {"blocked writing a FIFO with no reader",
         [&](CPipeService& s) { return s.OpenNamePipeServer(m_svrPath.c_str()) == -1 ? -2 : 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CPipeService service;
        service.CreateNamedPipeInServer(m_cliPath.c_str(), nullptr);
        auto result = std::async(std::launch::async, [&] { return c.open(service); });
        EXPECT_EQ(result.wait_for(20ms), std::future_status::timeout);
        service.SetAbort(true);
        ASSERT_EQ(result.wait_for(20s), std::future_status::ready);
        EXPECT_EQ(result.get(), -2);
        unlink(m_cliPath.c_str());
    }
}

TEST_F(CPipeServiceTest, AbortEndsTheReadLoopAndStopsTheEngine) {
    ConnectClientToRawPeer();
    m_client.SetAbort(true);
    m_clientLoop.join();
    EXPECT_FALSE(m_client.IsRunning());
    EXPECT_EQ(m_client.LoopMsg(), -2);
    m_client.SetAbort(false);
    m_clientLoop = std::thread([this] { m_client.LoopMsg(); });
    WriteAll(m_rawOut.Get(), std::string("<M>again</M>\0", 13));
    ASSERT_TRUE(m_clientGot.WaitForCount(1));
}
