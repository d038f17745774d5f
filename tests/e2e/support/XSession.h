// XSession: a headless X display for GUI tests: Xvfb on a free display
// number (640 x 520, no TCP), DISPLAY set for this process and its children,
// and xdotool to move the pointer, click and type (there is no window
// manager, so windows are clicked, not activated). Stopped by the
// destructor. One test thread uses an instance.
#pragma once

#include <string>

#include "ChildProcess.h"

class XSession {
public:
    // Xvfb and xdotool installed; else false with what is missing.
    static bool Available(std::string* missing);

    XSession() = default;
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    bool Start(std::string* error);
    // ":N", also the DISPLAY of this process once started.

    bool Click(int x, int y);
    bool Type(const std::string& text);
    // The whole screen as a PNG file.
    bool Screenshot(const std::string& path);

private:
    bool Tool(const std::vector<std::string>& argv);

    ChildProcess m_xvfb;
    std::string m_display;
};
