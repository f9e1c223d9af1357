#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "model/FCOperationWithProgress.h"
#include "platform/foundation/MainThread.h"
#include "support/MainLoop.h"

using memorant_test::runMainLoopUntil;

namespace {

// An operation that reports five steps from its worker thread, checking after
// each call that the main thread has already applied it.
class FiveSteps : public FCOperationWithProgress {
public:
    std::vector<std::string> workerChecks;  // written on the worker, read after it finished

    void main() override {
        setTitleOnMainThread("Uploading");
        setHeadlineOnMainThread("Deck");
        for (int i = 1; i <= 5; ++i) {
            std::string step = "step " + std::to_string(i);
            setCurrentStepOnMainThread(step);
            if (currentStep() != step) workerChecks.push_back("current step not applied: " + step);
            setProgressOnMainThread(i / 5.0);
            if (progress() != i / 5.0) workerChecks.push_back("progress not applied: " + step);
        }
        setErrorMessageOnMainThread("none");
    }
};

TEST(FCOperationWithProgress, SettersCalledFromAWorkerArriveOnMainInOrder) {
    auto operation = std::make_shared<FiveSteps>();
    std::vector<std::string> seen;  // appended only on the main thread
    bool allOnMain = true;
    auto note = [&](std::string what) {
        allOnMain = allOnMain && isMainThread();
        seen.push_back(std::move(what));
    };
    operation->setDidUpdateProgress([&](double p) { note("progress " + std::to_string(static_cast<int>(p * 5))); });
    operation->setDidUpdateCurrentStep([&](const std::optional<std::string>& s) { note(s.value_or("nil")); });
    std::vector<std::unique_ptr<KVOObservation>> tokens;
    for (const char* key : {"title", "headline", "errorMessage"})
        tokens.push_back(operation->observe(key, KVOOptionNew, [&, key](KVOObservable&, const KVOChange& c) {
            note(std::string(key) + "=" + c.newValue->stringValue());
        }));

    auto queue = OperationQueue::create("com.memorant.test.progress");
    queue->setMaxConcurrentOperationCount(1);
    queue->addOperation(operation);
    ASSERT_TRUE(runMainLoopUntil([&] { return operation->isFinished(); }));

    EXPECT_TRUE(allOnMain);
    EXPECT_TRUE(operation->workerChecks.empty()) << operation->workerChecks.front();
    EXPECT_EQ(seen, (std::vector<std::string>{"title=Uploading", "headline=Deck", "step 1", "progress 1", "step 2",
                                              "progress 2", "step 3", "progress 3", "step 4", "progress 4", "step 5",
                                              "progress 5", "errorMessage=none"}));
    EXPECT_EQ(operation->title(), "Uploading");
    EXPECT_EQ(operation->errorMessage(), "none");
    EXPECT_DOUBLE_EQ(operation->progress(), 1.0);
}

TEST(FCOperationWithProgress, OnTheMainThreadTheCallbackRunsBeforeTheSetterReturns) {
    FCOperationWithProgress operation;
    std::vector<std::string> steps;
    double reported = -1;
    operation.setDidUpdateCurrentStep([&](const std::optional<std::string>& s) { steps.push_back(*s); });
    operation.setDidUpdateProgress([&](double p) { reported = p; });
    operation.setCurrentStepOnMainThread("Preparing");
    EXPECT_EQ(steps, std::vector<std::string>{"Preparing"});
    operation.setProgressOnMainThread(0.25);
    EXPECT_EQ(reported, 0.25);
}

TEST(FCOperationWithProgress, WithoutCallbacksOnlyThePropertiesChange) {
    FCOperationWithProgress operation;
    EXPECT_EQ(operation.title(), std::nullopt) << "nil until set";
    operation.setProgressOnMainThread(0.5);
    operation.setCurrentStepOnMainThread("Zipping");
    operation.setTitleOnMainThread("Sharing");
    operation.setHeadlineOnMainThread("Spanish");
    operation.setErrorMessageOnMainThread(std::nullopt);
    EXPECT_EQ(operation.progress(), 0.5);
    EXPECT_EQ(operation.currentStep(), "Zipping");
    EXPECT_EQ(operation.title(), "Sharing");
    EXPECT_EQ(operation.headline(), "Spanish");
    EXPECT_EQ(operation.errorMessage(), std::nullopt);
}

}  // namespace
