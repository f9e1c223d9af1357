#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Date.h"

class RunLoop;

// A timer of the run loop (NSTimer). It fires when the current clock (see
// Clock) reaches its fire date; a repeating timer then moves on by whole
// intervals past "now", so missed firings are skipped, not caught up. A timer
// that does not repeat is invalidated after it fired. A timer is not re-entered:
// while its block runs, a nested run of the loop does not fire it again.
class Timer : public std::enable_shared_from_this<Timer> {
public:
    using Block = std::function<void(Timer&)>;

    Timer(Date fireDate, double interval, bool repeats, Block block);
    // A timer that first fires `interval` seconds from now; not yet scheduled.
    static std::shared_ptr<Timer> make(double interval, bool repeats, Block block);
    // The same, scheduled on the current thread's run loop in the default mode.
    // As on the platform, it never fires on a thread whose loop nobody runs
    // (a dispatch worker, say): use DispatchQueue::asyncAfter there.
    static std::shared_ptr<Timer> scheduledTimer(double interval, bool repeats, Block block);

    Date fireDate() const;
    void setFireDate(Date date);
    double timeInterval() const;
    bool repeats() const;
    bool isValid() const;
    // Stops the timer for good and releases its block; the run loops drop it.
    void invalidate();
    // Runs the block now, without changing the schedule of a repeating timer;
    // a timer that does not repeat is invalidated afterwards.
    void fire();

private:
    friend class RunLoop;
    bool fireFromLoop(Date now);  // false when it was not valid or already firing
    void wakeLoops();

    mutable std::mutex mutex_;
    Date fireDate_;
    double interval_;
    bool repeats_;
    Block block_;
    bool valid_ = true;
    bool firing_ = false;
    std::vector<std::weak_ptr<RunLoop>> loops_;
};

// A file descriptor watched by run loops (the stand-in for socket and stream
// sources): the callback runs on the loop's thread when the descriptor is
// ready for what `interest` asks. Readiness is level-triggered, so a writer
// should ask for Writable only while it has bytes to write. The callback is
// not re-entered by nested runs. The source never closes the descriptor.
class FileDescriptorSource : public std::enable_shared_from_this<FileDescriptorSource> {
public:
    enum Event : unsigned { Readable = 1u, Writable = 2u, HangUp = 4u, Failure = 8u };
    using Callback = std::function<void(FileDescriptorSource& source, unsigned events)>;

    FileDescriptorSource(int fd, unsigned interest, Callback callback);
    static std::shared_ptr<FileDescriptorSource> create(int fd, unsigned interest, Callback callback);

    int fd() const { return fd_; }
    unsigned interest() const;
    // Changes what to wait for (Readable, Writable or both); wakes the loops.
    void setInterest(unsigned interest);
    bool isValid() const;
    // Releases its callback; every loop drops the source on its next pass.
    void invalidate();

private:
    friend class RunLoop;
    void wakeLoops();

    const int fd_;
    mutable std::mutex mutex_;
    unsigned interest_;
    Callback callback_;
    bool valid_ = true;
    bool handling_ = false;
    std::vector<std::weak_ptr<RunLoop>> loops_;
};

// A run loop of our own, poll-based: one per thread, made when the thread
// first asks for it; the main one belongs to the main thread. It runs posted
// blocks (in the order they were posted), timers (earliest fire date first),
// file-descriptor sources, and the main dispatch queue (on the main loop).
// Runs nest: a callback may run the loop again ("run until a date").
//
// Modes: every block, timer and source is added for a mode; the loop runs in
// one mode at a time and handles only what was added for that mode. The
// pseudo-mode kCommonModes stands for every mode in the loop's common set,
// which holds the default mode and whatever addCommonMode adds. The main
// dispatch queue runs in the common modes.
//
// Time is the injectable clock's (Clock::currentShared()). On a virtual clock
// the loop waits without a deadline and wakes when the clock is set or
// advanced.
//
// Adding blocks, timers and sources, stop() and wakeUp() are safe from any
// thread; running is for the loop's own thread only.
class RunLoop : public std::enable_shared_from_this<RunLoop> {
public:
    // Never destroyed: work on other threads may still post at exit.
    static const std::string& kDefaultMode;  // "kCFRunLoopDefaultMode"
    static const std::string& kCommonModes;  // "kCFRunLoopCommonModes"

    // The calling thread's loop, made on first use (on the main thread: main()).
    static RunLoop& current();
    // The main thread's loop; any thread may ask for it.
    static RunLoop& main();

    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    bool isMain() const;
    // Whether the calling thread is this loop's thread.
    bool isCurrent() const;

    // Queues a block to run on the loop's thread in the given modes.
    void perform(std::function<void()> block);  // the default mode
    void perform(const std::vector<std::string>& modes, std::function<void()> block);

    void addTimer(const std::shared_ptr<Timer>& timer, const std::string& mode = kDefaultMode);
    void addSource(const std::shared_ptr<FileDescriptorSource>& source, const std::string& mode = kDefaultMode);
    void removeSource(const std::shared_ptr<FileDescriptorSource>& source, const std::string& mode = kDefaultMode);
    void addCommonMode(const std::string& mode);
    // The sources this loop holds, in any mode (an invalidated one until the
    // next pass drops it).
    std::size_t sourceCount() const;

    // The mode of the innermost run going on, if the loop runs.
    std::optional<std::string> currentMode() const;
    // The earliest fire date of the valid timers of a mode (CFRunLoopGetNextTimerFireDate).
    std::optional<Date> nextTimerFireDate(const std::string& mode = kDefaultMode) const;
    // Whether work waits on this loop in any mode: a posted block, or a valid
    // timer that does not repeat (a repeating timer watches; it is no work
    // that ends). What "run until idle" asks.
    bool hasPendingWork() const;

    // One pass in a mode (runMode:beforeDate:): handles everything that is ready
    // (blocks posted so far, due timers, ready descriptors); if nothing was,
    // waits until something is or the date passes. Returns whether anything was
    // handled. The second form also gives up after `maxRealWait` of real time
    // without input, so that a test can bound a wait that never ends.
    bool runMode(const std::string& mode, Date limitDate);
    bool runMode(const std::string& mode, Date limitDate, std::chrono::milliseconds maxRealWait);
    // Runs in the default mode until the date passes or stop() is called.
    void runUntilDate(Date limitDate);
    // Runs in the default mode until stop() is called. Unlike the platform's
    // loop it does not return when it has no sources; a worker thread such as
    // the network thread runs it for good.
    void run();
    // Makes the innermost run of this loop return (from any thread). Without a
    // run going on it does nothing.
    void stop();
    // Wakes a waiting run so that it looks at its sources again.
    void wakeUp();

private:
    struct Waker;
    struct Frame {
        std::string mode;
        std::atomic<bool> stopped{false};
    };
    class FrameScope;
    struct PerformItem {
        std::uint64_t sequence;
        std::vector<std::string> modes;  // empty when commonModes
        std::function<void()> block;
        bool commonModes = false;  // posted for the common modes alone (most blocks)
    };
    struct TimerEntry {
        std::shared_ptr<Timer> timer;
        std::vector<std::string> modes;
    };
    struct SourceEntry {
        std::shared_ptr<FileDescriptorSource> source;
        std::vector<std::string> modes;
    };

    explicit RunLoop(int threadId);
    static std::shared_ptr<RunLoop> makeLoop(int threadId);
    void checkThread() const;
    bool matches(const std::vector<std::string>& modes, const std::string& mode) const;  // mutex_ held
    bool isCommonMode(const std::string& mode) const;                                    // mutex_ held
    std::optional<Date> nextTimerLocked(const std::string& mode) const;                  // mutex_ held
    bool runPass(const std::string& mode, Date limitDate, std::optional<std::chrono::milliseconds> maxRealWait,
                 Frame& frame);
    bool handleReady(const std::string& mode);
    bool handleSources(const std::string& mode, int timeoutMs);
    bool hasSources() const;

    const int threadId_;
    std::shared_ptr<Waker> waker_;
    std::uint64_t clockListener_ = 0;

    mutable std::mutex mutex_;
    std::uint64_t nextSequence_ = 1;
    std::deque<PerformItem> performs_;
    std::vector<TimerEntry> timers_;
    std::vector<SourceEntry> sources_;
    std::vector<std::string> commonModes_;
    std::vector<Frame*> frames_;
};
