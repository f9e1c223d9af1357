// The document picker's screen as a user meets it: the program's own launch
// (the main storyboard and the application delegate) on a fresh app folder,
// at phone and tablet size, the library's add menu, "Browse", and the folders
// of the user's documents, driven only by taps on what the screen shows,
// found by accessible name. Each picker screen is checked for texts that
// overlap or are cut.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "app/library/ScriptedDeckDocuments.h"
#include "app/display/LaunchedAppTest.h"
#include "app/shell/AppDelegateTestSupport.h"
#include "platform/display/DisplayScreen.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/ApplicationDelegate.h"
#include "platform/ui/DocumentBrowserFolderViewController.h"
#include "platform/ui/DocumentPickerViewController.h"
#include "platform/ui/NavigationBar.h"

namespace {

using namespace memorant_test;
using nlohmann::json;
namespace fs = std::filesystem;

class PickerScreensTest : public LaunchedAppTest {
protected:
    void SetUp() override {
        DocumentPickerViewController::setBrowseRootFolder(documents.str());
        LaunchedAppTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(runMainLoopUntil([] { return UIDriver::presentedAlert() != nullptr; }));
        // (An earlier launch of this process may still ask too: each answer dismisses one.)
        while (UIDriver::presentedAlert()) ASSERT_TRUE(tapNamed("button", "^Later$"));
    }
    void TearDown() override {
        LaunchedAppTest::TearDown();
        DocumentPickerViewController::setBrowseRootFolder(std::nullopt);
    }

    static std::string names() { return elementNames(); }
    // The topmost element of that role whose name matches, or null.
    static json find(const std::string& role, const std::string& pattern) {
        const auto found = elementsNamed(role, pattern);
        return found.empty() ? json(nullptr) : found.back();
    }
    bool shows(const std::string& role, const std::string& pattern) { return !find(role, pattern).is_null(); }
    static std::vector<std::string> rowNames() {
        std::vector<std::string> rows;
        for (const auto& element : DisplayScreen::accessibleElements())
            if (element["role"] == "row") rows.push_back(element["name"]);
        return rows;
    }

    // Taps the middle of the topmost element of that role whose name matches.
    ::testing::AssertionResult tapNamed(const std::string& role, const std::string& pattern) {
        const json element = find(role, pattern);
        if (element.is_null())
            return ::testing::AssertionFailure() << "no " << role << " named /" << pattern << "/ among\n" << names();
        const bool taken = tapScreen(pointOn(element));
        settle();
        if (!taken)
            return ::testing::AssertionFailure() << "the " << role << " named /" << pattern << "/ takes no tap among\n"
                                                 << names();
        return ::testing::AssertionSuccess();
    }
    // Taps the item of the topmost shown navigation bar that the test picks
    // (its back item, or one of its top item's).
    ::testing::AssertionResult tapBarItem(const std::string& what,
                                          const std::function<std::shared_ptr<BarButtonItem>(NavigationBar&)>& pick) {
        std::vector<NavigationBar*> bars;
        std::function<void(View&)> visit = [&](View& view) {
            if (view.isHidden()) return;
            if (auto bar = dynamic_cast<NavigationBar*>(&view); bar && bar->topItem()) bars.push_back(bar);
            for (const auto& child : view.subviews())
                if (child) visit(*child);
        };
        for (const auto& window : DisplayScreen::visibleWindows()) visit(*window);
        for (auto it = bars.rbegin(); it != bars.rend(); ++it)
            if (auto item = pick(**it); item && item->view() && UIDriver::tap(*item)) {
                settle();
                return ::testing::AssertionSuccess();
            }
        return ::testing::AssertionFailure() << "no " << what << " takes a tap among\n" << names();
    }
    ::testing::AssertionResult tapBack() {
        return tapBarItem("back button", [](NavigationBar& bar) { return bar.backButtonItem(); });
    }
    ::testing::AssertionResult tapCancel() {
        return tapBarItem("Cancel", [](NavigationBar& bar) -> std::shared_ptr<BarButtonItem> {
            for (const auto& item : bar.topItem()->rightBarButtonItems())
                if (item->systemItem() == BarButtonSystemItem::Cancel) return item;
            return nullptr;
        });
    }
    // The add item of the library's bar, then the menu's "Browse".
    void openBrowser() {
        auto library = this->library();
        ASSERT_TRUE(library);
        ASSERT_TRUE(UIDriver::tap(*library->addDeckBarButtonItem()));
        settle();
        ASSERT_TRUE(tapNamed("button", "^Browse$"));
    }
    std::shared_ptr<DeckLibraryTableViewController> library() {
        auto root = Application::shared().windows().front()->rootViewController();
        std::function<std::shared_ptr<DeckLibraryTableViewController>(const std::shared_ptr<ViewController>&)> search =
            [&](const std::shared_ptr<ViewController>& controller) -> std::shared_ptr<DeckLibraryTableViewController> {
            if (!controller) return nullptr;
            if (auto found = std::dynamic_pointer_cast<DeckLibraryTableViewController>(controller)) return found;
            for (const auto& child : controller->childViewControllers())
                if (auto found = search(child)) return found;
            return nullptr;
        };
        return search(root);
    }
    // Checks the screen's layout; with MEMORANT_LAYOUT_SHOTS naming a folder,
    // writes its picture there as PNG.
    void checkLayout(const std::string& screen) {
        if (const char* folder = std::getenv("MEMORANT_LAYOUT_SHOTS")) {
            fs::create_directories(folder);
            Error error;
            EXPECT_TRUE(DisplayScreen::writePNG(std::string(folder) + "/" + GetParam().name + "-picker-" + screen + ".png",
                                                Screen::main().scale(), &error))
                << error.description();
        }
        const auto faults = DisplayScreen::layoutFaults();
        EXPECT_TRUE(faults.empty()) << screen << ":\n  " << componentsJoinedByString(faults, "\n  ") << "\n" << names();
    }

    TempDir documents;
    TempDir elsewhere;
};

TEST_P(PickerScreensTest, BrowseWalksIntoAFolderAndOpensTheDeckTapped) {
    fs::create_directories(documents.file("Decks/Nested"));
    const URL far = URL::fileURLWithPath(documents.file("Decks/Far.flashcards"));
    writeFlashcardsDeck(far, 3);
    writeFile(documents.file("notes.txt"), "not a deck");
    writeFile(documents.file(".hidden.flashcards"), "hidden");
    // A deck outside the documents folder, reached through a link in it.
    writeFlashcardsDeck(URL::fileURLWithPath(elsewhere.file("Secret.flashcards")), 1);
    fs::create_symlink(elsewhere.file("Secret.flashcards"), documents.file("Decks/Outside.flashcards"));
    fs::create_directory_symlink(elsewhere.str(), documents.file("Elsewhere"));

    openBrowser();
    checkLayout("documents");
    // Folders first, then files; a file of another type, and a link leading
    // out of the documents, are shown dimmed; hidden files not at all.
    const json decks = find("row", "^Decks$"), notes = find("row", "^notes\\.txt$"), out = find("row", "^Elsewhere$");
    ASSERT_FALSE(decks.is_null()) << names();
    ASSERT_FALSE(notes.is_null()) << names();
    ASSERT_FALSE(out.is_null()) << names();
    EXPECT_FALSE(decks.value("disabled", false));
    EXPECT_TRUE(notes.value("disabled", false));
    EXPECT_TRUE(out.value("disabled", false));
    EXPECT_LT(decks["y"].get<double>(), notes["y"].get<double>());
    EXPECT_FALSE(shows("row", "hidden")) << names();
    EXPECT_TRUE(shows("text", "^" + lastPathComponent(fs::canonical(documents.str()).string()) + "$")) << names();

    // Dimmed rows take no tap: the picker stays.
    EXPECT_FALSE(tapNamed("row", "^notes\\.txt$"));
    EXPECT_FALSE(tapNamed("row", "^Elsewhere$"));
    ASSERT_TRUE(tapNamed("row", "^Decks$"));
    checkLayout("folder");
    EXPECT_TRUE(shows("text", "^Decks$")) << names();
    EXPECT_TRUE(shows("row", "^Nested$"));
    EXPECT_TRUE(find("row", "^Outside\\.flashcards$").value("disabled", false)) << names();
    EXPECT_FALSE(tapNamed("row", "^Outside\\.flashcards$"));
    // A folder that became a link out of the documents since it was listed does not open.
    fs::remove(documents.file("Decks/Nested"));
    fs::create_directory_symlink(elsewhere.str(), documents.file("Decks/Nested"));
    tapNamed("row", "^Nested$");
    EXPECT_TRUE(shows("text", "^Decks$")) << names();
    EXPECT_FALSE(shows("row", "^Secret\\.flashcards$")) << names();

    // Back goes up; the folder opens again.
    ASSERT_TRUE(tapBack());
    EXPECT_TRUE(shows("row", "^notes\\.txt$")) << names();
    ASSERT_TRUE(tapNamed("row", "^Decks$"));

    ASSERT_TRUE(tapNamed("row", "^Far\\.flashcards$"));
    ASSERT_TRUE(runMainLoopUntil([&] {
        auto library = this->library();
        return library && library->currentlyOpenDocument() && !shows("row", "^Far\\.flashcards$");
    }));
    settle();
    // The deck tapped is open, where it lies.
    EXPECT_EQ(fs::canonical(far.path()).string(), library()->currentlyOpenDocument()->fileURL().path());
    EXPECT_FALSE(shows("row", "^Decks$")) << names();
    EXPECT_TRUE(fs::exists(far.path()));
}

TEST_P(PickerScreensTest, AFolderThatCannotBeReadSaysSoAndCancelLeavesThePicker) {
    const bool unreadableByPermission = ::geteuid() != 0;  // the superuser reads every folder
    struct Case {
        const char* what;
        std::function<void()> prepare;
        std::function<void()> walk;
    };
    const std::vector<Case> cases = {
        {"a documents folder that is gone",
         [&] { DocumentPickerViewController::setBrowseRootFolder(documents.file("Gone")); }, [] {}},
        {"a folder without read permission",
         [&] {
             DocumentPickerViewController::setBrowseRootFolder(documents.str());
             fs::create_directories(documents.file("Locked"));
             fs::permissions(documents.file("Locked"), fs::perms::none);
         },
         [&] { ASSERT_TRUE(tapNamed("row", "^Locked$")); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (std::string(c.what) == "a folder without read permission" && !unreadableByPermission) continue;
        c.prepare();
        openBrowser();
        c.walk();
        EXPECT_TRUE(shows("text", std::string("^") + DocumentBrowserFolderViewController::kUnreadableText + "$"))
            << names();
        EXPECT_TRUE(rowNames().empty()) << "the picker lists nothing, and covers the library's rows";
        checkLayout(std::string(c.what) == "a folder without read permission" ? "locked" : "gone");
        ASSERT_TRUE(tapCancel());
        EXPECT_FALSE(shows("text", std::string("^") + DocumentBrowserFolderViewController::kUnreadableText + "$"))
            << names();
        EXPECT_EQ(nullptr, library()->presentedViewController());
    }
    std::error_code ignored;
    fs::permissions(documents.file("Locked"), fs::perms::owner_all, ignored);
}

INSTANTIATE_TEST_SUITE_P(Devices, PickerScreensTest,
                         phoneAndTablet(), deviceCaseName);

}  // namespace
