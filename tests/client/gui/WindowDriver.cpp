// The window under a scripted stand-in for the client manager: reads one
// command per line from the FIFO named by argv[1] on a thread of its own and
// makes the matching IMainWindow call; the user's actions are written to the
// window's trace as "action=...". Commands: init, login, connected TYPE,
// error CODE [SUB [EXTRA]], statetext CODE [SUB [EXTRA]], text TEXT, lost,
// mark TEXT (traced from the script thread, so it shows that thread runs on).
#include <gtk/gtk.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "IClientActions.h"
#include "MainWindow.h"
#include "UiTrace.h"

namespace {

class CRecordingActions : public IClientActions {
public:
    void Login(const char* account, const char* password) override {
        CUiTrace::Get().Write("action", std::string("Login ") + account + " " + password);
    }
    void Logout() override { CUiTrace::Get().Write("action", "Logout"); }
    void Exit() override { CUiTrace::Get().Write("action", "Exit"); }
};

// A small table in place of conf/code.xml: "%s" takes the extra text.
std::string ErrorText(long code, const char* sub, const char* extra) {
    std::string text;
    if (code == 20010204 && !*sub) {
        text = "账号或密码错误";
    } else if (code == 100 && std::string(sub) == "7") {
        text = std::string("服务器繁忙：") + extra;
    }
    return text;
}

void Script(CMainWindow* window, const std::string& path) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string command, sub, extra;
        words >> command;
        if (command == "init") {
            window->ShowInitPanel();
        } else if (command == "login") {
            window->ShowLoginPanel();
        } else if (command == "connected") {
            int type = 0;
            words >> type;
            window->ShowConnected(type);
        } else if (command == "error" || command == "statetext") {
            long code = 0;
            words >> code >> sub >> extra;
            if (command == "error") {
                window->ShowErrorDialog(code, sub.c_str(), extra.c_str());
            } else {
                window->ShowStateText(code, sub.c_str(), extra.c_str());
            }
        } else if (command == "text") {
            window->SetInitText(line.size() > 5 ? line.c_str() + 5 : "");
        } else if (command == "lost") {
            window->ShowNetLostNotice();
        } else if (command == "mark") {
            std::getline(words >> std::ws, extra);
            CUiTrace::Get().Write("script", extra);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    gdk_threads_init();
    gtk_init(&argc, &argv);
    if (argc < 2) {
        return 2;
    }
    CRecordingActions actions;
    CMainWindow window(&actions, ErrorText);
    window.BuildMainWindow();
    std::thread script(Script, &window, std::string(argv[1]));
    script.detach();  // the process ends by a signal or through the window's destroy handler
    gdk_threads_enter();
    gtk_main();
    gdk_threads_leave();
    return 0;
}
