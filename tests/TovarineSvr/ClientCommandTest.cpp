#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ClientCommand.h"
#include "IConsolePortal.h"
#include "UniqueStream.h"
#include "XMLOpt.h"

namespace {

struct FakePortal : IConsolePortal {
    std::vector<std::string> calls;
    void ClientStart() override { calls.push_back("start"); }
    void CheckNetStatus(int delay) override { calls.push_back("check " + std::to_string(delay)); }
    void Login(const char* envelope) override { calls.push_back(std::string("login ") + envelope); }
    void Logout(const char* source) override { calls.push_back(std::string("logout ") + source); }
};

struct TestConsole : CClientCommand {
    TestConsole(std::istream& in, FILE* out, std::function<void(int)> exit) : CClientCommand(in, out, exit) {}
    using CClientCommand::DoMessage;
    using CClientCommand::JoinPrompt;
};

std::string State(int newState, int code = 0, const std::string& sub = "") {
    return "<M><OpS>NetModule</OpS><OpT>Portal</OpT><OpC>NetStateMessageResp</OpC><P><type>51</type>"
           "<oldState>0</oldState><newState>" +
           std::to_string(newState) + "</newState><ErrorCode>" + std::to_string(code) +
           "</ErrorCode><subErrCode>" + sub + "</subErrCode><subType></subType><extern></extern></P></M>";
}

class CClientCommandTest : public ::testing::Test {
protected:
    // A console on this input, writing to a fresh file.
    TestConsole& Console(const std::string& input) {
        m_console.reset();
        m_out.reset(tmpfile());
        m_exits.clear();
        m_in.clear();
        m_in.str(input);
        m_console = std::make_unique<TestConsole>(m_in, m_out.get(), [this](int s) { m_exits.push_back(s); });
        m_console->SetPortal(&m_portal);
        m_console->SetUserInfo("alice", "pa<ss>&\"word'");
        return *m_console;
    }
    void Deliver(const std::string& envelope) { m_console->DoMessage(envelope.c_str()); }
    std::string Output() {
        fflush(m_out.get());
        rewind(m_out.get());
        std::string text;
        for (int c; (c = fgetc(m_out.get())) != EOF;) text += static_cast<char>(c);
        return text;
    }

    FakePortal m_portal;
    std::istringstream m_in;
    std::vector<int> m_exits;
    CUniqueFile m_out;
    std::unique_ptr<TestConsole> m_console;
};

}  // namespace

TEST_F(CClientCommandTest, LogsInOnceWithEscapedCredentials) {
    Console("");
    Deliver(State(33, 30000101));
    Deliver(State(31));
    Deliver(State(31));
    ASSERT_EQ(m_portal.calls.size(), 1u);
    ASSERT_EQ(m_portal.calls[0].rfind("login ", 0), 0u);
    CXMLOpt parsed(m_portal.calls[0].c_str() + 6);
    ASSERT_TRUE(parsed.IsWellFormed()) << m_portal.calls[0];
    EXPECT_STREQ(parsed.GetValue("OpC").c_str(), "PortalConnect");
    EXPECT_STREQ(parsed.GetValue("OpS").c_str(), "client");
    EXPECT_STREQ(parsed.GetValue("P.user").c_str(), "alice");
    EXPECT_STREQ(parsed.GetValue("P.password").c_str(), "pa<ss>&\"word'");
    EXPECT_TRUE(m_exits.empty());
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
        {" \n\t\n ", false, ""},
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
        // The portal's text cannot steer the terminal.
        {State(3, 140001, "a\x1b]0;x\x07\rb\x7f"), 1,
         "login fail, the error is 140001, subcode is a?]0;x??b?\n"},
        {State(12, 1), 0, ""},
    };
    for (const Case& c : cases) {
        Console("");
        Deliver(c.message);
        EXPECT_EQ(m_exits, std::vector<int>{c.status}) << c.message;
        EXPECT_EQ(Output(), c.output);
    }
}

TEST_F(CClientCommandTest, OtherMessagesAndBrokenOnesAreIgnored) {
    Console("y\n");
    Deliver(State(33, 30000103));
    Deliver(State(1));
    Deliver("<M><OpS>NetModule</OpS><OpT>Portal</OpT><OpC>TicketResp</OpC><P></P></M>");
    Deliver("<M><OpC>NetStateMessageResp");
    Deliver("");
    EXPECT_TRUE(m_portal.calls.empty());
    EXPECT_TRUE(m_exits.empty());
}

// After the prompt: the user's word ends with 0; a session that ends without
// it prints one line and ends with 3; either way only once.
TEST_F(CClientCommandTest, SessionEndAfterThePromptIsReportedWithItsCode) {
    const std::string prompt = "If you want go to offline, Please enter [y]:\n";
    struct Case {
        std::string input, end;
        std::vector<int> exits;
        std::string output;
    } cases[] = {
        {"y\n", State(12, 1), {0}, ""},
        {"", State(12, 14), {3}, "session ended, the error is 14, subcode is \n"},
        {"", State(3, 150108), {3}, "session ended, the error is 150108, subcode is \n"},
        {"y\n", State(3, 140021, "x"), {0}, "session ended, the error is 140021, subcode is x\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.end);
        Console(c.input);
        Deliver(State(2, 1));
        m_console->JoinPrompt();
        EXPECT_EQ(m_portal.calls,
                  c.input.empty() ? std::vector<std::string>{} : std::vector<std::string>{"logout 1"});
        m_portal.calls.clear();
        Deliver(c.end);
        Deliver(State(12, 1));
        EXPECT_EQ(m_exits, c.exits);
        EXPECT_EQ(Output(), prompt + c.output);
    }
}
