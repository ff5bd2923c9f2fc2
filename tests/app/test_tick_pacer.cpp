#include "app/tick_pacer.h"
#include "tests/support/box_test.h"

#include <atomic>
#include <thread>

// A worker resting for many ticks starts its next pass as soon as it is
// woken, and a wake that comes while it works is not lost.
TEST(TickPacer, AWakeEndsTheRestAndIsNeverLost)
{
    TickPacer pacer;
    std::atomic<int> passes{0};
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        while (!stop) {
            ++passes;
            pacer.pace(100000);  // far longer than the test runs
        }
    });
    ASSERT_TRUE(waitUntil([&] { return passes.load() == 1; }));
    pacer.wake();
    EXPECT_TRUE(waitUntil([&] { return passes.load() == 2; }));

    // Woken before it rests: the rest ends at once.
    pacer.wake();
    pacer.wake();
    EXPECT_TRUE(waitUntil([&] { return passes.load() >= 3; }));
    stop = true;
    pacer.wake();
    worker.join();
}

TEST(TickPacer, AShortPaceEndsOnItsOwn)
{
    TickPacer pacer;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        pacer.pace(1);
        pacer.pace(0);  // counts as one tick
        done = true;
    });
    EXPECT_TRUE(waitUntil([&] { return done.load(); }));
    worker.join();
}
