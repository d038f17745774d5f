#include "WindowPilot.h"

#include <cstdio>

bool WindowPilot::WaitShown(std::chrono::milliseconds timeout) {
    auto origin = m_trace.Next("window", timeout);
    return origin && std::sscanf(origin->c_str(), "%d,%d", &m_x0, &m_y0) == 2;
}

bool WindowPilot::TypeInto(int entryY, const std::string& text) {
    return Click(100, kPanelY + entryY + 10) && m_x.Type(text);
}

std::string WindowPilot::AnswerBox(std::chrono::milliseconds timeout) {
    auto text = m_trace.Next("box", timeout);
    auto ok = m_trace.Next("box_ok", timeout);
    int x = 0, y = 0;
    if (!text || !ok || std::sscanf(ok->c_str(), "%d,%d", &x, &y) != 2) return "(no box)";
    if (!m_x.Click(x, y) || !m_trace.Next("box_closed", timeout)) return "(not closed) " + *text;
    return *text;
}
