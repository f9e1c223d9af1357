#include <gtest/gtest.h>

#include "app/views/FIHelpContentViewController.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/web/WebView.h"
#include "support/TestEnvironment.h"

namespace {

class FIHelpContentViewControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(writeStringAtomically("<html><body>Help</body></html>", bundle.file("QuickHelp.html")));
        Bundle::setMainResourcePath(bundle.str());
    }
    void TearDown() override { Bundle::setMainResourcePath(""); }
    memorant_test::TempDir bundle;
};

TEST_F(FIHelpContentViewControllerTest, LoadsTheBundledPageIntoAFullScreenWebView) {
    auto controller = std::make_shared<FIHelpContentViewController>();
    controller->setHelpContentFilename("QuickHelp.html");
    controller->loadViewIfNeeded();
    ASSERT_TRUE(controller->webView());
    EXPECT_EQ(controller->webView()->frame(), controller->view()->bounds());
    EXPECT_EQ(controller->view()->backgroundColor(), Color::systemBackgroundColor());
    EXPECT_FALSE(controller->view()->isOpaque());
    ASSERT_TRUE(controller->webView()->url());
    EXPECT_EQ(controller->webView()->url()->path(), bundle.file("QuickHelp.html"));
}

TEST_F(FIHelpContentViewControllerTest, MissingPageLoadsNothing) {
    auto controller = std::make_shared<FIHelpContentViewController>();
    controller->setHelpContentFilename("Nothing.html");
    controller->loadViewIfNeeded();
    ASSERT_TRUE(controller->webView());
    EXPECT_FALSE(controller->webView()->url());
}

}  // namespace
