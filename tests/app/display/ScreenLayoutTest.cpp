// Every screen a user reaches, laid out as the user sees it: the program's
// own launch (the main storyboard's window and the application delegate) on a
// fresh app folder, at phone and at tablet size, driven only by taps on what
// the screen shows, found by accessible name as a screen reader finds it. On
// each screen no two texts overlap and none is cut where its view does not
// cut. With MEMORANT_LAYOUT_SHOTS naming a folder, each screen is written
// there as PNG.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>

#include "app/shell/AppDelegateTestSupport.h"
#include "app/study/StatsButton.h"
#include "app/views/HorseshoeProgressView.h"
#include "platform/display/DisplayScreen.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/ApplicationDelegate.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/Screen.h"

namespace {

using namespace memorant_test;
using nlohmann::json;

struct DeviceCase {
    const char* name;
    UserInterfaceIdiom idiom;
};

class ScreenLayoutTest : public UITest, public ::testing::WithParamInterface<DeviceCase> {
protected:
    void SetUp() override {
        savedRoot = AppContainer::root();
        savedToken = UbiquityContainer::ubiquityIdentityToken();
        AppContainer::setRoot(home.str());
        UserDefaults::resetStandard();
        UbiquityContainer::setUbiquityIdentityToken(UbiquityIdentityToken("alice"));
        Device::current().setUserInterfaceIdiom(GetParam().idiom);
        app = ApplicationDelegateClasses::makeDelegate("FIAppDelegate");
        ASSERT_TRUE(app);
        Application::shared().setDelegate(app);
        app->setWindow(std::make_shared<Window>());
        const std::string storyboard = Bundle::main().objectForInfoDictionaryKey("UIMainStoryboardFile").stringValue();
        Application::shared().launchWithOptions(
            Value::dictionary(), Storyboard::storyboardWithName(storyboard)->instantiateInitialViewController());
        settle();
    }
    void TearDown() override {
        if (auto alert = UIDriver::presentedAlert()) alert->presentingViewController()->dismissViewController(false);
        for (const auto& window : Application::shared().windows()) window->setHidden(true);
        drainMainLoop();
        Application::shared().setDelegate(nullptr);
        app.reset();
        UbiquityContainer::setUbiquityIdentityToken(savedToken);
        AppContainer::setRoot(savedRoot);
        UserDefaults::resetStandard();
        UITest::TearDown();
    }

    // Lets animations, timers and queued work finish.
    void settle() {
        for (int i = 0; i < 5; ++i) {
            advance(1);
            ASSERT_TRUE(
                runMainLoopUntil([] { return drainMainLoop() == 0 && !DispatchQueue::hasPendingBackgroundWork(); }));
        }
    }

    std::string names() {
        std::string text;
        for (const auto& element : DisplayScreen::accessibleElements())
            text += element["role"].get<std::string>() + " '" + element["name"].get<std::string>() + "'\n";
        for (const auto& item : shownBarItems()) text += "bar item '" + itemName(*item) + "'\n";
        return text;
    }

    // The bar items the visible bars show, lowest window first.
    static std::vector<std::shared_ptr<BarButtonItem>> shownBarItems() {
        std::vector<std::shared_ptr<BarButtonItem>> items;
        std::function<void(View&)> visit = [&](View& view) {
            if (view.isHidden()) return;
            if (auto bar = dynamic_cast<NavigationBar*>(&view); bar && bar->topItem()) {
                if (bar->backButtonItem()) items.push_back(bar->backButtonItem());
                for (const auto& item : bar->topItem()->leftBarButtonItems()) items.push_back(item);
                for (const auto& item : bar->topItem()->rightBarButtonItems()) items.push_back(item);
            }
            if (auto bar = dynamic_cast<Toolbar*>(&view))
                for (const auto& item : bar->items()) items.push_back(item);
            for (const auto& child : view.subviews())
                if (child) visit(*child);
        };
        for (const auto& window : DisplayScreen::visibleWindows()) visit(*window);
        std::erase_if(items, [](const auto& item) { return !item->view(); });
        return items;
    }
    // A bar item's name as a person reads it: its title, the system item it
    // is, or its symbol.
    static std::string itemName(const BarButtonItem& item) {
        if (item.title()) return *item.title();
        if (auto button = std::dynamic_pointer_cast<Button>(item.customView()))
            return button->buttonType() == ButtonType::InfoLight ? "Info" : button->currentTitle().value_or("");
        if (item.systemItem()) {
            static const std::map<BarButtonSystemItem, std::string> names{
                {BarButtonSystemItem::Add, "Add"},         {BarButtonSystemItem::Action, "Share"},
                {BarButtonSystemItem::Compose, "Compose"}, {BarButtonSystemItem::Organize, "Organize"},
                {BarButtonSystemItem::Trash, "Trash"},     {BarButtonSystemItem::Play, "Play"},
                {BarButtonSystemItem::Search, "Search"},   {BarButtonSystemItem::Close, "Close"}};
            if (auto it = names.find(*item.systemItem()); it != names.end()) return it->second;
        }
        if (item.image() && item.image()->systemSymbolName()) return *item.image()->systemSymbolName();
        return {};
    }
    // Taps the last shown bar item of that name where its bar shows it.
    ::testing::AssertionResult tapItem(const std::string& name) {
        auto items = shownBarItems();
        for (auto it = items.rbegin(); it != items.rend(); ++it)
            if (itemName(**it) == name && UIDriver::tap(**it)) {
                settle();
                return ::testing::AssertionSuccess();
            }
        return ::testing::AssertionFailure() << "no bar item named '" << name << "' takes a tap among\n" << names();
    }

    // Taps the topmost element whose role is `role` and whose name matches.
    ::testing::AssertionResult tapNamed(const std::string& role, const std::string& pattern) {
        const std::regex name(pattern);
        const json elements = DisplayScreen::accessibleElements();
        for (auto it = elements.rbegin(); it != elements.rend(); ++it) {
            if ((*it)["role"] != role || !std::regex_search((*it)["name"].get<std::string>(), name)) continue;
            const Point point{(*it)["x"].get<double>() + (*it)["width"].get<double>() / 2,
                              (*it)["y"].get<double>() + (*it)["height"].get<double>() / 2};
            auto window = DisplayScreen::windowAtPoint(point);
            if (!window) continue;
            const bool taken =
                UIDriver::tap(*window, {point.x - window->frame().origin.x, point.y - window->frame().origin.y});
            settle();
            if (taken) return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "no " << role << " named /" << pattern << "/ takes a tap among\n"
                                             << names();
    }

    // Drags a finger from the middle of the topmost element whose role is
    // `role` and whose name matches, by (dx, dy) points, letting go at speed.
    ::testing::AssertionResult dragNamed(const std::string& role, const std::string& pattern, double dx, double dy,
                                         double fromX = 0.5) {
        const std::regex name(pattern);
        const json elements = DisplayScreen::accessibleElements();
        for (auto it = elements.rbegin(); it != elements.rend(); ++it) {
            if ((*it)["role"] != role || !std::regex_search((*it)["name"].get<std::string>(), name)) continue;
            const Point point{(*it)["x"].get<double>() + (*it)["width"].get<double>() * fromX,
                              (*it)["y"].get<double>() + (*it)["height"].get<double>() / 2};
            auto window = DisplayScreen::windowAtPoint(point);
            if (!window) continue;
            const bool taken = UIDriver::pan(*window, {point.x - window->frame().origin.x, point.y - window->frame().origin.y},
                                             {dx, dy}, {dx * 4, dy * 4}, 8);
            settle();
            if (taken) return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "no " << role << " named /" << pattern << "/ takes a drag among\n"
                                             << names();
    }
    // A drag across the screen from `fromX` of its width, at half its height.
    ::testing::AssertionResult dragScreen(double fromX, double dx) {
        const Rect bounds = Screen::main().bounds();
        const Point point{bounds.width() * fromX, bounds.height() / 2};
        auto window = DisplayScreen::windowAtPoint(point);
        if (!window || !UIDriver::pan(*window, point, {dx, 0}, {dx * 4, 0}, 8))
            return ::testing::AssertionFailure() << "nothing takes a drag across the screen among\n" << names();
        settle();
        return ::testing::AssertionSuccess();
    }
    // Types into the field being edited, as the keyboard does.
    ::testing::AssertionResult type(const std::string& text) {
        for (const auto& window : DisplayScreen::visibleWindows())
            if (auto field = dynamic_cast<TextField*>(window->firstResponder())) {
                const bool typed = UIDriver::typeText(*field, text);
                settle();
                if (typed) return ::testing::AssertionSuccess();
            }
        return ::testing::AssertionFailure() << "no field takes typing among\n" << names();
    }
    bool shows(const std::string& role, const std::string& pattern) {
        const std::regex name(pattern);
        for (const auto& element : DisplayScreen::accessibleElements())
            if (element["role"] == role && std::regex_search(element["name"].get<std::string>(), name)) return true;
        return false;
    }
    // Answers the storage question and opens the tutorial.
    void openTutorial() {
        ASSERT_TRUE(runMainLoopUntil([] { return UIDriver::presentedAlert() != nullptr; }));
        while (UIDriver::presentedAlert()) ASSERT_TRUE(tapNamed("button", "^Later$"));
        ASSERT_TRUE(tapNamed("row", "^Tutorial"));
        // A phone shows the first card's editor over the list.
        if (GetParam().idiom == UserInterfaceIdiom::Phone && !shows("row", "What is a deck")) {
            ASSERT_TRUE(tapItem("Back"));
        }
        // A tablet shows a card's editor beside the list once one is picked.
        if (GetParam().idiom == UserInterfaceIdiom::Pad) {
            ASSERT_TRUE(tapNamed("row", "^How do I see the answer"));
        }
    }

    // Checks the screen's layout and writes its picture where asked.
    void screen(const std::string& name) {
        SCOPED_TRACE(name);
        if (const char* folder = std::getenv("MEMORANT_LAYOUT_SHOTS")) {
            std::filesystem::create_directories(folder);
            const std::string path = std::string(folder) + "/" + GetParam().name + "-" + name + ".png";
            Error error;
            EXPECT_TRUE(DisplayScreen::writePNG(path, Screen::main().scale(), &error)) << error.description();
        }
        const auto faults = DisplayScreen::layoutFaults();
        EXPECT_TRUE(faults.empty()) << name << ":\n  " << componentsJoinedByString(faults, "\n  ") << "\n" << names();
    }

    TempDir home;
    std::string savedRoot;
    std::optional<UbiquityIdentityToken> savedToken;
    std::shared_ptr<ApplicationDelegate> app;
};

TEST_P(ScreenLayoutTest, EveryScreenAUserReachesShowsItsTextsWholeAndApart) {
    ASSERT_TRUE(runMainLoopUntil([] { return UIDriver::presentedAlert() != nullptr; }));
    screen("storage-question");
    // (An earlier launch of this process may still ask too: each answer dismisses one.)
    while (UIDriver::presentedAlert()) ASSERT_TRUE(tapNamed("button", "^Later$"));
    screen("library");
    ASSERT_TRUE(tapItem("Add"));
    screen("add-menu");
    ASSERT_TRUE(tapNamed("button", "^Create Deck$"));
    screen("new-deck");
    ASSERT_TRUE(tapNamed("button", "^Cancel$"));
    ASSERT_TRUE(tapItem("Info"));
    screen("settings");
    ASSERT_TRUE(tapNamed("row", "Guide"));
    screen("user-guide");
    ASSERT_TRUE(tapItem("Settings"));
    ASSERT_TRUE(tapNamed("row", "^Remote Control"));
    // Without a network here the set-up tells why it cannot start.
    screen("remote-control-error");
    ASSERT_TRUE(tapNamed("button", "^OK$"));
    screen("remote-control-setup");
    ASSERT_TRUE(tapNamed("button", "^Cancel$"));
    ASSERT_TRUE(tapItem("Back"));
    ASSERT_TRUE(tapNamed("row", "^Tutorial"));
    screen("card-list");
    // A topic row's count sits on its title's line.
    const json elements = DisplayScreen::accessibleElements();
    for (std::size_t i = 0; i + 1 < elements.size(); ++i)
        if (elements[i]["role"] == "text" && elements[i]["name"] == "Studying") {
            auto middle = [](const json& e) { return e["y"].get<double>() + e["height"].get<double>() / 2; };
            EXPECT_EQ("2", elements[i + 1]["name"]);
            EXPECT_NEAR(middle(elements[i]), middle(elements[i + 1]), 1);
        }
    ASSERT_TRUE(tapNamed("row", "^Studying"));
    screen("card-list-topic");
    ASSERT_TRUE(tapItem("Back"));
    ASSERT_TRUE(tapNamed("row", "^How do I see the answer"));
    screen("card-editor");
    // A tablet shows the editor beside the list; a phone goes back to the list.
    if (GetParam().idiom == UserInterfaceIdiom::Phone) {
        ASSERT_TRUE(tapItem("Back"));
        ASSERT_TRUE(tapItem("calendar"));
        screen("spaced-repetition");
    }
}

TEST_P(ScreenLayoutTest, StudyScreensShowTheirTextsWholeAndApart) {
    openTutorial();
    ASSERT_TRUE(tapNamed("button", "^Memorize$"));
    screen("study");
    for (int ratings = 0; !shows("button", "^Start Over$"); ++ratings) {
        ASSERT_LT(ratings, 20) << "the batch ends in a summary";
        ASSERT_TRUE(tapNamed("button", "^Easy$"));
    }
    screen("study-summary");
    ASSERT_TRUE(tapNamed("button", "^Done$"));
    screen("card-list-after-study");
    // The library under the open deck is off screen: nothing of it is drawn or read out.
    EXPECT_FALSE(shows("button", "^info\\.circle$")) << names();
}

TEST_P(ScreenLayoutTest, MultipleChoiceScreensShowTheirTextsWholeAndApart) {
    openTutorial();
    ASSERT_TRUE(tapNamed("button", "^Multiple Choice$"));
    screen("multiple-choice-start");
    ASSERT_TRUE(dragScreen(0.85, -250));
    screen("multiple-choice-question");
    for (int pages = 0; !shows("button", "^Start Over$"); ++pages) {
        ASSERT_LT(pages, 30) << "the test ends in a summary";
        ASSERT_TRUE(dragScreen(0.85, -250));
    }
    screen("multiple-choice-summary");
    // The summary fills its page below the test's navigation bar: the gauge
    // in the middle, the two counts sharing the page's width.
    std::vector<View*> gauges, counts;
    std::function<void(View&)> visit = [&](View& view) {
        if (view.isHidden()) return;
        if (dynamic_cast<HorseshoeProgressView*>(&view)) gauges.push_back(&view);
        if (dynamic_cast<StatsButton*>(&view)) counts.push_back(&view);
        for (const auto& child : view.subviews())
            if (child) visit(*child);
    };
    for (const auto& window : DisplayScreen::visibleWindows()) visit(*window);
    ASSERT_EQ(gauges.size(), 1u);
    ASSERT_EQ(counts.size(), 2u);
    View& page = *gauges[0]->superview();
    auto inPage = [&](View& view) { return view.convertRectToView(view.bounds(), &page); };
    const Rect gauge = inPage(*gauges[0]), right = inPage(*counts[0]), wrong = inPage(*counts[1]);
    const double width = page.bounds().width();
    EXPECT_NEAR(gauge.midX(), width / 2, 1);
    EXPECT_NEAR(right.minX(), width - wrong.maxX(), 1);
    EXPECT_GE(wrong.maxX() - right.minX(), width - 60);
    const NavigationBar* bar = nullptr;
    for (View* above = &page; above && !bar; above = above->superview())
        for (const auto& child : above->subviews())
            if (auto found = dynamic_cast<const NavigationBar*>(child.get()); found && !found->isHidden()) bar = found;
    ASSERT_TRUE(bar);
    EXPECT_GE(gauge.minY(), bar->convertRectToView(bar->bounds(), &page).maxY());
}

TEST_P(ScreenLayoutTest, DeckScreensShowTheirTextsWholeAndApart) {
    ASSERT_TRUE(runMainLoopUntil([] { return UIDriver::presentedAlert() != nullptr; }));
    while (UIDriver::presentedAlert()) ASSERT_TRUE(tapNamed("button", "^Later$"));
    ASSERT_TRUE(dragNamed("row", "^Tutorial", -200, 0));
    screen("library-row-actions");
    ASSERT_TRUE(tapNamed("button", "^Versions$"));
    screen("versions");
}

TEST_P(ScreenLayoutTest, CardListScreensShowTheirTextsWholeAndApart) {
    openTutorial();
    // The search field waits above the first row, under the bar, until the list is pulled down.
    ASSERT_TRUE(dragNamed("row", "What is a deck", 0, 200));
    ASSERT_TRUE(tapNamed("textbox", "^Search$"));
    ASSERT_TRUE(type("rate"));
    screen("card-list-search");
    EXPECT_TRUE(shows("row", "^How do I rate myself"));
    EXPECT_FALSE(shows("row", "What is a deck"));
    ASSERT_TRUE(tapNamed("button", "^Cancel$"));
    screen("card-list-search-cancelled");
    EXPECT_TRUE(shows("row", "What is a deck"));
    EXPECT_TRUE(shows("textbox", "^Search$"));
    ASSERT_TRUE(tapItem("Share"));
    screen("share");
}

TEST_P(ScreenLayoutTest, JustOpenedDeckStudiesFromEitherSide) {
    ASSERT_TRUE(runMainLoopUntil([] { return UIDriver::presentedAlert() != nullptr; }));
    while (UIDriver::presentedAlert()) ASSERT_TRUE(tapNamed("button", "^Later$"));
    ASSERT_TRUE(tapNamed("row", "^Tutorial"));
    // A tablet shows the deck's cover beside the list; a phone, the first card's editor over it.
    if (GetParam().idiom == UserInterfaceIdiom::Pad) {
        EXPECT_TRUE(shows("text", "^8 cards, 0% studied$"));
    }
    screen("deck-opened");
    ASSERT_TRUE(tapNamed("button", "^Memorize$"));
    EXPECT_TRUE(shows("button", "^Easy$")) << names();
}

INSTANTIATE_TEST_SUITE_P(Devices, ScreenLayoutTest,
                         ::testing::Values(DeviceCase{"phone", UserInterfaceIdiom::Phone},
                                           DeviceCase{"tablet", UserInterfaceIdiom::Pad}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
