// WindowPilot: works the client window like a user on a headless display:
// clicks at the window's own coordinates (its origin read from the trace),
// types into the entries, answers error boxes. Knows the window's layout;
// XSession does the clicking, UiTraceReader tells what the window shows.
#pragma once

#include <chrono>
#include <string>

#include "UiTraceReader.h"
#include "XSession.h"

class WindowPilot {
public:
    WindowPilot(XSession& x, UiTraceReader& trace) : m_x(x), m_trace(trace) {}

    // Waits until the window is shown and notes where.
    bool WaitShown(std::chrono::milliseconds timeout);
    bool Click(int x, int y) { return m_x.Click(m_x0 + x, m_y0 + y); }
    // The log-in button, and the log-off button at the same place.
    bool ClickButton() { return Click(150, kPanelY + 180); }
    bool ClickClose() { return Click(283, 13); }
    bool TypeAccount(const std::string& text) { return TypeInto(40, text); }
    bool TypePassword(const std::string& text) { return TypeInto(80, text); }
    // Text of the next error box, after clicking its OK; "(no box)" when none came.
    std::string AnswerBox(std::chrono::milliseconds timeout);

private:
    static constexpr int kPanelY = 130;
    bool TypeInto(int entryY, const std::string& text);

    XSession& m_x;
    UiTraceReader& m_trace;
    int m_x0 = 0, m_y0 = 0;
};
