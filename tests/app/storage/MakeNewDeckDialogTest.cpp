// The new-deck dialog as a user meets it: presented in its navigation
// controller over a screen, typed into, its cover picked, created or
// cancelled, on the virtual clock.

#include <gtest/gtest.h>

#include "app/library/DocumentItemDetailsHelper.h"
#include "app/library/PickCoverStyleController.h"
#include "app/storage/MakeNewDeckDialogViewController.h"
#include "app/views/ColorAdditions.h"
#include "model/FCCoverStyle.h"
#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/TextField.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

using namespace memorant_test;

namespace {

constexpr const char* kStoryboard = "NewDeckDialogTest";

struct Result {
    std::optional<std::string> title;
    std::shared_ptr<FCCoverStyle> style;
};

}  // namespace

class MakeNewDeckDialogTest : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        Storyboard::registerStoryboard(kStoryboard,
                                       [](Storyboard& s) { MakeNewDeckDialogViewController::addScenes(s); });
        window->setRootViewController(presenter);
        window->makeKeyAndVisible();
        auto navigation =
            Storyboard::storyboardWithName(kStoryboard)
                ->instantiate<NavigationController>(MakeNewDeckDialogViewController::kNavigationSceneIdentifier);
        ASSERT_TRUE(navigation);
        dialog = std::dynamic_pointer_cast<MakeNewDeckDialogViewController>(navigation->topViewController());
        ASSERT_TRUE(dialog);
        dialog->setCompletionBlock(
            [this](const std::optional<std::string>& title, const std::shared_ptr<FCCoverStyle>& style) {
                results.push_back({title, style});
            });
        navigation->setModalPresentationStyle(ModalPresentationStyle::FormSheet);
        presenter->presentViewController(navigation, true);
        advance(ViewController::kTransitionDuration);
    }
    void TearDown() override {
        for (auto& w : Application::shared().windows()) w->setHidden(true);
        Storyboard::unregisterStoryboard(kStoryboard);
        UITest::TearDown();
    }
    void type(const std::string& text) {
        dialog->deckTitleTextField()->setText("");
        ASSERT_TRUE(UIDriver::typeText(*dialog->deckTitleTextField(), text));
    }
    bool tapCreate() { return UIDriver::tap(*dialog->createDeckBarButtonItem()); }
    bool tapCoverRow() { return UIDriver::tapRow(*dialog->tableView(), IndexPath::forRow(0, 1)); }

    std::shared_ptr<Window> window = std::make_shared<Window>();
    std::shared_ptr<ViewController> presenter = std::make_shared<ViewController>();
    std::shared_ptr<MakeNewDeckDialogViewController> dialog;
    std::vector<Result> results;
};

TEST_F(MakeNewDeckDialogTest, OnlyATitleWithTextCreatesAndItIsHandedOnTrimmedAfterTheDismissal) {
    // The layout the library relies on: two sections, the cover row first
    // in the second; the keyboard is up for the title.
    auto table = dialog->tableView();
    ASSERT_EQ(2, table->numberOfSections());
    EXPECT_EQ(1, table->numberOfRowsInSection(0));
    EXPECT_EQ(1, table->numberOfRowsInSection(1));
    EXPECT_TRUE(dialog->deckTitleTextField()->isFirstResponder());
    EXPECT_EQ(kTableViewAutomaticDimension, table->rowHeight());
    EXPECT_EQ(44, table->estimatedRowHeight());
    EXPECT_EQ(44, dialog->heightForRowAtIndexPath(*table, IndexPath::forRow(0, 0)));
    EXPECT_EQ(kTableViewAutomaticDimension, dialog->heightForRowAtIndexPath(*table, IndexPath::forRow(0, 1)));
    EXPECT_FALSE(dialog->shouldHighlightRowAtIndexPath(*table, IndexPath::forRow(0, 0)));
    EXPECT_TRUE(dialog->shouldHighlightRowAtIndexPath(*table, IndexPath::forRow(0, 1)));

    EXPECT_FALSE(dialog->createDeckBarButtonItem()->isEnabled());
    for (const char* blanks : {" ", "   \n\t ", "\u00a0\u2003"}) {
        type(blanks);
        EXPECT_FALSE(dialog->createDeckBarButtonItem()->isEnabled()) << blanks;
        EXPECT_FALSE(tapCreate());
    }
    type(" \n Spanish  verbs\t\n");
    EXPECT_TRUE(dialog->createDeckBarButtonItem()->isEnabled());
    ASSERT_TRUE(tapCreate());
    EXPECT_TRUE(results.empty());  // not before the dialog has gone
    advance(ViewController::kTransitionDuration);
    EXPECT_EQ(nullptr, presenter->presentedViewController());
    ASSERT_EQ(1u, results.size());
    EXPECT_EQ(std::optional<std::string>("Spanish  verbs"), results[0].title);
    // The cover was never touched: the default style.
    ASSERT_TRUE(results[0].style);
    EXPECT_EQ(*FCCoverStyle::defaultStyle(), *results[0].style);
}

TEST_F(MakeNewDeckDialogTest, CancelHandsOnNoTitleAndNoStyleAfterTheDismissal) {
    type("Capitals");
    auto cancel = dialog->navigationItem().leftBarButtonItem();
    ASSERT_TRUE(cancel);
    ASSERT_TRUE(UIDriver::tap(*cancel));
    EXPECT_TRUE(results.empty());
    advance(ViewController::kTransitionDuration);
    ASSERT_EQ(1u, results.size());
    EXPECT_EQ(std::nullopt, results[0].title);
    EXPECT_EQ(nullptr, results[0].style);
}

TEST_F(MakeNewDeckDialogTest, TheCoverPickerOpensOnceOnTheDefaultStyleAndEveryPickShowsAtOnce) {
    ASSERT_TRUE(tapCoverRow());
    auto picker = dialog->pickCoverStyleController();
    ASSERT_TRUE(picker);
    EXPECT_EQ(std::optional<URL>(MakeNewDeckDialogViewController::placeholderDocumentURL()), picker->documentURL());
    EXPECT_EQ(std::nullopt, dialog->tableView()->indexPathForSelectedRow());
    // A second request while it is open does nothing.
    dialog->changeCover(nullptr);
    EXPECT_EQ(picker, dialog->pickCoverStyleController());
    EXPECT_TRUE(picker->helperTextField()->isFirstResponder());

    const auto& colors = FCCoverStyle::allHexColors();
    const std::int64_t defaultColor = FCCoverStyle::indexOfStartHexColor(FCCoverStyle::defaultStartHexColor());
    EXPECT_EQ(defaultColor, picker->pickerView()->selectedRowInComponent(0));
    const std::int64_t other = defaultColor == 0 ? 1 : 0;
    UIDriver::pickRow(*picker->pickerView(), other, 0);
    ASSERT_TRUE(dialog->coverStyle());
    EXPECT_EQ(std::optional<std::string>(colors[static_cast<std::size_t>(other)].first),
              dialog->coverStyle()->startHexColor());

    // Closing and reopening: the wheels stand on the default style again,
    // while the picked cover stays.
    picker->handleTapToEndEditing(*picker->tapGestureRecognizer());
    drainMainLoop();
    EXPECT_EQ(nullptr, dialog->pickCoverStyleController());
    dialog->changeCover(nullptr);
    ASSERT_TRUE(dialog->pickCoverStyleController());
    EXPECT_NE(picker, dialog->pickCoverStyleController());
    EXPECT_EQ(defaultColor, dialog->pickCoverStyleController()->pickerView()->selectedRowInComponent(0));
    EXPECT_EQ(std::optional<std::string>(colors[static_cast<std::size_t>(other)].first),
              dialog->coverStyle()->startHexColor());
}

TEST_F(MakeNewDeckDialogTest, TheCoverIsCentredOnAMappedBackgroundOrFillsTheViewWithoutOne) {
    auto cover = dialog->coverImageView();
    ASSERT_TRUE(cover);
    const struct {
        const char* start;
        std::optional<const char*> background;
    } cases[] = {{"#3996f9", "3293f5"}, {"cb9801", "ffb118"}, {"#123456", std::nullopt}};
    dialog->changeCover(nullptr);
    auto picker = dialog->pickCoverStyleController();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start);
        auto style = std::make_shared<FCCoverStyle>();
        style->setStartHexColor(std::string(c.start));
        style->setIconName(std::string("Globe"));
        cover->setImage(nullptr);
        dialog->pickCoverStyleController(*picker, style, std::nullopt);
        EXPECT_EQ(style, dialog->coverStyle());
        ASSERT_TRUE(cover->image());
        EXPECT_LE(cover->image()->size().width, cover->bounds().size.width + 0.5);
        EXPECT_LE(cover->image()->size().height, cover->bounds().size.height + 0.5);
        if (c.background) {
            EXPECT_EQ(ContentMode::Center, cover->contentMode());
            ASSERT_TRUE(cover->backgroundColor());
            EXPECT_TRUE(colorNear(*cover->backgroundColor(), *twColorFromHexString(std::string(*c.background))));
        } else {
            EXPECT_EQ(ContentMode::ScaleAspectFill, cover->contentMode());
            EXPECT_EQ(std::nullopt, cover->backgroundColor());
        }
    }
    // A style without an icon leaves the view as it was.
    auto before = cover->image();
    auto bare = std::make_shared<FCCoverStyle>();
    bare->setIconName(std::nullopt);
    dialog->pickCoverStyleController(*picker, bare, std::nullopt);
    EXPECT_EQ(before, cover->image());
    EXPECT_EQ(ContentMode::ScaleAspectFill, cover->contentMode());
}
