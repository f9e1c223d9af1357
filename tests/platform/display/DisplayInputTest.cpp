// What the browser display makes of the page's input, and what it tells the
// page about the screen.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "platform/display/DisplayInput.h"
#include "platform/display/DisplayScreen.h"
#include "platform/ui/ApplicationMain.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Image.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TextField.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

namespace {

using nlohmann::json;

class DisplayInputTest : public memorant_test::UITest {
protected:
    void SetUp() override {
        window = std::make_shared<Window>();
        window->makeKeyAndVisible();
    }

    void send(const json& message) {
        std::string reason;
        EXPECT_TRUE(input.handle(message, reason)) << message.dump() << ": " << reason;
    }
    void pointer(const char* phase, double x, double y, double t) {
        send({{"type", "pointer"}, {"phase", phase}, {"x", x}, {"y", y}, {"t", t}});
    }

    std::shared_ptr<Window> window;
    DisplayInput input;
};

TEST_F(DisplayInputTest, AFingerThatStaysTapsAndOneThatTravelsPansWithItsVelocity) {
    auto button = std::make_shared<Button>(Rect(20, 100, 120, 44));
    int taps = 0;
    button->addTarget([&](Control&) { ++taps; }, ControlEventTouchUpInside);
    window->addSubview(button);
    auto pad = std::make_shared<View>(Rect(0, 300, 390, 400));
    std::vector<std::pair<GestureRecognizerState, Point>> pans;
    auto recognizer = std::make_shared<PanGestureRecognizer>([&](GestureRecognizer& r) {
        pans.emplace_back(r.state(), static_cast<PanGestureRecognizer&>(r).translationInView(pad.get()));
    });
    pad->addGestureRecognizer(recognizer);
    window->addSubview(pad);

    pointer("down", 50, 120, 0);
    pointer("move", 53, 122, 30);
    pointer("up", 53, 122, 60);
    EXPECT_EQ(1, taps);

    // Off the button before lifting: no tap.
    pointer("down", 50, 120, 100);
    pointer("move", 50, 200, 150);
    pointer("up", 50, 200, 200);
    EXPECT_EQ(1, taps);

    pointer("down", 100, 400, 300);
    pointer("move", 100, 500, 350);
    pointer("move", 100, 600, 400);
    pointer("up", 100, 600, 400);
    ASSERT_FALSE(pans.empty());
    EXPECT_EQ(GestureRecognizerState::Began, pans.front().first);
    EXPECT_EQ(GestureRecognizerState::Ended, pans.back().first);
    EXPECT_DOUBLE_EQ(200, pans.back().second.y);
    EXPECT_NEAR(2000, recognizer->velocityInView(pad.get()).y, 1);
    EXPECT_EQ(1, taps);

    // The release comes a moment after the last move at the same point: the swipe keeps its speed;
    // a finger that rested before lifting lifts without speed.
    for (const auto& [restMs, speed] : {std::pair{20.0, 2000.0}, std::pair{300.0, 0.0}}) {
        pointer("down", 100, 400, 1000);
        pointer("move", 100, 500, 1050);
        pointer("move", 100, 600, 1100);
        pointer("up", 100, 600, 1100 + restMs);
        EXPECT_NEAR(speed, recognizer->velocityInView(pad.get()).y, 1) << restMs;
    }
}

// A button with a double-tap recogniser on it, as the card list's rows and
// the settings' support row have.
struct DoubleTapButton {
    std::shared_ptr<Button> button = std::make_shared<Button>(Rect(20, 100, 120, 44));
    std::shared_ptr<TapGestureRecognizer> recognizer;
    int taps = 0;
    int doubleTaps = 0;
    Point location;

    DoubleTapButton(Window& window, bool delaysFirstTap) {
        button->addTarget([this](Control&) { ++taps; }, ControlEventTouchUpInside);
        recognizer = std::make_shared<TapGestureRecognizer>([this](GestureRecognizer& r) {
            ++doubleTaps;
            location = r.locationInView(button.get());
        });
        recognizer->setNumberOfTapsRequired(2);
        recognizer->setDelaysTouchesBegan(delaysFirstTap);
        button->addGestureRecognizer(recognizer);
        window.addSubview(button);
    }
};

TEST_F(DisplayInputTest, TwoTapsCloseInTimeAndPlaceDoubleTap) {
    DoubleTapButton target(*window, false);
    auto tapAt = [&](double x, double t) {
        pointer("down", x, 120, t);
        pointer("up", x, 120, t + 50);
    };
    // The first tap reaches the button; the second is the recogniser's.
    tapAt(50, 0);
    tapAt(55, 250);
    EXPECT_EQ(1, target.taps);
    EXPECT_EQ(1, target.doubleTaps);
    EXPECT_DOUBLE_EQ(35, target.location.x);
    // A third tap starts a new series.
    tapAt(55, 400);
    EXPECT_EQ(2, target.taps);
    EXPECT_EQ(1, target.doubleTaps);
    // Too late, or too far away: two taps.
    tapAt(50, 1000);
    tapAt(50, 1500);
    tapAt(50, 3000);
    tapAt(100, 3200);
    EXPECT_EQ(6, target.taps);
    EXPECT_EQ(1, target.doubleTaps);
}

TEST_F(DisplayInputTest, AFirstTapHeldBackByADoubleTapRecogniserReachesTheViewOnlyWhenNoSecondCame) {
    DoubleTapButton target(*window, true);
    pointer("down", 50, 120, 0);
    pointer("up", 50, 120, 50);
    pointer("down", 50, 120, 200);
    pointer("up", 50, 120, 250);
    advance(1);
    EXPECT_EQ(0, target.taps);
    EXPECT_EQ(1, target.doubleTaps);

    pointer("down", 50, 120, 2000);
    pointer("up", 50, 120, 2050);
    EXPECT_EQ(0, target.taps);
    advance(1);
    EXPECT_EQ(1, target.taps);
    EXPECT_EQ(1, target.doubleTaps);

    // Whatever the finger does next comes after the held tap.
    pointer("down", 50, 120, 4000);
    pointer("up", 50, 120, 4050);
    pointer("down", 50, 120, 4100);
    pointer("move", 50, 300, 4150);
    EXPECT_EQ(1, target.taps);
    pointer("up", 50, 300, 4200);
    EXPECT_EQ(2, target.taps);
    EXPECT_EQ(1, target.doubleTaps);
}

TEST_F(DisplayInputTest, AFingerHeldStillPastTheMinimumDurationPressesLong) {
    auto button = std::make_shared<Button>(Rect(20, 100, 120, 44));
    int taps = 0;
    button->addTarget([&](Control&) { ++taps; }, ControlEventTouchUpInside);
    std::vector<std::pair<GestureRecognizerState, Point>> presses;
    auto recognizer = std::make_shared<LongPressGestureRecognizer>(
        [&](GestureRecognizer& r) { presses.emplace_back(r.state(), r.locationInView(button.get())); });
    button->addGestureRecognizer(recognizer);
    window->addSubview(button);
    using enum GestureRecognizerState;

    // Held, then dragged and lifted: the press follows the finger and the
    // button is not tapped.
    pointer("down", 50, 120, 0);
    advance(0.3);
    EXPECT_TRUE(presses.empty());
    advance(0.3);
    pointer("move", 60, 125, 700);
    pointer("up", 60, 125, 800);
    ASSERT_EQ(3u, presses.size());
    EXPECT_EQ(Began, presses[0].first);
    EXPECT_EQ(Point(30, 20), presses[0].second);
    EXPECT_EQ(Changed, presses[1].first);
    EXPECT_EQ(Ended, presses[2].first);
    EXPECT_EQ(Point(40, 25), presses[2].second);
    EXPECT_EQ(0, taps);
    EXPECT_EQ(Possible, recognizer->state());

    // A short tap taps; a finger that wanders first presses nothing.
    presses.clear();
    pointer("down", 50, 120, 1000);
    pointer("up", 50, 120, 1100);
    advance(1);
    pointer("down", 50, 120, 2000);
    pointer("move", 50, 135, 2100);
    advance(1);
    pointer("up", 50, 135, 3100);
    EXPECT_TRUE(presses.empty());
    EXPECT_EQ(1, taps);

    // The page's clock counts when the main loop had no time to notice.
    pointer("down", 50, 120, 4000);
    pointer("up", 50, 120, 4600);
    ASSERT_EQ(2u, presses.size());
    EXPECT_EQ(Began, presses[0].first);
    EXPECT_EQ(Ended, presses[1].first);

    // A cancelled touch cancels the press.
    presses.clear();
    pointer("down", 50, 120, 5000);
    advance(0.6);
    pointer("cancel", 50, 120, 5600);
    ASSERT_EQ(2u, presses.size());
    EXPECT_EQ(Cancelled, presses[1].first);
    EXPECT_EQ(1, taps);
}

TEST_F(DisplayInputTest, TheWheelScrollsTheScrollViewUnderThePointerWithinItsContent) {
    auto scroll = std::make_shared<ScrollView>(Rect(0, 100, 390, 400));
    scroll->setContentSize({390, 1000});
    window->addSubview(scroll);
    const double top = -scroll->adjustedContentInset().top;
    const double bottom = 1000 + scroll->adjustedContentInset().bottom - 400;

    send({{"type", "wheel"}, {"x", 100}, {"y", 300}, {"dx", 0}, {"dy", 150}});
    EXPECT_DOUBLE_EQ(top + 150, scroll->contentOffset().y);
    send({{"type", "wheel"}, {"x", 100}, {"y", 300}, {"dx", 0}, {"dy", 5000}});
    EXPECT_DOUBLE_EQ(bottom, scroll->contentOffset().y);
    send({{"type", "wheel"}, {"x", 100}, {"y", 300}, {"dx", -50}, {"dy", -5000}});
    EXPECT_DOUBLE_EQ(top, scroll->contentOffset().y);
    EXPECT_DOUBLE_EQ(0, scroll->contentOffset().x);
    // Outside it nothing scrolls.
    send({{"type", "wheel"}, {"x", 100}, {"y", 700}, {"dx", 0}, {"dy", 100}});
    EXPECT_DOUBLE_EQ(top, scroll->contentOffset().y);
}

struct ReturnCounter : TextFieldDelegate {
    int returns = 0;
    bool textFieldShouldReturn(TextField&) override {
        ++returns;
        return true;
    }
};

TEST_F(DisplayInputTest, EditsReplaceRangesOfTheFocusedFieldAndEnterIsItsReturnKey) {
    auto field = std::make_shared<TextField>(Rect(20, 100, 300, 34));
    auto delegate = std::make_shared<ReturnCounter>();
    field->setDelegate(delegate);
    window->addSubview(field);
    // Nothing focused (the field typed for is gone): an edit changes nothing
    // and is refused with its reason, for the log.
    std::string reason;
    EXPECT_FALSE(input.handle({{"type", "edit"}, {"location", 0}, {"length", 0}, {"text", "lost"}}, reason));
    EXPECT_EQ("no text field is being edited", reason);
    EXPECT_EQ("", field->text().value_or(""));

    ASSERT_TRUE(field->becomeFirstResponder());
    send({{"type", "edit"}, {"location", 0}, {"length", 0}, {"text", "h😀llo"}});
    EXPECT_EQ("h😀llo", field->text().value_or(""));
    // The range counts UTF-16 units, as the page's strings do: the emoji is two.
    send({{"type", "edit"}, {"location", 1}, {"length", 2}, {"text", "e"}});
    EXPECT_EQ("hello", field->text().value_or(""));
    // A range past the end is cut to the text.
    send({{"type", "edit"}, {"location", 5}, {"length", 99}, {"text", "!"}});
    EXPECT_EQ("hello!", field->text().value_or(""));
    send({{"type", "key"}, {"key", "Enter"}});
    EXPECT_EQ(1, delegate->returns);
}

TEST_F(DisplayInputTest, ThePageGetsOneElementPerControlWithItsRoleNameAndPlace) {
    auto study = std::make_shared<Button>(Rect(20, 100, 120, 44));
    study->setTitle("Study", ControlStateNormal);
    auto gear = std::make_shared<Button>(Rect(300, 100, 44, 44));
    gear->setImage(Image::systemImageNamed("gear"), ControlStateNormal);
    auto toggle = std::make_shared<Switch>(Rect(20, 200, 51, 31));
    toggle->setOn(true);
    auto field = std::make_shared<TextField>(Rect(20, 300, 300, 34));
    field->setPlaceholder("Deck name");
    auto hidden = std::make_shared<Button>(Rect(20, 400, 120, 44));
    hidden->setTitle("Hidden", ControlStateNormal);
    hidden->setHidden(true);
    auto offScreen = std::make_shared<Button>(Rect(20, 2000, 120, 44));
    offScreen->setTitle("Below", ControlStateNormal);
    for (const auto& view : std::vector<std::shared_ptr<View>>{study, gear, toggle, field, hidden, offScreen})
        window->addSubview(view);

    json elements = DisplayScreen::accessibleElements();
    auto find = [&](const std::string& role, const std::string& name) -> json {
        for (const auto& element : elements)
            if (element["role"] == role && element["name"] == name) return element;
        return nullptr;
    };
    json button = find("button", "Study");
    ASSERT_FALSE(button.is_null()) << elements.dump();
    EXPECT_EQ((std::vector<double>{20, 100, 120, 44}),
              (std::vector<double>{button["x"], button["y"], button["width"], button["height"]}));
    EXPECT_FALSE(find("button", "gear").is_null()) << elements.dump();
    json toggleElement;
    for (const auto& element : elements)
        if (element["role"] == "switch") toggleElement = element;
    ASSERT_FALSE(toggleElement.is_null()) << elements.dump();
    EXPECT_TRUE(toggleElement["checked"].get<bool>());
    json textbox = find("textbox", "Deck name");
    ASSERT_FALSE(textbox.is_null()) << elements.dump();
    EXPECT_FALSE(textbox["focused"].get<bool>());
    EXPECT_TRUE(find("button", "Hidden").is_null());
    EXPECT_TRUE(find("button", "Below").is_null());
}

// A busy main loop may let the long-press timer fire before the finger's
// movements arrive: by the page's clock the finger wandered in time, so the
// press is called off and the drag pans.
TEST_F(DisplayInputTest, ADragTheMainLoopLearnsOfLateIsAPanNotALongPress) {
    auto pad = std::make_shared<View>(Rect(0, 100, 390, 400));
    std::vector<GestureRecognizerState> presses;
    pad->addGestureRecognizer(
        std::make_shared<LongPressGestureRecognizer>([&](GestureRecognizer& r) { presses.push_back(r.state()); }));
    Point panned;
    pad->addGestureRecognizer(std::make_shared<PanGestureRecognizer>([&](GestureRecognizer& r) {
        if (r.state() == GestureRecognizerState::Ended)
            panned = static_cast<PanGestureRecognizer&>(r).translationInView(pad.get());
    }));
    window->addSubview(pad);

    pointer("down", 300, 200, 0);
    advance(0.6);  // the movements below were sent 50 and 100 ms after the touch
    pointer("move", 200, 202, 50);
    pointer("up", 100, 202, 100);
    using enum GestureRecognizerState;
    EXPECT_EQ((std::vector<GestureRecognizerState>{Began, Cancelled}), presses);
    EXPECT_EQ(Point(-200, 2), panned);
}

// What a user sees of a bar's items and controls is what a tap in the page
// reaches: each symbol item and the information button has a name and a place
// a tap at its middle triggers; a control inside a view that turns touches
// away shows as disabled.
TEST_F(DisplayInputTest, BarItemsWithoutTitlesAreNamedAndTappedAtTheirPlace) {
    auto root = std::make_shared<ViewController>();
    auto navigation = std::make_shared<NavigationController>(root);
    window->setRootViewController(navigation);
    std::vector<std::string> sent;
    auto info = Button::buttonWithType(ButtonType::InfoLight);
    info->setFrame(Rect(0, 0, 22, 22));
    info->addTarget([&](Control&) { sent.push_back("info"); }, ControlEventTouchUpInside);
    root->navigationItem().setLeftBarButtonItem(BarButtonItem::withCustomView(info), false);
    std::vector<std::shared_ptr<BarButtonItem>> right;
    for (auto [item, name] :
         {std::pair{BarButtonSystemItem::Add, "plus"}, std::pair{BarButtonSystemItem::Trash, "trash"},
          std::pair{BarButtonSystemItem::Action, "square.and.arrow.up"}})
        right.push_back(BarButtonItem::withSystemItem(
            item, [&sent, name = std::string(name)](BarButtonItem&) { sent.push_back(name); }));
    root->navigationItem().setRightBarButtonItems(right, false);
    auto shield = std::make_shared<View>(Rect(0, 300, 390, 100));
    shield->setUserInteractionEnabled(false);
    auto shielded = std::make_shared<Button>(Rect(20, 20, 120, 44));
    shielded->setTitle("Rate", ControlStateNormal);
    shield->addSubview(shielded);
    root->view()->addSubview(shield);
    window->layoutIfNeeded();

    const json elements = DisplayScreen::accessibleElements();
    double t = 0;
    for (const std::string name : {"info.circle", "plus", "trash", "square.and.arrow.up"}) {
        json found;
        for (const auto& element : elements)
            if (element["role"] == "button" && element["name"] == name) found = element;
        ASSERT_FALSE(found.is_null()) << name << " in " << elements.dump();
        const double x = found["x"].get<double>() + found["width"].get<double>() / 2;
        const double y = found["y"].get<double>() + found["height"].get<double>() / 2;
        pointer("down", x, y, t += 1000);
        pointer("up", x, y, t += 50);
        ASSERT_FALSE(sent.empty()) << name;
        EXPECT_EQ(name == "info.circle" ? "info" : name, sent.back());
    }
    EXPECT_EQ(4u, sent.size());
    bool shieldedSeen = false;
    for (const auto& element : elements) {
        if (element["name"] != "Rate") continue;
        shieldedSeen = true;
        EXPECT_TRUE(element["disabled"].get<bool>());
    }
    EXPECT_TRUE(shieldedSeen) << elements.dump();
}

// A field that shows a title without a placeholder (the deck title in the
// bar) goes by its text; one with a placeholder by the placeholder.
TEST_F(DisplayInputTest, ATextFieldIsNamedByItsPlaceholderElseByItsText) {
    auto title = std::make_shared<TextField>(Rect(100, 10, 120, 22));
    title->setText("Tutorial");
    auto search = std::make_shared<TextField>(Rect(20, 60, 300, 34));
    search->setPlaceholder("Search");
    search->setText("verbs");
    window->addSubview(title);
    window->addSubview(search);
    std::vector<std::string> names;
    for (const auto& element : DisplayScreen::accessibleElements())
        if (element["role"] == "textbox") names.push_back(element["name"]);
    EXPECT_EQ((std::vector<std::string>{"Tutorial", "Search"}), names);
}

TEST(DisplayOptions, PortDeviceScreenshotAndBrowserAreReadAndBadValuesReported) {
    auto parsed = parseApplicationArguments(
        {"--port", "8123", "--device", "tablet", "--screenshot", "/tmp/screen.png", "--no-browser"});
    EXPECT_TRUE(parsed.problems.empty());
    EXPECT_EQ(8123, parsed.port);
    EXPECT_TRUE(parsed.tablet);
    EXPECT_EQ("/tmp/screen.png", parsed.screenshotPath.value_or(""));
    EXPECT_FALSE(parsed.openBrowser);
    EXPECT_FALSE(parsed.untilIdle);

    parsed = parseApplicationArguments({"--until-idle"});
    EXPECT_EQ(0, parsed.port);
    EXPECT_FALSE(parsed.tablet);
    EXPECT_TRUE(parsed.openBrowser);
    EXPECT_FALSE(parsed.screenshotPath);

    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"--port", "http"}, {"--port", "70000"}, {"--port", "-1"}, {"--device", "watch"}, {"--port"}}) {
        parsed = parseApplicationArguments(bad);
        EXPECT_EQ(1u, parsed.problems.size()) << bad.front();
        EXPECT_FALSE(parsed.launchURL) << bad.front();
    }
}

}  // namespace
