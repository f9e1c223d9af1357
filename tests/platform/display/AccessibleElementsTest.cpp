// The accessible elements name only what the eye sees: what a view drawn
// above covers, or a presentation lies over, is not read out.

#include <gtest/gtest.h>

#include <functional>

#include "platform/display/DisplayScreen.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace {

using memorant_test::drainMainLoop;
using nlohmann::json;

std::shared_ptr<Button> button(const std::string& title, const Rect& frame) {
    auto made = std::make_shared<Button>(frame);
    made->setTitle(title, ControlStateNormal);
    return made;
}

std::shared_ptr<View> opaque(const Rect& frame) {
    auto view = std::make_shared<View>(frame);
    view->setBackgroundColor(Color::whiteColor());
    return view;
}

// The names of the elements, in drawing order.
std::vector<std::string> names() {
    std::vector<std::string> found;
    for (const auto& element : DisplayScreen::accessibleElements()) found.push_back(element["name"]);
    return found;
}

class AccessibleElementsTest : public memorant_test::UITest {
protected:
    void TearDown() override {
        if (screen && screen->presentedViewController()) screen->dismissViewController(false);
        if (window) window->setHidden(true);
        drainMainLoop();
        UITest::TearDown();
    }
    // A window of that size whose screen shows a "Study" button at the top
    // and a "Below" button in the middle.
    void show(Size size, UserInterfaceIdiom idiom) {
        Device::current().setUserInterfaceIdiom(idiom);
        Screen::main().setBounds(Rect(Point{}, size));
        screen = std::make_shared<ViewController>();
        screen->view()->setBackgroundColor(Color::whiteColor());
        screen->view()->addSubview(button("Study", Rect(20, 10, 120, 44)));
        screen->view()->addSubview(button("Below", Rect(20, size.height / 2, 120, 44)));
        window = std::make_shared<Window>();
        window->setRootViewController(screen);
        window->makeKeyAndVisible();
        drainMainLoop();
    }

    std::shared_ptr<ViewController> screen;
    std::shared_ptr<Window> window;
};

}  // namespace

TEST_F(AccessibleElementsTest, WhatAViewDrawnAboveCoversIsNotReadOut) {
    struct Case {
        const char* name;
        std::function<void(View& root)> cover;
        std::vector<std::string> read;
    };
    const Case cases[] = {
        {"an opaque view over one button", [](View& root) { root.addSubview(opaque(Rect(0, 0, 390, 100))); },
         {"Below"}},
        {"an opaque view over the edge of a button, not its middle",
         [](View& root) { root.addSubview(opaque(Rect(0, 0, 40, 100))); }, {"Study", "Below"}},
        {"a translucent view",
         [](View& root) {
             auto veil = std::make_shared<View>(Rect(0, 0, 390, 844));
             veil->setBackgroundColor(Color::whiteColor().withAlphaComponent(0.5));
             root.addSubview(veil);
         },
         {"Study", "Below"}},
        {"an opaque view drawn half transparent",
         [](View& root) {
             auto veil = opaque(Rect(0, 0, 390, 844));
             veil->setAlpha(0.5);
             root.addSubview(veil);
         },
         {"Study", "Below"}},
        {"an opaque view below the buttons",
         [](View& root) { root.insertSubview(opaque(Rect(0, 0, 390, 844)), 0); }, {"Study", "Below"}},
        {"a navigation bar over a button",
         [](View& root) { root.addSubview(std::make_shared<NavigationBar>(Rect(0, 0, 390, 44))); }, {"Below"}},
        {"a navigation bar of a transparent appearance",
         [](View& root) {
             auto transparent = std::make_shared<NavigationBarAppearance>();
             transparent->configureWithTransparentBackground();
             NavigationBar::appearance().standardAppearance = transparent;
             root.addSubview(std::make_shared<NavigationBar>(Rect(0, 0, 390, 44)));
         },
         {"Study", "Below"}},
        {"a view that clips its button away",
         [](View& root) {
             auto box = std::make_shared<View>(Rect(0, 600, 390, 50));
             box->setClipsToBounds(true);
             box->addSubview(button("Clipped", Rect(20, 60, 120, 44)));
             box->addSubview(button("Shown", Rect(200, 0, 120, 44)));
             root.addSubview(box);
         },
         {"Study", "Below", "Shown"}},
        {"a row's own opaque content over it",
         [](View& root) {
             auto row = std::make_shared<TableViewCell>(TableViewCellStyle::Default, "row");
             row->setFrame(Rect(0, 600, 390, 44));
             row->textLabel()->setText(std::string("Deck"));
             row->layoutIfNeeded();
             root.addSubview(row);
         },
         {"Study", "Below", "Deck", "Deck"}},
    };
    const auto appearance = NavigationBar::appearance().standardAppearance;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        show({390, 844}, UserInterfaceIdiom::Phone);
        c.cover(*screen->view());
        EXPECT_EQ(c.read, names());
        NavigationBar::appearance().standardAppearance = appearance;
    }
}

// A presentation takes the touches of what it lies over: a full-screen one
// (even with a clear view), an alert over the dimmed screen and, on the
// tablet, a form sheet over the dimming around it.
TEST_F(AccessibleElementsTest, APresentationHidesTheScreenItLiesOver) {
    struct Case {
        const char* name;
        Size size;
        UserInterfaceIdiom idiom;
        std::function<std::shared_ptr<ViewController>()> make;
        std::vector<std::string> read;
    };
    const Case cases[] = {
        {"a full-screen controller with a clear view", {390, 844}, UserInterfaceIdiom::Phone,
         [] {
             auto cover = std::make_shared<ViewController>();
             cover->view()->setBackgroundColor(std::nullopt);
             cover->view()->addSubview(button("Close", Rect(200, 10, 120, 44)));
             cover->setModalPresentationStyle(ModalPresentationStyle::FullScreen);
             return cover;
         },
         {"Close"}},
        {"an alert", {390, 844}, UserInterfaceIdiom::Phone,
         [] {
             auto alert = AlertController::alertControllerWithTitle("Keep it?", std::nullopt,
                                                                    AlertControllerStyle::Alert);
             alert->addAction(AlertAction::actionWithTitle("Keep", AlertActionStyle::Default));
             return std::static_pointer_cast<ViewController>(alert);
         },
         {"Keep it?", "Keep"}},
        {"a form sheet on the tablet", {820, 1180}, UserInterfaceIdiom::Pad,
         [] {
             auto sheet = std::make_shared<ViewController>();
             sheet->view()->setBackgroundColor(std::nullopt);
             sheet->view()->addSubview(button("Done", Rect(10, 10, 80, 44)));
             sheet->setModalPresentationStyle(ModalPresentationStyle::FormSheet);
             sheet->setPreferredContentSize({400, 300});
             return sheet;
         },
         {"Done"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        show(c.size, c.idiom);
        screen->presentViewController(c.make(), false);
        drainMainLoop();
        EXPECT_EQ(c.read, names());
        screen->dismissViewController(false);
        drainMainLoop();
        EXPECT_EQ((std::vector<std::string>{"Study", "Below"}), names());
    }
}

// A view drawn by hand is read as what its accessibility label and traits
// say, in place of what lies in it; a view that is no element is not read.
TEST_F(AccessibleElementsTest, AViewIsReadByItsAccessibilityLabelAndTraits) {
    show({390, 844}, UserInterfaceIdiom::Phone);
    auto key = std::make_shared<View>(Rect(20, 300, 76, 76));
    key->setAccessibilityLabel(std::string("Next"));
    key->setAccessibilityTraits(
        static_cast<AccessibilityTraits>(AccessibilityTraitButton | AccessibilityTraitSelected));
    auto face = std::make_shared<Label>(Rect(0, 0, 76, 76));
    face->setText(std::string(">"));
    key->addSubview(face);
    screen->view()->addSubview(key);
    auto caption = std::make_shared<View>(Rect(200, 300, 100, 20));
    caption->setAccessibilityLabel(std::string("Ready"));
    screen->view()->addSubview(caption);
    auto hidden = std::make_shared<Label>(Rect(200, 400, 100, 20));
    hidden->setText(std::string("?"));
    hidden->setIsAccessibilityElement(false);
    screen->view()->addSubview(hidden);
    auto renamed = button(">>", Rect(200, 500, 100, 44));
    renamed->setAccessibilityLabel(std::string("Skip"));
    screen->view()->addSubview(renamed);
    auto plain = std::make_shared<View>(Rect(200, 600, 100, 20));  // neither named nor drawing anything read
    screen->view()->addSubview(plain);

    EXPECT_EQ((std::vector<std::string>{"Study", "Below", "Next", "Ready", "Skip"}), names());
    const json elements = DisplayScreen::accessibleElements();
    ASSERT_EQ(5u, elements.size());
    EXPECT_EQ("button", elements[2]["role"]);
    EXPECT_EQ(true, elements[2]["checked"]);
    EXPECT_EQ(false, elements[2]["disabled"]);
    EXPECT_EQ("text", elements[3]["role"]);
    EXPECT_EQ("button", elements[4]["role"]);

    // A button that is not enabled is read as disabled.
    key->setAccessibilityTraits(
        static_cast<AccessibilityTraits>(AccessibilityTraitButton | AccessibilityTraitNotEnabled));
    EXPECT_EQ(true, DisplayScreen::accessibleElements()[2]["disabled"]);
    EXPECT_FALSE(DisplayScreen::accessibleElements()[2].contains("checked"));
}
