#include <gtest/gtest.h>

#include "app/library/PickCoverStyleController.h"
#include "app/views/ColorAdditions.h"
#include "model/FCCoverStyle.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/TextInputAssistantItem.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

using namespace memorant_test;

namespace {

// The library's side of the picker: keeps the controller until it finishes
// and records what it hears.
class PickerUser : public PickCoverStyleControllerDelegate {
public:
    struct Pick {
        std::shared_ptr<FCCoverStyle> style;
        std::optional<URL> url;
    };
    std::shared_ptr<PickCoverStyleController> picker;
    std::vector<Pick> picks;
    int finishes = 0;

    void pickCoverStyleControllerDidFinish(PickCoverStyleController& controller) override {
        EXPECT_EQ(picker.get(), &controller);
        ++finishes;
        picker.reset();
    }
    void pickCoverStyleController(PickCoverStyleController& controller, const std::shared_ptr<FCCoverStyle>& style,
                                  const std::optional<URL>& url) override {
        EXPECT_EQ(picker.get(), &controller);
        picks.push_back({style, url});
    }
};

FCCoverStyle styleWith(std::optional<std::string> start, std::optional<std::string> icon) {
    FCCoverStyle style;
    style.setStartHexColor(std::move(start));
    style.setIconName(std::move(icon));
    return style;
}

}  // namespace

class PickCoverStyleControllerTest : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        button->setFrame(Rect(20, 100, 120, 44));
        button->addTarget([this](Control&) { ++buttonTaps; }, ControlEventTouchUpInside);
        screen->view()->addSubview(button);
        window->setRootViewController(screen);
        window->makeKeyAndVisible();
        drainMainLoop();
    }
    void TearDown() override {
        for (auto& w : Application::shared().windows()) w->setHidden(true);
        UITest::TearDown();
    }

    // What the library does on a tap of the cover in edit mode.
    PickCoverStyleController& open(const FCCoverStyle& style) {
        user->picker = PickCoverStyleController::create();
        user->picker->setDelegate(user);
        user->picker->present(screen->view(), url, style);
        return *user->picker;
    }

    std::shared_ptr<Window> window = std::make_shared<Window>();
    std::shared_ptr<ViewController> screen = std::make_shared<ViewController>();
    std::shared_ptr<Button> button = std::make_shared<Button>(ButtonType::System);
    int buttonTaps = 0;
    std::shared_ptr<PickerUser> user = std::make_shared<PickerUser>();
    URL url = URL::fileURLWithPath("/decks/Spanish.memorant");
};

TEST_F(PickCoverStyleControllerTest, TheWheelsStartOnTheStyleOrOnTheFirstRow) {
    struct Case {
        const char* what;
        FCCoverStyle style;
        std::int64_t colorRow;
        std::int64_t iconRow;
    };
    const Case cases[] = {
        {"both found", styleWith("#f56b0b", "Target"), 4, 10},
        {"the last of each", styleWith("#a4a8b6", "SpeechBubbles"), 6, 13},
        {"a start colour that is no pair's", styleWith("#123456", "Globe"), 0, 6},
        {"an end colour is not a start colour", styleWith("#ffe566", "Globe"), 0, 6},
        {"colours match exactly", styleWith("#F56B0B", "Globe"), 0, 6},
        {"an unknown icon", styleWith("#9a54c4", "Memorant"), 5, 0},
        {"neither given", styleWith(std::nullopt, std::nullopt), 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto& picker = open(c.style);
        EXPECT_EQ(c.colorRow, picker.pickerView()->selectedRowInComponent(0));
        EXPECT_EQ(c.iconRow, picker.pickerView()->selectedRowInComponent(1));
        picker.helperTextField()->endEditing(true);
    }
    EXPECT_TRUE(user->picks.empty());
    EXPECT_EQ(7, user->finishes);
}

TEST_F(PickCoverStyleControllerTest, PresentingPutsAnInvisibleFieldWithThePickerAndNoShortcutBarInTheContainer) {
    auto& picker = open(styleWith("#3996f9", "Leaf"));
    const auto& field = picker.helperTextField();
    EXPECT_EQ(screen->view().get(), field->superview());
    EXPECT_EQ(Size(), field->frame().size);
    EXPECT_FALSE(field->translatesAutoresizingMaskIntoConstraints());
    EXPECT_TRUE(field->isEditing());
    EXPECT_TRUE(field->isFirstResponder());
    EXPECT_EQ(picker.pickerView(), field->inputView());
    EXPECT_FALSE(field->inputAssistantItem().showsShortcutBar());
    EXPECT_TRUE(TextField().inputAssistantItem().showsShortcutBar());
    EXPECT_EQ(screen->view(), picker.containerView());
    ASSERT_EQ(1u, screen->view()->gestureRecognizers().size());
    EXPECT_EQ(picker.tapGestureRecognizer(), screen->view()->gestureRecognizers().front());
    EXPECT_FALSE(picker.tapGestureRecognizer()->cancelsTouchesInView());

    // Two wheels: the colour pairs and the icons, on rows 44 points high.
    auto& wheels = *picker.pickerView();
    ASSERT_EQ(2, wheels.numberOfComponents());
    ASSERT_EQ(7, wheels.numberOfRowsInComponent(0));
    ASSERT_EQ(14, wheels.numberOfRowsInComponent(1));
    EXPECT_EQ(44, wheels.rowSizeForComponent(0).height);
    EXPECT_EQ(44, wheels.rowSizeForComponent(1).height);
    for (std::int64_t row = 0; row < 7; ++row) {
        auto swatch = wheels.viewForRow(row, 0);
        ASSERT_TRUE(swatch);
        EXPECT_EQ((Size{40, 40}), swatch->frame().size);
        EXPECT_TRUE(colorNear(*twColorFromHexString(FCCoverStyle::allHexColors()[row].first),
                              swatch->backgroundColor().value_or(Color::clearColor())));
    }
    for (std::int64_t row = 0; row < 14; ++row) {
        SCOPED_TRACE(FCCoverStyle::allIconNames()[row]);
        auto icon = std::dynamic_pointer_cast<ImageView>(wheels.viewForRow(row, 1));
        ASSERT_TRUE(icon);
        EXPECT_EQ((Size{56, 40}), icon->frame().size);
        ASSERT_TRUE(icon->image());
        EXPECT_EQ(ImageRenderingMode::AlwaysTemplate, icon->image()->renderingMode());
        EXPECT_LE(icon->image()->size().width, 56);
        EXPECT_LE(icon->image()->size().height, 40);
        EXPECT_EQ(ContentMode::ScaleAspectFit, icon->contentMode());
        EXPECT_TRUE(colorNear(Color::labelColor(), icon->tintColor()));
    }
    // Row views are made anew for each request.
    EXPECT_NE(wheels.viewForRow(2, 0), wheels.viewForRow(2, 0));
}

TEST_F(PickCoverStyleControllerTest, EveryWheelMovePicksOnceWithBothValues) {
    FCCoverStyle custom = styleWith("#3996f9", "Globe");
    custom.setCustomImageName("cover.jpg");
    auto& picker = open(custom);

    UIDriver::pickRow(*picker.pickerView(), 4, 0);
    ASSERT_EQ(1u, user->picks.size());
    UIDriver::pickRow(*picker.pickerView(), 11, 1);
    ASSERT_EQ(2u, user->picks.size());
    UIDriver::pickRow(*picker.pickerView(), 0, 0);
    ASSERT_EQ(3u, user->picks.size());

    const struct {
        const char* start;
        const char* end;
        const char* icon;
    } expected[] = {
        {"#f56b0b", "#fdac34", "Globe"},
        {"#f56b0b", "#fdac34", "Wrench"},
        {"#cb9801", "#ffe566", "Wrench"},
    };
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const auto& pick = user->picks[i];
        EXPECT_EQ(expected[i].start, pick.style->startHexColor());
        EXPECT_EQ(expected[i].end, pick.style->endHexColor());
        EXPECT_EQ(expected[i].icon, pick.style->iconName());
        EXPECT_EQ(std::nullopt, pick.style->customImageName());
        EXPECT_EQ(url, pick.url);
    }
    EXPECT_NE(user->picks[0].style, user->picks[1].style);
    EXPECT_EQ(0, user->finishes);
}

TEST_F(PickCoverStyleControllerTest, ATapInTheContainerClosesThePickerOnceAndReachesAButtonToo) {
    std::weak_ptr<PickCoverStyleController> weakPicker = open(styleWith("#3996f9", "Leaf")).shared_from_this();
    auto field = user->picker->helperTextField();

    // A tap on empty space closes it.
    EXPECT_TRUE(UIDriver::tap(*window, Point(300, 600)));
    EXPECT_EQ(1, user->finishes);
    EXPECT_EQ(nullptr, field->superview());
    EXPECT_FALSE(field->isEditing());
    EXPECT_TRUE(screen->view()->gestureRecognizers().empty());
    EXPECT_TRUE(weakPicker.expired());  // the user let it go at the finish
    EXPECT_FALSE(UIDriver::tap(*window, Point(300, 600)));
    EXPECT_EQ(1, user->finishes);
    EXPECT_EQ(0, buttonTaps);

    // A tap on a button both closes it and works the button.
    open(styleWith("#3996f9", "Leaf"));
    EXPECT_TRUE(UIDriver::tap(*button));
    EXPECT_EQ(1, buttonTaps);
    EXPECT_EQ(2, user->finishes);
    EXPECT_TRUE(screen->view()->gestureRecognizers().empty());

    // Another field taking over ends it the same way.
    auto other = std::make_shared<TextField>(Rect(20, 200, 200, 30));
    screen->view()->addSubview(other);
    open(styleWith("#3996f9", "Leaf"));
    EXPECT_TRUE(other->becomeFirstResponder());
    EXPECT_EQ(3, user->finishes);
    EXPECT_TRUE(screen->view()->gestureRecognizers().empty());
    EXPECT_TRUE(user->picks.empty());
}

TEST_F(PickCoverStyleControllerTest, ADelegateThatWentAwayHearsNothing) {
    auto picker = PickCoverStyleController::create();
    {
        auto gone = std::make_shared<PickerUser>();
        picker->setDelegate(gone);
        picker->present(screen->view(), std::nullopt, FCCoverStyle());
    }
    UIDriver::pickRow(*picker->pickerView(), 3, 0);
    EXPECT_TRUE(UIDriver::tap(*window, Point(300, 600)));
    EXPECT_EQ(nullptr, picker->helperTextField()->superview());
    EXPECT_TRUE(screen->view()->gestureRecognizers().empty());
}
