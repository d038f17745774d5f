// The fake desktop client against a stand-in service that opens the FIFOs
// the way the service does.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "FakeClient.h"
#include "TempDir.h"

namespace {
using std::chrono::milliseconds;

// The service's side: create and open our FIFO for writing (waits for the
// reader), then open the client's FIFO for reading.
struct FakeService {
    explicit FakeService(const std::string& dir) : dir(dir) {
        mkfifo((dir + "/velnorsvrpipe").c_str(), 0600);
    }
    void Connect() {
        writeFd = open((dir + "/velnorsvrpipe").c_str(), O_WRONLY);
        readFd = open((dir + "/velnorclientpipe").c_str(), O_RDONLY);
    }
    ~FakeService() {
        if (writeFd >= 0) close(writeFd);
        if (readFd >= 0) close(readFd);
    }
    // Reads one NUL-terminated envelope.
    std::string ReadEnvelope() {
        std::string text;
        char c;
        while (read(readFd, &c, 1) == 1 && c != '\0') text += c;
        return text;
    }
    void Write(const std::string& envelope) {
        std::string framed = envelope + '\0';
        (void)!write(writeFd, framed.data(), framed.size());
    }
    std::string dir;
    int writeFd = -1;
    int readFd = -1;
};
}  // namespace

TEST(FakeClientTest, ExchangesEnvelopesWithTheService) {
    TempDir dir;
    FakeService service(dir.Path());
    std::thread connect([&] { service.Connect(); });
    FakeClient client(dir.Path());
    std::string error;
    ASSERT_TRUE(client.Open(milliseconds(5000), &error)) << error;
    connect.join();
    ASSERT_GE(service.writeFd, 0);
    ASSERT_GE(service.readFd, 0);

    // Two messages in one write, and one split over two writes.
    std::string two = FakeClient::Format("NetModule", "Portal", "ClientStartComplete", "") + '\0' +
                      FakeClient::Format("NetModule", "Portal", "NetStateMessageResp",
                                         "<type>1</type><oldState>1</oldState><newState>3</newState>"
                                         "<ErrorCode>0</ErrorCode><subErrCode></subErrCode><subType></subType>"
                                         "<extern></extern>") +
                      '\0';
    ASSERT_EQ(write(service.writeFd, two.data(), two.size()), static_cast<ssize_t>(two.size()));
    std::string split = FakeClient::Format("NetModule", "Portal", "InfoCenter",
                                           "<key>FUN_Update</key><value>&lt;Update url=\"u\"/&gt;</value>") +
                        '\0';
    ASSERT_EQ(write(service.writeFd, split.data(), 10), 10);
    ASSERT_EQ(write(service.writeFd, split.data() + 10, split.size() - 10), static_cast<ssize_t>(split.size() - 10));

    auto first = client.WaitForOpc("ClientStartComplete", milliseconds(5000));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->ops, "NetModule");
    EXPECT_EQ(first->p, "");
    auto state = client.WaitForState(3, milliseconds(5000));
    ASSERT_TRUE(state);
    EXPECT_EQ(state->ErrorCode(), 0);
    auto info = client.WaitForOpc("InfoCenter", milliseconds(5000));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->Param("value"), "<Update url=\"u\"/>");
    // Waits go forward: the first message is not found again.
    EXPECT_FALSE(client.WaitForOpc("ClientStartComplete", milliseconds(20)));
    EXPECT_EQ(client.Received().size(), 3u);

    ASSERT_TRUE(client.SendLogin("alice", "p<&>"));
    std::string expected =
        std::string("<M><OpS>client</OpS><OpT>Portal</OpT><OpC>PortalConnect</OpC><P><user>alice</user>"
                    "<password>p&lt;&amp;&gt;</password></P></M>") +
        '\0';
    std::string got(expected.size(), ' ');
    size_t have = 0;
    while (have < got.size()) {
        ssize_t n = read(service.readFd, &got[have], got.size() - have);
        ASSERT_GT(n, 0);
        have += static_cast<size_t>(n);
    }
    EXPECT_EQ(got, expected);

    close(service.writeFd);
    service.writeFd = -1;
    EXPECT_FALSE(client.WaitForOpc("never", milliseconds(5000)));
    EXPECT_TRUE(client.PeerClosed());
}

TEST(FakeClientTest, OpenGivesUpInTimeWhenNoServiceAnswers) {
    TempDir dir;
    {
        FakeClient client(dir.Path());
        std::string error;
        EXPECT_FALSE(client.Open(milliseconds(100), &error));
        EXPECT_NE(error.find("never created"), std::string::npos);
    }
    // A FIFO left by a dead service: nobody opens it, the client still returns.
    ASSERT_EQ(mkfifo((dir / "velnorsvrpipe").c_str(), 0600), 0);
    FakeClient client(dir.Path());
    std::string error;
    EXPECT_FALSE(client.Open(milliseconds(100), &error));
    EXPECT_NE(error.find("did not open"), std::string::npos);
    EXPECT_FALSE(client.Send("CheckEnv", "CheckEnv"));
}

TEST(FakeClientTest, HandshakeStartsTheServiceAndAsksForTheNetworkCheck) {
    TempDir dir;
    FakeService service(dir.Path());
    std::string first, last;
    std::thread serve([&] {
        service.Connect();
        first = service.ReadEnvelope();
        service.Write(FakeClient::Format("NetModule", "Portal", "ClientStartComplete", ""));
        last = service.ReadEnvelope();
    });
    FakeClient client(dir.Path());
    std::string error;
    ASSERT_TRUE(client.Open(milliseconds(5000), &error)) << error;
    EXPECT_TRUE(client.Handshake(milliseconds(5000)));
    serve.join();
    EXPECT_EQ(first, "<M><OpS>client</OpS><OpT>Portal</OpT><OpC>ClientStart</OpC><P>ClientStart</P></M>");
    EXPECT_EQ(last, "<M><OpS>client</OpS><OpT>Portal</OpT><OpC>CheckEnv</OpC><P>CheckEnv</P></M>");
}
