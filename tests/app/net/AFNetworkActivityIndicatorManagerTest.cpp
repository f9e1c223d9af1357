#include <gtest/gtest.h>

#include "app/net/AFNetworkActivityIndicatorManager.h"
#include "app/net/AFURLConnectionOperation.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Application.h"
#include "support/MainLoop.h"

using memorant_test::drainMainLoop;

namespace {

class ActivityIndicator : public memorant_test::VirtualClockTest {
protected:
    void SetUp() override {
        Application::shared().setNetworkActivityIndicatorVisible(false);
        sets = Application::shared().networkActivityIndicatorSetCount();
    }
    bool visible() const { return Application::shared().isNetworkActivityIndicatorVisible(); }
    int setsSince() const { return Application::shared().networkActivityIndicatorSetCount() - sets; }

    AFNetworkActivityIndicatorManager manager;
    int sets = 0;
};

}  // namespace

TEST_F(ActivityIndicator, CountNeverGoesBelowZeroAndObserversHearVisibility) {
    int told = 0;
    auto observation = manager.observe("isNetworkActivityIndicatorVisible", KVOOptionNone,
                                       [&](KVOObservable&, const KVOChange&) { ++told; });
    manager.decrementActivityCount();
    EXPECT_EQ(manager.activityCount(), 0);
    manager.incrementActivityCount();
    manager.incrementActivityCount();
    EXPECT_TRUE(manager.isNetworkActivityIndicatorVisible());
    EXPECT_EQ(told, 3);
    drainMainLoop();
}

TEST_F(ActivityIndicator, DisabledCountsButNeverTouchesTheIndicator) {
    manager.incrementActivityCount();
    drainMainLoop();
    manager.decrementActivityCount();
    advance(1);
    EXPECT_EQ(setsSince(), 0);
    EXPECT_EQ(manager.activityCount(), 0);
}

TEST_F(ActivityIndicator, ShowsAtOnceAndHidesAfterTheDelayUnlessWorkResumes) {
    manager.setEnabled(true);
    manager.incrementActivityCount();
    drainMainLoop();
    EXPECT_TRUE(visible());

    manager.decrementActivityCount();
    advance(0.1);
    EXPECT_TRUE(visible());
    manager.incrementActivityCount();  // within 0.17 s of the finish
    drainMainLoop();
    advance(0.2);
    EXPECT_TRUE(visible());

    manager.decrementActivityCount();
    advance(0.16);
    EXPECT_TRUE(visible());
    advance(0.02);
    EXPECT_FALSE(visible());
}

TEST_F(ActivityIndicator, CountsTheNotificationsOfOperationsWithAURL) {
    auto withURL = AFURLConnectionOperation::create(URLRequest(URL::URLWithString("http://127.0.0.1/x")));
    auto withoutURL = AFURLConnectionOperation::create(URLRequest(std::nullopt));
    auto& center = NotificationCenter::defaultCenter();
    center.postNotificationName(kCorvexOperationDidStartNotification, AnyObject(withURL));
    center.postNotificationName(kCorvexOperationDidStartNotification, AnyObject(withoutURL));
    EXPECT_EQ(manager.activityCount(), 1);
    center.postNotificationName(kCorvexOperationDidFinishNotification, AnyObject(withoutURL));
    EXPECT_EQ(manager.activityCount(), 1);
    center.postNotificationName(kCorvexOperationDidFinishNotification, AnyObject(withURL));
    EXPECT_EQ(manager.activityCount(), 0);
    drainMainLoop();
}
