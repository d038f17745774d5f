#include "XSession.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>

namespace {

bool InPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    return false;
}

constexpr std::chrono::milliseconds kToolTimeout{10000};

}  // namespace

bool XSession::Available(std::string* missing) {
    missing->clear();
    for (const char* program : {"Xvfb", "xdotool", "import"}) {
        if (!InPath(program)) {
            *missing += std::string(missing->empty() ? "" : ", ") + program;
        }
    }
    return missing->empty();
}

XSession::~XSession() { m_xvfb.Stop(std::chrono::milliseconds(2000)); }

bool XSession::Start(std::string* error) {
    // Xvfb picks a free display and writes its number to the descriptor.
    ChildProcess::Options options;
    options.argv = {"Xvfb", "-displayfd", "1", "-screen", "0", "640x520x24", "-nolisten", "tcp", "-noreset"};
    options.pipeStdout = true;
    if (!m_xvfb.Start(options, error)) {
        return false;
    }
    std::string number;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (number.empty() || number.back() != '\n') {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        pollfd pfd = {m_xvfb.StdoutFd(), POLLIN, 0};
        char c = 0;
        if (left.count() <= 0 || poll(&pfd, 1, static_cast<int>(left.count())) <= 0 ||
            read(m_xvfb.StdoutFd(), &c, 1) != 1) {
            *error = "Xvfb did not announce its display";
            return false;
        }
        number += c;
    }
    number.pop_back();
    m_display = ":" + number;
    setenv("DISPLAY", m_display.c_str(), 1);
    return true;
}

bool XSession::Tool(const std::vector<std::string>& argv) {
    return ChildProcess::Run(argv, kToolTimeout) == 0;
}

bool XSession::Click(int x, int y) {
    return Tool({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "1"});
}

bool XSession::Type(const std::string& text) { return Tool({"xdotool", "type", "--delay", "30", text}); }

bool XSession::Screenshot(const std::string& path) {
    return Tool({"import", "-display", m_display, "-window", "root", path});
}
