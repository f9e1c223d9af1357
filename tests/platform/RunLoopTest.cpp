#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/Date.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/RunLoop.h"
#include "support/MainLoop.h"

using memorant_test::drainMainLoop;
using memorant_test::runMainLoopUntil;

namespace {

class RunLoopTest : public memorant_test::VirtualClockTest {
protected:
    void TearDown() override { drainMainLoop(); }
    std::vector<std::string> events;
};

TEST(MainThread, TestsRunOnTheMainThreadAndWorkersDoNot) {
    EXPECT_TRUE(isMainThread());
    EXPECT_TRUE(RunLoop::main().isCurrent());
    EXPECT_EQ(&RunLoop::current(), &RunLoop::main());
    bool workerIsMain = true;
    RunLoop* workerLoop = nullptr;
    std::thread([&] {
        workerIsMain = isMainThread();
        workerLoop = &RunLoop::current();
    }).join();
    EXPECT_FALSE(workerIsMain);
    EXPECT_NE(workerLoop, &RunLoop::main());
}

TEST_F(RunLoopTest, MainQueueBlocksAndTimersRunInOrderOnTheVirtualClock) {
    const Date start = virtualClock.now();
    std::vector<double> firedAt;
    struct Scheduled {
        const char* name;
        double delay;
    } timers[] = {{"t3", 3}, {"t1", 1}, {"t2.5", 2.5}, {"t2", 2}};
    for (const auto& t : timers)
        Timer::scheduledTimer(t.delay, false, [&, name = t.name](Timer&) {
            events.push_back(name);
            firedAt.push_back(Date::now().timeIntervalSinceDate(start));
        });
    DispatchQueue::main().asyncAfter(1.5, [&] {
        events.push_back("after1.5");
        firedAt.push_back(Date::now().timeIntervalSinceDate(start));
    });
    DispatchQueue::main().async([&] {
        events.push_back("a");
        DispatchQueue::main().async([&] { events.push_back("c (posted by a)"); });
    });
    RunLoop::main().perform([&] { events.push_back("b"); });

    EXPECT_TRUE(events.empty()) << "nothing runs before the loop does";
    drainMainLoop();
    EXPECT_EQ(events, (std::vector<std::string>{"a", "b", "c (posted by a)"}));

    events.clear();
    virtualClock.advanceAndRun(0.5);
    EXPECT_TRUE(events.empty()) << "no timer is due after 0.5 s";
    virtualClock.advanceAndRun(2.5);
    EXPECT_EQ(events, (std::vector<std::string>{"t1", "after1.5", "t2", "t2.5", "t3"}));
    EXPECT_EQ(firedAt, (std::vector<double>{1, 1.5, 2, 2.5, 3})) << "each fired at its own time";
}

TEST_F(RunLoopTest, RepeatingTimerFiresOncePerIntervalUntilInvalidated) {
    int fired = 0;
    auto timer = Timer::scheduledTimer(1.0, true, [&](Timer&) { ++fired; });
    advance(3.5);
    EXPECT_EQ(fired, 3);
    EXPECT_TRUE(timer->isValid());
    timer->invalidate();
    advance(5);
    EXPECT_EQ(fired, 3);
    EXPECT_FALSE(RunLoop::main().nextTimerFireDate().has_value());
}

TEST_F(RunLoopTest, ATimerThatDoesNotRepeatIsInvalidatedAfterFiring) {
    auto timer = Timer::scheduledTimer(2.0, false, [&](Timer&) { events.push_back("fired"); });
    advance(10);
    EXPECT_EQ(events, std::vector<std::string>{"fired"});
    EXPECT_FALSE(timer->isValid());
}

TEST_F(RunLoopTest, NestedRunInsideACallbackRunsLaterWorkThenReturns) {
    DispatchQueue::main().async([&] {
        events.push_back("outer begins");
        const Date limit = Date::now().byAddingTimeInterval(1.5);
        Timer::scheduledTimer(1.0, false, [&](Timer&) { events.push_back("timer in nested run"); });
        DispatchQueue::main().async([&] {
            events.push_back("block in nested run");
            virtualClock.clock().advance(2);  // passes both the timer and the limit
        });
        RunLoop::current().runUntilDate(limit);
        events.push_back("outer ends");
    });
    DispatchQueue::main().async([&] { events.push_back("queued before the nested run"); });
    drainMainLoop();
    EXPECT_EQ(events, (std::vector<std::string>{"outer begins", "queued before the nested run", "block in nested run",
                                                "timer in nested run", "outer ends"}));
}

TEST_F(RunLoopTest, StopEndsTheInnermostRun) {
    DispatchQueue::main().async([&] {
        RunLoop::main().perform([&] {
            events.push_back("stopping");
            RunLoop::current().stop();
        });
        RunLoop::current().run();  // would run for good
        events.push_back("run returned");
    });
    drainMainLoop();
    EXPECT_EQ(events, (std::vector<std::string>{"stopping", "run returned"}));
}

TEST_F(RunLoopTest, RunsOnlyWhatWasAddedForTheMode) {
    const std::string modal = "RunLoopTest.modal";
    const std::string tracking = "RunLoopTest.tracking";
    RunLoop::main().addCommonMode(tracking);
    struct Case {
        std::vector<std::string> modes;
        const char* name;
    } cases[] = {
        {{RunLoop::kDefaultMode}, "default"},
        {{modal}, "modal"},
        {{RunLoop::kCommonModes}, "common"},
        {{modal, tracking}, "modal+tracking"},
    };
    for (const auto& c : cases) RunLoop::main().perform(c.modes, [&, name = c.name] { events.push_back(name); });

    RunLoop::main().runMode(modal, Date::distantPast());
    EXPECT_EQ(events, (std::vector<std::string>{"modal", "modal+tracking"}));
    events.clear();
    RunLoop::main().runMode(tracking, Date::distantPast());
    EXPECT_EQ(events, std::vector<std::string>{"common"}) << "the tracking mode is one of the common modes";
    events.clear();
    drainMainLoop();
    EXPECT_EQ(events, std::vector<std::string>{"default"});
}

TEST_F(RunLoopTest, FileDescriptorSourceReportsReadinessOnTheLoopThread) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::string received;
    bool wasMain = false;
    auto reader = FileDescriptorSource::create(fds[0], FileDescriptorSource::Readable,
                                               [&](FileDescriptorSource& source, unsigned events) {
                                                   wasMain = isMainThread();
                                                   char buf[64];
                                                   if (events & FileDescriptorSource::Readable) {
                                                       ssize_t n = ::read(source.fd(), buf, sizeof buf);
                                                       if (n > 0) received.append(buf, n);
                                                   }
                                               });
    int writable = 0;
    auto writer = FileDescriptorSource::create(fds[1], FileDescriptorSource::Writable,
                                               [&](FileDescriptorSource& source, unsigned events) {
                                                   if (events & FileDescriptorSource::Writable) ++writable;
                                                   source.setInterest(0);  // nothing more to write
                                               });
    const std::size_t sourcesBefore = RunLoop::main().sourceCount();
    RunLoop::main().addSource(reader);
    RunLoop::main().addSource(reader, "OtherMode");
    RunLoop::main().addSource(writer);

    std::thread([&] { ASSERT_EQ(::write(fds[1], "hello", 5), 5); }).join();
    ASSERT_TRUE(runMainLoopUntil([&] { return received == "hello"; }));
    EXPECT_TRUE(wasMain);
    EXPECT_EQ(writable, 1);

    reader->invalidate();
    ASSERT_EQ(::write(fds[1], "more", 4), 4);
    drainMainLoop();
    EXPECT_EQ(received, "hello") << "an invalidated source hears nothing";
    // The loop lets it go, in every mode it was added for: a loop that serves
    // many short connections does not grow.
    std::weak_ptr<FileDescriptorSource> released = reader;
    reader.reset();
    EXPECT_TRUE(released.expired());
    EXPECT_EQ(RunLoop::main().sourceCount(), sourcesBefore + 1);
    RunLoop::main().removeSource(writer);
    EXPECT_EQ(RunLoop::main().sourceCount(), sourcesBefore);
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(RunLoop, WorkerThreadRunsItsOwnLoopUntilStopped) {
    std::promise<std::shared_ptr<RunLoop>> loopPromise;
    std::vector<std::string> events;  // touched only on the worker until it is joined
    std::thread worker([&] {
        RunLoop& loop = RunLoop::current();
        loopPromise.set_value(loop.shared_from_this());
        loop.run();
        events.push_back("run returned");
    });
    auto loop = loopPromise.get_future().get();
    loop->perform([&] {
        events.push_back(isMainThread() ? "main" : "worker");
        RunLoop::current().stop();
    });
    worker.join();
    EXPECT_EQ(events, (std::vector<std::string>{"worker", "run returned"}));
}

TEST(RunLoop, BlocksPostedFromOtherThreadsWakeTheMainLoop) {
    std::atomic<int> ran{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            for (int j = 0; j < 25; ++j) DispatchQueue::main().async([&] { ++ran; });
        });
    for (auto& t : threads) t.join();
    ASSERT_TRUE(runMainLoopUntil([&] { return ran == 100; }));
}

// Wake-ups are coalesced: a burst of posts costs one write. Each post that
// comes while the loop waits still wakes it, and a block the loop's own
// thread posts needs no wake-up: the next pass runs it before it waits.
TEST(RunLoop, EveryPostWakesAWaitingLoopAndOwnPostsNeedNoWakeUp) {
    constexpr int kPosts = 200;
    std::atomic<int> ran{0};
    std::thread poster([&] {
        for (int i = 0; i < kPosts; ++i) {
            DispatchQueue::main().async([&] { ++ran; });
            std::this_thread::sleep_for(std::chrono::microseconds(i % 4 == 0 ? 200 : 0));
        }
    });
    int timedOut = 0;
    while (ran < kPosts && timedOut < 3) {
        if (!RunLoop::main().runMode(RunLoop::kDefaultMode, Date::distantFuture(), std::chrono::seconds(5)) &&
            ran < kPosts)
            ++timedOut;
    }
    poster.join();
    EXPECT_EQ(0, timedOut);
    EXPECT_EQ(kPosts, ran.load());

    bool ownRan = false;
    DispatchQueue::main().async([&] { ownRan = true; });
    EXPECT_TRUE(RunLoop::main().runMode(RunLoop::kDefaultMode, Date::distantFuture(), std::chrono::seconds(5)));
    EXPECT_TRUE(ownRan);
}

}  // namespace
