#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <numeric>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/Operation.h"
#include "support/Events.h"
#include "support/MainLoop.h"

using memorant_test::runMainLoopUntil;

namespace {

constexpr auto kGuard = std::chrono::seconds(20);

using memorant_test::Events;

// Records will/did of the state keys of an operation.
std::vector<std::unique_ptr<KVOObservation>> recordState(Operation& operation, Events& events) {
    std::vector<std::unique_ptr<KVOObservation>> tokens;
    for (const char* key : {"isReady", "isExecuting", "isFinished", "isCancelled"})
        tokens.push_back(operation.observe(
            key, KVOOptionPrior | KVOOptionNew, [&events, key](KVOObservable&, const KVOChange& change) {
                events.add(std::string(change.isPrior ? "will " : "did ") + key +
                           (change.newValue ? "=" + change.newValue->description() : std::string()));
            }));
    return tokens;
}

TEST(Operation, StateObserversSeeWillAndDidInOrder) {
    struct Case {
        const char* how;
        bool cancelFirst;
        std::vector<std::string> expected;
    } cases[] = {
        {"on a queue",
         false,
         {"will isExecuting", "did isExecuting=1", "main", "will isExecuting", "will isFinished", "did isExecuting=0",
          "did isFinished=1", "completion"}},
        {"started by hand",
         false,
         {"will isExecuting", "did isExecuting=1", "main", "will isExecuting", "will isFinished", "did isExecuting=0",
          "did isFinished=1", "completion"}},
        {"cancelled first",
         true,
         {"will isCancelled", "did isCancelled=1", "will isFinished", "did isFinished=1", "completion"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        Events events;
        auto operation = BlockOperation::create([&] { events.add("main"); });
        operation->setCompletionBlock([&] { events.add("completion"); });
        auto tokens = recordState(*operation, events);
        if (c.cancelFirst) operation->cancel();
        if (std::string(c.how) == "on a queue") {
            auto queue = OperationQueue::create("com.memorant.test.state");
            queue->addOperation(operation);
            operation->waitUntilFinished();
        } else {
            operation->start();
        }
        EXPECT_EQ(events.get(), c.expected);
        EXPECT_TRUE(operation->isFinished());
        EXPECT_FALSE(operation->isExecuting());
        EXPECT_EQ(operation->isCancelled(), c.cancelFirst);
    }
}

TEST(Operation, StartingWhatIsNotReadyOrAlreadyFinishedIsAProgrammingError) {
    auto dependency = BlockOperation::create([] {});
    auto operation = BlockOperation::create([] {});
    operation->addDependency(dependency);
    EXPECT_FALSE(operation->isReady());
    EXPECT_THROW(operation->start(), InvalidArgumentException);
    dependency->start();
    EXPECT_TRUE(operation->isReady());
    operation->start();
    EXPECT_THROW(operation->start(), InvalidArgumentException);
}

TEST(Operation, DependenciesRunFirstWhateverTheOrderOfAdding) {
    // C needs A and B, B needs A; added C, B, A on a queue that could run all three at once.
    Events events;
    auto a = BlockOperation::create([&] { events.add("A"); });
    auto b = BlockOperation::create([&] { events.add("B"); });
    auto c = BlockOperation::create([&] { events.add("C"); });
    c->addDependency(a);
    c->addDependency(b);
    b->addDependency(a);
    EXPECT_EQ(c->dependencies().size(), 2u);
    auto queue = OperationQueue::create("com.memorant.test.dependencies");
    queue->addOperations({c, b, a}, true);
    EXPECT_EQ(events.get(), (std::vector<std::string>{"A", "B", "C"}));
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(queue->operationCount(), 0u);
}

TEST(Operation, CancelledOperationsFinishWithoutRunning) {
    enum class How { BeforeAdding, WhileQueued, CancelAll };
    for (How how : {How::BeforeAdding, How::WhileQueued, How::CancelAll}) {
        SCOPED_TRACE(static_cast<int>(how));
        Events events;
        auto queue = OperationQueue::create("com.memorant.test.cancel");
        queue->setSuspended(true);
        auto cancelled = BlockOperation::create([&] { events.add("cancelled ran"); });
        cancelled->setCompletionBlock([&] { events.add("cancelled completed"); });
        auto dependent = BlockOperation::create([&] { events.add("dependent ran"); });
        dependent->addDependency(cancelled);
        if (how == How::BeforeAdding) cancelled->cancel();
        queue->addOperation(cancelled);
        queue->addOperation(dependent);
        EXPECT_EQ(queue->operations().size(), 2u);
        if (how == How::WhileQueued) cancelled->cancel();
        if (how == How::CancelAll) {
            queue->cancelAllOperations();
            EXPECT_TRUE(dependent->isCancelled());
        }
        queue->setSuspended(false);
        queue->waitUntilAllOperationsAreFinished();
        dependent->waitUntilFinished();
        EXPECT_TRUE(cancelled->isCancelled());
        EXPECT_TRUE(cancelled->isFinished());
        // The completion block and the dependent may run in either order, as on the platform.
        auto got = events.get();
        std::sort(got.begin(), got.end());
        auto expected = how == How::CancelAll ? std::vector<std::string>{"cancelled completed"}
                                              : std::vector<std::string>{"cancelled completed", "dependent ran"};
        EXPECT_EQ(got, expected) << "a finished cancelled dependency lets its dependents run";
    }
}

TEST(Operation, QueueNeverRunsMoreThanItsMaximumCount) {
    for (int maximum : {1, 2, 3}) {
        SCOPED_TRACE(maximum);
        constexpr int kOperations = 7;
        auto queue = OperationQueue::create("com.memorant.test.maximum");
        queue->setMaxConcurrentOperationCount(maximum);
        std::atomic<int> running{0};
        std::atomic<int> maxRunning{0};
        std::counting_semaphore<kOperations> started(0);
        std::counting_semaphore<kOperations> gate(0);
        for (int i = 0; i < kOperations; ++i)
            queue->addOperationWithBlock([&] {
                int now = ++running;
                int seen = maxRunning.load();
                while (now > seen && !maxRunning.compare_exchange_weak(seen, now)) {
                }
                started.release();
                gate.acquire();
                --running;
            });
        for (int i = 0; i < maximum; ++i) ASSERT_TRUE(started.try_acquire_for(kGuard));
        int executing = 0;
        for (auto& operation : queue->operations()) executing += operation->isExecuting();
        EXPECT_EQ(executing, maximum);
        gate.release(kOperations);
        queue->waitUntilAllOperationsAreFinished();
        EXPECT_EQ(maxRunning, maximum);
    }
}

// Finishes when the test opens its gate, long after start() returned.
class AsyncOperation : public Operation {
public:
    explicit AsyncOperation(std::binary_semaphore& gate) : gate_(gate) {}
    bool isAsynchronous() const override { return true; }
    void start() override {
        markExecuting();
        DispatchQueue::global().async([self = shared_from_this(), this] {
            gate_.acquire();
            markFinished();
        });
    }

private:
    std::binary_semaphore& gate_;
};

TEST(Operation, AsynchronousOperationFinishesWhenItSaysSo) {
    std::binary_semaphore gate(0);
    auto queue = OperationQueue::create("com.memorant.test.async");
    queue->setMaxConcurrentOperationCount(1);
    auto first = std::make_shared<AsyncOperation>(gate);
    Events events;
    auto second = BlockOperation::create([&] { events.add("second"); });
    queue->addOperation(first);
    queue->addOperation(second);
    ASSERT_TRUE(runMainLoopUntil([&] { return first->isExecuting(); }));
    EXPECT_FALSE(second->isExecuting());
    EXPECT_FALSE(second->isFinished()) << "the queue's one slot is taken until the first says it finished";
    gate.release();
    second->waitUntilFinished();
    EXPECT_TRUE(first->isFinished());
    EXPECT_EQ(events.get(), std::vector<std::string>{"second"});
}

TEST(Operation, MainQueueRunsOperationsOnTheMainThreadInOrder) {
    std::vector<std::string> events;
    auto& queue = OperationQueue::mainQueue();
    for (const char* name : {"one", "two", "three"})
        queue.addOperationWithBlock([&events, name] {
            events.push_back(std::string(name) + (isMainThread() ? " on main" : " elsewhere"));
            EXPECT_EQ(OperationQueue::currentQueue().get(), &OperationQueue::mainQueue());
        });
    EXPECT_TRUE(events.empty()) << "queued, not run inline";
    ASSERT_TRUE(runMainLoopUntil([&] { return events.size() == 3; }));
    EXPECT_EQ(events, (std::vector<std::string>{"one on main", "two on main", "three on main"}));
}

// Workers hand results to the main queue while the main thread runs it: an
// operation that ran the moment it was listed must still leave the queue, or
// the queue counts it as running and starts nothing more.
TEST(Operation, OperationsAddedFromOtherThreadsWhileTheMainQueueRunsAllRun) {
    constexpr int kThreads = 4, kEach = 500;
    std::atomic<int> ran{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&ran] {
            for (int i = 0; i < kEach; ++i) OperationQueue::mainQueue().addOperationWithBlock([&ran] { ++ran; });
        });
    }
    EXPECT_TRUE(runMainLoopUntil([&] { return ran == kThreads * kEach; }));
    for (auto& thread : threads) thread.join();
    EXPECT_TRUE(runMainLoopUntil([&] { return ran == kThreads * kEach; }));
    EXPECT_EQ(0u, OperationQueue::mainQueue().operationCount());
}

// A worker whose operation finished runs the next one itself: a serial queue
// still runs them in order, each sees its queue as the current one, and an
// operation that finishes on a thread of its own (asynchronous) still lets
// the next one start.
TEST(Operation, SerialQueueRunsInOrderWhateverThreadFinishesEach) {
    auto queue = OperationQueue::create("com.memorant.test.serial");
    queue->setMaxConcurrentOperationCount(1);
    std::binary_semaphore gate(0);
    std::mutex mutex;
    std::vector<int> order;
    int wrongQueue = 0;
    std::vector<std::shared_ptr<Operation>> operations;
    for (int i = 0; i < 12; ++i) {
        if (i == 5) operations.push_back(std::make_shared<AsyncOperation>(gate));
        operations.push_back(BlockOperation::create([&, i] {
            std::lock_guard lock(mutex);
            order.push_back(i);
            if (OperationQueue::currentQueue() != queue) ++wrongQueue;
        }));
    }
    queue->addOperations(operations, false);
    gate.release();
    queue->waitUntilAllOperationsAreFinished();
    std::vector<int> expected(12);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(order, expected);
    EXPECT_EQ(wrongQueue, 0);
    EXPECT_EQ(queue->operationCount(), 0u);
}

TEST(Operation, CurrentQueueIsTheQueueRunningTheOperation) {
    auto queue = OperationQueue::create("com.memorant.test.current");
    EXPECT_EQ(queue->name(), "com.memorant.test.current");
    std::shared_ptr<OperationQueue> seen;
    queue->addOperations({BlockOperation::create([&] { seen = OperationQueue::currentQueue(); })}, true);
    EXPECT_EQ(seen, queue);
    std::shared_ptr<OperationQueue> onWorker = queue;
    DispatchSemaphore done(0);
    DispatchQueue::global().async([&] {
        onWorker = OperationQueue::currentQueue();
        done.signal();
    });
    done.wait();
    EXPECT_EQ(onWorker, nullptr);
}

TEST(Operation, AddingAnOperationTwiceIsAProgrammingError) {
    auto queue = OperationQueue::create();
    queue->setSuspended(true);
    auto operation = BlockOperation::create([] {});
    queue->addOperation(operation);
    EXPECT_THROW(queue->addOperation(operation), InvalidArgumentException);
    queue->setSuspended(false);
    queue->waitUntilAllOperationsAreFinished();
}

}  // namespace
