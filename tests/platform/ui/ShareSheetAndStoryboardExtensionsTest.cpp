#include <gtest/gtest.h>

#include "platform/foundation/Error.h"
#include "platform/ui/ActivityViewController.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PresentationController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

using namespace memorant_test;

class ShareSheetTest : public UITest {
protected:
    std::shared_ptr<Window> window = std::make_shared<Window>(Rect(0, 0, 390, 844));
    std::shared_ptr<ViewController> screen = std::make_shared<ViewController>();
    void SetUp() override {
        ActivityViewController::resetRecording();
        window->setRootViewController(std::make_shared<NavigationController>(screen));
        window->makeKeyAndVisible();
        drainMainLoop();
    }
    void TearDown() override {
        window->setHidden(true);
        UITest::TearDown();
    }
};

TEST_F(ShareSheetTest, OffersWhatIsNotExcludedAndRecordsEachSheetThatAppears) {
    auto item = BarButtonItem::withSystemItem(BarButtonSystemItem::Action);
    auto sheet = std::make_shared<ActivityViewController>(std::vector<Value>{Value("Deck: 3 cards")},
                                                          std::vector<std::string>{"OpenInApp", "Mail"});
    sheet->setExcludedActivityTypes({ActivityType::kPrint, ActivityType::kCopyToPasteboard});
    EXPECT_EQ(ModalPresentationStyle::Popover, sheet->modalPresentationStyle());
    EXPECT_EQ((std::vector<std::string>{"OpenInApp", "Mail", "AirDrop", "Message", "AddToReadingList", "SaveToFiles"}),
              sheet->offeredActivityTypes());
    EXPECT_TRUE(ActivityViewController::recordedOffers().empty());

    sheet->popoverPresentationController()->setBarButtonItem(item);
    screen->presentViewController(sheet, true);
    advance(0.3);
    ASSERT_EQ(1u, ActivityViewController::recordedOffers().size());
    const auto& offer = ActivityViewController::recordedOffers()[0];
    EXPECT_EQ((std::vector<Value>{Value("Deck: 3 cards")}), offer.activityItems);
    EXPECT_EQ(sheet->offeredActivityTypes(), offer.offeredActivityTypes);
    EXPECT_EQ(sheet->excludedActivityTypes(), offer.excludedActivityTypes);
    EXPECT_EQ(item, offer.anchorBarButtonItem);
    EXPECT_EQ(sheet, screen->presentedViewController());
}

TEST(StoryboardExtensions, ExtensionsAddScenesToAStoryboardInTheOrderOfTheirNames) {
    struct Marked : ViewController {};
    EXPECT_THROW(Storyboard::storyboardWithName("ExtensionsOnly"), NamedException);
    Storyboard::extendStoryboard("ExtensionsOnly", "b", [](Storyboard& s) { s.addScene<Marked>("Second"); });
    Storyboard::extendStoryboard("ExtensionsOnly", "a", [](Storyboard& s) {
        s.addScene<Marked>("First");
        s.setInitialScene("First");
    });
    auto board = Storyboard::storyboardWithName("ExtensionsOnly");
    EXPECT_TRUE(board->hasScene("First"));
    EXPECT_TRUE(board->hasScene("Second"));
    EXPECT_NE(nullptr, board->instantiateInitialViewController());

    // A storyboard's own definition runs first, its extensions after it; an extension of
    // the same name replaces the earlier one.
    Storyboard::registerStoryboard("ExtensionsOnly", [](Storyboard& s) {
        s.addScene<ViewController>("Own");
        s.addScene<ViewController>("Second");
    });
    Storyboard::extendStoryboard("ExtensionsOnly", "b", [](Storyboard& s) { s.addScene<Marked>("Third"); });
    board = Storyboard::storyboardWithName("ExtensionsOnly");
    EXPECT_TRUE(board->hasScene("Own"));
    EXPECT_TRUE(board->hasScene("Third"));
    EXPECT_EQ(nullptr, board->instantiate<Marked>("Second"));
    Storyboard::unregisterStoryboard("ExtensionsOnly");
}
