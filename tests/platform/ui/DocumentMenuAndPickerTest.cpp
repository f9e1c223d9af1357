// The document menu and the document picker, driven as a user would, and
// the hidden-extension resource value the app sets on new files.

#include <gtest/gtest.h>

#include "platform/foundation/FileManager.h"
#include "platform/foundation/URLResourceValues.h"
#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/DocumentMenuViewController.h"
#include "platform/ui/DocumentPickerViewController.h"
#include "platform/ui/Image.h"
#include "platform/ui/PresentationController.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

using namespace memorant_test;

namespace {

class Recorder : public DocumentMenuDelegate, public DocumentPickerDelegate {
public:
    void documentMenuDidPickDocumentPicker(DocumentMenuViewController&,
                                           const std::shared_ptr<DocumentPickerViewController>& picker) override {
        pickers.push_back(picker);
        events.push_back("picker");
    }
    void documentMenuWasCancelled(DocumentMenuViewController&) override { events.push_back("menu cancelled"); }
    void documentPickerDidPickDocumentAtURL(DocumentPickerViewController&, const URL& url) override {
        events.push_back("picked " + url.lastPathComponent());
    }
    void documentPickerWasCancelled(DocumentPickerViewController&) override { events.push_back("picker cancelled"); }
    std::vector<std::shared_ptr<DocumentPickerViewController>> pickers;
    std::vector<std::string> events;
};

}  // namespace

class DocumentMenuAndPickerTest : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        window->setRootViewController(screen);
        window->makeKeyAndVisible();
        drainMainLoop();
    }
    void TearDown() override {
        for (auto& w : Application::shared().windows()) w->setHidden(true);
        UITest::TearDown();
    }
    std::shared_ptr<DocumentMenuViewController> presentMenu() {
        auto menu = std::make_shared<DocumentMenuViewController>(std::vector<std::string>{"com.example.deck"},
                                                                 DocumentPickerMode::Open);
        menu->setDelegate(recorder);
        menu->popoverPresentationController()->setBarButtonItem(item);
        screen->presentViewController(menu, true);
        advance(ViewController::kTransitionDuration);
        return menu;
    }

    std::shared_ptr<Window> window = std::make_shared<Window>();
    std::shared_ptr<ViewController> screen = std::make_shared<ViewController>();
    std::shared_ptr<BarButtonItem> item = BarButtonItem::withSystemItem(BarButtonSystemItem::Add);
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
};

TEST_F(DocumentMenuAndPickerTest, OptionsRunTheirHandlerAfterTheMenuHasGone) {
    auto menu = presentMenu();
    EXPECT_EQ(ModalPresentationStyle::Popover, menu->modalPresentationStyle());
    int later = 0, first = 0;
    menu->addOptionWithTitle("Later", nullptr, DocumentMenuOrder::Last, [&] { ++later; });
    menu->addOptionWithTitle("First", Image::named("PlusTemplate"), DocumentMenuOrder::First, [&] {
        EXPECT_EQ(nullptr, screen->presentedViewController());
        ++first;
    });
    EXPECT_EQ((std::vector<std::string>{"First", "Later", DocumentMenuViewController::kDocumentBrowserPlaceTitle}),
              menu->rowTitles());
    ASSERT_TRUE(menu->options()[0].image);  // our own plus symbol

    EXPECT_FALSE(menu->userDidSelectOption("Nothing"));
    ASSERT_TRUE(menu->userDidSelectOption("First"));
    EXPECT_FALSE(menu->userDidSelectOption("Later"));  // already going
    EXPECT_EQ(0, first);
    advance(ViewController::kTransitionDuration);
    EXPECT_EQ(1, first);
    EXPECT_EQ(0, later);
    EXPECT_TRUE(recorder->events.empty());
    EXPECT_FALSE(menu->userDidSelectOption("Later"));  // not on screen

    ASSERT_TRUE(presentMenu()->userDidCancel());
    advance(ViewController::kTransitionDuration);
    EXPECT_EQ(std::vector<std::string>{"menu cancelled"}, recorder->events);
}

TEST_F(DocumentMenuAndPickerTest, TheBrowserPlaceHandsOverAPickerOfTheMenusTypesAndMode) {
    ASSERT_TRUE(presentMenu()->userDidSelectOption(DocumentMenuViewController::kDocumentBrowserPlaceTitle));
    advance(ViewController::kTransitionDuration);
    ASSERT_EQ(1u, recorder->pickers.size());
    auto picker = recorder->pickers[0];
    EXPECT_EQ(std::vector<std::string>{"com.example.deck"}, picker->documentTypes());
    EXPECT_EQ(DocumentPickerMode::Open, picker->documentPickerMode());

    const URL url = URL::fileURLWithPath("/elsewhere/Far.flashcards");
    EXPECT_FALSE(picker->userDidPickDocumentAtURL(url));  // not on screen yet
    picker->setDelegate(recorder);
    screen->presentViewController(picker, true);
    advance(ViewController::kTransitionDuration);
    ASSERT_TRUE(picker->userDidPickDocumentAtURL(url));
    EXPECT_EQ(std::vector<std::string>{"picker"}, recorder->events);  // after the dismissal
    advance(ViewController::kTransitionDuration);
    EXPECT_EQ((std::vector<std::string>{"picker", "picked Far.flashcards"}), recorder->events);
    EXPECT_EQ(nullptr, screen->presentedViewController());

    screen->presentViewController(picker, true);
    advance(ViewController::kTransitionDuration);
    ASSERT_TRUE(picker->userDidCancel());
    advance(ViewController::kTransitionDuration);
    EXPECT_EQ("picker cancelled", recorder->events.back());
}

TEST(URLResourceValuesTest, TheHiddenExtensionIsKeptForTheFileUntilChanged) {
    TempDir dir;
    const URL file = URL::fileURLWithPath(dir.file("Deck.flashcards"));
    const URL other = URL::fileURLWithPath(dir.file("Other.flashcards"));
    ASSERT_TRUE(writeStringAtomically("x", file.path()));
    ASSERT_TRUE(writeStringAtomically("y", other.path()));
    EXPECT_EQ(std::optional<Value>(Value(false)), resourceValueForKey(file, URLHasHiddenExtensionKey));
    Error error;
    ASSERT_TRUE(setResourceValue(file, Value(true), URLHasHiddenExtensionKey, &error)) << error.description();
    EXPECT_EQ(std::optional<Value>(Value(true)), resourceValueForKey(file, URLHasHiddenExtensionKey));
    EXPECT_EQ(std::optional<Value>(Value(false)), resourceValueForKey(other, URLHasHiddenExtensionKey));
    ASSERT_TRUE(setResourceValue(file, Value(false), URLHasHiddenExtensionKey));
    EXPECT_EQ(std::optional<Value>(Value(false)), resourceValueForKey(file, URLHasHiddenExtensionKey));

    // A missing file, another key or a value of another kind are refused.
    const URL missing = URL::fileURLWithPath(dir.file("Gone.flashcards"));
    EXPECT_FALSE(setResourceValue(missing, Value(true), URLHasHiddenExtensionKey, &error));
    EXPECT_EQ(NSFileNoSuchFileError, error.code());
    EXPECT_FALSE(resourceValueForKey(missing, URLHasHiddenExtensionKey));
    EXPECT_FALSE(setResourceValue(file, Value(true), URLDocumentIdentifierKey, &error));
    EXPECT_EQ(NSFileWriteUnknownError, error.code());
    EXPECT_FALSE(setResourceValue(file, Value("yes"), URLHasHiddenExtensionKey, &error));
}
