#pragma once

#include <cstddef>

// What a thread may do to itself (NSThread's class methods).
class Thread {
public:
    // sleepForTimeInterval: blocks the calling thread until `seconds` have
    // passed on the injectable clock (Clock). On a virtual clock the thread
    // wakes only when the clock is set or advanced that far, so tests move
    // time on instead of waiting. Never call it on the main thread of a
    // program that drives its run loop.
    static void sleepForTimeInterval(double seconds);

    // How many threads sleep in sleepForTimeInterval right now (for tests
    // that advance the clock once a sleeper has taken its deadline).
    static std::size_t numberOfSleepingThreads();
};
