#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <latch>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/MainThread.h"
#include "support/Events.h"
#include "support/MainLoop.h"

using memorant_test::drainMainLoop;
using memorant_test::runMainLoopUntil;

namespace {

// Guards against hangs: a wait that fails the test instead of blocking for good.
constexpr auto kGuard = std::chrono::seconds(20);

using memorant_test::Events;

TEST(Dispatch, SerialQueueRunsOneBlockAtATimeInOrder) {
    auto queue = DispatchQueue::create("com.memorant.test.serial");
    std::atomic<int> inside{0};
    std::atomic<int> maxInside{0};
    std::vector<int> order;  // written only by the queue's blocks, one at a time
    for (int i = 0; i < 200; ++i)
        queue->async([&, i] {
            int now = ++inside;
            int seen = maxInside.load();
            while (now > seen && !maxInside.compare_exchange_weak(seen, now)) {
            }
            EXPECT_TRUE(queue->isCurrent());
            order.push_back(i);
            --inside;
        });
    queue->sync([] {});  // after every block queued before it
    EXPECT_EQ(maxInside, 1);
    ASSERT_EQ(order.size(), 200u);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    EXPECT_FALSE(queue->isCurrent());
}

TEST(Dispatch, ConcurrentQueuesRunBlocksSideBySide) {
    std::shared_ptr<DispatchQueue> created =
        DispatchQueue::create("com.memorant.test.concurrent", DispatchQueue::Attributes::Concurrent);
    DispatchQueue* queues[] = {created.get(), &DispatchQueue::global()};
    for (DispatchQueue* queue : queues) {
        SCOPED_TRACE(queue->label());
        constexpr int kBlocks = 4;
        std::latch allInside(kBlocks);  // opens only when all four run at the same time
        std::counting_semaphore<kBlocks> done(0);
        for (int i = 0; i < kBlocks; ++i)
            queue->async([&] {
                allInside.arrive_and_wait();
                done.release();
            });
        for (int i = 0; i < kBlocks; ++i) ASSERT_TRUE(done.try_acquire_for(kGuard)) << "the blocks did not overlap";
    }
}

TEST(Dispatch, BarrierWaitsForEarlierBlocksAndHoldsBackLaterOnes) {
    struct Case {
        bool sync;
        std::vector<std::string> expected;
    } cases[] = {
        {false, {"early", "early", "early", "barrier with 0 others inside", "later"}},
        {true, {"early", "early", "early", "barrier with 0 others inside", "syncBarrier returned", "later"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sync ? "syncBarrier" : "asyncBarrier");
        auto queue = DispatchQueue::create("com.memorant.test.barrier", DispatchQueue::Attributes::Concurrent);
        Events events;
        std::atomic<int> inside{0};
        std::counting_semaphore<3> started(0);
        std::counting_semaphore<3> gate(0);
        for (int i = 0; i < 3; ++i)
            queue->async([&] {
                ++inside;
                started.release();
                gate.acquire();
                events.add("early");
                --inside;
            });
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(started.try_acquire_for(kGuard));

        auto barrier = [&] { events.add("barrier with " + std::to_string(inside.load()) + " others inside"); };
        auto later = [&] { events.add("later"); };
        if (c.sync) {
            std::thread caller([&] {
                queue->syncBarrier(barrier);
                events.add("syncBarrier returned");
            });
            gate.release(3);
            caller.join();
            queue->async(later);
        } else {
            queue->asyncBarrier(barrier);
            queue->async(later);  // queued while the early blocks still run
            gate.release(3);
        }
        queue->syncBarrier([] {});
        EXPECT_EQ(events.get(), c.expected);
    }
}

TEST(Dispatch, BlocksQueuedAfterABarrierWaitForIt) {
    auto queue = DispatchQueue::create("com.memorant.test.barrier2", DispatchQueue::Attributes::Concurrent);
    Events events;
    std::binary_semaphore barrierEntered(0), releaseBarrier(0);
    queue->asyncBarrier([&] {
        barrierEntered.release();
        releaseBarrier.acquire();
        events.add("barrier");
    });
    ASSERT_TRUE(barrierEntered.try_acquire_for(kGuard));
    std::atomic<int> laterRan{0};
    for (int i = 0; i < 3; ++i)
        queue->async([&] {
            ++laterRan;
            events.add("later");
        });
    EXPECT_EQ(laterRan, 0) << "nothing runs beside a barrier";
    releaseBarrier.release();
    queue->syncBarrier([] {});
    EXPECT_EQ(events.get(), (std::vector<std::string>{"barrier", "later", "later", "later"}));
}

TEST(Dispatch, MainQueueSyncRunsOnTheMainThread) {
    bool ranInline = false;
    DispatchQueue::main().sync([&] { ranInline = true; });
    EXPECT_TRUE(ranInline) << "on the main thread sync runs at once";

    std::atomic<bool> workerDone{false};
    bool ranOnMain = false;
    DispatchQueue::global().async([&] {
        DispatchQueue::main().sync([&] { ranOnMain = isMainThread(); });
        workerDone = true;  // only after the main thread ran the block
    });
    ASSERT_TRUE(runMainLoopUntil([&] { return workerDone.load(); }));
    EXPECT_TRUE(ranOnMain);
    EXPECT_TRUE(DispatchQueue::main().isCurrent());
}

TEST(Dispatch, SyncResultReturnsTheBlocksValue) {
    auto queue = DispatchQueue::create("com.memorant.test.result");
    EXPECT_EQ(queue->syncResult([] { return std::string("from the queue"); }), "from the queue");
}

class DispatchClockTest : public memorant_test::VirtualClockTest {};

TEST_F(DispatchClockTest, AsyncAfterWaitsForTheVirtualClock) {
    std::vector<std::string> onMain;
    DispatchQueue::main().asyncAfter(2.0, [&] { onMain.push_back("main after 2"); });
    advance(1.9);
    EXPECT_TRUE(onMain.empty());
    advance(0.1);
    EXPECT_EQ(onMain, std::vector<std::string>{"main after 2"});

    auto queue = DispatchQueue::create("com.memorant.test.after");
    std::binary_semaphore ran(0);
    std::atomic<bool> onQueue{false};
    queue->asyncAfter(5.0, [&] {
        onQueue = queue->isCurrent();
        ran.release();
    });
    advance(4.9);
    EXPECT_FALSE(ran.try_acquire()) << "not due yet";
    advance(0.1);
    ASSERT_TRUE(ran.try_acquire_for(kGuard));
    EXPECT_TRUE(onQueue);
}

TEST_F(DispatchClockTest, SemaphoreWaitTimesOutOnTheVirtualClock) {
    struct Case {
        bool signal;
        bool expected;
    } cases[] = {{false, false}, {true, true}};
    for (const auto& c : cases) {
        DispatchSemaphore semaphore(0);
        std::atomic<int> result{-1};
        const Date deadline = virtualClock.now().byAddingTimeInterval(5);
        std::thread waiter([&] { result = semaphore.wait(deadline) ? 1 : 0; });
        if (c.signal) semaphore.signal();
        while (result < 0) virtualClock.clock().advance(1);  // each step wakes the waiter
        waiter.join();
        EXPECT_EQ(result == 1, c.expected);
    }
}

TEST(Dispatch, SemaphoreCountsSignals) {
    DispatchSemaphore semaphore(2);
    semaphore.wait();
    semaphore.wait();
    EXPECT_FALSE(semaphore.wait(Date::now())) << "the count is used up";
    semaphore.signal();
    EXPECT_TRUE(semaphore.wait(Date::now()));
}

TEST(Dispatch, GroupNotifiesOnceEveryBlockHasLeft) {
    DispatchGroup group;
    std::atomic<int> ran{0};
    bool notified = false;
    int ranWhenNotified = -1;
    auto queue = DispatchQueue::create("com.memorant.test.group", DispatchQueue::Attributes::Concurrent);
    for (int i = 0; i < 5; ++i) queue->async(group, [&] { ++ran; });
    group.enter();
    DispatchQueue::global().async([&] {
        ++ran;
        group.leave();
    });
    group.notify(DispatchQueue::main(), [&] {
        notified = true;
        ranWhenNotified = ran;
    });
    ASSERT_TRUE(runMainLoopUntil([&] { return notified; }));
    EXPECT_EQ(ranWhenNotified, 6);
    group.wait();
    EXPECT_TRUE(group.wait(Date::now()));

    bool immediate = false;
    DispatchGroup empty;
    empty.notify(DispatchQueue::main(), [&] { immediate = true; });
    drainMainLoop();
    EXPECT_TRUE(immediate) << "an empty group notifies at once";
}

TEST(Dispatch, OnceRunsTheBlockOnce) {
    DispatchOnceToken token;
    std::atomic<int> runs{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) threads.emplace_back([&] { dispatchOnce(token, [&] { ++runs; }); });
    for (auto& t : threads) t.join();
    dispatchOnce(token, [&] { ++runs; });
    EXPECT_EQ(runs, 1);
}

}  // namespace
