#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Business.h"
#include "HostFiles.h"
#include "Log.h"
#include "MsgEngine.h"
#include "Server.h"
#include "XMLOpt.h"

namespace {

// A business that records what reaches it.
class RecordingBusiness : public CBusiness {
public:
    void InitOpcodeFun() override { AddOpcode("Known", &RecordingBusiness::OnKnown); }
    void OnKnown(const char* source, CXMLOpt& message) {
        handled.push_back(std::string("known:") + source + ":" + message.GetValue("P.x").c_str());
    }
    void DefaultDeal(CXMLOpt& message) override {
        handled.push_back(std::string("default:") + message.GetValue("OpC").c_str());
    }
    void ServerStatus(int status) override { statuses.push_back(status); }
    std::vector<std::string> handled;
    std::vector<int> statuses;
};

// A console engine that is never started: it only keeps what is queued.
struct QueueOnly : CMsgEngine {
    ~QueueOnly() override { StopMsgEngine(); }
    void DoMessage(CAutoString) override {}
};

std::string Envelope(const char* target, const char* opcode, const char* param) {
    return std::string("<M><OpS>client</OpS><OpT>") + target + "</OpT><OpC>" + opcode + "</OpC><P>" + param +
           "</P></M>";
}

class CServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CLog::GetInst()->Create(m_dir.Path().c_str(), "hub.log", ""));
        CLog::GetInst()->SetLevel(kLogVerbose);
        m_business.InitService(&m_server);
        m_server.RegisterBusiness("Portal", &m_business);
    }
    void TearDown() override {
        CLog::GetInst()->SetLevel(kLogAlways);
        CLog::GetInst()->CloseFile();
    }
    std::string LogText() { return ReadFile(m_dir / "hub.log"); }
    TempDir m_dir;
    CServer m_server;
    RecordingBusiness m_business;
};

}  // namespace

TEST_F(CServerTest, DispatchesByTargetAndOpcodeWithDefaultForUnknownOpcodes) {
    m_server.DoWorkOnPipe(Envelope("Portal", "Known", "<x>1</x>").c_str());
    m_server.DoWorkOnPipe(Envelope("Portal", "Other", "").c_str());
    m_server.DoWorkOnPipe(Envelope("InfoCenter", "Known", "<x>2</x>").c_str());
    m_server.DoWorkOnPipe("<M><OpT>Portal</OpT>");  // ill-formed: dropped
    EXPECT_EQ(m_business.handled, (std::vector<std::string>{"known:client:1", "default:Other"}));
}

TEST_F(CServerTest, LogsEveryReceivedMessageButNeverTheLogin) {
    std::string other = Envelope("Portal", "CheckEnv", "CheckEnv");
    std::string login = Envelope("Portal", "PortalConnect", "<user>u</user><password>secret%s</password>");
    m_server.DoWorkOnPipe(other.c_str());
    m_server.DoWorkOnPipe(login.c_str());
    std::string log = LogText();
    EXPECT_NE(log.find(other), std::string::npos) << log;
    EXPECT_EQ(log.find("secret"), std::string::npos) << log;
    EXPECT_EQ(m_business.handled, (std::vector<std::string>{"default:CheckEnv", "default:PortalConnect"}));
}

TEST_F(CServerTest, ServerStatusReachesEveryBusinessOnceAndIsLogged) {
    RecordingBusiness second;
    second.InitService(&m_server);
    m_server.RegisterBusiness("Another", &second);
    m_server.ServerStatus(-1);
    EXPECT_EQ(m_business.statuses, std::vector<int>{-1});
    EXPECT_EQ(second.statuses, std::vector<int>{-1});
    EXPECT_NE(LogText().find("client disconnect -1"), std::string::npos);
}

TEST_F(CServerTest, PostsAreCopiedToTheConsoleOnlyWhenItIsOn) {
    QueueOnly console;
    m_business.PostMsg("NetModule", "Portal", "ClientStartComplete", "");
    EXPECT_EQ(console.GetQueuedCount(), 0u);
    m_server.SetConsoleEngine(&console);
    m_business.PostMsg("NetModule", "Portal", "ClientStartComplete", "");
    m_business.PostMsg("NetModule", "Portal", "X", nullptr);  // nothing sent without parameters
    EXPECT_EQ(console.GetQueuedCount(), 1u);
    m_server.SetConsoleEngine(nullptr);
}
