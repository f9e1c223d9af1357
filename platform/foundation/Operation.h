#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/KeyValueObserving.h"

class OperationQueue;

// An operation (NSOperation). Its state is observable through the KVO layer
// under the keys "isReady", "isExecuting", "isFinished" and "isCancelled"
// (will- and did-change on the thread that changes it).
//
// - Synchronous operations (the default): start() marks the operation
//   executing, calls main() and marks it finished; a cancelled operation
//   finishes without calling main().
// - Asynchronous operations return true from isAsynchronous(), override
//   start() and finish later with markExecuting() / markFinished(), or keep a
//   state of their own: then they override the is* accessors and post the
//   will/did-change notifications themselves (an operation queue follows
//   "isReady" and "isFinished"). Such accessors must not block. An operation
//   that finishes from its own code holds a strong reference to itself while
//   it does (shared_from_this()), since its queue lets go of it then.
// - Ready: every dependency has finished (finished cancelled ones included),
//   or the operation was cancelled.
// - When an operation finishes (on the thread that finishes it, after the
//   observers of "isFinished" were told): its completion block runs once, then
//   its dependents become ready, then it leaves its queue (which starts what
//   can start next), then waitUntilFinished() returns. So a dependency's
//   completion block has run before its dependents start, and
//   waitUntilAllOperationsAreFinished() returns after every completion block.
//
// Operations are held by std::shared_ptr.
class Operation : public KVOObservable, public std::enable_shared_from_this<Operation> {
public:
    Operation();
    ~Operation() override;
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    // Starting an operation that is not ready, executing or finished is a
    // programming error (InvalidArgumentException), as on the platform.
    virtual void start();
    virtual void main();
    virtual void cancel();

    virtual bool isReady() const;
    virtual bool isExecuting() const;
    virtual bool isFinished() const;
    virtual bool isCancelled() const;
    virtual bool isAsynchronous() const;
    bool isConcurrent() const { return isAsynchronous(); }

    // Both operations must be held by std::shared_ptr.
    void addDependency(const std::shared_ptr<Operation>& operation);
    void removeDependency(const std::shared_ptr<Operation>& operation);
    std::vector<std::shared_ptr<Operation>> dependencies() const;

    std::function<void()> completionBlock() const;
    void setCompletionBlock(std::function<void()> block);
    std::string name() const;
    void setName(std::string name);

    // Blocks the calling thread until the operation finished and everything
    // that follows from it (observers, completion block, its queue) is done.
    // On the main
    // thread this blocks the main loop: work that needs it must not be awaited so.
    void waitUntilFinished();

    std::optional<Value> valueForKey(const std::string& key) const override;

protected:
    // For asynchronous operations: will/did-change of "isExecuting".
    void markExecuting();
    // will-change of "isExecuting" (when executing) and "isFinished", the
    // change, then the did-changes in the same order.
    void markFinished();
    void keyValueDidChange(std::string_view key) override;

private:
    friend class OperationQueue;
    void updateReadiness();

    mutable std::recursive_mutex stateMutex_;  // held across will/set/did of a state change
    std::atomic<bool> ready_{true};
    std::atomic<bool> executing_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> enqueued_{false};

    mutable std::mutex mutex_;  // dependencies, completion block, name, finish waiters
    std::condition_variable finishedCondition_;
    std::vector<std::shared_ptr<Operation>> dependencies_;
    std::vector<std::weak_ptr<Operation>> dependents_;  // told when this one finishes
    std::shared_ptr<OperationQueue> queue_;             // while it is in a queue
    std::function<void()> completionBlock_;
    std::string name_;
    bool finishHandled_ = false;  // the last step of finishing; what waiters wait for

    // Its place in its queue's list, guarded by the queue's lock.
    std::list<std::shared_ptr<Operation>>::iterator queuePosition_;
    bool listedInQueue_ = false;
    bool startedByQueue_ = false;
};

// An operation that runs blocks (NSBlockOperation), one after the other.
class BlockOperation : public Operation {
public:
    explicit BlockOperation(std::function<void()> block = nullptr);
    static std::shared_ptr<BlockOperation> create(std::function<void()> block);
    void addExecutionBlock(std::function<void()> block);
    void main() override;

private:
    std::function<void()> firstBlock_;                // most operations run one block
    std::vector<std::function<void()>> laterBlocks_;  // the blocks added after it
};

// An operation queue (NSOperationQueue): starts its ready operations in the
// order they were added, at most maxConcurrentOperationCount at a time, each
// on a worker thread (for mainQueue(): on the main thread, one at a time, from
// the main dispatch queue). It follows its operations through their did-change
// of "isReady" and "isFinished" (so asynchronous operations with a state of
// their own work as long as they post those). A finished operation leaves the
// queue. The queue stays alive while it holds operations. Queues are held by
// std::shared_ptr.
class OperationQueue : public std::enable_shared_from_this<OperationQueue> {
public:
    static constexpr int kDefaultMaxConcurrentOperationCount = -1;  // as many as the system likes

    // Use create(): a queue must be held by a std::shared_ptr.
    static std::shared_ptr<OperationQueue> create(std::string name = {});
    static OperationQueue& mainQueue();
    // The queue whose operation the calling code runs in; the main queue on
    // the main thread; nullptr elsewhere.
    static std::shared_ptr<OperationQueue> currentQueue();

    ~OperationQueue();
    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

    std::string name() const;
    void setName(std::string name);
    int maxConcurrentOperationCount() const;
    void setMaxConcurrentOperationCount(int count);
    bool isSuspended() const;
    void setSuspended(bool suspended);

    // Adding an operation twice, or one that is executing or finished, is a
    // programming error (InvalidArgumentException).
    void addOperation(const std::shared_ptr<Operation>& operation);
    void addOperations(const std::vector<std::shared_ptr<Operation>>& operations, bool waitUntilFinished);
    std::shared_ptr<BlockOperation> addOperationWithBlock(std::function<void()> block);

    std::vector<std::shared_ptr<Operation>> operations() const;
    std::size_t operationCount() const;
    void cancelAllOperations();
    // Blocks until every operation has left the queue. Not for the main queue
    // on the main thread.
    void waitUntilAllOperationsAreFinished();

private:
    friend class Operation;
    OperationQueue(std::string name, bool isMain);
    // Called by the operation itself (see Operation::keyValueDidChange).
    void operationFinished(Operation* operation);
    void startOperations();
    // What may start now, marked as started: usually one operation (the one
    // after a finished one), kept apart so that it costs no allocation.
    struct Startable {
        std::shared_ptr<Operation> first;
        std::vector<std::shared_ptr<Operation>> more;
    };
    void collectStartableLocked(Startable& startable);  // mutex_ held
    // Starts them, with no lock held: the first on the calling worker when it
    // is free (see runOnWorker), the others on the main thread (main queue) or
    // worker threads.
    void launch(Startable startable);
    void dispatchStart(std::shared_ptr<Operation> operation);
    // Runs the operation on the calling thread (a worker of this queue), then
    // the operations this thread was handed as each finished.
    void runOnWorker(std::shared_ptr<Operation> operation);

    const bool isMain_;
    mutable std::mutex mutex_;
    std::condition_variable emptyCondition_;
    std::string name_;
    int maxConcurrent_ = kDefaultMaxConcurrentOperationCount;
    bool suspended_ = false;
    int running_ = 0;
    std::list<std::shared_ptr<Operation>> records_;  // in the order they were added
};
