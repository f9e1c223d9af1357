// Decks carried in PDFs that other apps hand over: the import into the
// library on cloud storage, with PDFs made in the test.

#include <atomic>
#include <filesystem>
#include <future>
#include <regex>

#include "Common/FCCDeckDocumentPersistence.h"
#include "Common/LegacyPackageTestSupport.h"
#include "Common/SSZipArchive.h"
#include "Common/ZipTestSupport.h"
#include "app/shell/AppDelegateTestSupport.h"
#include "app/shell/FCPDFAttachmentController.h"
#include "app/shell/FIImportFromPDFViewController.h"
#include "app/shell/PDFTestSupport.h"
#include "model/FCCDeckPreview.h"
#include "platform/document/Document.h"
#include "platform/ui/AlertView.h"

namespace {

using namespace memorant_test;
namespace fs = std::filesystem;

const std::regex kNewIdentifierName("[0-9a-f]{32}\\.studydeck");

std::shared_ptr<AlertView> lastAlertView() {
    auto views = AlertView::visibleAlertViews();
    return views.empty() ? nullptr : views.back();
}

// Writes a PDF carrying the file as FCPDFAttachmentController embeds it.
void writePDFCarrying(const fs::path& file, const fs::path& pdf) {
    fs::create_directories(pdf.parent_path());
    const fs::path plain = file.string() + ".plain.pdf";
    writeFile(plain, makeSmallPDF().bytes);
    Error error;
    ASSERT_TRUE(FCPDFAttachmentController().attachFileAtURL(URL::fileURLWithPath(file.string()),
                                                            URL::fileURLWithPath(plain.string()),
                                                            URL::fileURLWithPath(pdf.string()), &error))
        << error.description();
    fs::remove(plain);
}

class ImportFromPDFTest : public AppDelegateFixture {
protected:
    void SetUp() override {
        // Signed in, with the decks in the cloud.
        setUpApp(UbiquityIdentityToken("alice"));
        setPreference(2);
        saveToken("alice");
    }
    void TearDown() override {
        for (auto& view : AlertView::visibleAlertViews()) view->dismissWithClickedButtonIndex(0, false);
        if (library->presentedViewController()) {
            advance(ViewController::kTransitionDuration);
            library->dismissViewController(false);
        }
        // An imported deck is open; it closes before its folder goes.
        if (auto document = library->currentlyOpenDocument()) {
            bool closed = false;
            document->closeWithCompletionHandler([&](bool) { closed = true; });
            EXPECT_TRUE(runMainLoopUntil([&] { return closed; }));
        }
        AppDelegateFixture::TearDown();
    }

    void launchOnCloud() {
        launch();
        DeckLibraryConfigurator::configureForCloudStorage(AnyObject(library));
        ASSERT_TRUE(settle());
        ASSERT_TRUE(usingCloud());
    }
    // The fixture deck "Biology" zipped and carried in a PDF at the path.
    void writeBiologyPDF(const fs::path& pdf) {
        TempDir packages;
        copyBiologyPackage(packages);
        ASSERT_TRUE(SSZipArchive::createZipFileAtPathWithContentsOfDirectory(scratch.file("deck.zip"), packages.str()));
        writePDFCarrying(scratch.file("deck.zip"), pdf);
    }
    bool open(const fs::path& file) {
        return app->applicationOpenURL(Application::shared(), URL::fileURLWithPath(file.string()), Value::dictionary());
    }
    fs::path legacyDecks() const { return app->debugLegacyCloudContainerURL()->path() + "/decks"; }
    // Every ".studydeck" under the app's folder.
    std::vector<fs::path> decksInHome() const {
        std::vector<fs::path> decks;
        for (const auto& entry : fs::recursive_directory_iterator(home.path()))
            if (entry.path().extension() == ".studydeck") decks.push_back(entry.path());
        return decks;
    }
    std::vector<std::string> temporaryFolder() const { return treeOf(AppContainer::temporaryDirectory()); }

    TempDir scratch;
};

TEST_F(ImportFromPDFTest, TheDeckInAPDFBecomesALegacyDeckUnderANewIdentifierWithItsPreviewAndOpens) {
    launchOnCloud();
    const fs::path pdf = documents() / "Inbox" / "Biology.pdf";
    writeBiologyPDF(pdf);
    window->setTintAdjustmentMode(View::TintAdjustmentMode::Dimmed);

    ASSERT_TRUE(open(pdf));
    // The progress alert is up while the import runs, with the import as its delegate.
    auto progress = lastAlertView();
    ASSERT_NE(nullptr, progress);
    EXPECT_EQ(localized("ImportingCardsFromPDFTitle"), progress->title());
    EXPECT_EQ(localized("ImportingCardsFromPDFCancel"), progress->buttonTitleAtIndex(progress->cancelButtonIndex()));
    ASSERT_NE(nullptr, app->importFromPDFcontroller());
    EXPECT_EQ(app->importFromPDFcontroller(), progress->delegate().lock());

    ASSERT_TRUE(settle());
    EXPECT_TRUE(AlertView::visibleAlertViews().empty());
    EXPECT_EQ(nullptr, app->importFromPDFcontroller());
    EXPECT_EQ(View::TintAdjustmentMode::Normal, window->tintAdjustmentMode());

    const auto decks = decksInHome();
    ASSERT_EQ(1u, decks.size());
    const fs::path deck = decks.front();
    EXPECT_EQ(legacyDecks(), deck.parent_path());
    EXPECT_TRUE(std::regex_match(deck.filename().string(), kNewIdentifierName)) << deck;
    EXPECT_EQ("Biology", fileText(deck / "title"));
    auto preview = FCCDeckDocumentPersistence::_loadPreviewFromURL(
        FCCDeckDocumentPersistence::previewFileURLforDeckURL(URL::fileURLWithPath(deck.string(), true)));
    ASSERT_NE(nullptr, preview);
    EXPECT_EQ("Biology", preview->title());
    EXPECT_EQ(deck.stem().string(), preview->identifier());
    EXPECT_EQ(3, preview->studyCardsCount());

    // The PDF from the Inbox and the working folder are gone; the deck is open.
    EXPECT_FALSE(fs::exists(pdf));
    EXPECT_EQ(std::vector<std::string>{}, temporaryFolder());
    ASSERT_TRUE(runMainLoopUntil([&] { return library->currentlyOpenDocument() != nullptr; }));
    EXPECT_EQ(deck.string(), library->currentlyOpenDocument()->fileURL().path());
}

TEST_F(ImportFromPDFTest, APDFWithoutAUsableDeckShowsTheInvalidPDFAlertAndLeavesNothingBehind) {
    launchOnCloud();
    const std::uint32_t unixMadeBy = 3u << 8;
    const std::string absolute = (home.path() / "escaped.txt").string();
    struct Case {
        const char* what;
        std::optional<std::vector<TestZipEntry>> zip;  // nullopt: a PDF carrying nothing
        bool inInbox;
    };
    const std::vector<Case> cases = {
        {"no embedded file", std::nullopt, true},
        {"no embedded file, outside the Inbox", std::nullopt, false},
        {"a zip without a deck", std::vector<TestZipEntry>{{"notes.txt", "text"}}, false},
        {"a parent entry", std::vector<TestZipEntry>{{"../../escaped.txt", "evil"}}, true},
        {"an absolute entry", std::vector<TestZipEntry>{{absolute, "evil"}}, true},
        {"a symbolic link entry",
         std::vector<TestZipEntry>{{"link", "../..", Z_DEFAULT_COMPRESSION, 0xA1FF0000u, unixMadeBy},
                                   {"link/escaped.txt", "evil"}},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path pdf = (c.inInbox ? documents() / "Inbox" : home.path() / "Shared") / "Paper.pdf";
        if (c.zip) {
            writeTestZip(scratch.file("hostile.zip"), *c.zip);
            writePDFCarrying(scratch.file("hostile.zip"), pdf);
        } else {
            writeFile(pdf, makeSmallPDF().bytes);
        }

        ASSERT_TRUE(open(pdf));
        ASSERT_TRUE(settle());
        auto alert = lastAlertView();
        ASSERT_NE(nullptr, alert);
        EXPECT_EQ(localized("ImportFromPDFInvalidPDFErrorTitle"), alert->title());
        EXPECT_EQ(localized("ImportFromPDFInvalidPDFErrorText"), alert->message());
        EXPECT_EQ(1, alert->numberOfButtons());
        alert->clickButtonAtIndex(0);
        EXPECT_TRUE(AlertView::visibleAlertViews().empty());
        EXPECT_EQ(nullptr, app->importFromPDFcontroller());

        // The PDF goes only from the Inbox; nothing is written outside the working folder, which goes.
        EXPECT_EQ(!c.inInbox, fs::exists(pdf));
        fs::remove(pdf);
        EXPECT_EQ(std::vector<std::string>{}, temporaryFolder());
        EXPECT_EQ(std::vector<fs::path>{}, decksInHome());
        for (const auto& entry : fs::recursive_directory_iterator(home.path()))
            EXPECT_NE("escaped.txt", entry.path().filename()) << entry.path();
    }
}

TEST_F(ImportFromPDFTest, CancellingBeforeTheExtractionEndsAddsNoDeckShowsNoAlertAndCompletesWithNil) {
    launchOnCloud();
    const fs::path pdf = documents() / "Inbox" / "Biology.pdf";
    writeBiologyPDF(pdf);

    auto controller = std::make_shared<FIImportFromPDFViewController>(
        [this]() -> std::optional<URL> { return app->debugLegacyCloudContainerURL(); });
    // The extraction waits until the user has tapped Cancel.
    std::promise<void> tapped;
    std::shared_future<void> whenTapped = tapped.get_future().share();
    std::atomic<bool> extracting{false};
    controller->setEmbeddedFileExtractor([whenTapped, &extracting](const URL& in, const URL& out, Error* error) {
        extracting = true;
        whenTapped.wait();
        return FCPDFAttachmentController().extractFileFromPDFatURL(in, out, error);
    });
    auto progress = std::make_shared<AlertView>("Importing", std::string(), "Cancel");
    progress->setDelegate(controller);
    progress->show();
    controller->setAlert(progress);
    std::optional<std::optional<URL>> result;
    controller->importLegacyDeckFromPDFatURL(URL::fileURLWithPath(pdf.string()), AnyObject(library),
                                             [&](const std::optional<URL>& url) { result = url; });

    const bool started = static_cast<bool>(runMainLoopUntil([&] { return extracting.load(); }));
    progress->clickButtonAtIndex(progress->cancelButtonIndex());
    tapped.set_value();
    ASSERT_TRUE(started);
    EXPECT_TRUE(controller->wasCanceled());
    ASSERT_TRUE(settle());

    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(std::nullopt, *result);
    EXPECT_TRUE(AlertView::visibleAlertViews().empty());
    EXPECT_EQ(std::vector<fs::path>{}, decksInHome());
    EXPECT_EQ(std::vector<std::string>{}, temporaryFolder());
    EXPECT_FALSE(fs::exists(pdf));
}

TEST_F(ImportFromPDFTest, ASecondFileDuringAPDFImportIsUnsupported) {
    launchOnCloud();
    const fs::path pdf = documents() / "Inbox" / "Biology.pdf";
    writeBiologyPDF(pdf);
    const fs::path second = documents() / "Inbox" / "French.flashcards";
    writeFile(second, "french");

    ASSERT_TRUE(open(pdf));
    EXPECT_FALSE(open(second));
    ASSERT_TRUE(settle());
    EXPECT_EQ("french", fileText(second));
    EXPECT_EQ(1u, decksInHome().size());
}

TEST_F(ImportFromPDFTest, WithTheLegacyContainerUnresolvedTheImportEndsWithTheGeneralErrorAndMovesNothing) {
    // A file where the container's folder would go: its look-up at start-up gives nothing.
    writeFile(fs::path(UbiquityContainer::containersRoot()) / FIAppDelegate::kLegacyCloudContainerIdentifier, "");
    launchOnCloud();
    ASSERT_EQ(std::nullopt, app->debugLegacyCloudContainerURL());
    const fs::path pdf = documents() / "Inbox" / "Biology.pdf";
    writeBiologyPDF(pdf);
    AppContainer::temporaryDirectory();  // made on first use
    const auto before = treeOf(home.path());

    ASSERT_TRUE(open(pdf));
    ASSERT_TRUE(settle());
    auto alert = lastAlertView();
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ(localized("ImportFromPDFGeneralErrorTitle"), alert->title());
    EXPECT_EQ(localized("ImportFromPDFGeneralErrorText"), alert->message());
    EXPECT_EQ(nullptr, app->importFromPDFcontroller());
    EXPECT_EQ(nullptr, library->currentlyOpenDocument());

    // The Inbox PDF and the working folder went; nothing else changed.
    std::vector<std::string> expected;
    for (const auto& path : before)
        if (path != "Documents/Inbox/Biology.pdf") expected.push_back(path);
    EXPECT_EQ(expected, treeOf(home.path()));
}

TEST_F(ImportFromPDFTest, TheTargetFollowsTheStorageInUseAndThePreviewIsBuiltFromThePackage) {
    launchOnCloud();
    auto controller = std::make_shared<FIImportFromPDFViewController>(
        [this]() -> std::optional<URL> { return app->debugLegacyCloudContainerURL(); });
    const AnyObject deckLibrary(library);
    EXPECT_EQ(legacyDecks() / "abc.studydeck",
              controller->_legacyDeckTargetURLWithDeckIdentifier("abc", deckLibrary)->path());
    DeckLibraryConfigurator::configureForLocalStorage(deckLibrary);
    ASSERT_TRUE(settle());
    EXPECT_EQ(documents() / "abc.studydeck",
              controller->_legacyDeckTargetURLWithDeckIdentifier("abc", deckLibrary)->path());

    // A package without its title gives no preview, and says why.
    const URL deck = URL::fileURLWithPath(copyBiologyPackage(scratch, "abc.studydeck"), true);
    fs::remove(deck.path() + "/title");
    Error error;
    EXPECT_FALSE(FIImportFromPDFViewController::_rebuildPreviewForDeckAtURL(deck, &error));
    EXPECT_TRUE(error);
    EXPECT_FALSE(fs::exists(scratch.file("abc.studydeck.deckpreview")));
}

}  // namespace
