// The window on a headless display, fed by the scripted driver and clicked
// with xdotool; what it shows is read back from its trace.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "ChildProcess.h"
#include "TempDir.h"
#include "UiTraceReader.h"
#include "UniqueFd.h"
#include "WindowPilot.h"
#include "XSession.h"

using std::chrono::milliseconds;

namespace {

constexpr milliseconds kWait{10000};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string missing;
        if (!XSession::Available(&missing)) {
            GTEST_SKIP() << "no headless display: missing " << missing;
        }
        std::string error;
        ASSERT_TRUE(m_x.Start(&error)) << error;
        std::string fifo = m_dir / "script";
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        setenv("VELNOR_UI_TRACE", m_trace.Path().c_str(), 1);
        // GTK's caches live until exit; the driver ends by a signal anyway.
        setenv("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=1", 1);
        ChildProcess::Options options;
        options.argv = {VELNOR_BIN_DIR "/velnor-window-driver", fifo};
        options.cwd = VELNOR_SOURCE_DIR "/assets";  // image/
        options.outputFile = m_dir / "driver.out";
        ASSERT_TRUE(m_driver.Start(options, &error)) << error;
        // The FIFO has a reader once the driver's script thread runs.
        for (int i = 0; i < 500 && m_script.Get() < 0; ++i) {
            m_script.Reset(open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
            if (m_script.Get() < 0) {
                std::this_thread::sleep_for(milliseconds(20));
            }
        }
        ASSERT_GE(m_script.Get(), 0) << "the driver did not open its script";
        ASSERT_TRUE(m_pilot.WaitShown(kWait)) << "the window was not shown";
    }

    void Send(const std::string& line) {
        std::string text = line + "\n";
        ASSERT_EQ(write(m_script.Get(), text.data(), text.size()), ssize_t(text.size()));
    }
    XSession m_x;
    TempDir m_dir;
    UiTraceReader m_trace{m_dir / "trace"};
    WindowPilot m_pilot{m_x, m_trace};
    ChildProcess m_driver;
    CUniqueFd m_script;
};

TEST_F(WindowTest, PanelsAndTextsFollowTheCallsInOrder) {
    Send("text server start: 0");
    Send("statetext 20010204");
    Send("statetext -5 9");
    Send("login");
    Send("connected 1");
    Send("init");
    Send("connected 0");
    std::vector<UiTraceReader::Entry> expected = {
        {"panel", "init"},
        {"init_text", "正在初始化环境，请稍后..."},
        {"init_text", "server start: 0"},
        {"init_text", "账号或密码错误"},
        {"init_text", "错误码：-5"},
        {"panel", "login"},
        {"panel", "state"},
        {"state_text", "已连接校园光网"},
        {"logoff", "shown"},
        {"panel", "init"},
        {"panel", "state"},
        {"state_text", "已连接Internet"},
        {"logoff", "hidden"},
    };
    ASSERT_TRUE(m_trace.WaitFor("logoff", "hidden", kWait));
    std::vector<UiTraceReader::Entry> seen;
    for (const auto& e : m_trace.All()) {
        if (e.first == "panel" || e.first == "init_text" || e.first == "state_text" || e.first == "logoff") {
            seen.push_back(e);
        }
    }
    EXPECT_EQ(seen, expected);
}

TEST_F(WindowTest, ErrorBoxesComeOneAtATimeAndLaterChangesWaitForThem) {
    Send("error 20010204");
    Send("error 100 7 busy");
    Send("login");
    Send("mark sent");
    // The script thread is not held by the open box.
    ASSERT_TRUE(m_trace.Next("script", kWait, std::string("sent")));
    EXPECT_EQ(m_pilot.AnswerBox(kWait), "账号或密码错误");
    EXPECT_TRUE(m_trace.Pending({"box", "panel"}).size() <= 1u) << "only the second box may follow";
    EXPECT_EQ(m_pilot.AnswerBox(kWait), "服务器繁忙：busy");
    EXPECT_TRUE(m_trace.WaitFor("panel", "login", kWait));
    std::vector<std::string> order;
    for (const auto& e : m_trace.All()) {
        if (e.first == "box" || e.first == "box_closed" || e.first == "panel") {
            order.push_back(e.first + "=" + e.second);
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"panel=init", "box=账号或密码错误", "box_closed=",
                                               "box=服务器繁忙：busy", "box_closed=", "panel=login"}));
}

TEST_F(WindowTest, LoginChecksAccountThenPasswordAndLogoffStopsTheTimer) {
    Send("login");
    ASSERT_TRUE(m_trace.WaitFor("panel", "login", kWait));
    EXPECT_TRUE(m_pilot.ClickButton());
    EXPECT_EQ(m_pilot.AnswerBox(kWait), "账号不能为空！");
    EXPECT_TRUE(m_pilot.TypeAccount("alice"));
    EXPECT_TRUE(m_pilot.ClickButton());
    EXPECT_EQ(m_pilot.AnswerBox(kWait), "密码不能为空！");
    EXPECT_TRUE(m_trace.Pending({"action"}).empty());
    EXPECT_TRUE(m_pilot.TypePassword("s3cret"));
    EXPECT_TRUE(m_pilot.ClickButton());
    EXPECT_TRUE(m_trace.WaitFor("action", "Login alice s3cret", kWait));

    Send("connected 1");
    ASSERT_TRUE(m_trace.WaitFor("logoff", "shown", kWait));
    // Restarted at the click: it counts up from zero.
    EXPECT_TRUE(m_trace.WaitFor("timer", "00 : 00 : 02", kWait));
    EXPECT_TRUE(m_pilot.ClickButton());  // the log-off button sits at the same place
    EXPECT_TRUE(m_trace.WaitFor("action", "Logout", kWait));
    EXPECT_TRUE(m_trace.WaitFor("timer", "00 : 00 : 00", kWait));
}

TEST_F(WindowTest, LossNoticeDoesNotHoldLaterChanges) {
    Send("lost");
    Send("login");
    EXPECT_TRUE(m_trace.WaitFor("notice", "网络已断开！", kWait));
    EXPECT_TRUE(m_trace.WaitFor("panel", "login", kWait));
}

TEST_F(WindowTest, CloseButtonLogsOutAndEndsTheProcess) {
    EXPECT_TRUE(m_pilot.ClickClose());
    EXPECT_TRUE(m_trace.WaitFor("action", "Logout", kWait));
    int status = 0;
    ASSERT_TRUE(m_driver.WaitExit(kWait, &status));
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}

}  // namespace
