#include "platform/foundation/MainThread.h"

#include <sys/syscall.h>
#include <unistd.h>

#include "platform/foundation/Dispatch.h"

int currentThreadId() {
    thread_local const int tid = static_cast<int>(::syscall(SYS_gettid));
    return tid;
}

// On Linux the main thread's id equals the process id.
bool isMainThread() {
    return currentThreadId() == static_cast<int>(::getpid());
}

void performOnMainThread(std::function<void()> block, bool waitUntilDone) {
    if (!block) return;
    if (waitUntilDone) {
        DispatchQueue::main().sync(block);  // at once when already on the main thread
    } else {
        DispatchQueue::main().async(std::move(block));
    }
}
