#include "platform/foundation/Operation.h"

#include <algorithm>
#include <climits>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/MainThread.h"

namespace {

const std::string kIsReady = "isReady";
const std::string kIsExecuting = "isExecuting";
const std::string kIsFinished = "isFinished";
const std::string kIsCancelled = "isCancelled";

thread_local OperationQueue* tCurrentOperationQueue = nullptr;

class OperationQueueScope {
public:
    explicit OperationQueueScope(OperationQueue* queue) : saved_(tCurrentOperationQueue) {
        tCurrentOperationQueue = queue;
    }
    ~OperationQueueScope() { tCurrentOperationQueue = saved_; }

private:
    OperationQueue* saved_;
};

// A worker thread running an operation of a (non-main) queue. When that
// operation finishes on this thread, the thread is free: the queue hands it
// the next operation to start instead of waking another thread for it, and the
// worker runs it once the finished one has returned from start(). So a queue
// of many short operations keeps its workers busy without a thread hand-off
// for each.
struct WorkerSlot {
    OperationQueue* queue = nullptr;
    const Operation* running = nullptr;
    bool free = false;
    std::shared_ptr<Operation> next;
};

thread_local WorkerSlot* tWorkerSlot = nullptr;

}  // namespace

// ---- Operation ----

Operation::Operation() = default;
Operation::~Operation() = default;

bool Operation::isReady() const {
    return ready_;
}
bool Operation::isExecuting() const {
    return executing_;
}
bool Operation::isFinished() const {
    return finished_;
}
bool Operation::isCancelled() const {
    return cancelled_;
}
bool Operation::isAsynchronous() const {
    return false;
}

void Operation::main() {}

void Operation::start() {
    auto keep = weak_from_this().lock();
    if (isExecuting() || isFinished())
        throw InvalidArgumentException("*** -[Operation start]: receiver is already executing or finished");
    if (!isReady()) throw InvalidArgumentException("*** -[Operation start]: receiver is not yet ready to execute");
    if (isCancelled()) {
        markFinished();
        return;
    }
    markExecuting();
    main();
    markFinished();
}

void Operation::cancel() {
    {
        std::lock_guard lock(stateMutex_);
        if (cancelled_ || finished_) return;
        willChangeValueForKey(kIsCancelled);
        cancelled_ = true;
        didChangeValueForKey(kIsCancelled);
    }
    updateReadiness();
}

void Operation::markExecuting() {
    std::lock_guard lock(stateMutex_);
    if (executing_ || finished_) return;
    willChangeValueForKey(kIsExecuting);
    executing_ = true;
    didChangeValueForKey(kIsExecuting);
}

void Operation::markFinished() {
    auto keep = weak_from_this().lock();  // the queue lets go of the operation while it is told
    std::lock_guard lock(stateMutex_);
    if (finished_) return;
    const bool wasExecuting = executing_;
    if (wasExecuting) willChangeValueForKey(kIsExecuting);
    willChangeValueForKey(kIsFinished);
    executing_ = false;
    finished_ = true;
    if (wasExecuting) didChangeValueForKey(kIsExecuting);
    didChangeValueForKey(kIsFinished);
}

void Operation::keyValueDidChange(std::string_view key) {
    if (key == kIsReady) {
        std::shared_ptr<OperationQueue> queue;
        {
            std::lock_guard lock(mutex_);
            queue = queue_;
        }
        if (queue) queue->startOperations();
        return;
    }
    if (key != kIsFinished || !isFinished()) return;
    std::function<void()> completion;
    std::vector<std::weak_ptr<Operation>> dependents;
    std::shared_ptr<OperationQueue> queue;
    {
        std::lock_guard lock(mutex_);
        completion = std::move(completionBlock_);
        completionBlock_ = nullptr;
        dependents = dependents_;
        queue = std::move(queue_);
        queue_ = nullptr;
    }
    if (completion) completion();
    for (auto& weak : dependents)
        if (auto dependent = weak.lock()) dependent->updateReadiness();
    if (queue) queue->operationFinished(this);
    std::lock_guard lock(mutex_);
    finishHandled_ = true;
    finishedCondition_.notify_all();
}

void Operation::updateReadiness() {
    std::vector<std::shared_ptr<Operation>> operations;
    {
        std::lock_guard lock(mutex_);
        operations = dependencies_;
    }
    std::lock_guard lock(stateMutex_);
    bool ready = cancelled_ || std::all_of(operations.begin(), operations.end(),
                                           [](const auto& operation) { return operation->isFinished(); });
    if (ready == ready_) return;
    willChangeValueForKey(kIsReady);
    ready_ = ready;
    didChangeValueForKey(kIsReady);
}

void Operation::addDependency(const std::shared_ptr<Operation>& operation) {
    if (!operation || operation.get() == this) return;
    {
        std::lock_guard lock(mutex_);
        if (std::find(dependencies_.begin(), dependencies_.end(), operation) != dependencies_.end()) return;
        dependencies_.push_back(operation);
    }
    {
        // Registered before readiness is read below: if the dependency finishes
        // in between, either it sees this one in its list or this one sees it finished.
        std::lock_guard lock(operation->mutex_);
        operation->dependents_.push_back(weak_from_this());
    }
    updateReadiness();
}

void Operation::removeDependency(const std::shared_ptr<Operation>& operation) {
    {
        std::lock_guard lock(mutex_);
        auto it = std::find(dependencies_.begin(), dependencies_.end(), operation);
        if (it == dependencies_.end()) return;
        dependencies_.erase(it);
    }
    {
        std::lock_guard lock(operation->mutex_);
        auto& list = operation->dependents_;
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [this](const std::weak_ptr<Operation>& w) {
                                      auto p = w.lock();
                                      return !p || p.get() == this;
                                  }),
                   list.end());
    }
    updateReadiness();
}

std::vector<std::shared_ptr<Operation>> Operation::dependencies() const {
    std::lock_guard lock(mutex_);
    return dependencies_;
}

std::function<void()> Operation::completionBlock() const {
    std::lock_guard lock(mutex_);
    return completionBlock_;
}

void Operation::setCompletionBlock(std::function<void()> block) {
    std::function<void()> old;
    std::lock_guard lock(mutex_);
    old = std::exchange(completionBlock_, std::move(block));
}

std::string Operation::name() const {
    std::lock_guard lock(mutex_);
    return name_;
}

void Operation::setName(std::string name) {
    std::lock_guard lock(mutex_);
    name_ = std::move(name);
}

void Operation::waitUntilFinished() {
    std::unique_lock lock(mutex_);
    finishedCondition_.wait(lock, [&] { return finishHandled_; });
}

std::optional<Value> Operation::valueForKey(const std::string& key) const {
    if (key == kIsReady) return Value(isReady());
    if (key == kIsExecuting) return Value(isExecuting());
    if (key == kIsFinished) return Value(isFinished());
    if (key == kIsCancelled) return Value(isCancelled());
    if (key == "name") return Value(name());
    return std::nullopt;
}

// ---- BlockOperation ----

BlockOperation::BlockOperation(std::function<void()> block) : firstBlock_(std::move(block)) {}

std::shared_ptr<BlockOperation> BlockOperation::create(std::function<void()> block) {
    return std::make_shared<BlockOperation>(std::move(block));
}

void BlockOperation::addExecutionBlock(std::function<void()> block) {
    if (!block) return;
    if (!firstBlock_) {
        firstBlock_ = std::move(block);
    } else {
        laterBlocks_.push_back(std::move(block));
    }
}

void BlockOperation::main() {
    if (firstBlock_) firstBlock_();
    for (auto& block : laterBlocks_) block();
}

// ---- OperationQueue ----

OperationQueue::OperationQueue(std::string name, bool isMain) : isMain_(isMain), name_(std::move(name)) {
    if (isMain_) maxConcurrent_ = 1;
}

OperationQueue::~OperationQueue() = default;

std::shared_ptr<OperationQueue> OperationQueue::create(std::string name) {
    return std::shared_ptr<OperationQueue>(new OperationQueue(std::move(name), false));
}

OperationQueue& OperationQueue::mainQueue() {
    static auto* queue = new std::shared_ptr<OperationQueue>(new OperationQueue("NSOperationQueue Main Queue", true));
    return **queue;
}

std::shared_ptr<OperationQueue> OperationQueue::currentQueue() {
    if (tCurrentOperationQueue) return tCurrentOperationQueue->shared_from_this();
    if (isMainThread()) return mainQueue().shared_from_this();
    return nullptr;
}

std::string OperationQueue::name() const {
    std::lock_guard lock(mutex_);
    return name_;
}

void OperationQueue::setName(std::string name) {
    std::lock_guard lock(mutex_);
    name_ = std::move(name);
}

int OperationQueue::maxConcurrentOperationCount() const {
    std::lock_guard lock(mutex_);
    return maxConcurrent_;
}

void OperationQueue::setMaxConcurrentOperationCount(int count) {
    {
        std::lock_guard lock(mutex_);
        if (isMain_) return;  // the main queue runs one operation at a time
        maxConcurrent_ = count;
    }
    startOperations();
}

bool OperationQueue::isSuspended() const {
    std::lock_guard lock(mutex_);
    return suspended_;
}

void OperationQueue::setSuspended(bool suspended) {
    {
        std::lock_guard lock(mutex_);
        suspended_ = suspended;
    }
    startOperations();
}

void OperationQueue::addOperation(const std::shared_ptr<Operation>& operation) {
    if (!operation) return;
    if (operation->enqueued_.exchange(true) || operation->isExecuting() || operation->isFinished())
        throw InvalidArgumentException(
            "*** -[OperationQueue addOperation:]: operation is finished, is executing or is already in a queue");
    {
        // The operation holds its queue until it finished: a queue lives while it has operations.
        // It knows its queue before the queue lists it: once listed, another thread's
        // startOperations may start it at once, and when it finishes it must find its queue
        // to leave it (or it would count as running for ever).
        std::lock_guard lock(operation->mutex_);
        operation->queue_ = shared_from_this();
    }
    Startable startable;
    {
        std::lock_guard lock(mutex_);
        records_.push_back(operation);
        operation->queuePosition_ = std::prev(records_.end());
        operation->listedInQueue_ = true;
        collectStartableLocked(startable);
    }
    launch(std::move(startable));
}

void OperationQueue::addOperations(const std::vector<std::shared_ptr<Operation>>& operations, bool waitUntilFinished) {
    for (auto& operation : operations) addOperation(operation);
    if (waitUntilFinished)
        for (auto& operation : operations)
            if (operation) operation->waitUntilFinished();
}

std::shared_ptr<BlockOperation> OperationQueue::addOperationWithBlock(std::function<void()> block) {
    auto operation = BlockOperation::create(std::move(block));
    addOperation(operation);
    return operation;
}

std::vector<std::shared_ptr<Operation>> OperationQueue::operations() const {
    std::lock_guard lock(mutex_);
    return {records_.begin(), records_.end()};
}

std::size_t OperationQueue::operationCount() const {
    std::lock_guard lock(mutex_);
    return records_.size();
}

void OperationQueue::cancelAllOperations() {
    for (auto& operation : operations()) operation->cancel();
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
    std::unique_lock lock(mutex_);
    emptyCondition_.wait(lock, [&] { return records_.empty(); });
}

void OperationQueue::operationFinished(Operation* operation) {
    if (!operation->isFinished()) return;
    std::list<std::shared_ptr<Operation>> removed;  // released outside the lock
    Startable startable;
    {
        std::lock_guard lock(mutex_);
        if (!operation->listedInQueue_) return;
        operation->listedInQueue_ = false;
        if (operation->startedByQueue_) --running_;
        removed.splice(removed.begin(), records_, operation->queuePosition_);
        if (records_.empty()) emptyCondition_.notify_all();
        collectStartableLocked(startable);
    }
    if (tWorkerSlot && tWorkerSlot->queue == this && tWorkerSlot->running == operation) tWorkerSlot->free = true;
    launch(std::move(startable));
}

void OperationQueue::startOperations() {
    Startable startable;
    {
        std::lock_guard lock(mutex_);
        collectStartableLocked(startable);
    }
    launch(std::move(startable));
}

void OperationQueue::collectStartableLocked(Startable& startable) {
    if (suspended_) return;
    const int limit = maxConcurrent_ < 0 ? INT_MAX : maxConcurrent_;
    for (auto& operation : records_) {
        if (running_ >= limit) break;
        // Readiness is read here, under the queue's lock, so that no change is lost.
        if (operation->startedByQueue_ || !operation->isReady()) continue;
        operation->startedByQueue_ = true;
        ++running_;
        if (!startable.first) {
            startable.first = operation;
        } else {
            startable.more.push_back(operation);
        }
    }
}

void OperationQueue::launch(Startable startable) {
    if (!startable.first) return;
    if (!isMain_ && tWorkerSlot && tWorkerSlot->queue == this && tWorkerSlot->free && !tWorkerSlot->next) {
        tWorkerSlot->free = false;
        tWorkerSlot->next = std::move(startable.first);
    } else {
        dispatchStart(std::move(startable.first));
    }
    for (auto& operation : startable.more) dispatchStart(std::move(operation));
}

void OperationQueue::dispatchStart(std::shared_ptr<Operation> operation) {
    if (isMain_) {
        // The main queue lives for ever; the block holds the operation alone,
        // which the block's own storage has room for.
        DispatchQueue::main().async([operation = std::move(operation)] {
            OperationQueueScope scope(&mainQueue());
            operation->start();
        });
    } else {
        DispatchQueue::global().async(
            [self = shared_from_this(), operation = std::move(operation)] { self->runOnWorker(operation); });
    }
}

void OperationQueue::runOnWorker(std::shared_ptr<Operation> operation) {
    OperationQueueScope scope(this);
    WorkerSlot slot;
    slot.queue = this;
    // Also when an operation throws: the slot goes, and an operation it was
    // handed starts on another thread.
    struct Leave {
        OperationQueue* queue;
        WorkerSlot& slot;
        WorkerSlot* saved;
        ~Leave() {
            tWorkerSlot = saved;
            if (slot.next) queue->dispatchStart(std::move(slot.next));
        }
    } leave{this, slot, std::exchange(tWorkerSlot, &slot)};
    while (operation) {
        slot.running = operation.get();
        slot.free = false;
        operation->start();
        slot.running = nullptr;
        operation = std::move(slot.next);
    }
}
