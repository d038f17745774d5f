// CUiChangeQueue: widget changes asked for by any thread, applied on the GUI
// thread in arrival order. A change that opens a modal box holds the queue:
// what arrives after it is applied only once the box is closed. Posting never
// blocks on the GUI. No GTK here: the owner supplies how to wake the GUI
// thread (Schedule, called at most once per pending drain, from any thread).
//
// Post from any thread; Drain and BoxClosed on the GUI thread only.
#pragma once

#include <deque>
#include <functional>
#include <mutex>

class CUiChangeQueue {
public:
    // Returns true when it opened a box that holds the queue.
    using Change = std::function<bool()>;

    explicit CUiChangeQueue(std::function<void()> schedule) : m_schedule(std::move(schedule)) {}

    void Post(Change change);
    // Applies queued changes until the queue is empty or a box holds it.
    void Drain();
    // The holding box was closed: the rest follows.
    void BoxClosed();
    bool BoxOpen() const;

private:
    mutable std::mutex m_lock;
    std::deque<Change> m_changes;
    std::function<void()> m_schedule;
    bool m_scheduled = false;
    bool m_boxOpen = false;
};
