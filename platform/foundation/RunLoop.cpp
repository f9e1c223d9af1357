#include "platform/foundation/RunLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/foundation/MainThread.h"

namespace {

Date clockNow() {
    return Clock::currentShared()->now();
}

template <class T>
void addMode(std::vector<T>& modes, const T& mode) {
    if (std::find(modes.begin(), modes.end(), mode) == modes.end()) modes.push_back(mode);
}

// Collects the loops that still exist, to wake them outside any lock.
std::vector<std::shared_ptr<RunLoop>> liveLoops(std::vector<std::weak_ptr<RunLoop>>& loops) {
    std::vector<std::shared_ptr<RunLoop>> out;
    std::vector<std::weak_ptr<RunLoop>> kept;
    for (auto& weak : loops) {
        if (auto loop = weak.lock()) {
            out.push_back(loop);
            kept.push_back(weak);
        }
    }
    loops = std::move(kept);
    return out;
}

void addLoop(std::vector<std::weak_ptr<RunLoop>>& loops, const std::shared_ptr<RunLoop>& loop) {
    for (auto& weak : loops)
        if (weak.lock() == loop) return;
    loops.push_back(loop);
}

}  // namespace

// ---- Timer ----

Timer::Timer(Date fireDate, double interval, bool repeats, Block block)
    : fireDate_(fireDate),
      interval_(repeats ? std::max(interval, 0.0001) : interval),
      repeats_(repeats),
      block_(std::move(block)) {}

std::shared_ptr<Timer> Timer::make(double interval, bool repeats, Block block) {
    return std::make_shared<Timer>(clockNow().byAddingTimeInterval(interval), interval, repeats, std::move(block));
}

std::shared_ptr<Timer> Timer::scheduledTimer(double interval, bool repeats, Block block) {
    auto timer = make(interval, repeats, std::move(block));
    RunLoop::current().addTimer(timer, RunLoop::kDefaultMode);
    return timer;
}

Date Timer::fireDate() const {
    std::lock_guard lock(mutex_);
    return fireDate_;
}

void Timer::setFireDate(Date date) {
    {
        std::lock_guard lock(mutex_);
        fireDate_ = date;
    }
    wakeLoops();
}

double Timer::timeInterval() const {
    std::lock_guard lock(mutex_);
    return interval_;
}

bool Timer::repeats() const {
    std::lock_guard lock(mutex_);
    return repeats_;
}

bool Timer::isValid() const {
    std::lock_guard lock(mutex_);
    return valid_;
}

void Timer::invalidate() {
    Block released;  // destroyed after the lock is let go
    {
        std::lock_guard lock(mutex_);
        valid_ = false;
        released = std::move(block_);
        block_ = nullptr;
    }
    wakeLoops();
}

void Timer::fire() {
    Block block;
    {
        std::lock_guard lock(mutex_);
        if (!valid_) return;
        block = block_;
    }
    if (block) block(*this);
    if (!repeats()) invalidate();
}

bool Timer::fireFromLoop(Date now) {
    Block block;
    Date scheduled;
    {
        std::lock_guard lock(mutex_);
        if (!valid_ || firing_) return false;
        firing_ = true;
        block = block_;
        scheduled = fireDate_;
    }
    if (block) block(*this);
    Block released;
    std::lock_guard lock(mutex_);
    firing_ = false;
    if (!repeats_) {
        valid_ = false;
        released = std::move(block_);
        block_ = nullptr;
    } else if (valid_ && fireDate_ == scheduled) {
        // Skip the firings that were missed; the next one lies after now.
        double behind = now.timeIntervalSinceDate(scheduled);
        double steps = std::floor(behind / interval_) + 1;
        fireDate_ = scheduled.byAddingTimeInterval(std::max(steps, 1.0) * interval_);
    }
    return true;
}

void Timer::wakeLoops() {
    std::vector<std::shared_ptr<RunLoop>> loops;
    {
        std::lock_guard lock(mutex_);
        loops = liveLoops(loops_);
    }
    for (auto& loop : loops) loop->wakeUp();
}

// ---- FileDescriptorSource ----

FileDescriptorSource::FileDescriptorSource(int fd, unsigned interest, Callback callback)
    : fd_(fd), interest_(interest), callback_(std::move(callback)) {}

std::shared_ptr<FileDescriptorSource> FileDescriptorSource::create(int fd, unsigned interest, Callback callback) {
    return std::make_shared<FileDescriptorSource>(fd, interest, std::move(callback));
}

unsigned FileDescriptorSource::interest() const {
    std::lock_guard lock(mutex_);
    return interest_;
}

void FileDescriptorSource::setInterest(unsigned interest) {
    {
        std::lock_guard lock(mutex_);
        interest_ = interest;
    }
    wakeLoops();
}

bool FileDescriptorSource::isValid() const {
    std::lock_guard lock(mutex_);
    return valid_;
}

void FileDescriptorSource::invalidate() {
    Callback released;
    {
        std::lock_guard lock(mutex_);
        valid_ = false;
        released = std::move(callback_);
        callback_ = nullptr;
    }
    wakeLoops();
}

void FileDescriptorSource::wakeLoops() {
    std::vector<std::shared_ptr<RunLoop>> loops;
    {
        std::lock_guard lock(mutex_);
        loops = liveLoops(loops_);
    }
    for (auto& loop : loops) loop->wakeUp();
}

// ---- RunLoop ----

const std::string& RunLoop::kDefaultMode = *new std::string("kCFRunLoopDefaultMode");
const std::string& RunLoop::kCommonModes = *new std::string("kCFRunLoopCommonModes");

// An eventfd that a waiting poll watches. Shared with the clock listener so
// that a late listener call never writes to a closed descriptor.
//
// One write stands for every wake-up until the loop drains it: a burst of
// blocks posted from other threads costs one write and one read, not one
// each. The loop reads before it clears the flag, and looks at the posted
// blocks after draining, so a block posted while the flag was set is seen.
struct RunLoop::Waker {
    int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    mutable std::atomic<bool> signalled{false};
    ~Waker() {
        if (fd >= 0) ::close(fd);
    }
    void wake() const {
        if (signalled.exchange(true)) return;
        std::uint64_t one = 1;
        ssize_t n = ::write(fd, &one, sizeof one);
        (void)n;  // EAGAIN only when the counter is full, and then the loop is awake anyway
    }
    void drain() const {
        std::uint64_t value;
        ssize_t n = ::read(fd, &value, sizeof value);
        (void)n;
        signalled.store(false);
    }
};

RunLoop::RunLoop(int threadId) : threadId_(threadId), waker_(std::make_shared<Waker>()) {
    if (waker_->fd < 0) {
        std::perror("RunLoop: eventfd");
        std::abort();
    }
    commonModes_.push_back(kDefaultMode);
    clockListener_ = Clock::addChangeListener([waker = waker_] { waker->wake(); });
}

RunLoop::~RunLoop() {
    Clock::removeChangeListener(clockListener_);
}

std::shared_ptr<RunLoop> RunLoop::makeLoop(int threadId) {
    return std::shared_ptr<RunLoop>(new RunLoop(threadId));
}

RunLoop& RunLoop::main() {
    // Never destroyed: other threads may post to it while the process exits.
    static auto* loop = new std::shared_ptr<RunLoop>(makeLoop(static_cast<int>(::getpid())));
    return **loop;
}

RunLoop& RunLoop::current() {
    if (isMainThread()) return main();
    thread_local std::shared_ptr<RunLoop> loop;
    if (!loop) loop = makeLoop(currentThreadId());
    return *loop;
}

bool RunLoop::isMain() const {
    return this == &main();
}
bool RunLoop::isCurrent() const {
    return currentThreadId() == threadId_;
}

void RunLoop::checkThread() const {
    if (!isCurrent()) {
        std::fprintf(stderr, "RunLoop: a loop runs only on its own thread (loop of %d, called on %d)\n", threadId_,
                     currentThreadId());
        std::abort();
    }
}

void RunLoop::wakeUp() {
    // The loop's own thread is not waiting: it looks at what was posted,
    // added or stopped before it waits again (every pass begins with the
    // blocks posted before it, and a pass that handled something does not
    // wait). So only other threads need to write.
    if (isCurrent()) return;
    waker_->wake();
}

bool RunLoop::hasPendingWork() const {
    std::vector<std::shared_ptr<Timer>> timers;
    {
        std::lock_guard lock(mutex_);
        if (!performs_.empty()) return true;
        for (const auto& entry : timers_) timers.push_back(entry.timer);
    }
    for (const auto& timer : timers)
        if (timer->isValid() && !timer->repeats()) return true;
    return false;
}

void RunLoop::perform(std::function<void()> block) {
    perform({kDefaultMode}, std::move(block));
}

void RunLoop::perform(const std::vector<std::string>& modes, std::function<void()> block) {
    if (!block) return;
    {
        std::lock_guard lock(mutex_);
        if (modes.size() == 1 && modes.front() == kCommonModes) {
            performs_.push_back({nextSequence_++, {}, std::move(block), true});
        } else {
            performs_.push_back({nextSequence_++, modes, std::move(block), false});
        }
    }
    wakeUp();
}

void RunLoop::addTimer(const std::shared_ptr<Timer>& timer, const std::string& mode) {
    if (!timer) return;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(timers_.begin(), timers_.end(), [&](auto& e) { return e.timer == timer; });
        if (it == timers_.end())
            timers_.push_back({timer, {mode}});
        else
            addMode(it->modes, mode);
    }
    {
        std::lock_guard lock(timer->mutex_);
        addLoop(timer->loops_, shared_from_this());
    }
    wakeUp();
}

void RunLoop::addSource(const std::shared_ptr<FileDescriptorSource>& source, const std::string& mode) {
    if (!source) return;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(sources_.begin(), sources_.end(), [&](auto& e) { return e.source == source; });
        if (it == sources_.end())
            sources_.push_back({source, {mode}});
        else
            addMode(it->modes, mode);
    }
    {
        std::lock_guard lock(source->mutex_);
        addLoop(source->loops_, shared_from_this());
    }
    wakeUp();
}

void RunLoop::removeSource(const std::shared_ptr<FileDescriptorSource>& source, const std::string& mode) {
    std::shared_ptr<FileDescriptorSource> released;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(sources_.begin(), sources_.end(), [&](auto& e) { return e.source == source; });
        if (it == sources_.end()) return;
        it->modes.erase(std::remove(it->modes.begin(), it->modes.end(), mode), it->modes.end());
        if (it->modes.empty()) {
            released = std::move(it->source);
            sources_.erase(it);
        }
    }
    wakeUp();
}

void RunLoop::addCommonMode(const std::string& mode) {
    std::lock_guard lock(mutex_);
    addMode(commonModes_, mode);
}

std::optional<std::string> RunLoop::currentMode() const {
    std::lock_guard lock(mutex_);
    if (frames_.empty()) return std::nullopt;
    return frames_.back()->mode;
}

bool RunLoop::isCommonMode(const std::string& mode) const {
    return std::find(commonModes_.begin(), commonModes_.end(), mode) != commonModes_.end();
}

bool RunLoop::matches(const std::vector<std::string>& modes, const std::string& mode) const {
    for (const auto& m : modes) {
        if (m == mode) return true;
        if (m == kCommonModes && isCommonMode(mode)) return true;
    }
    return false;
}

std::optional<Date> RunLoop::nextTimerLocked(const std::string& mode) const {
    std::optional<Date> next;
    for (const auto& entry : timers_) {
        if (!matches(entry.modes, mode)) continue;
        std::lock_guard lock(entry.timer->mutex_);
        if (!entry.timer->valid_ || entry.timer->firing_) continue;
        if (!next || entry.timer->fireDate_ < *next) next = entry.timer->fireDate_;
    }
    return next;
}

std::optional<Date> RunLoop::nextTimerFireDate(const std::string& mode) const {
    std::lock_guard lock(mutex_);
    return nextTimerLocked(mode);
}

bool RunLoop::handleReady(const std::string& mode) {
    bool handled = false;

    // Blocks posted before this pass, one at a time and in order, so that a
    // nested run started by one of them goes on with the next.
    std::uint64_t last;
    {
        std::lock_guard lock(mutex_);
        last = nextSequence_ - 1;
    }
    for (;;) {
        std::function<void()> block;
        {
            std::lock_guard lock(mutex_);
            auto it = performs_.begin();
            for (; it != performs_.end() && it->sequence <= last; ++it)
                if (it->commonModes ? isCommonMode(mode) : matches(it->modes, mode)) break;
            if (it == performs_.end() || it->sequence > last) break;
            block = std::move(it->block);
            performs_.erase(it);
        }
        block();
        handled = true;
    }

    // Due timers, earliest first.
    Date now = clockNow();
    for (;;) {
        std::shared_ptr<Timer> due;
        std::vector<std::shared_ptr<Timer>> released;
        {
            std::lock_guard lock(mutex_);
            Date earliest = Date::distantFuture();
            for (auto it = timers_.begin(); it != timers_.end();) {
                std::unique_lock timerLock(it->timer->mutex_);
                if (!it->timer->valid_) {
                    timerLock.unlock();
                    released.push_back(std::move(it->timer));
                    it = timers_.erase(it);
                    continue;
                }
                if (!it->timer->firing_ && it->timer->fireDate_ <= now && matches(it->modes, mode) &&
                    (!due || it->timer->fireDate_ < earliest)) {
                    due = it->timer;
                    earliest = it->timer->fireDate_;
                }
                ++it;
            }
        }
        if (!due || !due->fireFromLoop(now)) break;
        handled = true;
    }
    return handled;
}

std::size_t RunLoop::sourceCount() const {
    std::lock_guard lock(mutex_);
    return sources_.size();
}

bool RunLoop::hasSources() const {
    std::lock_guard lock(mutex_);
    return !sources_.empty();
}

bool RunLoop::handleSources(const std::string& mode, int timeoutMs) {
    std::vector<pollfd> fds;
    std::vector<std::shared_ptr<FileDescriptorSource>> watched;
    std::vector<std::shared_ptr<FileDescriptorSource>> released;  // destroyed after the lock is let go
    fds.push_back({waker_->fd, POLLIN, 0});
    {
        std::lock_guard lock(mutex_);
        // Invalidated sources go, in every mode: a loop that serves many
        // short connections would otherwise keep one entry per connection.
        std::erase_if(sources_, [&](SourceEntry& entry) {
            if (entry.source->isValid()) return false;
            released.push_back(std::move(entry.source));
            return true;
        });
        for (const auto& entry : sources_) {
            if (!matches(entry.modes, mode)) continue;
            std::lock_guard sourceLock(entry.source->mutex_);
            if (!entry.source->valid_ || entry.source->handling_ || entry.source->fd_ < 0) continue;
            short events = 0;
            if (entry.source->interest_ & FileDescriptorSource::Readable) events |= POLLIN;
            if (entry.source->interest_ & FileDescriptorSource::Writable) events |= POLLOUT;
            if (!events) continue;
            fds.push_back({entry.source->fd_, events, 0});
            watched.push_back(entry.source);
        }
    }
    int n = ::poll(fds.data(), fds.size(), timeoutMs);
    if (n <= 0) return false;  // time-out, or EINTR: the caller looks again
    if (fds[0].revents) waker_->drain();

    bool handled = false;
    for (std::size_t i = 1; i < fds.size(); ++i) {
        short revents = fds[i].revents;
        if (!revents) continue;
        unsigned events = 0;
        if (revents & POLLIN) events |= FileDescriptorSource::Readable;
        if (revents & POLLOUT) events |= FileDescriptorSource::Writable;
        if (revents & POLLHUP) events |= FileDescriptorSource::HangUp;
        if (revents & (POLLERR | POLLNVAL)) events |= FileDescriptorSource::Failure;
        auto& source = watched[i - 1];
        FileDescriptorSource::Callback callback;
        {
            std::lock_guard lock(source->mutex_);
            if (!source->valid_ || source->handling_) continue;
            source->handling_ = true;
            callback = source->callback_;
        }
        if (callback) callback(*source, events);
        {
            std::lock_guard lock(source->mutex_);
            source->handling_ = false;
        }
        handled = true;
    }
    return handled;
}

bool RunLoop::runPass(const std::string& mode, Date limitDate, std::optional<std::chrono::milliseconds> maxRealWait,
                      Frame& frame) {
    const auto realStart = std::chrono::steady_clock::now();
    for (;;) {
        bool handled = handleReady(mode);
        int timeoutMs = 0;
        if (!handled && !frame.stopped) {
            auto clock = Clock::currentShared();
            Date now = clock->now();
            if (now < limitDate) {
                timeoutMs = -1;
                if (!clock->isVirtual()) {
                    std::optional<Date> next;
                    {
                        std::lock_guard lock(mutex_);
                        next = nextTimerLocked(mode);
                    }
                    Date target = next && *next < limitDate ? *next : limitDate;
                    double seconds = target.timeIntervalSinceDate(now);
                    if (seconds < 1e6) timeoutMs = static_cast<int>(std::ceil(std::max(seconds, 0.0) * 1000.0));
                }
                if (maxRealWait) {
                    auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - realStart);
                    int remaining = static_cast<int>(std::max<long long>((*maxRealWait - spent).count(), 0));
                    timeoutMs = timeoutMs < 0 ? remaining : std::min(timeoutMs, remaining);
                }
            }
        }
        // After handling something, sources are only looked at when there
        // are any: the wake-up of what was handled is drained by the next
        // pass that waits.
        if ((!handled || hasSources()) && handleSources(mode, timeoutMs)) handled = true;
        if (handled) return true;
        if (frame.stopped || clockNow() >= limitDate) return false;
        if (maxRealWait && std::chrono::steady_clock::now() - realStart >= *maxRealWait) return false;
    }
}

// Pushes a run's frame (for stop() and currentMode()) and pops it on the way out.
class RunLoop::FrameScope {
public:
    FrameScope(RunLoop& loop, Frame& frame) : loop_(loop) {
        loop_.checkThread();
        std::lock_guard lock(loop_.mutex_);
        loop_.frames_.push_back(&frame);
    }
    ~FrameScope() {
        std::lock_guard lock(loop_.mutex_);
        loop_.frames_.pop_back();
    }

private:
    RunLoop& loop_;
};

bool RunLoop::runMode(const std::string& mode, Date limitDate) {
    Frame frame{mode};
    FrameScope scope(*this, frame);
    return runPass(mode, limitDate, std::nullopt, frame);
}

bool RunLoop::runMode(const std::string& mode, Date limitDate, std::chrono::milliseconds maxRealWait) {
    Frame frame{mode};
    FrameScope scope(*this, frame);
    return runPass(mode, limitDate, maxRealWait, frame);
}

void RunLoop::runUntilDate(Date limitDate) {
    Frame frame{kDefaultMode};
    FrameScope scope(*this, frame);
    while (!frame.stopped && clockNow() < limitDate) runPass(kDefaultMode, limitDate, std::nullopt, frame);
}

void RunLoop::run() {
    runUntilDate(Date::distantFuture());
}

void RunLoop::stop() {
    {
        std::lock_guard lock(mutex_);
        if (frames_.empty()) return;
        frames_.back()->stopped = true;
    }
    wakeUp();
}
