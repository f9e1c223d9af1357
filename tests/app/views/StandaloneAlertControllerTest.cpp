#include <gtest/gtest.h>

#include "app/views/AlertViewAdditions.h"
#include "app/views/StandaloneAlertController.h"
#include "platform/ui/Application.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"

class StandaloneAlertControllerTest : public memorant_test::UITest {
protected:
    void SetUp() override {
        main->setRootViewController(std::make_shared<ViewController>());
        main->makeKeyAndVisible();
    }
    void TearDown() override {
        main->setHidden(true);
        UITest::TearDown();
    }
    std::shared_ptr<Window> main = std::make_shared<Window>();
};

TEST_F(StandaloneAlertControllerTest, ShownInItsOwnWindowAboveTheKeyOneAndGoneAfterAnAction) {
    std::vector<std::string> handled;
    std::weak_ptr<Window> firstWindow, secondWindow;
    std::weak_ptr<StandaloneAlertController> firstAlert;
    {
        auto alert = StandaloneAlertController::alertControllerWithTitle("Error Saving Deck", "Disk full",
                                                                         AlertControllerStyle::Alert);
        alert->addAction(AlertAction::actionWithTitle("OK", AlertActionStyle::Default,
                                                      [&](AlertAction&) { handled.push_back("first"); }));
        EXPECT_EQ(nullptr, alert->parentWindow());
        alert->showInSeparateWindow();
        firstWindow = alert->parentWindow();
        firstAlert = alert;
    }
    auto window = firstWindow.lock();
    ASSERT_NE(nullptr, window);
    EXPECT_DOUBLE_EQ(kWindowLevelAlert + 1, window->windowLevel());
    EXPECT_EQ(window, Application::shared().keyWindow());
    EXPECT_EQ(window, Application::shared().windows().back());
    EXPECT_EQ(Screen::main().bounds(), window->frame());
    EXPECT_NE(nullptr, window->rootViewController());
    EXPECT_EQ(firstAlert.lock(), window->rootViewController()->presentedViewController());
    window.reset();

    // A second one gets a window of its own.
    auto second =
        StandaloneAlertController::alertControllerWithTitle("Second", std::nullopt, AlertControllerStyle::Alert);
    second->addAction(AlertAction::actionWithTitle("Close", AlertActionStyle::Cancel,
                                                   [&](AlertAction&) { handled.push_back("second"); }));
    second->showInSeparateWindow();
    secondWindow = second->parentWindow();
    EXPECT_NE(firstWindow.lock(), secondWindow.lock());
    EXPECT_EQ(3u, Application::shared().windows().size());
    advance(ViewController::kTransitionDuration);
    EXPECT_EQ(second, UIDriver::presentedAlert());

    ASSERT_TRUE(UIDriver::tapAlertAction(*second, "Close"));
    advance(ViewController::kTransitionDuration);
    EXPECT_EQ(std::vector<std::string>{"second"}, handled);
    EXPECT_EQ(nullptr, second->parentWindow());
    EXPECT_TRUE(secondWindow.expired());
    // The first alert's window is the key one again.
    EXPECT_EQ(firstWindow.lock(), Application::shared().keyWindow());
    auto first = UIDriver::presentedAlert();
    EXPECT_EQ(firstAlert.lock(), first);
    ASSERT_TRUE(UIDriver::tapAlertAction(*first, "OK"));
    first.reset();
    advance(ViewController::kTransitionDuration);
    EXPECT_EQ((std::vector<std::string>{"second", "first"}), handled);
    // Nothing keeps the alert or its window once it is gone.
    EXPECT_TRUE(firstWindow.expired());
    EXPECT_TRUE(firstAlert.expired());
    EXPECT_EQ((std::vector<std::shared_ptr<Window>>{main}), Application::shared().windows());
    EXPECT_EQ(main, Application::shared().keyWindow());
}

TEST_F(StandaloneAlertControllerTest, AlertViewWithCompletionBlock) {
    std::vector<std::int64_t> answers;
    auto alert = std::make_shared<AlertView>("Import", std::nullopt, "Cancel", std::vector<std::string>{"Import"});
    fcShowWithCompletion(alert, [&](AlertView& shown, std::int64_t index) {
        EXPECT_EQ(alert.get(), &shown);
        answers.push_back(index);
    });
    std::weak_ptr<AlertView> weak = alert;
    alert.reset();  // the system keeps a shown alert alive, and the alert its wrapper
    auto shown = weak.lock();
    ASSERT_NE(nullptr, shown);
    alert = shown;
    EXPECT_TRUE(UIDriver::tapAlertViewButton(*shown, "Import"));
    shown->show();
    shown->cancel();
    EXPECT_EQ((std::vector<std::int64_t>{1, 0}), answers);

    // Without a block the alert just goes away.
    auto quiet = std::make_shared<AlertView>("Note", std::nullopt, "OK");
    fcShowWithCompletion(quiet, nullptr);
    EXPECT_TRUE(UIDriver::tapAlertViewButton(*quiet, "OK"));
    EXPECT_FALSE(quiet->isVisible());
}
