// RecordingWindow: an IMainWindow that writes each call down as one line
// ("login", "connected 51", "error 140001/sub/extra", "state 30000101//",
// "init", "init text server start: 0"), for the manager's tests and the
// end-to-end runs. Calls may come from any thread; tests wait for a line
// with a time limit.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "IMainWindow.h"

class RecordingWindow : public IMainWindow {
public:
    void ShowInitPanel() override { Add("init"); }
    void ShowLoginPanel() override { Add("login"); }
    void ShowConnected(int type) override { Add("connected " + std::to_string(type)); }
    void ShowErrorDialog(long code, const char* sub, const char* extra) override {
        Add("error " + Report(code, sub, extra));
    }
    void ShowStateText(long code, const char* sub, const char* extra) override {
        Add("state " + Report(code, sub, extra));
    }
    void SetInitText(const char* text) override {
        if (text) Add(std::string("init text ") + text);
    }

    std::vector<std::string> Calls() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_calls;
    }
    // Waits for a line starting with prefix, after the one the last wait
    // returned; the whole line, or "" when none came in time.
    std::string WaitFor(const std::string& prefix, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(m_lock);
        std::string found;
        m_changed.wait_for(lock, timeout, [&] {
            for (; m_cursor < m_calls.size(); ++m_cursor) {
                if (m_calls[m_cursor].compare(0, prefix.size(), prefix) == 0) {
                    found = m_calls[m_cursor++];
                    return true;
                }
            }
            return false;
        });
        return found;
    }

private:
    static std::string Report(long code, const char* sub, const char* extra) {
        return std::to_string(code) + "/" + (sub ? sub : "(null)") + "/" + (extra ? extra : "(null)");
    }
    void Add(std::string call) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_calls.push_back(std::move(call));
        }
        m_changed.notify_all();
    }

    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::string> m_calls;
    size_t m_cursor = 0;
};
