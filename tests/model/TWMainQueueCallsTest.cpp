#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "model/TWMainQueueCalls.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/MainThread.h"
#include "support/MainLoop.h"

using memorant_test::drainMainLoop;
using memorant_test::runMainLoopUntil;

namespace {

TEST(TWMainQueueCalls, BlocksRunLaterOnTheMainQueueWithTheirValues) {
    std::vector<std::string> calls;
    const Error error("TestDomain", 7);
    struct Case {
        const char* name;
        std::function<void()> call;
        std::string expected;
    } cases[] = {
        {"no arguments", [&] { twAsyncCallCompletionHandlerOnMainQueue([&] { calls.push_back("plain"); }); }, "plain"},
        {"error",
         [&] {
             twAsyncCallCompletionHandlerOnMainQueue(
                 [&](const Error& e) { calls.push_back(e.domain() + " " + std::to_string(e.code())); }, error);
         },
         "TestDomain 7"},
        {"error and flag",
         [&] {
             twAsyncCallCompletionHandlerOnMainQueue(
                 [&](const Error& e, bool flag) {
                     calls.push_back((e ? "error " : "no error ") + std::to_string(flag));
                 },
                 Error(), true);
         },
         "no error 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        calls.clear();
        c.call();
        EXPECT_TRUE(calls.empty()) << "never before the call returns, even on the main thread";
        drainMainLoop();
        EXPECT_EQ(calls, std::vector<std::string>{c.expected});
    }
}

TEST(TWMainQueueCalls, FromAWorkerTheBlockRunsOnTheMainThread) {
    bool onMain = false, done = false;
    DispatchQueue::global().async([&] {
        twAsyncCallCompletionHandlerOnMainQueue([&](const Error&, bool) { onMain = isMainThread(), done = true; },
                                                Error(), false);
    });
    ASSERT_TRUE(runMainLoopUntil([&] { return done; }));
    EXPECT_TRUE(onMain);
}

TEST(TWMainQueueCalls, ANullBlockDoesNothing) {
    twAsyncCallCompletionHandlerOnMainQueue(std::function<void()>());
    twAsyncCallCompletionHandlerOnMainQueue(std::function<void(const Error&)>(), Error("D", 1));
    twAsyncCallCompletionHandlerOnMainQueue(std::function<void(const Error&, bool)>(), Error(), true);
    EXPECT_EQ(drainMainLoop(), 0) << "nothing was queued";
}

}  // namespace
