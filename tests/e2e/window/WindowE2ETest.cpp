// VelnorClient as a user meets it: the real service and the portal
// simulator in a network namespace, the window on a headless display.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "NetNamespace.h"
#include "WindowRun.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Pictures of the window as it is, for the README (make screenshots).
std::string ScreenshotPath(const char* name) {
    std::string dir = VELNOR_BIN_DIR "/../screenshots";
    std::filesystem::create_directories(dir);
    return dir + "/" + name;
}

class WindowE2E : public WindowRun {};

// One user's session: the start with its preparation (leftovers of a killed
// settings save removed), a second client refused, the entry checks, a login
// with the timer running and the log-off.
TEST_F(WindowE2E, StartEntryChecksLoginAndLogoff) {
    ASSERT_TRUE(StartSim() && Install());
    const std::string leftover = m_install->File("conf/.client.xml.Ab12Cd");
    std::ofstream(leftover) << "<conf><Account>alice</Account></conf>";
    ASSERT_TRUE(StartClient());
    EXPECT_TRUE(m_trace->WaitFor("init_text", "server start: 0", kWait));
    EXPECT_NE(access(leftover.c_str(), F_OK), 0);
    ASSERT_TRUE(WaitLoginPanel());
    size_t preparation = 0;
    for (const auto& [key, value] : m_trace->All())
        if (key == "init_text" && value.find("正在") == 0 && value != "正在初始化环境，请稍后...")
            ++preparation;
    EXPECT_GE(preparation, 1u) << "no preparation text before the login panel";

    ChildProcess second;
    ASSERT_TRUE(StartAnotherClient(second, "second.out"));
    int status = 0;
    ASSERT_TRUE(second.WaitExit(kWait, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 255);
    EXPECT_NE(ReadFile(m_dir / "second.out").find("Client Process had start!"), std::string::npos);
    EXPECT_TRUE(m_client.IsRunning());

    EXPECT_TRUE(m_pilot->ClickButton());
    EXPECT_EQ(m_pilot->AnswerBox(kWait), "账号不能为空！");
    EXPECT_TRUE(m_pilot->TypeAccount("alice"));
    EXPECT_TRUE(m_pilot->ClickButton());
    EXPECT_EQ(m_pilot->AnswerBox(kWait), "密码不能为空！");
    EXPECT_EQ(m_sim->Requests("login"), "[]");

    EXPECT_TRUE(m_pilot->TypePassword("secret"));
    m_x.Screenshot(ScreenshotPath("login.png"));
    EXPECT_TRUE(m_pilot->ClickButton());
    ASSERT_TRUE(m_trace->WaitFor("panel", "state", kWait));
    EXPECT_TRUE(m_trace->WaitFor("state_text", "已连接校园光网", kWait));
    EXPECT_TRUE(m_trace->WaitFor("logoff", "shown", kWait));
    EXPECT_TRUE(m_trace->WaitFor("timer", "00 : 00 : 03", kWait)) << "the timer restarts at the click";
    m_x.Screenshot(ScreenshotPath("state.png"));

    EXPECT_TRUE(m_pilot->ClickButton());
    EXPECT_TRUE(m_sim->WaitForRequests("logout", 1, kWait));
    EXPECT_TRUE(m_trace->WaitFor("timer", "00 : 00 : 00", kWait));
    EXPECT_TRUE(m_trace->WaitFor("panel", "init", kWait));
    EXPECT_TRUE(WaitLoginPanel());
}

TEST_F(WindowE2E, RefusedLoginShowsTheTextOfItsCode) {
    ASSERT_TRUE(StartSim() && Install() && StartClient() && WaitLoginPanel());
    LogIn("alice", "wrong");
    EXPECT_EQ(m_pilot->AnswerBox(kWait), "账号或密码错误，请重新输入。");
}

TEST_F(WindowE2E, OpenNetworkShowsInternetWithoutLogoff) {
    ASSERT_TRUE(StartSim(R"({"probe":{"mode":"none"}})") && Install() && StartClient());
    EXPECT_TRUE(m_trace->WaitFor("panel", "state", kWait));
    EXPECT_TRUE(m_trace->WaitFor("state_text", "已连接Internet", kWait));
    EXPECT_TRUE(m_trace->WaitFor("logoff", "hidden", kWait));
}

// The watch's pacing is its unit test's; here a loss shows its notice, and
// the close button logs out and ends the client.
TEST_F(WindowE2E, NetworkWatchNoticesALossThenCloseLogsOut) {
    ASSERT_TRUE(StartSim() && Install("<pingAddress>10.77.0.99</pingAddress>") && StartClient() &&
                WaitLoginPanel());
    LogIn("alice", "secret");
    ASSERT_TRUE(m_trace->WaitFor("panel", "state", kWait));
    ASSERT_TRUE(m_trace->WaitFor("notice", "网络已断开！", kWait));
    EXPECT_TRUE(m_pilot->ClickClose());
    EXPECT_TRUE(m_sim->WaitForRequests("logout", 1, kWait));
    EXPECT_TRUE(m_client.WaitExit(kWait));
}

// A stand-in for the service plays state messages the simulator cannot
// produce in this order; the client answers "ClientStartComplete" and the
// disconnection with "CheckEnv".
TEST_F(WindowE2E, ScriptedStateMessagesShowInOrderWithBoxesOneAtATime) {
    ASSERT_TRUE(Install());
    auto state = [](int newState, int type, long code, const std::string& sub, const std::string& ext) {
        return "<M><OpS>Portal</OpS><OpT>NetModule</OpT><OpC>NetStateMessageResp</OpC><P><type>" +
               std::to_string(type) + "</type><oldState>0</oldState><newState>" + std::to_string(newState) +
               "</newState><ErrorCode>" + std::to_string(code) + "</ErrorCode><subErrCode>" + sub +
               "</subErrCode><subType></subType><extern>" + ext + "</extern></P></M>\n";
    };
    std::ofstream(m_install->File("messages.txt"))
        << "<M><OpS>Portal</OpS><OpT>NetModule</OpT><OpC>ClientStartComplete</OpC><P></P></M>\n"
        << state(33, 1, 30000101, "", "") << state(33, 1, -5, "9", "") << state(32, 1, 20010207, "", "")
        << state(3, 1, 150102, "", "timeout") << state(31, 1, 0, "", "") << state(11, 1, 0, "", "")
        << state(2, 0, 0, "", "") << state(12, 1, 0, "", "");
    std::ofstream(m_install->File("VelnorSvr"))
        << "#!/bin/sh\n"
           "rm -f velnorsvrpipe && mkfifo -m 600 velnorsvrpipe || exit 1\n"
           "exec 3>velnorsvrpipe\n"  // waits for the client to read
           "for i in $(seq 200); do [ -p velnorclientpipe ] && break; sleep 0.05; done\n"
           "cat velnorclientpipe >received.txt &\n"
           "while IFS= read -r line; do printf '%s\\0' \"$line\" >&3; done <messages.txt\n"
           "exec sleep 120\n";
    ASSERT_TRUE(StartClient());
    // The pipe thread is not held by the open box: it answers the last
    // message (the disconnection) while the first box waits.
    std::string received;
    for (int i = 0; i < 200 && received.find("CheckEnv", received.find("CheckEnv") + 1) == std::string::npos;
         ++i) {
        std::this_thread::sleep_for(milliseconds(50));
        received = ReadFile(m_install->File("received.txt"));
    }
    EXPECT_NE(received.find("ClientStart"), std::string::npos);
    EXPECT_NE(received.find("CheckEnv", received.find("CheckEnv") + 1), std::string::npos)
        << "after the start and after the disconnection: " << received;
    EXPECT_EQ(m_pilot->AnswerBox(kWait), "网络检测失败，请检查网络后重试。");
    EXPECT_TRUE(m_trace->Pending({"panel"}).empty()) << "a change overtook the open box";
    EXPECT_EQ(m_pilot->AnswerBox(kWait), "连接认证服务器失败（timeout），请检查网络后重试。");
    ASSERT_TRUE(m_trace->WaitFor("panel", "init", kWait));
    std::vector<std::string> shown;
    for (const auto& [key, value] : m_trace->All())
        if ((key == "panel" || key == "init_text" || key == "state_text" || key == "logoff" || key == "box" ||
             key == "box_closed") &&
            value.rfind("server start", 0) != 0)
            shown.push_back(key + "=" + value);
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "panel=init", "init_text=正在初始化环境，请稍后...", "init_text=正在检测网络环境……",
                         "init_text=错误码：-5", "box=网络检测失败，请检查网络后重试。",
                         "box_closed=", "box=连接认证服务器失败（timeout），请检查网络后重试。",
                         "box_closed=", "panel=login", "panel=state", "state_text=已连接Internet",
                         "logoff=hidden", "panel=init"}));
}

}  // namespace
