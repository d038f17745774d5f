#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UiChangeQueue.h"

namespace {

// The GUI thread played by the test: Drain runs when the test says so.
struct QueueFixture : ::testing::Test {
    int wakeups = 0;
    std::vector<std::string> applied;
    CUiChangeQueue queue{[this] { ++wakeups; }};

    void Change(const std::string& name, bool box = false) {
        queue.Post([this, name, box] {
            applied.push_back(name);
            return box;
        });
    }
};

TEST_F(QueueFixture, AppliesInArrivalOrderWithOneWakeupPerDrain) {
    Change("a");
    Change("b");
    EXPECT_EQ(wakeups, 1);
    queue.Drain();
    Change("c");
    EXPECT_EQ(wakeups, 2);
    queue.Drain();
    EXPECT_EQ(applied, (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(QueueFixture, BoxHoldsLaterChangesUntilClosed) {
    Change("box1", true);
    Change("box2", true);
    Change("panel");
    queue.Drain();
    EXPECT_EQ(applied, (std::vector<std::string>{"box1"}));
    Change("text");  // arrives while the box is open: no wake-up, it waits
    EXPECT_EQ(wakeups, 1);
    queue.Drain();
    EXPECT_EQ(applied.size(), 1u);
    queue.BoxClosed();
    EXPECT_EQ(applied, (std::vector<std::string>{"box1", "box2"}));
    queue.BoxClosed();
    EXPECT_EQ(applied, (std::vector<std::string>{"box1", "box2", "panel", "text"}));
    EXPECT_FALSE(queue.BoxOpen());
}

}  // namespace
