#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "platform/foundation/Date.h"

class DispatchGroup;

// Dispatch queues (GCD).
//
// - DispatchQueue::main(): blocks run on the main thread, in order, from the
//   main run loop in its common modes. sync() from another thread waits until
//   the main thread has run the block; on the main thread it runs at once.
// - DispatchQueue::global(): the concurrent queue of the process.
// - create(label, Serial | Concurrent): a serial queue runs one block at a time
//   in order; a concurrent one runs blocks side by side. Barrier blocks wait
//   until everything queued before them has finished and run alone.
//
// Blocks run on a shared pool of worker threads, which grows when every
// worker is busy (up to a cap), so blocks that wait for each other do not
// starve. A sync block runs on the calling thread once the queue reaches it.
// Delays (asyncAfter) are measured on the injectable clock (Clock).
// Queues are held by std::shared_ptr; a queue stays alive while it has work.
class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
public:
    enum class Attributes { Serial, Concurrent };

    static std::shared_ptr<DispatchQueue> create(std::string label, Attributes attributes = Attributes::Serial);
    static DispatchQueue& main();
    static DispatchQueue& global();

    ~DispatchQueue();
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    const std::string& label() const { return label_; }
    bool isMain() const { return kind_ == Kind::Main; }
    bool isConcurrent() const { return kind_ == Kind::Concurrent || kind_ == Kind::Global; }
    // Whether the calling code runs in a block of this queue (for the main
    // queue: whether it runs on the main thread).
    bool isCurrent() const;

    void async(std::function<void()> block);
    void async(DispatchGroup& group, std::function<void()> block);
    void sync(const std::function<void()>& block);
    template <class F>
    auto syncResult(F&& f) -> decltype(f()) {
        std::optional<decltype(f())> result;
        sync([&] { result.emplace(f()); });
        return std::move(*result);
    }
    // Barriers: on the global queue they are plain blocks, as in GCD.
    void asyncBarrier(std::function<void()> block);
    void syncBarrier(const std::function<void()>& block);
    // Runs the block asynchronously once `seconds` have passed on the clock.
    void asyncAfter(double seconds, std::function<void()> block);
    void asyncAfter(Date deadline, std::function<void()> block);

    // Whether any queue but the main one has work: a block queued or running
    // on a worker, or a delayed block waiting for its time. The main queue's
    // blocks are the main run loop's (RunLoop::hasPendingWork).
    static bool hasPendingBackgroundWork();
    // Whether a block is queued or running on a worker thread now (delayed
    // blocks not yet due are not counted).
    static bool hasRunningBackgroundWork();

private:
    enum class Kind { Main, Global, Serial, Concurrent };
    struct SyncWaiter;
    struct Item {
        std::function<void()> block;
        bool barrier = false;
        std::shared_ptr<SyncWaiter> waiter;  // a sync call waiting for its turn
    };

    DispatchQueue(std::string label, Kind kind);
    void enqueue(Item item);
    void pump();
    void itemFinished(bool barrier);
    void syncImpl(const std::function<void()>& block, bool barrier);
    void syncOnMain(const std::function<void()>& block);

    const std::string label_;
    const Kind kind_;
    std::mutex mutex_;
    std::deque<Item> items_;
    int running_ = 0;
    bool barrierRunning_ = false;
};

// A counting semaphore (dispatch_semaphore). Copies share one semaphore.
class DispatchSemaphore {
public:
    explicit DispatchSemaphore(long value = 0);
    void signal();
    void wait();
    // Waits until the deadline on the current clock; false when it passed
    // first. On a virtual clock only setting or advancing the clock moves it.
    bool wait(Date deadline);

private:
    struct State;
    std::shared_ptr<State> state_;
};

// A group of work items (dispatch_group). Copies share one group. Leaving
// more often than entering is a programming error and stops the process.
class DispatchGroup {
public:
    DispatchGroup();
    void enter();
    void leave();
    // Queues the block on the queue once the group is empty (at once if it is).
    void notify(DispatchQueue& queue, std::function<void()> block);
    void wait();
    bool wait(Date deadline);

private:
    struct State;
    std::shared_ptr<State> state_;
};

// dispatch_once.
using DispatchOnceToken = std::once_flag;
inline void dispatchOnce(DispatchOnceToken& token, const std::function<void()>& block) {
    std::call_once(token, block);
}
