#include "Common/FIFlashcardsDocument.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "Common/FCCUserDocumentSettings.h"
#include "Common/FCPersistenceError.h"
#include "Common/FCZipBackedBinaryDocumentPersistence.h"
#include "Common/SSZipArchive.h"
#include "Common/ZipTestSupport.h"
#include "model/FCCard.h"
#include "model/FCCoverStyle.h"
#include "model/FCDeck.h"
#include "model/FCReversedStudyCard.h"
#include "model/FCStudyStats.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Dispatch.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"
#include "support/MainLoop.h"
#include "support/TestEnvironment.h"

using namespace memorant_test;
namespace fs = std::filesystem;

namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> cacheFolders() {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(AppContainer::cachesDirectory()))
        if (e.path().extension() == ".bundle") out.push_back(e.path().string());
    return out;
}

std::shared_ptr<FCStudyCard> firstCard(const FIDeckDocument& document) {
    return std::static_pointer_cast<FCStudyCard>(document.deck()->cards().at(0));
}

// A solid image, as a cover icon or a custom cover image.
std::shared_ptr<Image> solidImage(Size size, const Color& color) {
    return Image::render(size, 1, [&](GraphicsContext& context) {
        context.setFillColor(color);
        context.fillRect(Rect{{0, 0}, size});
    });
}

class RecordingDelegate : public FIDeckDocumentDelegate {
public:
    int loaded = 0;
    bool loadedOnMain = false;
    std::function<void()> pendingDeletion;
    void deckDocumentLoadedFromDisk(const std::shared_ptr<FIDeckDocument>&) override {
        ++loaded;
        loadedOnMain = DispatchQueue::main().isCurrent();
    }
    void deckDocumentDeletedOnAnotherDevice(const std::shared_ptr<FIDeckDocument>&,
                                            std::function<void()> completion) override {
        pendingDeletion = std::move(completion);
    }
};

// A document whose writing of the package fails after leaving junk behind.
class FailingWriteDocument : public FIFlashcardsDocument {
public:
    using FIFlashcardsDocument::FIFlashcardsDocument;
    bool fail = true;
    bool writeContents(const std::any& contents, const URL& url, DocumentSaveOperation op,
                       const std::optional<URL>& original, Error* error) override {
        if (!fail) return FIFlashcardsDocument::writeContents(contents, url, op, original, error);
        std::ofstream(url.path()) << "junk";
        Error::set(error, Error(FCPersistenceErrorDomain, -1));
        return false;
    }
};

class FIFlashcardsDocumentTest : public VirtualClockTest {
protected:
    TempDir dir;
    URL url = URL::fileURLWithPath(dir.file("Spanish.flashcards"));
    int alerts = 0;
    int iconDraws = 0;

    void SetUp() override {
        FIFlashcardsDocument::setErrorAlertPresenter([this](const auto& document) {
            EXPECT_TRUE(DispatchQueue::main().isCurrent());
            EXPECT_TRUE(document->lastError());
            ++alerts;
        });
        FIFlashcardsDocument::setCoverIconImageProvider([this](const std::string& name, Size fit) {
            EXPECT_EQ(name, FCCoverStyle::fileNameForIconName(*FCCoverStyle::defaultStyle()->iconName()) + ".pdf");
            ++iconDraws;
            return solidImage(Size{fit.height, fit.height}, Color::rgb(0x00ff00));
        });
    }
    void TearDown() override {
        FIFlashcardsDocument::setErrorAlertPresenter(nullptr);
        FIFlashcardsDocument::setCoverIconImageProvider(nullptr);
    }

    bool call(const std::function<void(Document::Completion)>& start) {
        std::optional<bool> result;
        start([&](bool ok) { result = ok; });
        EXPECT_TRUE(runMainLoopUntil([&] { return result.has_value(); }));
        return result.value_or(false);
    }

    void createDocument() {
        auto document = FIFlashcardsDocument::initNewDocumentWithFileURL(url);
        ASSERT_TRUE(call([&](auto done) { document->saveToURL(url, DocumentSaveOperation::ForCreating, done); }));
        ASSERT_TRUE(call([&](auto done) { document->closeWithCompletionHandler(done); }));
    }

    std::shared_ptr<FIFlashcardsDocument> open(bool expectSuccess = true) {
        auto document = FIFlashcardsDocument::initWithFileURL(url);
        EXPECT_EQ(call([&](auto done) { document->openWithCompletionHandler(done); }), expectSuccess);
        return document;
    }

    void waitForFileQueue(const std::shared_ptr<FIFlashcardsDocument>& document) {
        EXPECT_TRUE(
            call([&](auto done) { document->performAsynchronousFileAccessUsingBlock([done] { done(true); }); }));
    }
};

TEST_F(FIFlashcardsDocumentTest, NewDocumentHoldsOneEmptyCardNumberedLikeEveryDeck) {
    auto cover = FCCoverStyle::defaultStyle();
    cover->setIconName("star");
    auto document = FIFlashcardsDocument::initNewDocumentWithFileURL(url, cover);
    ASSERT_EQ(document->deck()->cards().size(), 1u);
    EXPECT_EQ(firstCard(*document)->top(), "");
    EXPECT_EQ(firstCard(*document)->bottom(), "");
    EXPECT_EQ(firstCard(*document)->primaryKey(), 1);
    EXPECT_EQ(document->deck()->coverStyle()->iconName(), "star");
    EXPECT_TRUE(document->userDocumentSettings());
    EXPECT_FALSE(document->needsThumbnailUpdate());
    EXPECT_FALSE(document->isLegacyFormat());

    struct TitleCase {
        std::string file, title;
    };
    for (const auto& c : std::vector<TitleCase>{{"Spanish.flashcards", "Spanish"},
                                                {"Spanish.studydeck", "Spanish.studydeck"},
                                                {"My.deck.flashcards", "My.deck"}}) {
        EXPECT_EQ(FIFlashcardsDocument::initWithFileURL(URL::fileURLWithPath(dir.file(c.file)))->deckTitle(), c.title);
    }
}

TEST_F(FIFlashcardsDocumentTest, ChangesReportedAutosaveAndAreThereAfterReopening) {
    createDocument();
    auto delegate = std::make_shared<RecordingDelegate>();
    auto document = FIFlashcardsDocument::initWithFileURL(url);
    document->setDelegate(delegate);
    ASSERT_TRUE(call([&](auto done) { document->openWithCompletionHandler(done); }));
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->loaded == 1; }));
    EXPECT_TRUE(delegate->loadedOnMain);

    // A rating, a new card and a cover, each through its change report.
    firstCard(*document)->updateLeitnerRating(2);
    document->didUpdateStudyStatsForCardWithIdentifier(std::nullopt);
    auto added = FCStudyCard::studyCardWithTop("gato", "cat", document->deck()->nextAvailableCardPrimaryKey());
    document->deck()->cards().push_back(added);
    document->didAddOrRemoveCards();
    document->deck()->coverStyle()->setStartHexColor("#3996f9");
    document->didChangeCoverStyle();
    document->updatePreferredStudyDirection(2);
    EXPECT_TRUE(document->hasUnsavedChanges());
    EXPECT_EQ(document->deck()->studyCardsCount(), 2);

    advance(Document::autosaveDelay());
    ASSERT_TRUE(runMainLoopUntil([&] { return !document->hasUnsavedChanges(); }));
    EXPECT_EQ(document->lastAvailableFileSize(), static_cast<std::int64_t>(fs::file_size(url.path())));
    EXPECT_FALSE(cacheFolders().empty());
    ASSERT_TRUE(call([&](auto done) { document->closeWithCompletionHandler(done); }));
    EXPECT_TRUE(cacheFolders().empty());

    auto reopened = open();
    ASSERT_EQ(reopened->deck()->cards().size(), 2u);
    EXPECT_EQ(firstCard(*reopened)->studyStats()->pastResults(), std::vector<std::int64_t>{2});
    EXPECT_EQ(std::static_pointer_cast<FCStudyCard>(reopened->deck()->cards()[1])->top(), "gato");
    EXPECT_EQ(reopened->deck()->coverStyle()->startHexColor(), "#3996f9");
    EXPECT_EQ(reopened->deck()->preferredStudyDirection(), 2);
    ASSERT_TRUE(call([&](auto done) { reopened->closeWithCompletionHandler(done); }));
}

TEST_F(FIFlashcardsDocumentTest, RevertDropsTheCacheAndTheChangesButNotForAClosedDocument) {
    createDocument();
    auto document = open();
    document->addNewAttachmentWithData(Data{1, 2, 3}, std::string("pic.png"));
    waitForFileQueue(document);
    EXPECT_EQ(cacheFolders().size(), 1u);
    EXPECT_TRUE(document->hasUnsavedChanges());

    EXPECT_TRUE(call([&](auto done) { document->revertToContentsOfURL(url, done); }));
    EXPECT_TRUE(cacheFolders().empty());
    EXPECT_FALSE(document->hasUnsavedChanges());
    EXPECT_FALSE(document->zipBackedPersistence()->hasCardAttachmentWithName(std::string("pic.png")));

    ASSERT_TRUE(call([&](auto done) { document->closeWithCompletionHandler(done); }));
    EXPECT_FALSE(call([&](auto done) { document->revertToContentsOfURL(url, done); }));
}

TEST_F(FIFlashcardsDocumentTest, UnreadableFilesFailToOpenWithOrWithoutAnAlert) {
    struct Case {
        std::string label;
        std::vector<TestZipEntry> entries;
        std::string domain;
        std::int64_t code;
        int alerts;
    };
    const std::vector<Case> cases = {
        {"newer format",
         {{"Data/Version", "2"}, {"All cards.memdeck", "records"}},
         "FCPersistenceErrorDomain",
         112233,
         0},
        {"no version", {{"All cards.memdeck", "records"}}, "FCPersistenceErrorDomain", -1, 1},
        {"corrupt records", {{"Data/Version", "1"}, {"All cards.memdeck", "not records"}}, "BPBinaryProtocol", 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        alerts = 0;
        fs::remove(url.path());
        writeTestZip(url.path(), c.entries);
        std::string before = readText(url.path());
        auto delegate = std::make_shared<RecordingDelegate>();
        auto document = FIFlashcardsDocument::initWithFileURL(url);
        document->setDelegate(delegate);
        EXPECT_FALSE(call([&](auto done) { document->openWithCompletionHandler(done); }));
        ASSERT_TRUE(runMainLoopUntil([&] { return delegate->loaded == 1; }));
        EXPECT_EQ(document->deck(), nullptr);
        ASSERT_TRUE(document->lastError());
        EXPECT_EQ(document->lastError()->domain(), c.domain);
        if (c.code) {
            EXPECT_EQ(document->lastError()->code(), c.code);
        }
        drainMainLoop();
        EXPECT_EQ(alerts, c.alerts);
        EXPECT_EQ(readText(url.path()), before);
        EXPECT_TRUE(cacheFolders().empty());
    }
}

TEST_F(FIFlashcardsDocumentTest, FailedSaveLeavesThePreviousFileWholeAndShowsTheAlert) {
    createDocument();
    std::string before = readText(url.path());
    auto document = std::make_shared<FailingWriteDocument>(url);
    ASSERT_TRUE(call([&](auto done) { document->openWithCompletionHandler(done); }));
    document->didChangeCoverStyle();
    EXPECT_FALSE(call([&](auto done) { document->autosaveWithCompletionHandler(done); }));
    EXPECT_EQ(readText(url.path()), before);
    EXPECT_EQ(document->lastAvailableFileSize(), -1);
    EXPECT_TRUE(document->hasUnsavedChanges());
    EXPECT_TRUE(document->needsThumbnailUpdate());  // the thumbnail never reached the file
    EXPECT_EQ(alerts, 1);
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(dir.path()), {}).size(), 1u);

    document->fail = false;
    EXPECT_TRUE(call([&](auto done) { document->autosaveWithCompletionHandler(done); }));
    EXPECT_EQ(document->lastAvailableFileSize(), static_cast<std::int64_t>(fs::file_size(url.path())));
    EXPECT_FALSE(document->lastError());
    ASSERT_TRUE(call([&](auto done) { document->closeWithCompletionHandler(done); }));
}

TEST_F(FIFlashcardsDocumentTest, ThumbnailIsDrawnOncePerCoverChange) {
    createDocument();
    auto document = open();
    document->deck()->coverStyle()->setStartHexColor("#ff0000");
    document->deck()->coverStyle()->setEndHexColor("0000ff");
    document->didChangeCoverStyle();
    ASSERT_TRUE(call([&](auto done) { document->autosaveWithCompletionHandler(done); }));
    EXPECT_EQ(iconDraws, 1);
    EXPECT_FALSE(document->needsThumbnailUpdate());
    auto png = Document::thumbnailDataForFileAtURL(url);
    ASSERT_TRUE(png);
    auto thumbnail = Image::imageWithData(*png);
    ASSERT_TRUE(thumbnail);
    EXPECT_EQ(thumbnail->pixelWidth(), 1024);
    EXPECT_EQ(thumbnail->pixelHeight(), 720);
    EXPECT_GT(thumbnail->colorAtPixel(2, 1).red(), 0.95);        // gradient starts red at the top
    EXPECT_GT(thumbnail->colorAtPixel(2, 718).blue(), 0.95);     // and ends blue at the bottom
    EXPECT_GT(thumbnail->colorAtPixel(512, 360).green(), 0.95);  // the icon, centred

    document->didChangeCardContents();
    ASSERT_TRUE(call([&](auto done) { document->autosaveWithCompletionHandler(done); }));
    EXPECT_EQ(iconDraws, 1);
    document->didChangeCoverStyle();
    ASSERT_TRUE(call([&](auto done) { document->autosaveWithCompletionHandler(done); }));
    EXPECT_EQ(iconDraws, 2);

    // Without a cover icon resource the gradient alone is drawn.
    FIFlashcardsDocument::setCoverIconImageProvider(nullptr);
    auto plain = document->_makeThumbnailImageOfMaximumSize(Size{455.9, 10}, document->deck()->coverStyle());
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->pixelWidth(), 455);
    EXPECT_EQ(plain->pixelHeight(), 320);
    EXPECT_LT(plain->colorAtPixel(227, 160).green(), 0.05);
    ASSERT_TRUE(call([&](auto done) { document->closeWithCompletionHandler(done); }));
}

// The thumbnail comes from the save's own snapshot: a cover changed on the
// main thread after the save started (while the file queue was busy) is not
// drawn by that save, and the deck written is the one of the snapshot.
TEST_F(FIFlashcardsDocumentTest, SaveDrawsTheThumbnailFromItsSnapshot) {
    createDocument();
    auto document = open();
    document->deck()->coverStyle()->setStartHexColor("#ff0000");
    document->deck()->coverStyle()->setEndHexColor("#ff0000");
    document->didChangeCoverStyle();

    DispatchSemaphore gate(0);
    document->performAsynchronousFileAccessUsingBlock([gate]() mutable { gate.wait(); });
    std::optional<bool> saved;
    document->autosaveWithCompletionHandler([&](bool ok) { saved = ok; });  // snapshot taken now
    document->deck()->coverStyle()->setStartHexColor("#0000ff");
    document->deck()->coverStyle()->setEndHexColor("#0000ff");
    firstCard(*document)->setTop("changed after the snapshot");
    document->didChangeCardContents();
    gate.signal();
    ASSERT_TRUE(runMainLoopUntil([&] { return saved.has_value(); }));
    EXPECT_TRUE(*saved);

    auto thumbnail = Image::imageWithData(*Document::thumbnailDataForFileAtURL(url));
    ASSERT_TRUE(thumbnail);
    EXPECT_GT(thumbnail->colorAtPixel(2, 1).red(), 0.95);
    EXPECT_LT(thumbnail->colorAtPixel(2, 1).blue(), 0.05);
    ASSERT_TRUE(call([&](auto done) { document->closeWithCompletionHandler(done); }));  // saves the rest
    EXPECT_EQ(firstCard(*open())->top(), "changed after the snapshot");
}

TEST_F(FIFlashcardsDocumentTest, CustomCoverImageIsReadDuringTheSaveWithoutDeadlock) {
    createDocument();
    auto document = open();
    auto png = solidImage(Size{455, 320}, Color::rgb(0xff00ff))->pngData();
    document->addNewAttachmentWithData(*png, std::string("cover.png"));
    document->deck()->coverStyle()->setCustomImageName(std::string("cover.png"));
    document->didChangeCoverStyle();
    ASSERT_TRUE(call([&](auto done) { document->autosaveWithCompletionHandler(done); }));
    EXPECT_EQ(iconDraws, 0);
    auto thumbnail = Image::imageWithData(*Document::thumbnailDataForFileAtURL(url));
    ASSERT_TRUE(thumbnail);
    Color c = thumbnail->colorAtPixel(512, 360);
    EXPECT_GT(c.red(), 0.95);
    EXPECT_GT(c.blue(), 0.95);
    EXPECT_LT(c.green(), 0.05);

    // Pruning keeps the cover image even when no card names it.
    document->pruneAttachmentsOnlyKeepingFilesWithNames({});
    waitForFileQueue(document);
    EXPECT_TRUE(document->zipBackedPersistence()->hasCardAttachmentWithName(std::string("cover.png")));
    ASSERT_TRUE(call([&](auto done) { document->closeWithCompletionHandler(done); }));
}

TEST_F(FIFlashcardsDocumentTest, AttachmentsAreReadAndSharedOffTheMainThread) {
    createDocument();
    auto document = open();
    document->addNewAttachmentWithData(Data{7, 8, 9}, std::string("pic.png"));
    // The package folder holds the attachment's file once a save wrote it.
    waitForFileQueue(document);
    EXPECT_TRUE(document->hasUnsavedChanges());
    ASSERT_TRUE(call([&](auto d) { document->autosaveWithCompletionHandler(d); }));
    std::optional<Data> data;
    std::optional<URL> shared;
    bool done = false;
    std::thread reader([&] {
        data = document->dataForAttachmentWithName(std::string("pic.png"));
        shared = document->fileURLforSharingAttachmentWithFileName(std::string("pic.png"));
        DispatchQueue::main().async([&] { done = true; });
    });
    ASSERT_TRUE(runMainLoopUntil([&] { return done; }));
    reader.join();
    EXPECT_EQ(data, (Data{7, 8, 9}));
    ASSERT_TRUE(shared);
    EXPECT_EQ(readText(shared->path()), std::string("\x07\x08\x09"));
    EXPECT_EQ(shared->path().rfind(AppContainer::cachesDirectory(), 0), 0u);
    ASSERT_TRUE(call([&](auto d) { document->closeWithCompletionHandler(d); }));
}

TEST_F(FIFlashcardsDocumentTest, AttachmentNamesAreKeptAfterReopeningOrRefusedWhenAdded) {
    // A name as long as a file name may be is saved and saved again; a name
    // that unpacking would split is refused at once, and the deck still saves.
    const std::string longName = std::string(250, 'l') + ".png";
    const std::string backslash = "back\\slash.png";
    createDocument();
    auto document = open();
    document->addNewAttachmentWithData(Data{1}, longName);
    document->addNewAttachmentWithData(Data{2}, backslash);
    waitForFileQueue(document);
    EXPECT_FALSE(document->zipBackedPersistence()->hasCardAttachmentWithName(backslash));
    Error refused;
    EXPECT_FALSE(document->zipBackedPersistence()->addNewAttachmentWithData(Data{2}, backslash, &refused));
    EXPECT_EQ(refused.domain(), FCPersistenceErrorDomain);
    ASSERT_TRUE(call([&](auto d) { document->autosaveWithCompletionHandler(d); }));
    document->didChangeCardContents();
    ASSERT_TRUE(call([&](auto d) { document->autosaveWithCompletionHandler(d); }));
    ASSERT_TRUE(call([&](auto d) { document->closeWithCompletionHandler(d); }));

    auto reopened = open();
    EXPECT_TRUE(reopened->zipBackedPersistence()->hasCardAttachmentWithName(longName));
    EXPECT_FALSE(reopened->zipBackedPersistence()->hasCardAttachmentWithName(backslash));
    reopened->didChangeCardContents();
    ASSERT_TRUE(call([&](auto d) { reopened->autosaveWithCompletionHandler(d); }));
    ASSERT_TRUE(call([&](auto d) { reopened->closeWithCompletionHandler(d); }));
    EXPECT_EQ(std::vector<std::string>{"Spanish.flashcards"}, [&] {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.str())) names.push_back(e.path().filename().string());
        return names;
    }());
}

TEST_F(FIFlashcardsDocumentTest, HostileArchivesOpenToADeckThatSavesOrFailClearly) {
    createDocument();
    // The entries of a good deck, to which each case adds its own.
    std::vector<TestZipEntry> good;
    {
        const fs::path unpacked = dir.path() / "good";
        ASSERT_TRUE(SSZipArchive::unzipFileAtPath(url.path(), unpacked.string()));
        for (const auto& name : treeOf(unpacked))
            if (name.back() != '/') good.push_back({name, readText((unpacked / name).string()), 0});
    }
    std::string deep;
    for (int i = 0; i < 2000; ++i) deep += "d/";
    TestZipEntry bomb{"Data/Files/zeros.png", ""};
    bomb.zeros = 1 << 20;
    struct Case {
        std::string label;
        std::vector<TestZipEntry> extra;
        std::string domain;  // empty: the deck opens, takes a rating and saves
        std::int64_t code = 0;
    };
    const std::vector<Case> cases = {
        {"name not UTF-8", {{"Data/Files/caf\xe9.png", "x"}}, ""},
        {"encrypted entry",
         {{"Data/Files/secret.png", "x", Z_DEFAULT_COMPRESSION, 0, 0, std::nullopt, std::nullopt, 0, 0,
           std::string("pw")}},
         ""},
        {"60,000-byte name", {{"Data/Files/" + std::string(60000, 'n'), "x"}}, ""},
        {"damaged attachment", {{"Data/Files/bad.png", "image", 0, 0, 0, 0xDEADBEEFu}}, ""},
        {"impossible size", {{"Data/Files/lie.png", "tiny", 0, 0, 0, std::nullopt, 0xFFFFFFF0u}}, ""},
        {"folders 2,000 deep", {{deep + "bottom.png", "x"}}, ""},
        {"symbolic link", {{"Data/Files/link.png", "/etc/passwd", 0, 0xA1FF0000u, 0x0314}}, ""},
        {"file where a folder is", {{"Data", "x"}}, ""},
        {"unpacks to far more than it holds", std::vector<TestZipEntry>(64, bomb), "FCPersistenceErrorDomain", -1},
        {"name outside the folder", {{"../outside.png", "x"}}, "FCPersistenceErrorDomain", -1},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.label);
        std::vector<TestZipEntry> entries = good;
        for (std::size_t k = 0; k < c.extra.size(); ++k) {
            entries.push_back(c.extra[k]);
            if (c.extra.size() > 1) entries.back().name += std::to_string(k);
        }
        fs::remove(url.path());
        writeTestZip(url.path(), entries);
        auto document = FIFlashcardsDocument::initWithFileURL(url);
        const bool opened = call([&](auto done) { document->openWithCompletionHandler(done); });
        if (!c.domain.empty()) {
            EXPECT_FALSE(opened);
            ASSERT_TRUE(document->lastError());
            EXPECT_EQ(document->lastError()->domain(), c.domain);
            EXPECT_EQ(document->lastError()->code(), c.code);
            EXPECT_TRUE(document->lastError()->underlyingError() || c.label == "name outside the folder");
            continue;
        }
        ASSERT_TRUE(opened);
        firstCard(*document)->updateLeitnerRating(3);
        document->didUpdateStudyStatsForCardWithIdentifier(std::nullopt);
        EXPECT_TRUE(call([&](auto d) { document->autosaveWithCompletionHandler(d); }));
        ASSERT_TRUE(call([&](auto d) { document->closeWithCompletionHandler(d); }));
        EXPECT_TRUE(cacheFolders().empty());
        auto reopened = open();
        EXPECT_EQ(firstCard(*reopened)->studyStats()->pastResults(), std::vector<std::int64_t>{3});
        ASSERT_TRUE(call([&](auto d) { reopened->closeWithCompletionHandler(d); }));
    }
}

TEST_F(FIFlashcardsDocumentTest, DeckWhoseFileNameIsNotUTF8OpensAndSaves) {
    url = URL::fileURLWithPath(dir.file("Espa\xf1ol.flashcards"));
    createDocument();
    auto document = open();
    EXPECT_EQ(document->deckTitle(), "Espa\xf1ol");
    firstCard(*document)->updateLeitnerRating(1);
    document->didUpdateStudyStatsForCardWithIdentifier(std::nullopt);
    EXPECT_TRUE(call([&](auto d) { document->autosaveWithCompletionHandler(d); }));
    ASSERT_TRUE(call([&](auto d) { document->closeWithCompletionHandler(d); }));
    EXPECT_EQ(firstCard(*open())->studyStats()->pastResults(), std::vector<std::int64_t>{1});
}

TEST_F(FIFlashcardsDocumentTest, SynchronousSaveFromABackgroundThreadReturnsTheOutcome) {
    createDocument();
    auto document = std::make_shared<FailingWriteDocument>(url);
    ASSERT_TRUE(call([&](auto done) { document->openWithCompletionHandler(done); }));
    document->didChangeCardContents();
    std::vector<bool> outcomes;
    bool done = false;
    std::thread saver([&] {
        outcomes.push_back(document->fiSynchronouslySaveToURL(url, DocumentSaveOperation::ForOverwriting));
        document->fail = false;
        outcomes.push_back(document->fiSynchronouslySaveToURL(url, DocumentSaveOperation::ForOverwriting));
        DispatchQueue::main().async([&] { done = true; });
    });
    ASSERT_TRUE(runMainLoopUntil([&] { return done; }));
    saver.join();
    EXPECT_EQ(outcomes, (std::vector<bool>{false, true}));
    EXPECT_FALSE(document->hasUnsavedChanges());
    ASSERT_TRUE(call([&](auto d) { document->closeWithCompletionHandler(d); }));
}

TEST_F(FIFlashcardsDocumentTest, DeletionElsewhereWaitsForTheDelegate) {
    createDocument();
    auto document = open();
    std::optional<bool> completedWithoutError;
    auto completion = [&](const Error* error) { completedWithoutError = error == nullptr; };

    document->accommodatePresentedItemDeletionWithCompletionHandler(completion);
    ASSERT_TRUE(completedWithoutError);  // no delegate: at once
    EXPECT_TRUE(*completedWithoutError);

    completedWithoutError.reset();
    auto delegate = std::make_shared<RecordingDelegate>();
    document->setDelegate(delegate);
    document->accommodatePresentedItemDeletionWithCompletionHandler(completion);
    ASSERT_TRUE(runMainLoopUntil([&] { return bool(delegate->pendingDeletion); }));
    EXPECT_FALSE(completedWithoutError);
    delegate->pendingDeletion();
    ASSERT_TRUE(completedWithoutError);
    EXPECT_TRUE(*completedWithoutError);
    ASSERT_TRUE(call([&](auto done) { document->closeWithCompletionHandler(done); }));
}

TEST_F(FIFlashcardsDocumentTest, ErrorsAreStoredAndAlertedOnlyWhenTheUserMayBeAsked) {
    auto document = FIFlashcardsDocument::initNewDocumentWithFileURL(url);
    struct Case {
        Error error;
        bool interaction;
        int alerts;
    };
    for (const auto& c : std::vector<Case>{{Error(FCPersistenceErrorDomain, 112233), true, 0},
                                           {Error(FCPersistenceErrorDomain, -1), false, 0},
                                           {Error(FCPersistenceErrorDomain, -1), true, 1},
                                           {Error(NSCocoaErrorDomain, 112233), true, 1}}) {
        SCOPED_TRACE(c.error.description());
        alerts = 0;
        document->handleError(c.error, c.interaction);
        EXPECT_EQ(document->lastError(), c.error);
        drainMainLoop();
        EXPECT_EQ(alerts, c.alerts);
    }
    document->clearLastError();
    EXPECT_FALSE(document->lastError());
}

}  // namespace

// A rating's report moves the deck's counts by the rated card alone; after
// every report they must be what counting the whole deck gives.
TEST_F(FIFlashcardsDocumentTest, RatingReportsKeepTheCountsOfAFullRecount) {
    enum class Report { none, card, identifier };
    struct Step {
        int card;  // 0 never rated, 1 studied both ways, 2 right forward but wrong reversed
        bool reversed;
        std::int64_t rating;
        Report report;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        bool countsSetFromOutside = false;
    };
    const auto R = Report::card, N = Report::none, I = Report::identifier;
    const std::vector<Case> cases = {
        {"right on a new card", {{0, false, 1, R}}},
        {"unsure on a new card", {{0, false, 3, R}}},
        {"wrong on a studied card", {{1, false, 2, R}}},
        {"wrong on a studied card answer first", {{1, true, 2, R}}},
        {"right answer first completes a half-studied card", {{2, true, 1, R}}},
        {"wrong forward on a half-studied card", {{2, false, 2, R}}},
        {"back and forth on one card, each reported", {{1, false, 2, R}, {1, false, 1, R}, {1, true, 3, R}}},
        {"both directions rated, reported once", {{0, false, 1, N}, {0, true, 2, N}, {0, true, 1, R}}},
        {"a second right on the same day", {{0, false, 1, R}, {0, false, 1, R}, {0, true, 1, R}}},
        {"several cards in turn", {{0, false, 1, R}, {2, true, 1, R}, {1, false, 2, R}, {2, false, 2, R}}},
        {"a report by identifier counts, later reports start from it",
         {{0, false, 1, N}, {1, false, 2, I}, {0, false, 2, R}, {1, true, 1, R}}},
        {"counts set from outside are recounted", {{0, false, 1, R}, {2, true, 1, R}}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto document = FIFlashcardsDocument::initNewDocumentWithFileURL(url);
        auto deck = std::make_shared<FCDeck>();
        const std::vector<std::vector<std::int64_t>> forward = {{}, {2, 1}, {1}}, reverse = {{}, {1}, {1, 2}};
        for (std::size_t i = 0; i < forward.size(); ++i) {
            auto card = FCStudyCard::studyCardWithTop("top " + std::to_string(i), "bottom", 0);
            card->setStudyStats(FCStudyStats::statsWithLegacyPastResults(forward[i]));
            card->setReverseStudyStats(FCStudyStats::statsWithLegacyPastResults(reverse[i]));
            deck->cards().push_back(card);
        }
        deck->finishInitialization();
        document->setDeck(deck);
        if (c.countsSetFromOutside) deck->setUnstudiedStudyCardsCount(1);

        for (const auto& step : c.steps) {
            std::shared_ptr<FCStudyCard> card = std::static_pointer_cast<FCStudyCard>(deck->cards().at(step.card));
            if (step.reversed) card = std::make_shared<FCReversedStudyCard>(card);
            card->updateLeitnerRating(step.rating);
            if (step.report == Report::none) continue;
            if (step.report == Report::card)
                document->didUpdateStudyStatsForCard(card);
            else
                document->didUpdateStudyStatsForCardWithIdentifier(std::nullopt);
            const auto recounted = deck->duplicate();
            recounted->updateStudyCardsCountAndDeckProgress();
            EXPECT_EQ(deck->studyCardsCount(), 3);
            EXPECT_EQ(deck->unstudiedStudyCardsCount(), recounted->unstudiedStudyCardsCount());
            EXPECT_DOUBLE_EQ(deck->studyProgress(), recounted->studyProgress());
        }
        EXPECT_TRUE(document->hasUnsavedChanges());
        document->updateChangeCount(DocumentChangeKind::Cleared);
    }
}
