#include "platform/foundation/Dispatch.h"

#include <pthread.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <future>
#include <thread>
#include <vector>

#include "platform/foundation/MainThread.h"
#include "platform/foundation/RunLoop.h"

namespace {

Date clockNow() {
    return Clock::currentShared()->now();
}

// The worker threads behind every queue but the main one. A new thread starts
// whenever a task waits and no worker is idle, up to a cap, so blocks that
// wait for one another (latches, sync calls, operations waiting for the main
// thread) do not starve. Workers stay for the life of the process.
class ThreadPool {
public:
    static ThreadPool& shared() {
        static auto* pool = new ThreadPool;  // never destroyed: workers outlive static destruction
        return *pool;
    }

    // Tasks submitted and not yet finished.
    std::size_t outstanding() {
        std::lock_guard lock(mutex_);
        return outstanding_;
    }

    void submit(std::function<void()> task) {
        std::unique_lock lock(mutex_);
        ++outstanding_;
        tasks_.push_back(std::move(task));
        if (tasks_.size() > idle_ && threads_ < kMaxThreads) {
            ++threads_;
            std::thread([this] { work(); }).detach();
        } else {
            cv_.notify_one();
        }
    }

private:
    static constexpr std::size_t kMaxThreads = 64;

    void work() {
        pthread_setname_np(pthread_self(), "memorant.worker");
        std::unique_lock lock(mutex_);
        for (;;) {
            ++idle_;
            cv_.wait(lock, [&] { return !tasks_.empty(); });
            --idle_;
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            task = nullptr;  // the block's captures go before the lock is taken again
            lock.lock();
            --outstanding_;
        }
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> tasks_;
    std::size_t threads_ = 0;
    std::size_t idle_ = 0;
    std::size_t outstanding_ = 0;
};

// The thread whose run loop holds the timers of asyncAfter on queues other
// than the main one.
RunLoop& timerLoop() {
    static auto* loop = [] {
        auto promise = std::make_shared<std::promise<std::shared_ptr<RunLoop>>>();
        auto future = promise->get_future();
        std::thread([promise] {
            pthread_setname_np(pthread_self(), "memorant.timers");
            RunLoop& loop = RunLoop::current();
            promise->set_value(loop.shared_from_this());
            loop.run();
        }).detach();
        return new std::shared_ptr<RunLoop>(future.get());
    }();
    return **loop;
}

thread_local const DispatchQueue* tCurrentQueue = nullptr;

class CurrentQueueScope {
public:
    explicit CurrentQueueScope(const DispatchQueue* queue) : saved_(tCurrentQueue) { tCurrentQueue = queue; }
    ~CurrentQueueScope() { tCurrentQueue = saved_; }

private:
    const DispatchQueue* saved_;
};

// Waits on state->cv (with state->mutex held by `lock`) until ready() or the
// deadline on the current clock. A clock listener wakes the wait when a
// virtual clock moves or the clock is replaced; it takes the mutex before it
// notifies, so no wake-up is lost.
template <class State, class Ready>
bool waitUntilDeadline(std::unique_lock<std::mutex>& lock, const std::shared_ptr<State>& state, Date deadline,
                       Ready ready) {
    if (ready()) return true;
    if (deadline >= Date::distantFuture()) {
        state->cv.wait(lock, ready);
        return true;
    }
    auto listener = Clock::addChangeListener([weak = std::weak_ptr<State>(state)] {
        if (auto s = weak.lock()) {
            std::lock_guard guard(s->mutex);
            s->cv.notify_all();
        }
    });
    bool ok = false;
    for (;;) {
        if (ready()) {
            ok = true;
            break;
        }
        auto clock = Clock::currentShared();
        Date now = clock->now();
        if (now >= deadline) break;
        if (clock->isVirtual()) {
            state->cv.wait(lock);
        } else {
            double seconds = std::min(deadline.timeIntervalSinceDate(now), 3600.0);
            state->cv.wait_for(lock, std::chrono::duration<double>(seconds));
        }
    }
    lock.unlock();
    Clock::removeChangeListener(listener);
    lock.lock();
    return ok;
}

}  // namespace

// ---- DispatchQueue ----

struct DispatchQueue::SyncWaiter {
    std::mutex mutex;
    std::condition_variable cv;
    bool go = false;
    bool barrier = false;
};

DispatchQueue::DispatchQueue(std::string label, Kind kind) : label_(std::move(label)), kind_(kind) {}
DispatchQueue::~DispatchQueue() = default;

std::shared_ptr<DispatchQueue> DispatchQueue::create(std::string label, Attributes attributes) {
    return std::shared_ptr<DispatchQueue>(
        new DispatchQueue(std::move(label), attributes == Attributes::Serial ? Kind::Serial : Kind::Concurrent));
}

DispatchQueue& DispatchQueue::main() {
    static auto* queue = new std::shared_ptr<DispatchQueue>(new DispatchQueue("com.apple.main-thread", Kind::Main));
    return **queue;
}

DispatchQueue& DispatchQueue::global() {
    static auto* queue =
        new std::shared_ptr<DispatchQueue>(new DispatchQueue("com.apple.root.default-qos", Kind::Global));
    return **queue;
}

bool DispatchQueue::isCurrent() const {
    if (kind_ == Kind::Main) return isMainThread();
    return tCurrentQueue == this;
}

void DispatchQueue::async(std::function<void()> block) {
    if (!block) return;
    if (kind_ == Kind::Main) {
        static const std::vector<std::string>* commonModes = new std::vector<std::string>{RunLoop::kCommonModes};
        RunLoop::main().perform(*commonModes, std::move(block));
        return;
    }
    enqueue({std::move(block), false, nullptr});
}

void DispatchQueue::async(DispatchGroup& group, std::function<void()> block) {
    group.enter();
    async([group, block = std::move(block)]() mutable {
        if (block) block();
        group.leave();
    });
}

void DispatchQueue::asyncBarrier(std::function<void()> block) {
    if (!block) return;
    if (kind_ == Kind::Main) {
        async(std::move(block));
        return;
    }
    enqueue({std::move(block), true, nullptr});
}

void DispatchQueue::sync(const std::function<void()>& block) {
    syncImpl(block, false);
}
void DispatchQueue::syncBarrier(const std::function<void()>& block) {
    syncImpl(block, true);
}

void DispatchQueue::asyncAfter(double seconds, std::function<void()> block) {
    asyncAfter(clockNow().byAddingTimeInterval(seconds), std::move(block));
}

void DispatchQueue::asyncAfter(Date deadline, std::function<void()> block) {
    if (!block) return;
    if (kind_ == Kind::Main) {
        auto timer = std::make_shared<Timer>(deadline, 0, false, [block = std::move(block)](Timer&) { block(); });
        RunLoop::main().addTimer(timer, RunLoop::kCommonModes);
        return;
    }
    auto timer = std::make_shared<Timer>(
        deadline, 0, false, [self = shared_from_this(), block = std::move(block)](Timer&) { self->async(block); });
    timerLoop().addTimer(timer, RunLoop::kDefaultMode);
}

bool DispatchQueue::hasRunningBackgroundWork() {
    return ThreadPool::shared().outstanding() > 0;
}

bool DispatchQueue::hasPendingBackgroundWork() {
    if (ThreadPool::shared().outstanding() > 0) return true;
    return timerLoop().hasPendingWork();
}

void DispatchQueue::enqueue(Item item) {
    {
        std::lock_guard lock(mutex_);
        items_.push_back(std::move(item));
    }
    pump();
}

void DispatchQueue::pump() {
    std::vector<Item> starting;
    {
        std::lock_guard lock(mutex_);
        const int width = kind_ == Kind::Serial ? 1 : INT_MAX;
        while (!items_.empty() && !barrierRunning_) {
            Item& front = items_.front();
            front.barrier = front.barrier && kind_ == Kind::Concurrent;
            if (front.barrier) {
                if (running_ > 0) break;
                barrierRunning_ = true;
            } else if (running_ >= width) {
                break;
            }
            ++running_;
            starting.push_back(std::move(front));
            items_.pop_front();
        }
    }
    for (auto& item : starting) {
        if (item.waiter) {
            {
                std::lock_guard lock(item.waiter->mutex);
                item.waiter->go = true;
                item.waiter->barrier = item.barrier;
            }
            item.waiter->cv.notify_one();
            continue;
        }
        ThreadPool::shared().submit([self = shared_from_this(), block = std::move(item.block), barrier = item.barrier] {
            {
                CurrentQueueScope scope(self.get());
                block();
            }
            self->itemFinished(barrier);
        });
    }
}

void DispatchQueue::itemFinished(bool barrier) {
    {
        std::lock_guard lock(mutex_);
        --running_;
        if (barrier) barrierRunning_ = false;
    }
    pump();
}

void DispatchQueue::syncOnMain(const std::function<void()>& block) {
    if (isMainThread()) {
        block();
        return;
    }
    struct Done {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
        std::exception_ptr error;
    };
    auto done = std::make_shared<Done>();
    RunLoop::main().perform({RunLoop::kCommonModes}, [done, &block] {
        try {
            block();
        } catch (...) {
            done->error = std::current_exception();
        }
        std::lock_guard lock(done->mutex);
        done->done = true;
        done->cv.notify_all();
    });
    std::unique_lock lock(done->mutex);
    done->cv.wait(lock, [&] { return done->done; });
    if (done->error) std::rethrow_exception(done->error);
}

void DispatchQueue::syncImpl(const std::function<void()>& block, bool barrier) {
    if (!block) return;
    if (kind_ == Kind::Main) {
        syncOnMain(block);
        return;
    }
    if (kind_ == Kind::Serial && isCurrent()) {
        std::fprintf(stderr, "DispatchQueue: sync on the serial queue \"%s\" from its own block would deadlock\n",
                     label_.c_str());
        std::abort();
    }
    auto waiter = std::make_shared<SyncWaiter>();
    enqueue({nullptr, barrier, waiter});
    {
        std::unique_lock lock(waiter->mutex);
        waiter->cv.wait(lock, [&] { return waiter->go; });
    }
    struct Finish {
        DispatchQueue* queue;
        bool barrier;
        ~Finish() { queue->itemFinished(barrier); }
    } finish{this, waiter->barrier};
    CurrentQueueScope scope(this);
    block();
}

// ---- DispatchSemaphore ----

struct DispatchSemaphore::State {
    std::mutex mutex;
    std::condition_variable cv;
    long value = 0;
};

DispatchSemaphore::DispatchSemaphore(long value) : state_(std::make_shared<State>()) {
    state_->value = value;
}

void DispatchSemaphore::signal() {
    // A waiter may destroy the semaphore as soon as it sees the count: keep the state.
    auto state = state_;
    std::lock_guard lock(state->mutex);
    ++state->value;
    state->cv.notify_one();
}

void DispatchSemaphore::wait() {
    wait(Date::distantFuture());
}

bool DispatchSemaphore::wait(Date deadline) {
    std::unique_lock lock(state_->mutex);
    if (!waitUntilDeadline(lock, state_, deadline, [&] { return state_->value > 0; })) return false;
    --state_->value;
    return true;
}

// ---- DispatchGroup ----

struct DispatchGroup::State {
    std::mutex mutex;
    std::condition_variable cv;
    long count = 0;
    std::vector<std::pair<std::shared_ptr<DispatchQueue>, std::function<void()>>> notifications;
};

DispatchGroup::DispatchGroup() : state_(std::make_shared<State>()) {}

void DispatchGroup::enter() {
    std::lock_guard lock(state_->mutex);
    ++state_->count;
}

void DispatchGroup::leave() {
    auto state = state_;  // a waiter may destroy the group as soon as it is empty
    decltype(State::notifications) ready;
    {
        std::lock_guard lock(state->mutex);
        if (state->count <= 0) {
            std::fprintf(stderr, "DispatchGroup: leave() without enter()\n");
            std::abort();
        }
        if (--state->count == 0) {
            ready = std::move(state->notifications);
            state->notifications.clear();
            state->cv.notify_all();
        }
    }
    for (auto& [queue, block] : ready) queue->async(std::move(block));
}

void DispatchGroup::notify(DispatchQueue& queue, std::function<void()> block) {
    {
        std::lock_guard lock(state_->mutex);
        if (state_->count > 0) {
            state_->notifications.emplace_back(queue.shared_from_this(), std::move(block));
            return;
        }
    }
    queue.async(std::move(block));
}

void DispatchGroup::wait() {
    wait(Date::distantFuture());
}

bool DispatchGroup::wait(Date deadline) {
    std::unique_lock lock(state_->mutex);
    return waitUntilDeadline(lock, state_, deadline, [&] { return state_->count == 0; });
}
