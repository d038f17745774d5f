// The fake desktop client against a stand-in service that opens the FIFOs
// the way the service does: its own for writing first, then the client's.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "FakeClient.h"
#include "TempDir.h"

using std::chrono::milliseconds;

TEST(FakeClientTest, SplitsTheStreamIntoEnvelopesAndSendsEscapedLogins) {
    TempDir dir;
    ASSERT_EQ(mkfifo((dir / "velnorsvrpipe").c_str(), 0600), 0);
    int writeFd = -1, readFd = -1;
    std::thread service([&] {
        writeFd = open((dir / "velnorsvrpipe").c_str(), O_WRONLY);
        readFd = open((dir / "velnorclientpipe").c_str(), O_RDONLY);
    });
    FakeClient client(dir.Path());
    std::string error;
    ASSERT_TRUE(client.Open(milliseconds(5000), &error)) << error;
    service.join();
    ASSERT_GE(writeFd, 0);
    ASSERT_GE(readFd, 0);

    // Two messages in one write, then one split over two writes.
    std::string two = FakeClient::Format("NetModule", "Portal", "ClientStartComplete", "") + '\0' +
                      FakeClient::Format("NetModule", "Portal", "NetStateMessageResp",
                                         "<newState>3</newState><ErrorCode>0</ErrorCode>") +
                      '\0';
    std::string split =
        FakeClient::Format("NetModule", "Portal", "InfoCenter", "<value>&lt;Update url=\"u\"/&gt;</value>") +
        '\0';
    ASSERT_EQ(write(writeFd, two.data(), two.size()), static_cast<ssize_t>(two.size()));
    ASSERT_EQ(write(writeFd, split.data(), 10), 10);
    ASSERT_EQ(write(writeFd, split.data() + 10, split.size() - 10), static_cast<ssize_t>(split.size() - 10));
    ASSERT_TRUE(client.WaitForOpc("ClientStartComplete", milliseconds(5000)));
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
        std::string(
            "<M><OpS>client</OpS><OpT>Portal</OpT><OpC>PortalConnect</OpC><P><user>alice</user>"
            "<password>p&lt;&amp;&gt;</password></P></M>") +
        '\0';
    std::string got(expected.size(), ' ');
    for (size_t have = 0; have < got.size();) {
        ssize_t n = read(readFd, &got[have], got.size() - have);
        ASSERT_GT(n, 0);
        have += static_cast<size_t>(n);
    }
    EXPECT_EQ(got, expected);
    // A service that went away fails the send instead of killing the test.
    close(readFd);
    EXPECT_FALSE(client.SendLogout());
    close(writeFd);
}

TEST(FakeClientTest, OpenGivesUpInTimeWhenNoServiceAnswers) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(FakeClient(dir.Path()).Open(milliseconds(100), &error));
    EXPECT_NE(error.find("never created"), std::string::npos) << error;
    // A FIFO left by a dead service: nobody opens it, the client still returns.
    ASSERT_EQ(mkfifo((dir / "velnorsvrpipe").c_str(), 0600), 0);
    FakeClient client(dir.Path());
    EXPECT_FALSE(client.Open(milliseconds(100), &error));
    EXPECT_NE(error.find("did not open"), std::string::npos) << error;
    EXPECT_FALSE(client.Send("CheckEnv", "CheckEnv"));
}
