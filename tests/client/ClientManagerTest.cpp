// The client manager against a recording window and a recording hub: what
// each service message does to the window, and the exact requests it sends.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "ClientManager.h"
#include "IServer.h"
#include "InfoCenter.h"
#include "RecordingWindow.h"
#include "TempDir.h"

namespace {

using Lines = std::vector<std::string>;

const char kCheckEnv[] = "<M><OpS>client</OpS><OpT>Portal</OpT><OpC>CheckEnv</OpC><P>CheckEnv</P></M>";
const char kLogout[] =
    "<M><OpS>client</OpS><OpT>Portal</OpT><OpC>PortalDisConnect</OpC><P><src>2</src></P></M>";

class RecordingHub : public IServer {
public:
    void RegisterBusiness(const char*, IBusiness*) override {}
    void PostMessage(const char* envelope) override { posts.push_back(envelope); }
    ISvrInfoCenter* GetInfoCenter() override { return nullptr; }
    Lines posts;
};

std::string Envelope(const std::string& opt, const std::string& opc, const std::string& p) {
    return "<M><OpS>NetModule</OpS><OpT>" + opt + "</OpT><OpC>" + opc + "</OpC><P>" + p + "</P></M>";
}

std::string State(const std::string& type, const std::string& newState, const std::string& code,
                  const std::string& sub = "", const std::string& subType = "",
                  const std::string& extra = "") {
    return Envelope("Portal", "NetStateMessageResp",
                    "<type>" + type + "</type><oldState>0</oldState><newState>" + newState +
                        "</newState><ErrorCode>" + code + "</ErrorCode><subErrCode>" + sub +
                        "</subErrCode><subType>" + subType + "</subType><extern>" + extra + "</extern>");
}

class ClientManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::mkdir((m_dir / "conf").c_str(), 0755);
        std::ofstream(m_file) << "<client><Password>left-by-old-version</Password></client>\n";
        ::chmod(m_file.c_str(), 0644);
        m_info = std::make_unique<CInfoCenter>(CInfoCenter::Flavor::Client, m_file.c_str());
        m_manager = std::make_unique<CClientManager>(m_info.get());
        m_manager->SetWindow(&m_window);
        m_manager->SetUpdateCheckHook([this] { ++m_updateChecks; });
        m_manager->InitService(&m_hub);
    }

    TempDir m_dir;
    std::string m_file = m_dir / "conf/client.xml";
    std::unique_ptr<CInfoCenter> m_info;
    std::unique_ptr<CClientManager> m_manager;
    RecordingWindow m_window;
    RecordingHub m_hub;
    int m_updateChecks = 0;
};

}  // namespace

// Each state message moves the window; only a disconnection asks the
// service to check the network again. Bad input changes nothing.
TEST_F(ClientManagerTest, StateMessagesDriveTheWindow) {
    struct Case {
        std::string envelope;
        Lines calls;
        Lines posts;
    } cases[] = {
        {State("51", "33", "30000101"), {"state 30000101//"}, {}},
        {State("51", "31", "0"), {"login"}, {}},
        {State("1", "2", "1"), {"connected 1"}, {}},
        {State("0", "2", "0"), {"connected 0"}, {}},
        {State("51", "12", "1"), {"init"}, {kCheckEnv}},
        {State("51", "3", "140001", "bad-password"), {"error 140001/bad-password/"}, {}},
        {State("51", "13", "150010"), {"error 150010//"}, {}},
        {State("51", "32", "150103", "", "HttpError", "-4"), {"error 150103//-4"}, {}},
        {State("51", "11", "1"), {}, {}},
        // The client does not look at the target.
        {Envelope("Elsewhere", "NetStateMessageResp", "<newState>31</newState>"), {"login"}, {}},
        {State("51", "abc", "1"), {}, {}},
        {State("51", "", "1"), {}, {}},
        {State("51", "2x", "1"), {}, {}},
        {"<M><OpC>NetStateMessageResp</OpC><P><newState>31</newState></P>", {}, {}},
        {"not xml at all", {}, {}},
        {Envelope("Portal", "TicketResp", "<ticket>t</ticket>"), {}, {}},
        {Envelope("Portal", "SetValue", "<key>DialAccount</key><value>a</value>"), {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.envelope);
        RecordingWindow window;
        m_manager->SetWindow(&window);
        m_hub.posts.clear();
        m_manager->DealMsg(c.envelope.c_str());
        EXPECT_EQ(window.Calls(), c.calls);
        EXPECT_EQ(m_hub.posts, c.posts);
    }
    // Three ready states above; the update check started at the first only.
    EXPECT_EQ(m_updateChecks, 1);
}

TEST_F(ClientManagerTest, StartCompleteAsksForTheCheckAndInfoCenterPairsAreStored) {
    for (const char* p : {"", "<x/>"}) {
        m_hub.posts.clear();
        m_manager->DealMsg(Envelope("Portal", "ClientStartComplete", p).c_str());
        EXPECT_EQ(m_hub.posts, Lines{kCheckEnv}) << p;
    }
    m_manager->DealMsg(Envelope("Portal", "InfoCenter", "<key>ticket</key><value>t&amp;1</value>").c_str());
    EXPECT_EQ(std::string(m_info->GetValue("ticket")), "t&1");
    m_manager->DealMsg(Envelope("Portal", "InfoCenter", "<key></key><value>lost</value>").c_str());
    m_manager->DealMsg(Envelope("Portal", "InfoCenter", "<value>lost</value>").c_str());
    EXPECT_EQ(std::string(m_info->GetValue("")), "");
    EXPECT_TRUE(m_window.Calls().empty());
}

TEST_F(ClientManagerTest, RequestsAreTheExactEnvelopes) {
    m_manager->Login("a<b&c", "p\"w'<d>");
    m_manager->Logout();
    m_manager->Exit();
    m_manager->SendCheckEnv();
    EXPECT_EQ(
        m_hub.posts,
        (Lines{"<M><OpS>client</OpS><OpT>Portal</OpT><OpC>PortalConnect</OpC><P><user>a&lt;b&amp;c</user>"
               "<password>p&quot;w&apos;&lt;d&gt;</password></P></M>",
               kLogout, kLogout, kCheckEnv}));
    EXPECT_EQ(std::string(m_info->GetLocalValue("Account")), "a<b&c");
    EXPECT_EQ(std::string(m_info->GetValue("account")), "a<b&c");
}

// Before the pipes are open (and after they broke) nothing is sent, but the
// account is kept; the password never reaches the settings file.
TEST_F(ClientManagerTest, LoginWithoutPipeStoresOnlyTheAccount) {
    EXPECT_EQ(ReadFile(m_file).find("left-by-old-version"), std::string::npos);
    m_manager->DetachService(&m_hub);
    m_manager->Login("alice", "secret");
    m_manager->SendCheckEnv();
    EXPECT_TRUE(m_hub.posts.empty());
    std::string saved = ReadFile(m_file);
    EXPECT_NE(saved.find("<Account>alice</Account>"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("secret"), std::string::npos) << saved;
    struct stat info;
    ASSERT_EQ(::stat(m_file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}
