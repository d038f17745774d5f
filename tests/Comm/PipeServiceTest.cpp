#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "PipeFramer.h"
#include "PipeService.h"
#include "TempDir.h"
#include "ThreadTestHelpers.h"
#include "UniqueFd.h"

namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

struct CRecorder : IPipeCallback, threadtest::Inbox {
    void DoWorkOnPipe(CAutoString message) override {
        Push(std::string(message.c_str(), message.GetLength()));
    }
};

void WriteAll(int fd, const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        ASSERT_GT(n, 0);
        done += static_cast<size_t>(n);
    }
}

// Waits until the reader has emptied the FIFO, so that the next write lands in a read of its own.
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

class CPipeServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CPipeService::IgnoreSigPipe(); }

    void TearDown() override {
        m_service.SetAbort(true);
        m_client.SetAbort(true);
        if (m_serviceLoop.joinable()) m_serviceLoop.join();
        if (m_clientLoop.joinable()) m_clientLoop.join();
    }

    // The client object connected to the service object, or to raw descriptors playing the service.
    void Connect(bool rawPeer = false) {
        m_client.CreateNamedPipeInServer(m_cliPath.c_str(), &m_clientGot);
        if (rawPeer) {
            ASSERT_EQ(mkfifo(m_svrPath.c_str(), 0600), 0);
            m_rawIn.Reset(open(m_cliPath.c_str(), O_RDONLY | O_NONBLOCK));
        } else {
            m_service.CreateNamedPipeInServer(m_svrPath.c_str(), &m_serviceGot);
        }
        auto service = std::async(std::launch::async, [&] {
            if (!rawPeer) return m_service.OpenNamePipeServer(m_cliPath.c_str(), 30);
            m_rawOut.Reset(open(m_svrPath.c_str(), O_WRONLY));
            return m_rawOut.IsValid() ? 0 : -1;
        });
        auto client = std::async(std::launch::async,
                                 [&] { return m_client.OpenNamePipeClient(m_svrPath.c_str(), 30); });
        if (service.wait_for(20s) != std::future_status::ready ||
            client.wait_for(20s) != std::future_status::ready) {
            m_service.SetAbort(true);
            m_client.SetAbort(true);
            ADD_FAILURE() << "opens did not pair up";
        }
        EXPECT_EQ(service.get(), 0);
        EXPECT_EQ(client.get(), 0);
        if (!rawPeer) m_serviceLoop = std::thread([this] { m_service.LoopMsg(); });
        m_clientLoop = std::thread([this] { m_client.LoopMsg(); });
    }

    TempDir m_dir;
    std::string m_svrPath = m_dir / "svrpipe", m_cliPath = m_dir / "clipipe", m_target = m_dir / "target";
    CRecorder m_serviceGot, m_clientGot;
    CUniqueFd m_rawIn, m_rawOut;
    CPipeService m_service, m_client;  // after the recorders: stopped before they go
    std::thread m_serviceLoop, m_clientLoop;
};

}  // namespace

// Split 0 puts both messages in one write, so usually in one read.
TEST_F(CPipeServiceTest, MessagesSplitAtEveryOffsetArriveWholeAndInOrder) {
    Connect(true);
    const std::string first = Envelope("CheckEnv", "CheckEnv"), second = "<M>2</M>";
    const std::string bytes = first + '\0' + second + '\0';
    Strings expected;
    for (size_t split = 0; split < bytes.size(); ++split) {
        if (split) WriteAll(m_rawOut.Get(), bytes.substr(0, split));
        ASSERT_TRUE(WaitDrained(m_rawOut.Get()));
        WriteAll(m_rawOut.Get(), bytes.substr(split));
        expected.insert(expected.end(), {first, second});
    }
    EXPECT_EQ(m_clientGot.WaitFor(expected.size()), expected);
}

TEST_F(CPipeServiceTest, PairCarriesEmptyAndLongMessagesBothWaysInOrder) {
    Connect();
    const std::string start = Envelope("ClientStart", "ClientStart");
    ASSERT_TRUE(m_client.WritePipe(start.c_str()));
    Strings sent = {""};
    ASSERT_TRUE(m_service.WritePipe(""));
    for (size_t size : {4095u, 4096u, 4097u, 10000u, 200000u}) {
        sent.push_back(Envelope("Long", std::string(size, 'a' + sent.size())));
        ASSERT_TRUE(m_service.WritePipe(sent.back().c_str()));
    }
    EXPECT_EQ(m_clientGot.WaitFor(sent.size()), sent);
    EXPECT_EQ(m_serviceGot.WaitFor(1), Strings{start});
}

TEST_F(CPipeServiceTest, OversizedMessageIsDroppedAndReaderResynchronises) {
    Connect(true);
    const std::string atCap(CPipeFramer::kMaxMessageSize, 'c');
    std::string bytes =
        atCap + '\0' + std::string(CPipeFramer::kMaxMessageSize + 1, 'x') + '\0' + "<M>ok</M>";
    WriteAll(m_rawOut.Get(), bytes + '\0');  // the reader drains it meanwhile
    EXPECT_EQ(m_clientGot.WaitFor(2), (Strings{atCap, "<M>ok</M>"}));
}

TEST_F(CPipeServiceTest, ConcurrentWritersNeverInterleaveMessages) {
    Connect();
    const int writers = 4, each = 100;
    auto text = [](int w, int i) {
        return Envelope("W",
                        std::to_string(w) + ":" + std::to_string(i) + ":" + std::string(i * 90, 'a' + w));
    };
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w)
        threads.emplace_back([&, w] {
            for (int i = 0; i < each; ++i) EXPECT_TRUE(m_service.WritePipe(text(w, i).c_str()));
        });
    for (std::thread& t : threads) t.join();
    const Strings got = m_clientGot.WaitFor(writers * each);
    ASSERT_EQ(got.size(), static_cast<size_t>(writers * each));
    std::vector<int> next(writers, 0);
    for (const std::string& message : got) {
        int w = message[message.find("<P>") + 3] - '0';
        ASSERT_TRUE(w >= 0 && w < writers) << message;
        EXPECT_EQ(message, text(w, next[w]++));
    }
}

TEST_F(CPipeServiceTest, ReadLoopOutlivesAReopeningPeerAndEndsOnAbort) {
    Connect(true);
    WriteAll(m_rawOut.Get(), std::string("<M>1</M>\0", 9));
    ASSERT_EQ(m_clientGot.WaitFor(1).size(), 1u);
    m_rawOut.Reset();  // the writer goes away for a while
    m_rawOut.Reset(open(m_svrPath.c_str(), O_WRONLY));
    WriteAll(m_rawOut.Get(), std::string("<M>2</M>\0", 9));
    EXPECT_EQ(m_clientGot.WaitFor(2), (Strings{"<M>1</M>", "<M>2</M>"}));
    m_client.SetAbort(true);
    m_clientLoop.join();
    EXPECT_FALSE(m_client.IsRunning());
}

TEST_F(CPipeServiceTest, WritesWithoutAReaderReturnFalseAndTheProcessLives) {
    Connect(true);
    ASSERT_TRUE(m_client.WritePipe("<M>1</M>"));
    m_rawIn.Reset();  // SIGPIPE must not end the process
    EXPECT_FALSE(m_client.WritePipe("<M>2</M>"));
    EXPECT_TRUE(m_client.IsConnected());

    const std::string own = m_dir / "early";  // not yet connected
    ASSERT_EQ(m_service.CreateNamedPipeInServer(own.c_str(), &m_serviceGot), 0);
    CUniqueFd reader(open(own.c_str(), O_RDONLY | O_NONBLOCK));
    EXPECT_FALSE(m_service.IsConnected());
    EXPECT_FALSE(m_service.WritePipe("<M>early</M>"));
    char byte;
    EXPECT_EQ(read(reader.Get(), &byte, 1), 0);
}

TEST_F(CPipeServiceTest, OwnPrivateFifoIsReusedAnythingElseReplacedAndRemovedAtTheEnd) {
    std::ofstream(m_target) << "keep me";
    for (const std::string kind : {"fifo", "open fifo", "file", "link", "directory"}) {
        SCOPED_TRACE(kind);
        const bool reused = kind == "fifo", blocked = kind == "directory";
        if (kind == "file") std::ofstream(m_svrPath) << "stale";
        if (kind == "link") {
            ASSERT_EQ(symlink(m_target.c_str(), m_svrPath.c_str()), 0);
        }
        if (kind == "directory") {
            ASSERT_EQ(mkdir(m_svrPath.c_str(), 0700), 0);
        }
        if (kind.find("fifo") != std::string::npos) {
            ASSERT_EQ(mkfifo(m_svrPath.c_str(), 0600), 0);
            ASSERT_EQ(chmod(m_svrPath.c_str(), reused ? 0600 : 0666), 0);
        }
        struct stat before = {}, info = {};
        lstat(m_svrPath.c_str(), &before);
        {
            CPipeService service;
            EXPECT_EQ(service.CreateNamedPipeInServer(m_svrPath.c_str(), nullptr), reused    ? -1
                                                                                   : blocked ? -2
                                                                                             : 0);
            ASSERT_EQ(lstat(m_svrPath.c_str(), &info), 0);
            if (blocked) {
                EXPECT_TRUE(S_ISDIR(info.st_mode));
                continue;
            }
            EXPECT_TRUE(S_ISFIFO(info.st_mode));
            EXPECT_EQ(info.st_mode & 0777, 0600u);
            EXPECT_TRUE(!reused || info.st_ino == before.st_ino);  // a replacement may get the freed number
        }
        EXPECT_NE(access(m_svrPath.c_str(), F_OK), 0);
        EXPECT_EQ(ReadFile(m_target), "keep me");
    }
    rmdir(m_svrPath.c_str());
}

TEST_F(CPipeServiceTest, OpenRefusesALinkPutInPlaceOfTheFifo) {
    std::ofstream(m_target) << "keep me";
    m_service.CreateNamedPipeInServer(m_svrPath.c_str(), nullptr);
    unlink(m_svrPath.c_str());
    ASSERT_EQ(symlink(m_target.c_str(), m_svrPath.c_str()), 0);
    EXPECT_EQ(m_service.OpenNamePipeServer(m_cliPath.c_str(), 1), -1);
    EXPECT_FALSE(m_service.WritePipe("<M>secret</M>"));
    EXPECT_EQ(ReadFile(m_target), "keep me");
}

TEST_F(CPipeServiceTest, OpensGiveUpAfterTheirAttemptsOrWhenAborted) {
    std::ofstream(m_target) << "not a fifo";
    const std::string missing = m_dir / "missing";
    EXPECT_EQ(m_client.OpenNamePipeClient(missing.c_str(), 2), -2);
    EXPECT_EQ(m_client.OpenNamePipeClient(m_target.c_str(), 1), -2);

    ASSERT_EQ(mkfifo(m_svrPath.c_str(), 0600), 0);
    const std::pair<const char*, std::function<int(CPipeService&)>> cases[] = {
        {"retrying on a missing FIFO",
         [&](CPipeService& s) { return s.OpenNamePipeClient(missing.c_str()); }},
        {"reading a FIFO with no writer",
         [&](CPipeService& s) { return s.OpenNamePipeClient(m_svrPath.c_str()); }},
        {"writing a FIFO with no reader",
         [&](CPipeService& s) { return s.OpenNamePipeServer(m_svrPath.c_str()) == -1 ? -2 : 0; }},
    };
    for (const auto& [name, open] : cases) {
        SCOPED_TRACE(name);
        CPipeService service;
        service.CreateNamedPipeInServer(m_cliPath.c_str(), nullptr);
        auto result = std::async(std::launch::async, [&, open = open] { return open(service); });
        EXPECT_EQ(result.wait_for(20ms), std::future_status::timeout);
        service.SetAbort(true);
        ASSERT_EQ(result.wait_for(20s), std::future_status::ready);
        EXPECT_EQ(result.get(), -2);
        unlink(m_cliPath.c_str());
    }
}
