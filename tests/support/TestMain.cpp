#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/foundation/Dispatch.h"
#include "support/TestEnvironment.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new memorant_test::Environment);
    const int result = RUN_ALL_TESTS();
    // Work a test left running on a worker (a rename, a details read) gets a
    // moment to end before the process's statics are destroyed under it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (DispatchQueue::hasRunningBackgroundWork() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return result;
}
