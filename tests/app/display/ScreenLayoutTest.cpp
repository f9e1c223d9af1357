// Every screen a user reaches, laid out as the user sees it: the program's
// own launch (the main storyboard's window and the application delegate) on a
// fresh app folder, at phone and at tablet size, driven only by taps on what
// the screen shows, found by accessible name as a screen reader finds it. On
// each screen no two texts overlap and none is cut where its view does not
// cut. With MEMORANT_LAYOUT_SHOTS naming a folder, each screen is written
// there as PNG.

#include <cairo-pdf.h>
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>

#include "app/library/DocumentItemDetails.h"
#include "app/views/ColorAdditions.h"
#include "app/views/DocumentItemTableViewCell.h"
#include "app/library/DocumentItemDetailsHelper.h"
#include "Common/FCDeckSnaphot.h"
#include "Common/FCDeckStoreContext.h"
#include "Common/LegacyPackageTestSupport.h"
#include "Common/SSZipArchive.h"
#include "app/net/SharingTestSupport.h"
#include "app/remote/DialPadButtonView.h"
#include "app/remote/RemoteTestSupport.h"
#include "app/shell/FCPDFAttachmentController.h"
#include "app/display/LaunchedAppTest.h"
#include "app/shell/AppDelegateTestSupport.h"
#include "app/shell/DiagnosticsController.h"
#include "app/study/StatsButton.h"
#include "app/views/HorseshoeProgressView.h"
#include "platform/display/DisplayScreen.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/PickerView.h"
#include "model/FCCard.h"
#include "model/FCCoverStyle.h"
#include "model/FCDeck.h"
#include "model/FCJSONAdditions.h"
#include "platform/cloud/FileVersion.h"
#include "platform/foundation/AppContainer.h"
#include "platform/net/NetService.h"
#include "platform/net/ServiceHost.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/ApplicationDelegate.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/Screen.h"

namespace {

using namespace memorant_test;
using nlohmann::json;

class ScreenLayoutTest : public LaunchedAppTest {
protected:
    void TearDown() override {
        // What the walk changed is saved before the app folder goes, as
        // leaving the app saves it: no save of this test's deck fails in the next.
        bool saved = false;
        Application::shared().didEnterBackground([&] { saved = true; });
        EXPECT_TRUE(runMainLoopUntil([&] { return saved && !DispatchQueue::hasPendingBackgroundWork(); }));
        Application::shared().willEnterForeground();
        drainMainLoop();
        LaunchedAppTest::TearDown();
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
                {BarButtonSystemItem::Search, "Search"},   {BarButtonSystemItem::Close, "Close"},
                {BarButtonSystemItem::Done, "Done"},       {BarButtonSystemItem::Cancel, "Cancel"},
                {BarButtonSystemItem::Edit, "Edit"},       {BarButtonSystemItem::Save, "Save"}};
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

    // Taps the topmost element whose role is `role` and whose name matches,
    // at `fromX` of its width (its middle unless asked).
    ::testing::AssertionResult tapNamed(const std::string& role, const std::string& pattern, double fromX = 0.5) {
        const auto found = elementsNamed(role, pattern);
        for (auto it = found.rbegin(); it != found.rend(); ++it) {
            const Point point = pointOn(*it, fromX);
            if (!DisplayScreen::windowAtPoint(point)) continue;
            const bool taken = tapScreen(point);
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
        const auto found = elementsNamed(role, pattern);
        for (auto it = found.rbegin(); it != found.rend(); ++it) {
            const Point point = pointOn(*it, fromX);
            if (!DisplayScreen::windowAtPoint(point)) continue;
            const bool taken = dragOnScreen(point, {dx, dy}, {dx * 4, dy * 4});
            settle();
            if (taken) return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "no " << role << " named /" << pattern << "/ takes a drag among\n"
                                             << names();
    }
    // A tap at a point of the screen, wherever it lands.
    ::testing::AssertionResult tapAt(Point point) {
        if (!tapScreen(point))
            return ::testing::AssertionFailure() << "nothing takes a tap at " << point.x << ", " << point.y << " among\n"
                                                 << names();
        settle();
        return ::testing::AssertionSuccess();
    }
    // The visible views of a kind, in drawing order.
    template <class T>
    static std::vector<T*> shownViews() {
        std::vector<T*> found;
        std::function<void(View&)> visit = [&](View& view) {
            if (view.isHidden() || view.alpha() <= 0) return;
            if (auto* match = dynamic_cast<T*>(&view)) found.push_back(match);
            for (const auto& child : view.subviews())
                if (child) visit(*child);
        };
        for (const auto& window : DisplayScreen::visibleWindows()) visit(*window);
        return found;
    }
    // Where a view lies on the screen.
    static Rect onScreen(View& view) {
        Rect rect = view.convertRectToView(view.bounds(), nullptr);
        if (Window* window = view.window()) rect = rect.offsetBy(window->frame().origin.x, window->frame().origin.y);
        return rect;
    }
    // The value shown in the first text box whose name matches.
    std::optional<std::string> fieldValue(const std::string& pattern) {
        const std::regex name(pattern);
        for (const auto& element : DisplayScreen::accessibleElements())
            if (element["role"] == "textbox" && std::regex_search(element["name"].get<std::string>(), name))
                return element["value"].get<std::string>();
        return std::nullopt;
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

};

TEST_P(ScreenLayoutTest, EveryScreenAUserReachesShowsItsTextsWholeAndApart) {
    ASSERT_TRUE(runMainLoopUntil([] { return UIDriver::presentedAlert() != nullptr; }));
    screen("storage-question");
    // (An earlier launch of this process may still ask too: each answer dismisses one.)
    while (UIDriver::presentedAlert()) ASSERT_TRUE(tapNamed("button", "^Later$"));
    screen("library");
    // In edit mode each row's content keeps to the room beside its delete control.
    ASSERT_TRUE(tapItem("Edit"));
    screen("library-editing");
    ASSERT_TRUE(tapItem("Done"));
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
    }
    // The spaced-repetition groups, from the list's toolbar (beside the editor on a tablet).
    ASSERT_TRUE(tapItem("calendar"));
    screen("spaced-repetition");
    EXPECT_TRUE(shows("row", "^New Cards")) << names();
}

TEST_P(ScreenLayoutTest, StudyScreensShowTheirTextsWholeAndApart) {
    openTutorial();
    ASSERT_TRUE(tapNamed("button", "^Memorize$"));
    screen("study");
    // The rating buttons share the bottom of the screen, whatever its size.
    const Rect bounds = Screen::main().bounds();
    double left = bounds.maxX(), right = bounds.minX();
    for (const auto& element : DisplayScreen::accessibleElements()) {
        if (element["role"] != "button" || !std::regex_search(element["name"].get<std::string>(),
                                                              std::regex("^(Easy|Unsure|Hard)$")))
            continue;
        left = std::min(left, element["x"].get<double>());
        right = std::max(right, element["x"].get<double>() + element["width"].get<double>());
        EXPECT_NEAR(element["y"].get<double>() + element["height"].get<double>(), bounds.maxY(), 1) << names();
    }
    EXPECT_NEAR(left, bounds.minX(), 1) << names();
    EXPECT_NEAR(right, bounds.maxX(), 1) << names();
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
    // The tutorial as it was yesterday, kept by the platform's version store.
    const URL tutorial = URL::fileURLWithPath(AppContainer::documentsDirectory() + "/Tutorial.flashcards");
    ASSERT_TRUE(std::filesystem::exists(tutorial.path())) << names();
    FileVersions::NewVersion yesterday;
    yesterday.modificationDate = Date::now().byAddingTimeInterval(-86400);
    yesterday.savingComputerName = std::string("Desk");
    yesterday.contentsFromPath = tutorial.path();
    ASSERT_TRUE(FileVersions::addVersion(tutorial, yesterday));
    ASSERT_TRUE(dragNamed("row", "^Tutorial", -200, 0));
    screen("library-row-actions");
    ASSERT_TRUE(tapNamed("button", "^Versions$"));
    ASSERT_TRUE(runMainLoopUntil([&] {
        settle();
        return shows("row", "on Desk");
    })) << names();
    screen("versions");
    // The older version opens read-only in a deck screen of its own.
    ASSERT_TRUE(tapNamed("row", "on Desk"));
    ASSERT_TRUE(runMainLoopUntil([&] {
        settle();
        return shows("row", "What is a deck");
    })) << names();
    screen("version-preview");
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

TEST_P(ScreenLayoutTest, SpacedRepetitionSetupKeepsTheIntervalsTypedIntoItsBoxes) {
    openTutorial();
    // The grouping waits above the first row, under the bar, until the list is pulled down.
    ASSERT_TRUE(dragNamed("row", "What is a deck", 0, 200));
    ASSERT_TRUE(tapNamed("radio", "^Spaced Repetition$"));
    screen("card-list-spaced-repetition");
    ASSERT_TRUE(tapNamed("row", "^Set Up Spaced Repetition"));
    screen("spaced-repetition-setup");
    EXPECT_EQ(fieldValue("^2$"), "");
    // A tap on a box's row puts the caret into its field.
    ASSERT_TRUE(tapNamed("row", "^Box 1$"));
    ASSERT_TRUE(type("5"));
    ASSERT_TRUE(tapNamed("row", "^Box 3$", 0.9));
    ASSERT_TRUE(type("1"));  // one day is no interval: box 3 keeps its default
    screen("spaced-repetition-setup-typed");
    ASSERT_TRUE(tapItem("Done"));
    EXPECT_FALSE(shows("row", "^Box 1$")) << names();
    // Opened again, the setup shows what the deck keeps now.
    ASSERT_TRUE(tapNamed("row", "^Set Up Spaced Repetition"));
    EXPECT_EQ(fieldValue("^2$"), "5");
    EXPECT_EQ(fieldValue("^8$"), "");
    ASSERT_TRUE(tapItem("Done"));
}

TEST_P(ScreenLayoutTest, StudyOptionsTopicPickerAndListeningOpenByTaps) {
    openTutorial();
    // The study screen's options sheet.
    ASSERT_TRUE(tapNamed("button", "^Memorize$"));
    ASSERT_TRUE(tapItem("Organize"));
    screen("study-options");
    ASSERT_TRUE(tapItem("Done"));
    // The card on show, edited on its own over the study screen.
    ASSERT_TRUE(tapItem("Compose"));
    screen("study-card-editor");
    ASSERT_TRUE(tapItem("Done"));
    EXPECT_TRUE(shows("button", "^Easy$")) << names();
    ASSERT_TRUE(tapItem("Done"));
    ASSERT_TRUE(shows("row", "What is a deck")) << names();
    // Moving a card into a topic, picked level by level.
    ASSERT_TRUE(tapItem("Edit"));
    ASSERT_TRUE(tapNamed("row", "What is a deck"));
    ASSERT_TRUE(tapItem("Move"));
    ASSERT_TRUE(tapNamed("button", "^Move Selected Cards$"));
    screen("topic-picker");
    ASSERT_TRUE(tapNamed("row", "^Studying"));
    screen("topic-picker-level");
    ASSERT_TRUE(tapNamed("row", "^Place Cards Here$"));
    ASSERT_TRUE(tapItem("Done"));
    ASSERT_TRUE(tapItem("Done"));
    EXPECT_FALSE(shows("row", "What is a deck")) << names();
    ASSERT_TRUE(tapNamed("row", "^Studying"));
    EXPECT_TRUE(shows("row", "What is a deck")) << names();
    ASSERT_TRUE(tapItem("Back"));
    // Listening, from the list's toolbar (beside the editor on a tablet).
    ASSERT_TRUE(tapItem("speaker.wave.2"));
    screen("listen");
    EXPECT_TRUE(shows("button", "▸▸")) << names();
    ASSERT_TRUE(tapItem("Back"));
    EXPECT_TRUE(shows("row", "^Studying")) << names();
}

TEST_P(ScreenLayoutTest, CoverPickedInTheLibraryShowsOnTheDeck) {
    ASSERT_TRUE(runMainLoopUntil([] { return UIDriver::presentedAlert() != nullptr; }));
    while (UIDriver::presentedAlert()) ASSERT_TRUE(tapNamed("button", "^Later$"));
    ASSERT_TRUE(tapItem("Edit"));
    screen("library-editing");
    // While editing, a deck's cover opens the picker.
    const auto rows = shownViews<DocumentItemTableViewCell>();
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_TRUE(rows[0]->coverImageView());
    ASSERT_TRUE(tapAt(onScreen(*rows[0]->coverImageView()).center()));
    ASSERT_TRUE(runMainLoopUntil([] { return !shownViews<PickerView>().empty(); })) << names();
    settle();
    screen("cover-picker");
    PickerView& picker = *shownViews<PickerView>().front();
    const std::int64_t colorBefore = picker.selectedRowInComponent(0), iconBefore = picker.selectedRowInComponent(1);
    // A tap on the row below the band turns a wheel to it; a drag turns it further.
    const Rect wheels = onScreen(picker);
    const double rowHeight = picker.rowSizeForComponent(0).height;
    ASSERT_TRUE(tapAt({wheels.minX() + wheels.width() / 4, wheels.midY() + rowHeight}));
    ASSERT_TRUE(tapAt({wheels.minX() + wheels.width() * 3 / 4, wheels.midY() + rowHeight}));
    const Point iconWheel{wheels.minX() + wheels.width() * 3 / 4, wheels.midY()};
    ASSERT_TRUE(dragOnScreen(iconWheel, {0, -rowHeight * 2}, {0, -200}, 4));
    settle();
    const std::int64_t color = picker.selectedRowInComponent(0), icon = picker.selectedRowInComponent(1);
    EXPECT_EQ(color, colorBefore + 1);
    EXPECT_EQ(icon, iconBefore + 3);
    screen("cover-picked");
    auto picked = std::make_shared<FCCoverStyle>();
    picked->setStartHexColor(FCCoverStyle::allHexColors().at(static_cast<std::size_t>(color)).first);
    picked->setEndHexColor(FCCoverStyle::allHexColors().at(static_cast<std::size_t>(color)).second);
    picked->setIconName(FCCoverStyle::allIconNames().at(static_cast<std::size_t>(icon)));
    // Ending the edit closes the picker; the deck's row shows its new cover.
    ASSERT_TRUE(tapItem("Done"));
    EXPECT_TRUE(shownViews<PickerView>().empty());
    screen("library-new-cover");
    const auto& helper = DocumentItemDetailsHelper::shared();
    EXPECT_EQ(rows[0]->coverImageView()->backgroundColor(),
              helper.coverStyleImage(picked, helper.coverImageSize())->coverImageBackgroundColor());
    // A new deck's dialog picks its cover the same way: its cover row opens the picker.
    ASSERT_TRUE(tapItem("Add"));
    ASSERT_TRUE(tapNamed("button", "^Create Deck$"));
    ASSERT_TRUE(tapNamed("row", "^Cover$"));
    ASSERT_EQ(shownViews<PickerView>().size(), 1u) << names();
    PickerView& dialogPicker = *shownViews<PickerView>().front();
    const Rect dialogWheels = onScreen(dialogPicker);
    const std::int64_t dialogColor = dialogPicker.selectedRowInComponent(0);
    ASSERT_TRUE(tapAt({dialogWheels.minX() + dialogWheels.width() / 4,
                       dialogWheels.midY() + 2 * dialogPicker.rowSizeForComponent(0).height}));
    EXPECT_EQ(dialogPicker.selectedRowInComponent(0), dialogColor + 2);
    screen("new-deck-cover-picker");
    ASSERT_TRUE(tapNamed("button", "^Cancel$"));
    // The dialog takes its dimming with it (its cover field, resigning as it
    // left, once brought the dimming back over the library).
    for (const auto& window : DisplayScreen::visibleWindows()) EXPECT_FALSE(window->presentationDimmingView());
    // Opened, the deck shows the cover large in its overview beside the list
    // (a tablet's): the picked colours run from its top to its bottom.
    ASSERT_TRUE(tapNamed("row", "^Tutorial"));
    if (GetParam().idiom == UserInterfaceIdiom::Pad) {
        screen("deck-overview");
        std::vector<ImageView*> covers;
        for (auto* view : shownViews<ImageView>())
            if (view->image() && view->image()->size().width >= 1000) covers.push_back(view);
        ASSERT_EQ(covers.size(), 1u) << names();
        const auto& image = *covers[0]->image();
        auto near = [&](Point at, const std::string& hex) {
            const Color shown = image.colorAtPoint({image.size().width * at.x, image.size().height * at.y});
            const Color wanted = twColorFromHexString(hex).value_or(Color());
            return std::abs(shown.red() - wanted.red()) < 0.08 && std::abs(shown.green() - wanted.green()) < 0.08 &&
                   std::abs(shown.blue() - wanted.blue()) < 0.08;
        };
        EXPECT_TRUE(near({0.02, 0.01}, *picked->startHexColor()));
        EXPECT_TRUE(near({0.02, 0.99}, *picked->endHexColor()));
        // The cover lies whole within the pane.
        EXPECT_LE(onScreen(*covers[0]).maxX(), Screen::main().bounds().maxX());
    }
}

TEST_P(ScreenLayoutTest, EverySettingsRowLeadsToAScreenLaidOutRight) {
    ASSERT_TRUE(runMainLoopUntil([] { return UIDriver::presentedAlert() != nullptr; }));
    while (UIDriver::presentedAlert()) ASSERT_TRUE(tapNamed("button", "^Later$"));
    ASSERT_TRUE(tapItem("Info"));
    // The user guide: a topic, its pages, one page.
    ASSERT_TRUE(tapNamed("row", "^User Guide"));
    ASSERT_TRUE(tapNamed("row", "^Studying"));
    screen("user-guide-topic");
    ASSERT_TRUE(tapNamed("row", "^Spaced Repetition"));
    screen("user-guide-page");
    ASSERT_TRUE(tapItem("Studying"));
    ASSERT_TRUE(tapItem("User Guide"));
    ASSERT_TRUE(tapItem("Settings"));
    // Diagnostics: its switch, the backtrace warning, the report without a mail account.
    ASSERT_TRUE(tapNamed("row", "^Diagnostics$"));
    screen("diagnostics");
    ASSERT_TRUE(tapNamed("switch", ""));
    EXPECT_TRUE(DiagnosticsController::shared().isCollectingDebugMessages());
    ASSERT_TRUE(tapNamed("switch", ""));
    EXPECT_FALSE(DiagnosticsController::shared().isCollectingDebugMessages());
    ASSERT_TRUE(tapNamed("row", "^Generate Backtrace$"));
    screen("diagnostics-backtrace");
    ASSERT_TRUE(tapNamed("button", "^Cancel$"));
    ASSERT_TRUE(tapNamed("row", "^Send Diagnostics Report$"));
    screen("diagnostics-no-mail");
    ASSERT_TRUE(tapNamed("button", "^OK$"));
    ASSERT_TRUE(tapNamed("button", "^Recreate the iCloud Documents Folder$"));
    screen("diagnostics-recreated");
    while (UIDriver::presentedAlert()) ASSERT_TRUE(tapNamed("button", "^OK$"));
    ASSERT_TRUE(tapItem("Settings"));
    // Support by mail, on a machine without a mail account.
    ASSERT_TRUE(tapNamed("row", "^Contact Support$"));
    screen("contact-support-no-mail");
    ASSERT_TRUE(tapNamed("button", "^OK$"));
    // The companion apps' pages open in the browser.
    Application::shared().clearOpenedURLs();
    ASSERT_TRUE(tapNamed("row", "^Memorant for Mac$"));
    ASSERT_TRUE(tapNamed("row", "^Memorant for Windows$"));
    ASSERT_EQ(Application::shared().openedURLs().size(), 2u);
    EXPECT_TRUE(Application::shared().openedURLs()[1].absoluteString().ends_with("/windows/"))
        << Application::shared().openedURLs()[1].absoluteString();
    // iCloud: switched on, the decks move there; switched off, the choice of what stays here.
    ASSERT_TRUE(tapNamed("switch", ""));
    // The move is over when the switch takes taps again.
    auto switchReady = [] {
        for (const auto& element : DisplayScreen::accessibleElements())
            if (element["role"] == "switch") return !element["disabled"].get<bool>() && element["checked"].get<bool>();
        return false;
    };
    ASSERT_TRUE(runMainLoopUntil([&] {
        settle();
        return switchReady();
    })) << names();
    screen("settings-icloud");
    ASSERT_TRUE(tapNamed("switch", ""));
    screen("settings-icloud-off");
    ASSERT_TRUE(tapNamed("button", "^Continue Using iCloud$"));
    screen("settings-icloud-kept");
}

INSTANTIATE_TEST_SUITE_P(Devices, ScreenLayoutTest,
                         phoneAndTablet(), deviceCaseName);


// The share web service played by a server on this machine: it takes an
// upload and hands out the deck shared as "Deck42".
class SharingScreenLayoutTest : public ScreenLayoutTest {
protected:
    SharingScreenLayoutTest() {
        auto shared = std::make_shared<FCDeck>();
        shared->setLegacyIdentifier(std::string("_blank"));
        shared->setLegacyTitle(std::string("Capitals"));
        shared->setCards({FCStudyCard::studyCardWithTop("Capital of Peru?", "Lima", 1),
                          FCStudyCard::studyCardWithTop("Capital of Chile?", "Santiago", 2)});
        shared->finishInitialization();
        const auto snapshot = FCDeckStoreContext::snapshotForDeck(*shared);
        Value description = objectFromJSONData(snapshot->deckInfoData()).value_or(Value());
        description.set("title", Value("Capitals of South America"));
        description.set("studyCardsCount", Value(2));
        Value author;
        author.set("name", Value("Ann"));
        description.set("author", author);
        Value index;
        index.set("cards", Value(server.url("/deck/cards.json")));
        index.set("deckInfo", Value(server.url("/deck/info.json")));
        index.set("files", Value::array());
        replies["/share/api/?cmd=deckindex&pid=Deck42"] = JSONString(*index.asDictionary()).value_or("");
        replies["/deck/info.json"] = JSONString(*description.asDictionary()).value_or("");
        replies["/deck/cards.json"] = stringFromData(snapshot->cardsData());
        server.server().Get(R"(/.*)", [this](const httplib::Request& request, httplib::Response& response) {
            std::string key = request.path;
            if (key == "/share/api/")
                key += "?cmd=" + request.get_param_value("cmd") + "&pid=" + request.get_param_value("pid");
            const auto found = replies.find(key);
            response.status = found == replies.end() ? 404 : 200;
            response.set_content(found == replies.end() ? std::string("not here") : found->second,
                                 "application/octet-stream");
        });
        server.server().Post("/share/upload.php", [this](const httplib::Request&, httplib::Response& response,
                                                         const httplib::ContentReader& reader) {
            reader([](const httplib::MultipartFormData&) { return true; },
                   [](const char*, std::size_t) { return true; });
            ++uploads;
            response.set_content("http://" + serviceHost() + "/c/Deck42", "text/plain");
        });
        server.start();
    }

    // Written before the server starts, read only by its threads after.
    std::map<std::string, std::string> replies;
    std::atomic<int> uploads{0};
    TestHTTPServer server;
    ScopedServiceHost host{"127.0.0.1:" + std::to_string(server.port())};
};

TEST_P(SharingScreenLayoutTest, DeckUploadedForALinkFromTheShareScreen) {
    openTutorial();
    ASSERT_TRUE(tapItem("Share"));
    ASSERT_TRUE(tapNamed("button", "^Upload & Copy Link$"));
    screen("upload-name");
    ASSERT_TRUE(tapNamed("textbox", ""));
    ASSERT_TRUE(type("Ann"));
    ASSERT_TRUE(tapNamed("button", "^Next$"));
    ASSERT_TRUE(runMainLoopUntil([&] {
        settle();
        return shows("text", "^Upload successful!$");
    })) << names();
    EXPECT_EQ(uploads, 1);
    screen("upload-done");
    Application::shared().clearOpenedURLs();
    ASSERT_TRUE(tapNamed("button", "^Show Shared Deck$"));
    const std::string link = "http://" + serviceHost() + "/c/Deck42";
    ASSERT_EQ(Application::shared().openedURLs().size(), 1u);
    EXPECT_EQ(Application::shared().openedURLs()[0].absoluteString(), link);
    EXPECT_EQ(Pasteboard::generalPasteboard().string(), link);
    screen("upload-finished");
}

// Started by a share link, as a browser hands it over.
class SharedDeckLinkLayoutTest : public SharingScreenLayoutTest {
protected:
    Value launchOptions() override {
        Value options = Value::dictionary();
        options.set(ApplicationLaunchOptionsURLKey, Value("memorant://downloaddeck/Deck42"));
        return options;
    }
};

TEST_P(SharedDeckLinkLayoutTest, SharedDeckDownloadsIntoTheLibrary) {
    // The storage question of a first launch comes first.
    ASSERT_TRUE(runMainLoopUntil([&] {
        settle();
        return UIDriver::presentedAlert() != nullptr;
    })) << names();
    while (UIDriver::presentedAlert()) ASSERT_TRUE(tapNamed("button", "^Later$"));
    ASSERT_TRUE(runMainLoopUntil([&] {
        settle();
        return shows("text", "^Capitals of South America$");
    })) << names();
    screen("shared-deck");
    EXPECT_TRUE(shows("text", "^2 cards$")) << names();
    EXPECT_TRUE(shows("text", "^shared by Ann$")) << names();
    ASSERT_TRUE(tapNamed("button", "^Download$"));
    ASSERT_TRUE(runMainLoopUntil([&] {
        settle();
        return shows("row", "Capital of Chile");
    })) << names();
    screen("shared-deck-opened");
}

INSTANTIATE_TEST_SUITE_P(Devices, SharingScreenLayoutTest,
                         phoneAndTablet(), deviceCaseName);
INSTANTIATE_TEST_SUITE_P(Devices, SharedDeckLinkLayoutTest,
                         phoneAndTablet(), deviceCaseName);

// The desktop peer of the remote control played by the test's socket over
// the loopback address; the service is advertised by the in-process registrar.
class RemoteControlLayoutTest : public ScreenLayoutTest {
protected:
    void SetUp() override {
        NetServiceRegistrar::setShared(registrar);
        NetService::setListensOnLoopbackOnly(true);
        ScreenLayoutTest::SetUp();
    }
    void TearDown() override {
        if (peer >= 0) ::close(peer);
        ScreenLayoutTest::TearDown();
        NetServiceRegistrar::setShared(nullptr);
    }

    // The keypad's key of that name, once it is on screen; one of those in
    // `old` does not count.
    DialPadButtonView* key(const std::string& name, const std::vector<DialPadButtonView*>& old = {}) {
        DialPadButtonView* found = nullptr;
        // (The remote takes the peer's next command once the keys' animations
        // have ended: time goes on while it waits.)
        runMainLoopUntil([&] {
            advance(0.1);
            for (auto* view : shownViews<DialPadButtonView>())
                if (view->accessibilityLabel() == name && view->alpha() >= 1 &&
                    std::ranges::find(old, view) == old.end())
                    found = view;
            return found != nullptr;
        });
        return found;
    }
    // The peer reports its study mode; the keypad for it springs out in
    // place of the one before.
    ::testing::AssertionResult peerReports(const std::string& mode, const std::string& someKey) {
        const auto old = shownViews<DialPadButtonView>();
        remote_test::sendAll(peer, mode + "\r\n");
        if (!key(someKey, old)) return ::testing::AssertionFailure() << "no key '" << someKey << "' among\n" << names();
        settle();
        // Every key is read out by its name.
        for (auto* shown : shownViews<DialPadButtonView>())
            if (!shown->accessibilityLabel() || !shows("button", "^" + *shown->accessibilityLabel() + "$"))
                return ::testing::AssertionFailure() << "the key of '" << shown->command() << "' is not named among\n"
                                                     << names();
        return ::testing::AssertionSuccess();
    }
    // A tap on the key of that name reaches the peer as its command line.
    ::testing::AssertionResult tapSends(const std::string& name, const std::string& command) {
        if (!key(name)) return ::testing::AssertionFailure() << "no key '" << name << "' among\n" << names();
        auto tapped = tapNamed("button", "^" + name + "$");
        if (!tapped) return tapped;
        std::string received;
        auto arrived = remote_test::runUntilPeerReceived(peer, received, command.size() + 2);
        if (!arrived) return arrived;
        if (received != command + "\r\n")
            return ::testing::AssertionFailure() << "the peer received \"" << received << "\" for " << command;
        return ::testing::AssertionSuccess();
    }

    std::shared_ptr<InProcessServiceRegistrar> registrar = std::make_shared<InProcessServiceRegistrar>();
    int peer = -1;
};

TEST_P(RemoteControlLayoutTest, ConnectedRemoteShowsEachModesKeysAndSendsWhatIsTapped) {
    ASSERT_TRUE(runMainLoopUntil([] { return UIDriver::presentedAlert() != nullptr; }));
    while (UIDriver::presentedAlert()) ASSERT_TRUE(tapNamed("button", "^Later$"));
    ASSERT_TRUE(tapItem("Info"));
    ASSERT_TRUE(tapNamed("row", "^Remote Control"));
    screen("remote-control-pairing");
    // The desktop peer finds the service and connects; the remote asks for its mode.
    ASSERT_TRUE(runMainLoopUntil([&] { return !registrar->registeredServices().empty(); }));
    peer = remote_test::connectToLoopback(registrar->registeredServices().back().port);
    ASSERT_GE(peer, 0);
    std::string received;
    ASSERT_TRUE(remote_test::runUntilPeerReceived(peer, received, 3));
    EXPECT_EQ(received, "s\r\n");
    settle();
    // Each mode's keypad, laid out; taps on its keys reach the peer.
    ASSERT_TRUE(peerReports("m", "Next"));
    screen("remote-control-memorize");
    EXPECT_TRUE(tapSends("Next", "n"));
    EXPECT_TRUE(tapSends("Previous", "p"));
    EXPECT_TRUE(tapSends("Easy", "e"));
    ASSERT_TRUE(peerReports("mc", "B"));
    screen("remote-control-multiple-choice");
    EXPECT_TRUE(tapSends("B", "B"));
    ASSERT_TRUE(peerReports("t", "Reveal"));
    screen("remote-control-type");
    EXPECT_TRUE(tapSends("Reveal", "r"));
    // Cancel closes the remote and lets the peer go.
    ASSERT_TRUE(tapNamed("button", "^Cancel$"));
    EXPECT_TRUE(remote_test::runUntilPeerSeesEnd(peer));
    EXPECT_TRUE(shows("row", "^Remote Control")) << names();
}

INSTANTIATE_TEST_SUITE_P(Devices, RemoteControlLayoutTest, phoneAndTablet(), deviceCaseName);

// A deck carried in a PDF, handed to the program as a file to open (the
// program copies it into the Inbox first), with a page drawn by cairo and the
// deck embedded as the app embeds it.
class PDFHandedOverLayoutTest : public ScreenLayoutTest {
protected:
    Value launchOptions() override {
        const std::string inbox = AppContainer::documentsDirectory() + "/Inbox";
        std::filesystem::create_directories(inbox);
        const std::string pdf = inbox + "/Biology.pdf";
        writeDeckInPDF(pdf);
        Value options = Value::dictionary();
        options.set(ApplicationLaunchOptionsURLKey, Value(URL::fileURLWithPath(pdf).absoluteString()));
        return options;
    }

    static void writeDeckInPDF(const std::string& pdf) {
        TempDir scratch;
        const std::string page = scratch.file("page.pdf");
        cairo_surface_t* surface = cairo_pdf_surface_create(page.c_str(), 595, 842);
        cairo_t* context = cairo_create(surface);
        cairo_move_to(context, 72, 100);
        cairo_set_font_size(context, 24);
        cairo_show_text(context, "Biology: the cards");
        cairo_destroy(context);
        cairo_surface_finish(surface);
        ASSERT_EQ(cairo_surface_status(surface), CAIRO_STATUS_SUCCESS);
        cairo_surface_destroy(surface);
        TempDir packages;
        copyBiologyPackage(packages);
        ASSERT_TRUE(
            SSZipArchive::createZipFileAtPathWithContentsOfDirectory(scratch.file("deck.zip"), packages.str()));
        Error error;
        ASSERT_TRUE(FCPDFAttachmentController().attachFileAtURL(URL::fileURLWithPath(scratch.file("deck.zip")),
                                                                URL::fileURLWithPath(page),
                                                                URL::fileURLWithPath(pdf), &error))
            << error.description();
    }
};

// On the first run the decks stay on this device until the storage question
// is answered: a deck in a PDF goes to iCloud, so the program says to use it first.
TEST_P(PDFHandedOverLayoutTest, OnTheFirstRunThePDFAsksForICloudFirst) {
    ASSERT_TRUE(runMainLoopUntil([&] {
        settle();
        return UIDriver::presentedAlert() != nullptr && !DisplayScreen::accessibleElements().empty();
    }));
    screen("pdf-on-first-run");
    while (UIDriver::presentedAlert()) ASSERT_TRUE(tapNamed("button", "^Later$"));
    screen("pdf-needs-icloud");
    ASSERT_TRUE(tapNamed("button", "^OK$"));
    EXPECT_TRUE(shows("row", "^Tutorial")) << names();
    EXPECT_FALSE(shows("row", "^Biology")) << names();
}

// A later run, with the decks in iCloud since an earlier one.
class PDFImportLayoutTest : public PDFHandedOverLayoutTest {
protected:
    void beforeLaunch() override {
        UserDefaults::standard().setInteger(2, "FCUserPreferredStorageLocation");
        UserDefaults::standard().setObject(Value(UbiquityIdentityToken("alice").archivedData()),
                                           "FIUbiquityIdentityToken");
    }
};

TEST_P(PDFImportLayoutTest, TheDeckInThePDFIsImportedAndOpens) {
    // (An earlier launch of this process may still ask where decks go.)
    while (UIDriver::presentedAlert()) ASSERT_TRUE(tapNamed("button", "^(Use iCloud|Later)$"));
    ASSERT_TRUE(runMainLoopUntil([&] {
        settle();
        return shows("textbox", "^Biology$");
    })) << names();
    screen("pdf-imported");
    EXPECT_TRUE(shows("row", "^Genetics")) << names();
    // Back in the library the imported deck is listed.
    ASSERT_TRUE(tapItem("chevron.backward"));
    EXPECT_TRUE(runMainLoopUntil([&] {
        settle();
        return shows("row", "^Biology");
    })) << names();
}

INSTANTIATE_TEST_SUITE_P(Devices, PDFHandedOverLayoutTest, phoneAndTablet(), deviceCaseName);
INSTANTIATE_TEST_SUITE_P(Devices, PDFImportLayoutTest, phoneAndTablet(), deviceCaseName);

}  // namespace
