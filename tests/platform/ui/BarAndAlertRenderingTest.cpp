#include <gtest/gtest.h>

#include "platform/display/DisplayScreen.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

using memorant_test::colorNear;
using memorant_test::drainMainLoop;
using memorant_test::UITest;

namespace {

const Color kTint(0.8, 0.1, 0.1);

// The pixels of an image within a rectangle (in points) whose colour is
// near the given one.
int pixelsNear(const Image& image, const Rect& rect, const Color& color, double tolerance = 0.08) {
    int count = 0;
    const double s = image.scale();
    for (int y = static_cast<int>(rect.minY() * s); y < static_cast<int>(rect.maxY() * s); ++y)
        for (int x = static_cast<int>(rect.minX() * s); x < static_cast<int>(rect.maxX() * s); ++x)
            if (colorNear(image.colorAtPixel(x, y), color, tolerance)) ++count;
    return count;
}

bool overlaps(const Rect& a, const Rect& b) {
    return a.minX() < b.maxX() && b.minX() < a.maxX() && a.minY() < b.maxY() && b.minY() < a.maxY();
}

// The names of the buttons among the display's elements.
std::vector<std::string> buttonNames() {
    std::vector<std::string> names;
    for (const auto& element : DisplayScreen::accessibleElements())
        if (element["role"] == "button") names.push_back(element["name"].get<std::string>());
    return names;
}

Rect frameIn(const View& view, const View& ancestor) {
    return view.convertRectToView(view.bounds(), &ancestor);
}

}  // namespace

class BarAndAlertRenderingTest : public UITest {
protected:
    // A window of the given size showing a white screen, for presentations.
    std::shared_ptr<ViewController> showScreen(Size size, UserInterfaceIdiom idiom) {
        Device::current().setUserInterfaceIdiom(idiom);
        Screen::main().setBounds(Rect(Point{}, size));
        screen = std::make_shared<ViewController>();
        screen->view()->setBackgroundColor(Color::whiteColor());
        window = std::make_shared<Window>();
        window->setRootViewController(screen);
        window->makeKeyAndVisible();
        drainMainLoop();
        return screen;
    }

    std::shared_ptr<ViewController> screen;
    std::shared_ptr<Window> window;
};

// Symbols draw as icons in the item's tint colour at the device scale, within
// the item's place; a disabled item is grey and an unknown symbol blank.
TEST_F(BarAndAlertRenderingTest, SymbolItemsDrawTheirIconInTheTintColourAtTheirPlace) {
    struct Case {
        const char* name;
        std::shared_ptr<BarButtonItem> item;
        bool enabled;
        bool drawn;
    };
    const Case cases[] = {
        {"ready-made Add", BarButtonItem::withSystemItem(BarButtonSystemItem::Add), true, true},
        {"ready-made Trash", BarButtonItem::withSystemItem(BarButtonSystemItem::Trash), true, true},
        {"named symbol", BarButtonItem::withImage(Image::systemImageNamed("speaker.wave.2"), BarButtonItemStyle::Plain),
         true, true},
        {"disabled", BarButtonItem::withImage(Image::systemImageNamed("calendar"), BarButtonItemStyle::Plain), false,
         true},
        {"unknown symbol",
         BarButtonItem::withImage(Image::systemImageNamed("no.such.symbol"), BarButtonItemStyle::Plain), true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto toolbar = std::make_shared<Toolbar>(Rect(0, 0, 390, Toolbar::kHeight));
        toolbar->setTintColor(kTint);
        auto flexible = BarButtonItem::withSystemItem(BarButtonSystemItem::FlexibleSpace);
        toolbar->setItems({flexible, c.item, BarButtonItem::withSystemItem(BarButtonSystemItem::FlexibleSpace)});
        c.item->setEnabled(c.enabled);
        auto image = renderViewToImage(*toolbar, 2);
        const Rect place = frameIn(*c.item->view(), *toolbar);
        EXPECT_NEAR(195, place.midX(), 1);
        const int tinted = pixelsNear(*image, place, kTint);
        const int grey = pixelsNear(*image, place, Color::grayColor());
        const Rect left(0, 0, place.minX(), Toolbar::kHeight);
        EXPECT_EQ(0, pixelsNear(*image, left, kTint));
        if (!c.drawn) {
            EXPECT_EQ(0, tinted + grey);
        } else if (c.enabled) {
            EXPECT_GT(tinted, 40);
        } else {
            EXPECT_EQ(0, tinted);
            EXPECT_GT(grey, 40);
        }
    }
}

// Items keep clear of one another and of the title: a title too long for
// the room between them gives way, and a side with long titles takes no more
// than it leaves the other. Nothing is drawn outside its own place.
TEST_F(BarAndAlertRenderingTest, ALongTitleGivesWayToTheItemsAndNothingOverlaps) {
    struct Case {
        const char* name;
        std::string title, left, right;
    };
    const std::string longText = "A title far too long to stand between the items of this bar";
    const Case cases[] = {
        {"long title", longText, "Cancel", "Done"},
        {"long items", "Deck", longText, longText},
        {"long left item", "Deck", longText, "Done"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto bar = std::make_shared<NavigationBar>(Rect(0, 0, 390, NavigationBar::kHeight));
        auto item = std::make_shared<NavigationItem>(c.title);
        auto left = BarButtonItem::withTitle(c.left, BarButtonItemStyle::Plain);
        auto right = BarButtonItem::withTitle(c.right, BarButtonItemStyle::Done);
        item->setLeftBarButtonItem(left);
        item->setRightBarButtonItems({right, BarButtonItem::withSystemItem(BarButtonSystemItem::Add)});
        bar->setItems({item}, false);
        bar->setTintColor(kTint);
        bar->layoutIfNeeded();
        std::vector<Rect> places{frameIn(*left->view(), *bar), frameIn(*right->view(), *bar),
                                 frameIn(*item->rightBarButtonItems()[1]->view(), *bar)};
        const Rect title = bar->titleLabel()->frame();
        for (std::size_t i = 0; i < places.size(); ++i) {
            EXPECT_GE(places[i].minX(), 0);
            EXPECT_LE(places[i].maxX(), 390);
            EXPECT_FALSE(overlaps(places[i], title)) << i;
            for (std::size_t j = i + 1; j < places.size(); ++j) EXPECT_FALSE(overlaps(places[i], places[j])) << i;
        }
        // The add symbol keeps its whole size.
        EXPECT_GE(places[2].size.width, 24);
        auto image = renderViewToImage(*bar, 2);
        // The title's text (black) never reaches into an item's place.
        for (const auto& place : places) EXPECT_EQ(0, pixelsNear(*image, place, Color::blackColor(), 0.3));
        // The items' text (tint) stays in their places.
        EXPECT_EQ(0, pixelsNear(*image, title, kTint, 0.3));
    }
    // A short title stays in the middle of the bar.
    auto bar = std::make_shared<NavigationBar>(Rect(0, 0, 390, NavigationBar::kHeight));
    auto item = std::make_shared<NavigationItem>("Deck");
    item->setLeftBarButtonItem(BarButtonItem::withTitle("A longer left item", BarButtonItemStyle::Plain));
    bar->setItems({item}, false);
    bar->layoutIfNeeded();
    EXPECT_NEAR(195, bar->titleLabel()->frame().midX(), 0.5);
}

// An alert is a box in the middle of the screen on the phone and on the
// tablet, with the screen it is presented over visible, dimmed, around it;
// an action sheet sits at the bottom of the phone. Its buttons are named by
// their actions' titles in the display's elements and still take taps.
TEST_F(BarAndAlertRenderingTest, AnAlertIsABoxOverTheDimmedScreen) {
    struct Case {
        const char* name;
        Size size;
        UserInterfaceIdiom idiom;
        AlertControllerStyle style;
    };
    const Case cases[] = {
        {"phone alert", {390, 844}, UserInterfaceIdiom::Phone, AlertControllerStyle::Alert},
        {"tablet alert", {820, 1180}, UserInterfaceIdiom::Pad, AlertControllerStyle::Alert},
        {"phone sheet", {390, 844}, UserInterfaceIdiom::Phone, AlertControllerStyle::ActionSheet},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        showScreen(c.size, c.idiom);
        auto alert = AlertController::alertControllerWithTitle("Keep it?", "It is kept here.", c.style);
        std::string chosen;
        for (const char* title : {"Later", "Keep", "Cancel"})
            alert->addAction(AlertAction::actionWithTitle(
                title, std::string(title) == "Cancel" ? AlertActionStyle::Cancel : AlertActionStyle::Default,
                [&chosen](AlertAction& action) { chosen = *action.title(); }));
        screen->presentViewController(alert, false);
        drainMainLoop();

        auto image = renderViewToImage(*window, 1);
        const Rect box = frameIn(*alert->buttonForAction(*alert->actions()[0])->superview(), *window);
        EXPECT_NEAR(c.size.width / 2, box.midX(), 1);
        if (c.style == AlertControllerStyle::Alert)
            EXPECT_NEAR(c.size.height / 2, box.midY(), 1);
        else
            EXPECT_GT(box.midY(), c.size.height * 3 / 4);
        // The white screen shows through the dimming around the box.
        EXPECT_TRUE(colorNear(image->colorAtPoint({5, 5}), Color::white(0.8), 0.02));
        EXPECT_TRUE(colorNear(image->colorAtPoint({box.midX(), box.minY() + 5}),
                              Color::secondarySystemBackgroundColor().resolvedColor(window->traitCollection()), 0.02));

        EXPECT_EQ((std::vector<std::string>{"Later", "Keep", "Cancel"}), buttonNames());
        EXPECT_TRUE(UIDriver::tap(*alert->buttonForAction(*alert->actions()[1])));
        advance(1);
        EXPECT_EQ("Keep", chosen);
        EXPECT_EQ(nullptr, screen->presentedViewController());
    }
}

// A screen covered by a full-screen presentation leaves nothing of itself in
// the picture: its bar's items do not show faintly through the cover's
// translucent bar, and they are drawn again once the cover is gone.
TEST_F(BarAndAlertRenderingTest, AFullScreenCoverLetsNothingOfTheScreenBelowThroughItsBar) {
    Device::current().setUserInterfaceIdiom(UserInterfaceIdiom::Phone);
    Screen::main().setBounds(Rect(0, 0, 390, 844));
    auto below = std::make_shared<ViewController>();
    below->navigationItem().setLeftBarButtonItem(BarButtonItem::withTitle("Edit", BarButtonItemStyle::Plain));
    below->navigationItem().setRightBarButtonItem(BarButtonItem::withSystemItem(BarButtonSystemItem::Add));
    auto belowNavigation = std::make_shared<NavigationController>(below);
    window = std::make_shared<Window>();
    window->setTintColor(kTint);
    window->setRootViewController(belowNavigation);
    window->makeKeyAndVisible();
    drainMainLoop();
    const Rect bar = frameIn(*belowNavigation->navigationBar(), *window);
    const Rect inside(bar.minX(), bar.minY(), bar.size.width, bar.size.height - 1);  // above the hairline
    EXPECT_GT(pixelsNear(*renderViewToImage(*window, 2), inside, kTint), 40);

    auto cover = std::make_shared<NavigationController>(std::make_shared<ViewController>());
    cover->setModalPresentationStyle(ModalPresentationStyle::FullScreen);
    below->presentViewController(cover, true);
    advance(1);
    ASSERT_EQ(bar, frameIn(*cover->navigationBar(), *window));
    auto image = renderViewToImage(*window, 2);
    // The cover's bar shows no item: all of it is its own fill.
    const Color fill = image->colorAtPoint({bar.midX(), bar.midY()});
    EXPECT_EQ(pixelsNear(*image, inside, fill, 2), pixelsNear(*image, inside, fill, 0.004));

    cover->dismissViewController(true);
    advance(1);
    EXPECT_GT(pixelsNear(*renderViewToImage(*window, 2), inside, kTint), 40);
}

// A form sheet on the tablet is a box of its preferred size in the middle,
// over the dimmed screen, which shows again once it is dismissed; on the
// phone it covers the screen.
TEST_F(BarAndAlertRenderingTest, AFormSheetOnTheTabletIsABoxOverTheDimmedScreen) {
    for (auto idiom : {UserInterfaceIdiom::Pad, UserInterfaceIdiom::Phone}) {
        const bool tablet = idiom == UserInterfaceIdiom::Pad;
        SCOPED_TRACE(tablet ? "tablet" : "phone");
        const Size size = tablet ? Size{820, 1180} : Size{390, 844};
        showScreen(size, idiom);
        // Its view is clear but for a blue upper half.
        auto sheet = std::make_shared<ViewController>();
        sheet->view()->setBackgroundColor(std::nullopt);
        auto upper = std::make_shared<View>(Rect(0, 0, tablet ? 400 : 390, tablet ? 150 : 422));
        upper->setBackgroundColor(Color::blueColor());
        sheet->view()->addSubview(upper);
        sheet->setModalPresentationStyle(ModalPresentationStyle::FormSheet);
        sheet->setPreferredContentSize({400, 300});
        screen->presentViewController(sheet, false);
        drainMainLoop();

        auto image = renderViewToImage(*window, 1);
        EXPECT_TRUE(colorNear(image->colorAtPoint({size.width / 2, size.height / 2 - 10}), Color::blueColor()));
        if (tablet) {
            EXPECT_EQ(Rect(210, 440, 400, 300), sheet->view()->frame());
            EXPECT_TRUE(colorNear(image->colorAtPoint({5, 5}), Color::white(0.8), 0.02));
            // The screen's background lies under the sheet's clear half.
            EXPECT_TRUE(colorNear(image->colorAtPoint({size.width / 2, 700}), Color::whiteColor()));
        } else {
            EXPECT_EQ(window->bounds(), sheet->view()->frame());
            EXPECT_EQ(nullptr, window->presentationDimmingView());
        }
        screen->dismissViewController(false);
        drainMainLoop();
        EXPECT_EQ(nullptr, window->presentationDimmingView());
        EXPECT_TRUE(colorNear(renderViewToImage(*window, 1)->colorAtPoint({5, 5}), Color::whiteColor()));
    }
}

// The older alert class shows the same box, in a window of its own above the
// screen; a tap on a button clicks it and the window goes away.
TEST_F(BarAndAlertRenderingTest, AnAlertViewShowsItsBoxAboveTheScreenAndTakesTaps) {
    showScreen({390, 844}, UserInterfaceIdiom::Phone);
    auto alert = std::make_shared<AlertView>("Import failed", "The file could not be read.", "OK",
                                             std::vector<std::string>{"Retry"});
    alert->show();
    drainMainLoop();

    auto image = DisplayScreen::render(1);
    const Rect box = frameIn(*alert->box(), *alert->window());
    EXPECT_NEAR(195, box.midX(), 1);
    EXPECT_NEAR(422, box.midY(), 1);
    EXPECT_TRUE(colorNear(image->colorAtPoint({5, 5}), Color::white(0.8), 0.02));
    EXPECT_EQ((std::vector<std::string>{"OK", "Retry"}), buttonNames());

    EXPECT_TRUE(UIDriver::tap(*alert->box()->buttons()[1]));
    drainMainLoop();
    EXPECT_TRUE(AlertView::visibleAlertViews().empty());
    EXPECT_TRUE(colorNear(DisplayScreen::render(1)->colorAtPoint({5, 5}), Color::whiteColor()));
}
