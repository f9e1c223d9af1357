#pragma once

#include <functional>

// Main-thread identity. The main thread is the process's main thread (the one
// that runs `main`, and so the one gtest runs tests on); its run loop is
// RunLoop::main() and the main dispatch queue runs there.
bool isMainThread();

// The kernel's id of the calling thread.
int currentThreadId();

// performSelectorOnMainThread:waitUntilDone: for blocks. With waitUntilDone the
// block runs at once on the main thread, and from any other thread the call
// returns only when the main thread has run it; without, it is always queued
// on the main queue, even when called on the main thread.
void performOnMainThread(std::function<void()> block, bool waitUntilDone);
