#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "ClientCommand.h"
#include "IConsolePortal.h"
#include "XMLOpt.h"

namespace {

struct FakePortal : IConsolePortal {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::string> calls;
    void Record(const std::string& call) {
        {
            std::lock_guard<std::mutex> guard(lock);
            calls.push_back(call);
        }
        changed.notify_all();
    }
    void ClientStart() override { Record("start"); }
    void CheckNetStatus(int delay) override { Record("check " + std::to_string(delay)); }
    void Login(const char* envelope) override { Record(std::string("login ") + envelope); }
    void Logout(const char* source) override { Record(std::string("logout ") + source); }
    std::vector<std::string> Calls() {
        std::lock_guard<std::mutex> guard(lock);
        return calls;
    }
    bool WaitCalls(size_t count) {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, std::chrono::seconds(10), [&] { return calls.size() >= count; });
    }
};

class TestConsole : public CClientCommand {
public:
    TestConsole(std::istream& in, FILE* out, std::vector<int>* exits)
        : CClientCommand(in, out, [exits](int status) { exits->push_back(status); }) {}
    void Deliver(const std::string& envelope) { DoMessage(envelope.c_str()); }
};

std::string State(int newState, int code = 0, const std::string& sub = "") {
    return "<M><OpS>NetModule</OpS><OpT>Portal</OpT><OpC>NetStateMessageResp</OpC><P><type>51</type>"
           "<oldState>0</oldState><newState>" +
           std::to_string(newState) + "</newState><ErrorCode>" + std::to_string(code) +
           "</ErrorCode><subErrCode>" + sub + "</subErrCode><subType></subType><extern></extern></P></M>";
}

class CClientCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_out = tmpfile();
        ASSERT_NE(m_out, nullptr);
    }
    void TearDown() override {
        m_console.reset();
        if (m_out) fclose(m_out);
    }
    TestConsole& Console(const std::string& input) {
        m_in.str(input);
        m_console = std::make_unique<TestConsole>(m_in, m_out, &m_exits);
        m_console->SetPortal(&m_portal);
        m_console->SetUserInfo("alice", "pa<ss>&\"word'");
        return *m_console;
    }
    std::string Output() {
        fflush(m_out);
        rewind(m_out);
        std::string text;
        char buffer[512];
        size_t n;
        while ((n = fread(buffer, 1, sizeof(buffer), m_out)) > 0) text.append(buffer, n);
        return text;
    }

    FakePortal m_portal;
    std::istringstream m_in;
    FILE* m_out = nullptr;
    std::vector<int> m_exits;
    std::unique_ptr<TestConsole> m_console;
};

}  // namespace

TEST_F(CClientCommandTest, StartRunsTheEngineAndStartCompleteChecksTheNetwork) {
    TestConsole& console = Console("");
    console.Start();
    EXPECT_TRUE(console.IsRunning());
    console.AddMessage("<M><OpS>NetModule</OpS><OpT>Portal</OpT><OpC>ClientStartComplete</OpC><P></P></M>");
    ASSERT_TRUE(m_portal.WaitCalls(2));
    EXPECT_EQ(m_portal.Calls(), (std::vector<std::string>{"start", "check 0"}));
    console.StopMsgEngine();
}

TEST_F(CClientCommandTest, LogsInOnceWithEscapedCredentials) {
    TestConsole& console = Console("");
    console.Deliver(State(33, 30000101));
    console.Deliver(State(31));
    console.Deliver(State(31));
    ASSERT_EQ(m_portal.Calls().size(), 1u);
    std::string call = m_portal.Calls()[0];
    ASSERT_EQ(call.rfind("login ", 0), 0u);
    std::string envelope = call.substr(6);
    CXMLOpt parsed(envelope.c_str());
    ASSERT_TRUE(parsed.IsWellFormed()) << envelope;
    EXPECT_STREQ(parsed.GetValue("OpC").c_str(), "PortalConnect");
    EXPECT_STREQ(parsed.GetValue("OpS").c_str(), "client");
    EXPECT_STREQ(parsed.GetValue("P.user").c_str(), "alice");
    EXPECT_STREQ(parsed.GetValue("P.password").c_str(), "pa<ss>&\"word'");
    EXPECT_TRUE(m_exits.empty());
}

TEST_F(CClientCommandTest, AnyWordAtThePromptLogsOffOnce) {
    TestConsole& console = Console("  whatever\nmore\n");
    console.Deliver(State(2, 1));
    console.Deliver(State(2, 1));
    EXPECT_EQ(m_portal.Calls(), (std::vector<std::string>{"logout 1"}));
    EXPECT_EQ(Output(), "If you want go to offline, Please enter [y]:\n");
}

TEST_F(CClientCommandTest, EndOfInputIsNoAnswerAndTheSessionStays) {
    for (const char* input : {"", "   \n\t\n"}) {
        m_portal.calls.clear();
        m_exits.clear();
        TestConsole& console = Console(input);
        console.Deliver(State(2, 1));
        EXPECT_TRUE(m_portal.Calls().empty()) << "input '" << input << "'";
        EXPECT_TRUE(m_exits.empty());
    }
}

TEST_F(CClientCommandTest, ReadWordIsBoundedAndSkipsBlanks) {
    struct Case {
        std::string input;
        bool read;
        std::string word;
    } cases[] = {
        {"y\n", true, "y"},
        {"\n\n  yes please\n", true, "yes"},
        {"", false, ""},
        {" \n ", false, ""},
        {std::string(300, 'x'), true, std::string(255, 'x')},
    };
    for (const Case& c : cases) {
        std::istringstream in(c.input);
        std::string word = "stale";
        EXPECT_EQ(CClientCommand::ReadWord(in, word), c.read) << c.input.size();
        EXPECT_EQ(word, c.word);
    }
    // What follows a cut word stays for a later read.
    std::istringstream in(std::string(256, 'a') + " b");
    std::string word;
    ASSERT_TRUE(CClientCommand::ReadWord(in, word));
    ASSERT_TRUE(CClientCommand::ReadWord(in, word));
    EXPECT_EQ(word, "a");
}

TEST_F(CClientCommandTest, OutcomesEndTheProcessWithDistinctStatuses) {
    struct Case {
        std::string message;
        int status;
        std::string output;
    } cases[] = {
        {State(32, 20010207), 2,
         "Init environment fail,Please restart the program,the error is 20010207, subcode is \n"},
        {State(3, 140001, "bad-password"), 1, "login fail, the error is 140001, subcode is bad-password\n"},
        {State(12, 1), 0, ""},
    };
    for (const Case& c : cases) {
        m_exits.clear();
        fclose(m_out);
        m_out = tmpfile();
        TestConsole& console = Console("");
        console.Deliver(c.message);
        EXPECT_EQ(m_exits, std::vector<int>{c.status}) << c.message;
        EXPECT_EQ(Output(), c.output);
    }
}

TEST_F(CClientCommandTest, OtherMessagesAndBrokenOnesAreIgnored) {
    TestConsole& console = Console("y\n");
    console.Deliver(State(33, 30000103));
    console.Deliver(State(1));
    console.Deliver("<M><OpS>NetModule</OpS><OpT>Portal</OpT><OpC>TicketResp</OpC><P></P></M>");
    console.Deliver("<M><OpC>NetStateMessageResp");
    console.Deliver("");
    EXPECT_TRUE(m_portal.Calls().empty());
    EXPECT_TRUE(m_exits.empty());
}
