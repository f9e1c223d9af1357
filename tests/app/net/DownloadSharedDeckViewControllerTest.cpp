// The shared-deck screen driven as a user would: presented as the deck library
// presents it, tapped through the UI driver on the virtual clock, reading from
// a web service played by a local cpp-httplib server.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <utility>

#include "Common/FCDeckSnaphot.h"
#include "Common/FCDeckStoreContext.h"
#include "Common/FCZipBackedBinaryDocumentPersistence.h"
#include "Common/FIFlashcardsDocument.h"
#include "app/net/DownloadSharedDeckViewController.h"
#include "app/net/FCDownloadFromSharedDeckOperation.h"
#include "app/net/SharingTestSupport.h"
#include "model/FCCard.h"
#include "model/FCDeck.h"
#include "model/FCJSONAdditions.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Operation.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/Font.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Layer.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/ProgressView.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

using memorant_test::backlogContains;
using memorant_test::drainMainLoop;
using memorant_test::Reply;
using memorant_test::runMainLoopUntil;
using memorant_test::ScopedServiceHost;
using memorant_test::SharedDeckServer;
using memorant_test::TempDir;

namespace {

using Screen_ = DownloadSharedDeckViewController;

constexpr const char* kStoryboard = "DownloadSharedDeckTest";
const std::string kUnavailable = "Deck unavailable at the moment. Please try again later.";

std::string labelText(const std::shared_ptr<Label>& label) {
    return label && label->text() ? *label->text() : std::string();
}

class DownloadSharedDeckScreenTest : public memorant_test::UITest {
protected:
    SharedDeckServer service;
    ScopedServiceHost host{"127.0.0.1:" + std::to_string(service.server.port())};
    TempDir imports;
    std::shared_ptr<Window> window = std::make_shared<Window>(Rect(0, 0, 390, 844));
    std::shared_ptr<ViewController> root = std::make_shared<ViewController>();
    std::shared_ptr<Screen_> screen;
    Value description;  // what "deckInfo" serves
    std::string coverPNG;

    // What the import saw.
    std::vector<URL> importedFrom;
    std::vector<int> percentAtImport;
    const std::string importedPath = imports.file("Imported.flashcards");
    // The paths of the documents that closed.
    std::vector<std::string> closedDocuments;
    std::shared_ptr<NotificationObserver> closedObserver;

    void SetUp() override {
        Storyboard::registerStoryboard(kStoryboard, [](Storyboard& s) { Screen_::addScene(s); });
        window->setRootViewController(root);
        window->makeKeyAndVisible();

        // A deck as the upload leaves it: "_blank" links.
        auto shared = std::make_shared<FCDeck>();
        shared->setLegacyIdentifier(std::string("_blank"));
        shared->setLegacyTitle(std::string("Capitals"));
        auto inTopic = FCStudyCard::studyCardWithTop("<img src=\"card-attachment:_blank/a.png\">", "Paris", 2);
        auto topic = FCTopicCard::topicCardWithTitle("Europe <img src=\"card-attachment:_blank/b.jpg\">", 1);
        topic->setCards({inTopic});
        shared->setCards({topic, FCStudyCard::studyCardWithTop("Peru?", "Lima", 3)});
        shared->finishInitialization();
        const auto snapshot = FCDeckStoreContext::snapshotForDeck(*shared);
        ASSERT_TRUE(snapshot);
        description = objectFromJSONData(snapshot->deckInfoData()).value_or(Value());
        ASSERT_TRUE(description.isDictionary());
        description.set("title", Value("  Capitals of Europe\n"));
        description.set("studyCardsCount", Value(12));
        Value author;
        author.set("name", Value("Ann"));
        description.set("author", author);
        serveDescription();
        serveIndex(service.url("/deck/info.json"));
        service.set("/deck/cards.json", {200, stringFromData(snapshot->cardsData())});
        service.set("/img/a.png", {200, "PNG-BYTES"});
        service.set("/img/b.jpg", {200, "JPEG-BYTES"});
        auto cover = Image::render(Size{20, 20}, 1, [](GraphicsContext& context) {
            context.setFillColor(Color::redColor());
            context.fillRect(Rect(0, 0, 20, 20));
        });
        coverPNG = stringFromData(cover->pngData().value());
        service.set("/deck/cover200.png", {200, coverPNG});

        // The import moves the file into the library, as the application's does.
        Screen_::setDocumentImporter([this](const URL& url, std::function<void()> completion) {
            importedFrom.push_back(url);
            percentAtImport.push_back(screen && screen->viewModel() ? screen->viewModel()->progressInPercent : -1);
            std::filesystem::rename(url.path(), importedPath);
            completion();
            completion();  // a second call changes nothing
        });
        closedObserver = NotificationCenter::defaultCenter().addObserverForName(
            DocumentStateChangedNotification, nullptr, nullptr, [this](const Notification& notification) {
                auto document = notification.object().as<Document>();
                if (document && (document->documentState() & DocumentStateClosed))
                    closedDocuments.push_back(document->fileURL().path());
            });
    }

    void TearDown() override {
        service.server.release();
        if (screen) {
            auto queue = screen->backgroundQueue();
            EXPECT_TRUE(runMainLoopUntil([&] { return queue->operationCount() == 0; }));
            drainMainLoop();
        }
        if (root->presentedViewController()) root->dismissViewController(false);
        drainMainLoop();
        closedObserver.reset();
        Screen_::setDocumentImporter(nullptr);
        Storyboard::unregisterStoryboard(kStoryboard);
        window->setHidden(true);
        UITest::TearDown();
    }

    void serveDescription() { serveDescription(description); }
    void serveDescription(const Value& value) {
        service.set("/deck/info.json", {200, JSONString(*value.asDictionary()).value_or("")});
    }
    void serveIndex(const std::string& deckInfo, const std::string& pid = "abc123") {
        Value index;
        index.set("cards", Value(service.url("/deck/cards.json")));
        if (!deckInfo.empty()) index.set("deckInfo", Value(deckInfo));
        Value files;
        files.append(Value(service.url("/img/a.png")));
        files.append(Value(service.url("/img/b.jpg")));
        index.set("files", files);
        service.set("/share/api/?cmd=deckindex&pid=" + pid, {200, JSONString(*index.asDictionary()).value_or("")});
    }

    // Presents the screen as the deck library does; the presentation is
    // still running when this returns.
    void present(const std::string& pid) {
        screen = Storyboard::storyboardWithName(kStoryboard)->instantiate<Screen_>(Screen_::kSceneIdentifier);
        ASSERT_NE(nullptr, screen);
        screen->setModalPresentationStyle(ModalPresentationStyle::Popover);
        screen->setModalInPresentation(true);
        auto popover = screen->popoverPresentationController();
        popover->setDelegate(std::static_pointer_cast<PopoverPresentationControllerDelegate>(screen));
        popover->setSourceView(root->view());
        popover->setSourceRect(Rect(195, 422, 0, 0));
        popover->setPermittedArrowDirections(0);
        screen->setPreferredContentSize(Size{320, 220});
        screen->setPublicDeckIdentifier(pid);
        std::weak_ptr<Screen_> weak = screen;
        root->presentViewController(screen, true, [weak] {
            auto presented = weak.lock();
            if (!presented) return;
            presented->setState(Screen_::State::loadingDetails);
            presented->updateUI();
        });
    }
    void presentAndShowDetails(const std::string& pid = "abc123") {
        present(pid);
        advance(ViewController::kTransitionDuration);
        ASSERT_TRUE(runMainLoopUntil([&] { return screen->state() == Screen_::State::showingDetails; }));
    }
    void waitForQueue() {
        ASSERT_TRUE(runMainLoopUntil([&] { return screen->backgroundQueue()->operationCount() == 0; }));
        drainMainLoop();
    }
    void closeScreen() {
        waitForQueue();
        takeScreenAway();
    }

    // Dismisses the screen and lets go of it, as the library does; whether
    // nothing else holds it then.
    bool takeScreenAway() {
        root->dismissViewController(false);
        drainMainLoop();
        std::weak_ptr<Screen_> gone = screen;
        screen.reset();
        return gone.expired();
    }

    void tapDownload() { ASSERT_TRUE(UIDriver::tap(*screen->downloadButton())); }
    static bool folderExists(const URL& folder) { return std::filesystem::exists(folder.path()); }
    bool wasClosed(const URL& document) const {
        return std::find(closedDocuments.begin(), closedDocuments.end(), document.path()) != closedDocuments.end();
    }
};

TEST_F(DownloadSharedDeckScreenTest, ShowsTheSharedDeckOnceThePresentationHasFinished) {
    present("abc123");
    // Loaded, not yet loading: the placeholder cover and a disabled button.
    EXPECT_EQ(Screen_::State::initial, screen->state());
    EXPECT_FALSE(screen->downloadButton()->isEnabled());
    EXPECT_EQ("Download", screen->downloadButton()->titleForState(ControlStateNormal));
    auto cover = screen->coverImageView();
    ASSERT_EQ(1u, cover->layer().sublayers().size());
    auto circle = std::dynamic_pointer_cast<ShapeLayer>(cover->layer().sublayers()[0]);
    ASSERT_NE(nullptr, circle);
    EXPECT_EQ(cover->bounds(), circle->frame());
    EXPECT_TRUE(circle->path().has_value());
    EXPECT_TRUE(memorant_test::colorNear(circle->fillColor().value(), Color::white(1, 0.6)));
    ASSERT_EQ(1u, circle->sublayers().size());
    auto questionMark = std::dynamic_pointer_cast<TextLayer>(circle->sublayers()[0]);
    ASSERT_NE(nullptr, questionMark);
    EXPECT_EQ("?", questionMark->string());
    EXPECT_EQ(34, questionMark->fontSize());
    EXPECT_EQ(TextLayerAlignment::Center, questionMark->alignmentMode());
    EXPECT_EQ(Screen::main().scale(), questionMark->contentsScale());
    EXPECT_TRUE(memorant_test::colorNear(questionMark->foregroundColor(), Color::lightGrayColor()));
    const double height = Font::systemFont(34).sizeOfText("?").height;
    EXPECT_DOUBLE_EQ((cover->bounds().height() - height) / 2, questionMark->frame().origin.y);
    EXPECT_TRUE(service.requests().empty());

    // The presentation finished: loading.
    service.set("/deck/info.json", {200, JSONString(*description.asDictionary()).value_or(""), true});
    advance(ViewController::kTransitionDuration);
    EXPECT_EQ(Screen_::State::loadingDetails, screen->state());
    EXPECT_EQ("Loading…", labelText(screen->firstSubTitleLabel()));
    EXPECT_FALSE(screen->firstSubTitleLabel()->isEnabled());
    EXPECT_TRUE(screen->progressIndicator()->isAnimating());
    EXPECT_FALSE(screen->downloadButton()->isEnabled());
    ASSERT_TRUE(runMainLoopUntil([&] { return service.stalled.load(); }));
    service.server.release();

    ASSERT_TRUE(runMainLoopUntil([&] { return screen->state() == Screen_::State::showingDetails; }));
    EXPECT_EQ("Capitals of Europe", labelText(screen->titleLabel()));
    EXPECT_EQ("12 cards", labelText(screen->firstSubTitleLabel()));
    EXPECT_EQ("shared by Ann", labelText(screen->secondSubTitleLabel()));
    EXPECT_EQ(std::nullopt, screen->errorLabel()->text());
    EXPECT_TRUE(screen->firstSubTitleLabel()->isEnabled());
    EXPECT_FALSE(screen->progressIndicator()->isAnimating());
    EXPECT_TRUE(screen->downloadButton()->isEnabled());
    // The cover took the placeholder's place.
    EXPECT_TRUE(cover->layer().sublayers().empty());
    ASSERT_NE(nullptr, cover->image());
    EXPECT_EQ((Size{20, 20}), cover->image()->size());
    EXPECT_EQ((std::vector<std::string>{"/share/api/", "/deck/info.json", "/deck/cover200.png"}), service.requests());
}

// On a phone, where the width is compact, the screen stays the small popover
// it was presented as instead of becoming a sheet over the whole window.
TEST_F(DownloadSharedDeckScreenTest, StaysAPopoverWhereTheWidthIsCompact) {
    ASSERT_EQ(UserInterfaceSizeClass::Compact, window->traitCollection().horizontalSizeClass);
    present("abc123");
    advance(ViewController::kTransitionDuration);
    auto popover = screen->popoverPresentationController();
    ASSERT_NE(nullptr, popover);
    EXPECT_EQ(ModalPresentationStyle::Popover, popover->adaptedPresentationStyle(window->traitCollection()));
    EXPECT_EQ((Size{320, 220}), screen->view()->frame().size);
    closeScreen();
}

TEST_F(DownloadSharedDeckScreenTest, DescriptionsThatSayLessFallBack) {
    struct Case {
        std::string name;
        std::optional<Value> title;  // nullopt: no "title"
        std::optional<Value> count;
        std::optional<Value> author;
        std::optional<Reply> titleReply;  // "?cmd=gettitle"
        std::optional<Reply> cover;       // nullopt: none served
        std::string shownTitle, shownCount, shownAuthor;
        bool hasCover;
    };
    Value nameless;
    nameless.set("nick", Value("x"));
    const std::vector<Case> cases{
        {"no title: the title request", std::nullopt, Value(0), std::nullopt,
         Reply{200, R"({"title":"  From The Service "})"}, Reply{200, coverPNG}, "From The Service", "no cards",
         "shared by n/a", true},
        {"blank title, no title request", Value(" \n"), Value(1), nameless, std::nullopt, std::nullopt,
         "Downloaded Deck", "1 card", "shared by n/a", false},
        {"title request without a title", Value(""), Value("12"), Value("Ann"), Reply{200, R"({"name":"x"})"},
         Reply{200, "not an image"}, "Downloaded Deck", "no cards", "shared by n/a", false},
        {"a count of 12", Value("Rivers"), Value(12), std::nullopt, std::nullopt, Reply{404, ""}, "Rivers", "12 cards",
         "shared by n/a", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Value info = description;
        info.remove("title");
        info.remove("studyCardsCount");
        info.remove("author");
        if (c.title) info.set("title", *c.title);
        if (c.count) info.set("studyCardsCount", *c.count);
        if (c.author) info.set("author", *c.author);
        serveDescription(info);
        if (c.titleReply)
            service.set("/share/api/?cmd=gettitle&pid=abc123", *c.titleReply);
        else
            service.remove("/share/api/?cmd=gettitle&pid=abc123");
        if (c.cover)
            service.set("/deck/cover200.png", *c.cover);
        else
            service.remove("/deck/cover200.png");

        presentAndShowDetails();
        EXPECT_EQ(c.shownTitle, labelText(screen->titleLabel()));
        EXPECT_EQ(c.shownCount, labelText(screen->firstSubTitleLabel()));
        EXPECT_EQ(c.shownAuthor, labelText(screen->secondSubTitleLabel()));
        EXPECT_EQ(c.hasCover, screen->coverImageView()->image() != nullptr);
        EXPECT_EQ(c.hasCover ? 0u : 1u, screen->coverImageView()->layer().sublayers().size());
        closeScreen();
    }
}

TEST_F(DownloadSharedDeckScreenTest, OnlyIdentifiersOfWordCharactersReachTheService) {
    const std::vector<std::pair<std::string, bool>> identifiers{
        {"abc123", true}, {"X_9", true},  {"déck", true}, {"Ж9", true},    {"", false},     {"x&cmd=gettitle", false},
        {"a#b", false},   {"a/b", false}, {"a b", false}, {"../x", false}, {"a%20", false}, {"abc\n", false},
    };
    for (const auto& [identifier, usable] : identifiers)
        EXPECT_EQ(usable, Screen_::isUsablePublicDeckIdentifier(identifier)) << identifier;

    // A word of other scripts goes out percent-encoded and arrives whole.
    serveIndex(service.url("/deck/info.json"), "déck");
    presentAndShowDetails("déck");
    EXPECT_EQ("Capitals of Europe", labelText(screen->titleLabel()));
    closeScreen();

    const std::size_t before = service.requests().size();
    present("x&cmd=gettitle");
    advance(ViewController::kTransitionDuration);
    ASSERT_TRUE(runMainLoopUntil([&] { return screen->viewModel()->error.has_value(); }));
    EXPECT_EQ(kUnavailable, labelText(screen->errorLabel()));
    EXPECT_EQ("", labelText(screen->firstSubTitleLabel()));
    EXPECT_FALSE(screen->progressIndicator()->isAnimating());
    EXPECT_TRUE(memorant_test::colorNear(screen->progressBar()->tintColor(), Color::lightGrayColor()));
    EXPECT_EQ(Screen_::State::loadingDetails, screen->state());
    EXPECT_FALSE(screen->downloadButton()->isEnabled());
    EXPECT_TRUE(backlogContains("Error downloading details for shared deck 'x&cmd=gettitle'. Error: "));
    waitForQueue();
    EXPECT_EQ(before, service.requests().size());
}

TEST_F(DownloadSharedDeckScreenTest, DetailsThatCannotBeReadLeaveTheDeckUnavailable) {
    // A description on this machine that the service points to.
    TempDir local;
    const std::string localInfo = local.file("info.json");
    ASSERT_TRUE(writeStringAtomically(JSONString(*description.asDictionary()).value_or(""), localInfo));
    struct Case {
        std::string name;
        std::function<void()> serve;
    };
    const std::vector<Case> cases{
        {"index missing", [&] { service.remove("/share/api/?cmd=deckindex&pid=abc123"); }},
        {"index an array",
         [&] {
             service.set("/share/api/?cmd=deckindex&pid=abc123", {200, "[1,2]"});
         }},
        {"description an array",
         [&] {
             service.set("/deck/info.json", {200, "[1]"});
         }},
        {"description not JSON",
         [&] {
             service.set("/deck/info.json", {200, "hello"});
         }},
        {"description on this machine", [&] { serveIndex(URL::fileURLWithPath(localInfo).absoluteString()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        serveIndex(service.url("/deck/info.json"));
        serveDescription();
        c.serve();
        present("abc123");
        advance(ViewController::kTransitionDuration);
        ASSERT_TRUE(runMainLoopUntil([&] { return screen->viewModel()->error.has_value(); }));
        EXPECT_EQ(kUnavailable, labelText(screen->errorLabel()));
        EXPECT_EQ("", labelText(screen->titleLabel()));
        EXPECT_EQ("", labelText(screen->firstSubTitleLabel()));
        EXPECT_FALSE(screen->progressIndicator()->isAnimating());
        EXPECT_FALSE(screen->downloadButton()->isEnabled());
        EXPECT_TRUE(backlogContains("Error downloading details for shared deck 'abc123'. Error: "));
        closeScreen();
    }

    // An index without a description: "Loading…" stays, without an error.
    serveIndex("");
    present("abc123");
    advance(ViewController::kTransitionDuration);
    waitForQueue();
    EXPECT_EQ(Screen_::State::loadingDetails, screen->state());
    EXPECT_EQ("Loading…", labelText(screen->firstSubTitleLabel()));
    EXPECT_TRUE(screen->progressIndicator()->isAnimating());
    EXPECT_EQ(std::nullopt, screen->viewModel()->error);
}

TEST_F(DownloadSharedDeckScreenTest, DownloadsIntoANewDocumentThatTheImportTakesOnce) {
    description.set("title", Value("Capitals/Europe: 2"));
    serveDescription();
    presentAndShowDetails();
    service.set("/img/b.jpg", {200, "JPEG-BYTES", true});
    tapDownload();
    EXPECT_EQ(Screen_::State::downloading, screen->state());
    EXPECT_FALSE(screen->downloadButton()->isEnabled());
    EXPECT_EQ("Downloading", screen->downloadButton()->titleForState(ControlStateNormal));

    // Halfway through the images.
    ASSERT_TRUE(runMainLoopUntil([&] { return service.stalled.load(); }));
    ASSERT_TRUE(runMainLoopUntil([&] { return screen->viewModel()->progressInPercent == 50; }));
    EXPECT_EQ("Downloading images…", screen->downloadButton()->titleForState(ControlStateNormal));
    EXPECT_FLOAT_EQ(0.5f, screen->progressBar()->progress());
    const URL folder = screen->temporaryFolderURL().value();
    const URL document = screen->documentURL().value();
    EXPECT_EQ(std::filesystem::path(AppContainer::temporaryDirectory()),
              std::filesystem::path(folder.path()).parent_path());
    EXPECT_EQ(36u, folder.lastPathComponent().size());  // a new UUID
    EXPECT_EQ("Capitals-Europe- 2.flashcards", document.lastPathComponent());
    EXPECT_EQ(folder.path(), document.URLByDeletingLastPathComponent().path());
    EXPECT_EQ(nullptr, screen->pendingDocument());  // made once every image is in

    // The percentage is the progress truncated.
    auto operation = screen->downloadOperation();
    ASSERT_NE(nullptr, operation);
    for (const auto& [fraction, percent] : std::vector<std::pair<double, int>>{{0.05, 5}, {0.333, 33}, {0.29, 28}}) {
        operation->didUpdateProgress()(fraction);
        EXPECT_EQ(percent, screen->viewModel()->progressInPercent) << fraction;
    }
    service.server.release();

    ASSERT_TRUE(runMainLoopUntil([&] { return !importedFrom.empty(); }));
    EXPECT_EQ(std::vector<URL>{document}, importedFrom);
    EXPECT_EQ(std::vector<int>{100}, percentAtImport);
    EXPECT_TRUE(wasClosed(document));  // closed before it was handed over
    drainMainLoop();
    EXPECT_EQ(nullptr, root->presentedViewController());
    ASSERT_TRUE(runMainLoopUntil([&] { return !folderExists(folder); }));
    EXPECT_EQ(1u, importedFrom.size());

    // The imported deck, opened again, has its cards and every image.
    auto reread = FIFlashcardsDocument::initWithFileURL(URL::fileURLWithPath(importedPath));
    std::optional<bool> opened;
    reread->openWithCompletionHandler([&](bool ok) { opened = ok; });
    ASSERT_TRUE(runMainLoopUntil([&] { return opened.has_value(); }));
    ASSERT_TRUE(*opened);
    ASSERT_EQ(2u, reread->deck()->cards().size());
    auto topic = std::dynamic_pointer_cast<FCTopicCard>(reread->deck()->cards()[0]);
    ASSERT_NE(nullptr, topic);
    EXPECT_EQ("Europe <img src=\"card-attachment://b.jpg\">", topic->title());
    EXPECT_EQ(dataFromString("PNG-BYTES"),
              reread->zipBackedPersistence()->dataForAttachmentWithName(std::string("a.png")));
    EXPECT_EQ(dataFromString("JPEG-BYTES"),
              reread->zipBackedPersistence()->dataForAttachmentWithName(std::string("b.jpg")));
    bool closed = false;
    reread->closeWithCompletionHandler([&](bool) { closed = true; });
    ASSERT_TRUE(runMainLoopUntil([&] { return closed; }));
}

TEST_F(DownloadSharedDeckScreenTest, AFailedDownloadShowsWhyAndRemovesItsFolder) {
    presentAndShowDetails();
    service.remove("/img/b.jpg");
    tapDownload();
    ASSERT_TRUE(runMainLoopUntil([&] { return screen->viewModel()->error.has_value(); }));
    const URL folder = screen->temporaryFolderURL().value();
    const URL document = screen->documentURL().value();
    EXPECT_EQ("Not all card images could be downloaded.", labelText(screen->errorLabel()));
    EXPECT_EQ("", labelText(screen->titleLabel()));
    EXPECT_EQ("", labelText(screen->firstSubTitleLabel()));
    EXPECT_EQ("", labelText(screen->secondSubTitleLabel()));
    EXPECT_EQ(Screen_::State::downloading, screen->state());
    EXPECT_FALSE(screen->downloadButton()->isEnabled());
    EXPECT_TRUE(
        backlogContains("Error downloading shared deck: abc123. Error: Not all card images could be downloaded."));
    ASSERT_TRUE(runMainLoopUntil([&] { return !folderExists(folder); }));
    EXPECT_FALSE(std::filesystem::exists(document.path()));
    EXPECT_TRUE(importedFrom.empty());
    EXPECT_EQ(screen, root->presentedViewController());
}

namespace {
// The deck packages in the caches folder.
std::set<std::string> cachedPackages() {
    std::set<std::string> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(AppContainer::cachesDirectory(), ec))
        if (entry.path().extension() == ".bundle") found.insert(entry.path().filename().string());
    return found;
}
}  // namespace

TEST_F(DownloadSharedDeckScreenTest, ATitleTooLongForAFileNameMakesAShortenedNameAndLeavesNoPackage) {
    const std::string e = "\u00e9";  // two bytes
    auto repeated = [](const std::string& text, int count) {
        std::string out;
        for (int i = 0; i < count; ++i) out += text;
        return out;
    };
    const struct {
        const char* what;
        std::string title;
        std::string stem;  // the file name without its extension
    } cases[] = {
        {"300 bytes", repeated(e, 150), repeated(e, 100)},
        {"a NUL and a slash inside", std::string("A\0B/", 4) + repeated(e, 148) + "Z", "AB-" + repeated(e, 98)},
    };
    const std::set<std::string> packagesBefore = cachedPackages();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        importedFrom.clear();
        description.set("title", Value(c.title));
        serveDescription();
        presentAndShowDetails();
        EXPECT_EQ(labelText(screen->titleLabel()), c.title);  // the screen shows the whole title
        tapDownload();
        ASSERT_TRUE(runMainLoopUntil([&] { return !importedFrom.empty(); })) << labelText(screen->errorLabel());
        EXPECT_EQ(importedFrom[0].lastPathComponent(), c.stem + ".flashcards");
        EXPECT_TRUE(std::filesystem::exists(importedPath));
        closeScreen();
        EXPECT_EQ(cachedPackages(), packagesBefore);
    }
}

TEST_F(DownloadSharedDeckScreenTest, ASaveThatFailsShowsItsMessageAndLeavesNothingBehind) {
    presentAndShowDetails();
    // The caches folder where the document's package goes is a plain file.
    const std::string caches = AppContainer::cachesDirectory();
    const std::string aside = caches + ".aside";
    std::filesystem::rename(caches, aside);
    ASSERT_TRUE(writeDataAtomically(Data{1}, caches));
    tapDownload();
    const bool shown = runMainLoopUntil([&] { return screen->viewModel()->error.has_value(); });
    std::filesystem::remove(caches);
    std::filesystem::rename(aside, caches);
    ASSERT_TRUE(shown);
    EXPECT_FALSE(labelText(screen->errorLabel()).empty());
    EXPECT_TRUE(backlogContains("Error saving downloaded document at url: "));
    const URL folder = screen->temporaryFolderURL().value();
    ASSERT_TRUE(runMainLoopUntil([&] { return !folderExists(folder); }));
    EXPECT_TRUE(importedFrom.empty());

    // A normal download still works afterwards.
    closeScreen();
    presentAndShowDetails();
    tapDownload();
    ASSERT_TRUE(runMainLoopUntil([&] { return !importedFrom.empty(); }));
}

TEST_F(DownloadSharedDeckScreenTest, CancelDuringTheDownloadDismissesAtOnceAndTheFolderStillGoes) {
    presentAndShowDetails();
    service.set("/img/b.jpg", {200, "JPEG-BYTES", true});
    tapDownload();
    ASSERT_TRUE(runMainLoopUntil([&] { return service.stalled.load(); }));
    const URL folder = screen->temporaryFolderURL().value();

    auto cancelItem = screen->navigationItem().leftBarButtonItem();
    ASSERT_NE(nullptr, cancelItem);
    EXPECT_EQ(BarButtonSystemItem::Cancel, cancelItem->systemItem());
    ASSERT_TRUE(UIDriver::tap(*cancelItem));
    advance(ViewController::kTransitionDuration);
    EXPECT_EQ(nullptr, root->presentedViewController());
    std::weak_ptr<Screen_> gone = screen;
    screen.reset();
    EXPECT_TRUE(gone.expired());

    // The cancel stopped the image read: the download ends without the import.
    ASSERT_TRUE(runMainLoopUntil([&] { return !folderExists(folder); }));
    EXPECT_TRUE(importedFrom.empty());
    EXPECT_TRUE(backlogContains("Error downloading shared deck: nil. Error: nil"));
}

TEST_F(DownloadSharedDeckScreenTest, ADocumentMadeAfterTheScreenHasGoneIsClosed) {
    presentAndShowDetails();
    service.set("/deck/cards.json", {200, "[]", true});
    tapDownload();
    ASSERT_TRUE(runMainLoopUntil([&] { return service.stalled.load(); }));
    const URL folder = screen->temporaryFolderURL().value();
    const URL document = screen->documentURL().value();
    EXPECT_EQ(nullptr, screen->pendingDocument());

    // The library takes the screen away while the download goes on.
    ASSERT_TRUE(takeScreenAway());
    service.server.release();

    ASSERT_TRUE(runMainLoopUntil([&] { return !folderExists(folder); }));
    EXPECT_TRUE(wasClosed(document));
    EXPECT_TRUE(importedFrom.empty());
}

// The screen taken away once the download has made its document: while the
// images go into it, or as its final save begins. The document is closed all
// the same, its folder goes, and nothing is imported.
TEST_F(DownloadSharedDeckScreenTest, ADocumentWhoseScreenGoesWhileItIsFilledIsClosed) {
    struct SignalOnExit {
        DispatchSemaphore semaphore;
        ~SignalOnExit() { semaphore.signal(); }
    };
    for (const bool duringImages : {true, false}) {
        SCOPED_TRACE(duringImages ? "during the images" : "at the final save");
        presentAndShowDetails();
        // The download waits behind this until the test has hooked into it;
        // then the operation's thread waits at the chosen moment until the
        // screen has gone.
        SignalOnExit start, screenGone;
        screen->backgroundQueue()->addOperationWithBlock([semaphore = start.semaphore]() mutable { semaphore.wait(); });
        tapDownload();
        auto operation = screen->downloadOperation();
        ASSERT_NE(nullptr, operation);
        std::atomic<bool> reached{false};
        auto pause = [&reached, semaphore = screenGone.semaphore]() mutable {
            reached = true;
            semaphore.wait();
        };
        if (duringImages) {
            operation->setOnCurrentQueueDidDownloadImage(
                [image = operation->onCurrentQueueDidDownloadImage(), pause, first = true](const std::string& name,
                                                                                           const Data& data) mutable {
                    image(name, data);
                    if (std::exchange(first, false)) pause();
                });
        } else {
            operation->setOnCurrentQueueDidFinishDownload(
                [finish = operation->onCurrentQueueDidFinishDownload(), pause]() mutable {
                    pause();
                    finish();
                });
        }
        start.semaphore.signal();
        ASSERT_TRUE(runMainLoopUntil([&] { return reached.load(); }));
        ASSERT_NE(nullptr, screen->pendingDocument());
        const URL folder = screen->temporaryFolderURL().value();
        const URL document = screen->documentURL().value();

        ASSERT_TRUE(takeScreenAway());
        screenGone.semaphore.signal();

        ASSERT_TRUE(runMainLoopUntil([&] { return !folderExists(folder); }));
        EXPECT_TRUE(wasClosed(document));
        EXPECT_TRUE(importedFrom.empty());
        closedDocuments.clear();
    }
}

}  // namespace
