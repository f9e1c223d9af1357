#include <gtest/gtest.h>

#include <thread>
#include <unistd.h>

#include "Common/FCPersistenceError.h"
#include "Common/FCZipBackedBinaryDocumentPersistence.h"
#include "Common/SSZipArchive.h"
#include "Common/ZipFile.h"
#include "Common/ZipTestSupport.h"
#include "model/FCCard.h"
#include "model/FCDeck.h"
#include "model/TWLogger.h"
#include "platform/foundation/AppContainer.h"
#include "support/ChildProcess.h"
#include "support/TestEnvironment.h"

using namespace memorant_test;
namespace fs = std::filesystem;

namespace {

std::shared_ptr<FCDeck> deckWithCards(int count, const std::string& prefix = "Q") {
    auto deck = std::make_shared<FCDeck>();
    FCCardArray cards;
    for (int i = 1; i <= count; ++i)
        cards.push_back(FCStudyCard::studyCardWithTop(prefix + std::to_string(i), "A" + std::to_string(i), 0));
    deck->setCards(std::move(cards));
    deck->setPreferredStudyDirection(1);
    deck->finishInitialization();
    return deck;
}

std::vector<std::string> topsOf(const FCDeck& deck) {
    std::vector<std::string> tops;
    for (const auto& card : deck.cards())
        tops.push_back(std::static_pointer_cast<FCStudyCard>(card)->top().value_or("(nil)"));
    return tops;
}

std::vector<std::string> entryNames(const std::string& zipPath) {
    ZipFile zip(zipPath, ZipFileModeUnzip);
    std::vector<std::string> names;
    for (const auto& info : zip.listFileInZipInfos()) names.push_back(info.name());
    zip.close();
    std::sort(names.begin(), names.end());
    return names;
}

// The cache folders that exist right now.
std::vector<std::string> cacheFolders() {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(AppContainer::cachesDirectory()))
        if (e.path().extension() == ".bundle") out.push_back(e.path().string());
    return out;
}

Data bytesOf(const std::string& s) { return Data(s.begin(), s.end()); }

bool backlogContains(const std::string& text) {
    for (const auto& line : TWLogger::sharedInstance().messageBacklog())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

// Each test starts without cache folders left by another.
class FCZipBackedBinaryDocumentPersistenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto& folder : cacheFolders()) fs::remove_all(folder);
    }

    // A document saved for the first time by a new persistence, as a new deck is.
    std::string makeDocument(const std::string& name, int cards, std::vector<std::pair<std::string, std::string>> attachments = {}) {
        std::string path = dir.file(name);
        FCZipBackedBinaryDocumentPersistence persistence;
        for (const auto& [file, contents] : attachments)
            EXPECT_TRUE(persistence.addNewAttachmentWithData(bytesOf(contents), file));
        FCCUserDocumentSettings settings;
        settings.setIntegerSetting(7, "MCQuestionsPerTest");
        Error error;
        EXPECT_TRUE(persistence.writeDeck(deckWithCards(cards), &settings, URL::fileURLWithPath(path), std::nullopt,
                                          std::nullopt, nullptr, &error))
            << error.description();
        persistence.closeAndRemoveCachedFile();
        return path;
    }

    TempDir dir;
};

}  // namespace

TEST_F(FCZipBackedBinaryDocumentPersistenceTest, NewDocumentSavesReadsInPlaceAndShowsItsMetadata) {
    struct Delegate : FCZipBackedBinaryDocumentPersistenceDelegate {
        int told = 0;
        void isReadyToUnblockUserInteractionNow() override { ++told; }
    } delegate;
    std::string path = dir.file("New.flashcards");
    {
        FCZipBackedBinaryDocumentPersistence persistence;
        ASSERT_TRUE(persistence.addNewAttachmentWithData(bytesOf("png"), std::string("pic.png")));
        // A brand-new document gets an empty cache, made on disk by the first save.
        ASSERT_TRUE(persistence.cachedFilePackageURL());
        std::string cache = persistence.cachedFilePackageURL()->path();
        EXPECT_EQ(fs::path(cache).parent_path(), fs::path(AppContainer::cachesDirectory()));
        EXPECT_EQ(fs::path(cache).extension(), ".bundle");
        EXPECT_FALSE(fs::exists(cache));

        FCCUserDocumentSettings settings;
        settings.setIntegerSetting(7, "MCQuestionsPerTest");
        Error error;
        ASSERT_TRUE(persistence.writeDeck(deckWithCards(3), &settings, URL::fileURLWithPath(path), std::nullopt,
                                          std::nullopt, &delegate, &error))
            << error.description();
        EXPECT_EQ(delegate.told, 1);
        EXPECT_EQ(readFileText(fs::path(cache) / "Data/Files/pic.png"), "png");
        persistence.closeAndRemoveCachedFile();
        EXPECT_FALSE(fs::exists(cache));
    }
    EXPECT_EQ(entryNames(path), (std::vector<std::string>{"All cards.memdeck", "Data/Files/pic.png", "Data/Version",
                                                          "How to open these cards.txt"}));
    if (haveTool("unzip")) {
        std::string command = "unzip -tqq '" + path + "' >/dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    // Opening reads the zip in place: no cache.
    FCZipBackedBinaryDocumentPersistence reader;
    std::shared_ptr<FCCUserDocumentSettings> settings;
    Error error;
    auto deck = reader.readFromURL(URL::fileURLWithPath(path), &settings, &error);
    ASSERT_TRUE(deck) << error.description();
    EXPECT_EQ(topsOf(*deck), (std::vector<std::string>{"Q1", "Q2", "Q3"}));
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->integerSettingForKey("MCQuestionsPerTest"), 7);
    EXPECT_EQ(reader.dataForAttachmentWithName(std::string("pic.png")), bytesOf("png"));
    EXPECT_TRUE(reader.hasCardAttachmentWithName(std::string("pic.png")));
    EXPECT_FALSE(reader.cachedFilePackageURL());
    EXPECT_TRUE(cacheFolders().empty());

    // What the deck library shows without opening the deck.
    FCZipBackedBinaryDocumentPersistence details;
    auto metadata = details.readDeckMetadataFromURL(URL::fileURLWithPath(path), &error);
    ASSERT_TRUE(metadata) << error.description();
    EXPECT_EQ(metadata->studyCardsCount(), 3);
    EXPECT_EQ(metadata->preferredStudyDirection(), 1);
    EXPECT_TRUE(metadata->cards().empty());
}

TEST_F(FCZipBackedBinaryDocumentPersistenceTest, FirstChangeUnpacksAndSavesNeverTouchTheDocumentFile) {
    std::string path = makeDocument("Deck.flashcards", 2, {{"old.png", "old"}});
    const std::string original = readFileText(path);
    const URL url = URL::fileURLWithPath(path);

    FCZipBackedBinaryDocumentPersistence persistence;
    auto deck = persistence.readFromURL(url, nullptr);
    ASSERT_TRUE(deck);
    ASSERT_TRUE(persistence.addNewAttachmentWithData(bytesOf("new"), std::string("new.png")));
    ASSERT_TRUE(persistence.cachedFilePackageURL());
    EXPECT_TRUE(persistence.readOnlyPersistence());  // kept when the zip is still there
    std::string cache = persistence.cachedFilePackageURL()->path();
    EXPECT_EQ(readFileText(fs::path(cache) / "Data/Files/old.png"), "old");
    EXPECT_EQ(persistence.dataForAttachmentWithName(std::string("new.png")), bytesOf("new"));
    auto shared = persistence.fileURLforSharingAttachmentWithFileName(std::string("old.png"), url);
    ASSERT_TRUE(shared);
    EXPECT_EQ(shared->path(), cache + "/Data/Files/old.png");

    // The save zips to where the document's safe save points, not over the file.
    deck->cards().push_back(FCStudyCard::studyCardWithTop(std::string("Q3"), std::string("A3"), 0));
    std::string saved = dir.file("saving/Deck.flashcards");
    fs::create_directories(dir.path() / "saving");
    Error error;
    ASSERT_TRUE(persistence.writeDeck(deck, nullptr, URL::fileURLWithPath(saved), std::nullopt, url, nullptr, &error))
        << error.description();
    EXPECT_EQ(readFileText(path), original);
    EXPECT_EQ(persistence.originalContentsURL(), url);

    // A second save writes the cache again (unchanged files stay) and zips it again.
    ASSERT_TRUE(persistence.writeDeck(deck, nullptr, URL::fileURLWithPath(saved), std::nullopt, url, nullptr, &error))
        << error.description();
    FCZipBackedBinaryDocumentPersistence reader;
    auto reread = reader.readFromURL(URL::fileURLWithPath(saved), nullptr, &error);
    ASSERT_TRUE(reread) << error.description();
    EXPECT_EQ(topsOf(*reread), (std::vector<std::string>{"Q1", "Q2", "Q3"}));
    EXPECT_EQ(reader.dataForAttachmentWithName(std::string("old.png")), bytesOf("old"));
    EXPECT_EQ(reader.dataForAttachmentWithName(std::string("new.png")), bytesOf("new"));
    EXPECT_EQ(cacheFolders(), std::vector<std::string>{cache});
}

// Unchanged files are copied across from the zip they came from, the records
// are zipped from memory: each saved zip is still byte for byte the zip of its
// package folder, read and deflated file by file.
TEST_F(FCZipBackedBinaryDocumentPersistenceTest, SavedZipIsTheZipOfItsPackageByteForByte) {
    std::string path = makeDocument("Deck.flashcards", 3, {{"a.png", std::string(70000, 'a')}, {"b.png", "b"}});
    FCZipBackedBinaryDocumentPersistence persistence;
    auto deck = persistence.readFromURL(URL::fileURLWithPath(path), nullptr);
    ASSERT_TRUE(deck);
    ASSERT_TRUE(persistence.addNewAttachmentWithData(bytesOf(std::string(40000, 'c')), std::string("c.png")));
    const std::string cache = persistence.cachedFilePackageURL()->path();

    // The second save names the first's zip as its original contents, as the
    // document does once its safe save has put that zip in place.
    std::string original = path;
    for (const char* name : {"First.flashcards", "Second.flashcards"}) {
        SCOPED_TRACE(name);
        deck->cards().push_back(FCStudyCard::studyCardWithTop(std::string(name), std::string("A"), 0));
        Error error;
        ASSERT_TRUE(persistence.writeDeck(deck, nullptr, URL::fileURLWithPath(dir.file(name)), std::nullopt,
                                          URL::fileURLWithPath(original), nullptr, &error))
            << error.description();
        const std::string plain = dir.file(std::string("Plain ") + name);
        ASSERT_TRUE(SSZipArchive::createZipFileAtPathWithContentsOfDirectory(plain, cache, 0));
        EXPECT_EQ(readFileText(dir.file(name)), readFileText(plain));
        original = dir.file(name);
    }
}

TEST_F(FCZipBackedBinaryDocumentPersistenceTest, ZipDeletedWhileOpenIsRestoredFromTheOpenZip) {
    std::string path = makeDocument("Gone.flashcards", 2, {{"keep.png", "keep"}});
    FCZipBackedBinaryDocumentPersistence persistence;
    auto deck = persistence.readFromURL(URL::fileURLWithPath(path), nullptr);
    ASSERT_TRUE(deck);
    fs::remove(path);

    ASSERT_TRUE(persistence.addNewAttachmentWithData(bytesOf("x"), std::string("x.png")));
    EXPECT_FALSE(persistence.readOnlyPersistence());
    std::string saved = dir.file("Saved.flashcards");
    Error error;
    ASSERT_TRUE(persistence.writeDeck(deck, nullptr, URL::fileURLWithPath(saved), std::nullopt,
                                      URL::fileURLWithPath(path), nullptr, &error))
        << error.description();
    FCZipBackedBinaryDocumentPersistence reader;
    ASSERT_TRUE(reader.readFromURL(URL::fileURLWithPath(saved), nullptr));
    EXPECT_EQ(reader.dataForAttachmentWithName(std::string("keep.png")), bytesOf("keep"));
    EXPECT_EQ(reader.dataForAttachmentWithName(std::string("x.png")), bytesOf("x"));
}

TEST_F(FCZipBackedBinaryDocumentPersistenceTest, ReadingAgainDiscardsTheCache) {
    std::string path = makeDocument("Revert.flashcards", 1, {{"a.png", "a"}});
    const URL url = URL::fileURLWithPath(path);
    FCZipBackedBinaryDocumentPersistence persistence;
    ASSERT_TRUE(persistence.readFromURL(url, nullptr));
    persistence.removeAttachmentWithName(std::string("a.png"));
    std::string first = persistence.cachedFilePackageURL()->path();
    EXPECT_FALSE(persistence.hasCardAttachmentWithName(std::string("a.png")));

    // A metadata read leaves the cache alone; a full read drops it.
    ASSERT_TRUE(persistence.readDeckMetadataFromURL(url));
    EXPECT_TRUE(fs::exists(first));
    ASSERT_TRUE(persistence.readFromURL(url, nullptr));
    EXPECT_FALSE(persistence.cachedFilePackageURL());
    EXPECT_FALSE(fs::exists(first));
    EXPECT_TRUE(persistence.hasCardAttachmentWithName(std::string("a.png")));

    persistence.removeAttachmentWithName(std::string("a.png"));
    ASSERT_TRUE(persistence.cachedFilePackageURL());
    EXPECT_NE(persistence.cachedFilePackageURL()->path(), first);
}

TEST_F(FCZipBackedBinaryDocumentPersistenceTest, PruningUnpacksOnlyWhenSomethingGoes) {
    std::string path = makeDocument("Prune.flashcards", 1, {{"used.png", "u"}, {"unused.png", "n"}});
    FCZipBackedBinaryDocumentPersistence persistence;
    ASSERT_TRUE(persistence.readFromURL(URL::fileURLWithPath(path), nullptr));
    persistence.pruneAttachmentsOnlyKeepingFilesWithNames(std::vector<std::string>{"used.png", "unused.png"});
    EXPECT_FALSE(persistence.cachedFilePackageURL());
    persistence.pruneAttachmentsOnlyKeepingFilesWithNames(std::vector<std::string>{"used.png"});
    ASSERT_TRUE(persistence.cachedFilePackageURL());
    EXPECT_TRUE(persistence.hasCardAttachmentWithName(std::string("used.png")));
    EXPECT_FALSE(persistence.hasCardAttachmentWithName(std::string("unused.png")));
}

// A document whose zip cannot be unpacked: the first change fails, the caller
// hears of it, nothing is stored or left behind, and the file stays as it was.
TEST_F(FCZipBackedBinaryDocumentPersistenceTest, ChangeThatCannotBeStoredIsReported) {
    // The disk of the caches folder has less room than the deck unpacks to.
    std::string path = makeDocument("Full.flashcards", 2, {{"pic.png", std::string(4096, 'p')}});
    const std::string original = readFileText(path);
    FCZipBackedBinaryDocumentPersistence::setFreeDiskSpaceProvider(
        [](const std::string&) { return std::optional<std::uint64_t>(1000); });
    FCZipBackedBinaryDocumentPersistence persistence;
    auto deck = persistence.readFromURL(URL::fileURLWithPath(path), nullptr);
    ASSERT_TRUE(deck);  // reading in place needs no room

    Error error;
    EXPECT_FALSE(persistence.addNewAttachmentWithData(bytesOf("new"), std::string("new.png"), &error));
    EXPECT_EQ(error.domain(), "NSCocoaErrorDomain");
    EXPECT_EQ(error.code(), 640);
    ASSERT_TRUE(error.underlyingError());
    EXPECT_EQ(error.underlyingError()->code(), ENOSPC);
    EXPECT_TRUE(backlogContains("Error storing attachment: new.png"));
    EXPECT_TRUE(backlogContains("Not enough free disk space to unzip document: " + path));
    EXPECT_FALSE(persistence.cachedFilePackageURL());
    EXPECT_FALSE(persistence.fileURLforSharingAttachmentWithFileName(std::string("x"), std::nullopt));

    std::string saved = dir.file("Saved.flashcards");
    EXPECT_FALSE(persistence.writeDeck(deck, nullptr, URL::fileURLWithPath(saved), std::nullopt,
                                       URL::fileURLWithPath(path), nullptr, &error));
    EXPECT_EQ(error.code(), 640);
    EXPECT_FALSE(fs::exists(saved));
    EXPECT_TRUE(cacheFolders().empty());
    EXPECT_EQ(readFileText(path), original);

    // With room, the same change goes through.
    FCZipBackedBinaryDocumentPersistence::setFreeDiskSpaceProvider(nullptr);
    EXPECT_TRUE(persistence.addNewAttachmentWithData(bytesOf("new"), std::string("new.png"), &error)) << error.description();
    persistence.closeAndRemoveCachedFile();
}

TEST_F(FCZipBackedBinaryDocumentPersistenceTest, DamagedAttachmentIsLeftOutAndTheDeckStillSaves) {
    std::string path = dir.file("Damaged.flashcards");
    std::string valid = makeDocument("Valid.flashcards", 2);
    {
        // The valid package plus an attachment whose bytes do not match its CRC.
        fs::path unpacked = dir.path() / "unpacked";
        ASSERT_TRUE(SSZipArchive::unzipFileAtPath(valid, unpacked.string()));
        std::vector<TestZipEntry> entries;
        for (const auto& name : entryNames(valid)) entries.push_back({name, readFileText(unpacked / name), 0});
        entries.push_back({"Data/Files/bad.png", "image", 0, 0, 0, 0xDEADBEEFu});
        writeTestZip(path, entries);
    }
    const std::string original = readFileText(path);
    FCZipBackedBinaryDocumentPersistence persistence;
    auto deck = persistence.readFromURL(URL::fileURLWithPath(path), nullptr);
    ASSERT_TRUE(deck);  // the records read fine in place
    EXPECT_EQ(persistence.dataForAttachmentWithName(std::string("bad.png")), std::nullopt);

    Error error;
    EXPECT_TRUE(persistence.addNewAttachmentWithData(bytesOf("new"), std::string("new.png"), &error)) << error.description();
    EXPECT_TRUE(backlogContains("Leaving out zip entry while unzipping: Data/Files/bad.png"));
    std::string saved = dir.file("Saved.flashcards");
    ASSERT_TRUE(persistence.writeDeck(deck, nullptr, URL::fileURLWithPath(saved), std::nullopt,
                                      URL::fileURLWithPath(path), nullptr, &error))
        << error.description();
    const auto names = entryNames(saved);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Data/Files/bad.png"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Data/Files/new.png"), 1);
    EXPECT_EQ(readFileText(path), original);
    persistence.closeAndRemoveCachedFile();

    FCZipBackedBinaryDocumentPersistence reader;
    auto again = reader.readFromURL(URL::fileURLWithPath(saved), nullptr);
    ASSERT_TRUE(again);
    EXPECT_EQ(topsOf(*again), topsOf(*deck));
}

TEST_F(FCZipBackedBinaryDocumentPersistenceTest, MemoryRunningOutWhileReadingIsAReadError) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves its memory up front: a limit on the address space does not bite";
#endif
    // A deck of 50,000 cards read where far less memory is left than it
    // needs. It is made in a child of its own, so that this process has no
    // freed room that the reading could take instead.
    const std::string path = dir.file("Large.flashcards");
    ASSERT_EQ(runInChildWithMemoryBudget(1ull << 40, [&] { return makeDocument("Large.flashcards", 50000) == path; })
                  .status,
              0);
    auto outcome = runInChildWithMemoryBudget(8u << 20, [&] {
        FCZipBackedBinaryDocumentPersistence persistence;
        std::shared_ptr<FCCUserDocumentSettings> settings;
        Error error;
        auto deck = persistence.readFromURL(URL::fileURLWithPath(path), &settings, &error);
        if (deck) return false;  // the budget is meant to be too small
        return error.domain() == "FCPersistenceErrorDomain" || error.domain() == "BPBinaryProtocol";
    });
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, 0);
}

TEST_F(FCZipBackedBinaryDocumentPersistenceTest, LeftoversOfStoppedRunsAreRemovedAndNothingElse) {
    const fs::path caches = AppContainer::cachesDirectory();
    const fs::path documents = dir.path() / "Documents";
    const std::string uuid = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";
    const std::string ours = ".saving-" + std::to_string(::getpid()) + "-" + uuid;
    writeFileText(caches / (uuid + ".bundle") / "All cards.memdeck", "left");
    writeFileText(caches / (".tmp-" + uuid) / "Data/Version", "1");
    writeFileText(caches / "Notes.bundle" / "x", "not ours to judge");
    writeFileText(caches / "thumbnail.png", "kept");
    writeFileText(documents / "Deck.flashcards", "deck");
    writeFileText(documents / (".saving-4242-" + uuid), "left by another run");
    writeFileText(documents / ("Folder/.saving-" + uuid + "-Deck.flashcards"), "older name");
    writeFileText(documents / ours, "a save of this process, under way");

    FCZipBackedBinaryDocumentPersistence::removeLeftoversOfEarlierRuns({documents.string()});
    EXPECT_FALSE(fs::exists(caches / (uuid + ".bundle")));
    EXPECT_FALSE(fs::exists(caches / (".tmp-" + uuid)));
    EXPECT_TRUE(fs::exists(caches / "Notes.bundle"));
    EXPECT_TRUE(fs::exists(caches / "thumbnail.png"));
    EXPECT_EQ(treeOf(documents), (std::vector<std::string>{ours, "Deck.flashcards", "Folder/"}));
    fs::remove_all(caches / "Notes.bundle");
}

TEST_F(FCZipBackedBinaryDocumentPersistenceTest, SaveFailsWhenTheZipLacksAFileOfThePackage) {
    FCZipBackedBinaryDocumentPersistence persistence;
    ASSERT_TRUE(persistence.addNewAttachmentWithData(bytesOf("a"), std::string("a.png")));
    auto root = persistence.packageBackedPersistence()->mainFileWrapper();
    // A file kept under one name but known by another: the zip holds the
    // first, the package says the second.
    auto file = FileWrapper::regularFileWithContents(bytesOf("x"));
    file->setPreferredFilename("known as");
    auto folder = FileWrapper::directoryWithFileWrappers({{"stored as", file}});
    folder->setPreferredFilename("Extra");
    root->addFileWrapper(folder);

    Error error;
    EXPECT_FALSE(persistence.writeDeck(deckWithCards(1), nullptr, URL::fileURLWithPath(dir.file("x.flashcards")),
                                       std::nullopt, std::nullopt, nullptr, &error));
    EXPECT_EQ(error.domain(), "FCPersistenceErrorDomain");
    EXPECT_EQ(error.code(), -1);
    EXPECT_EQ(error.localizedRecoverySuggestion(), "Error verifying files in saved document.");
    persistence.closeAndRemoveCachedFile();
}

TEST_F(FCZipBackedBinaryDocumentPersistenceTest, DamagedDocumentsFailToOpenAndStayUntouched) {
    std::string valid = readFileText(makeDocument("Valid.flashcards", 20));
    std::string records = dir.file("BadRecords.flashcards");
    {
        fs::path unpacked = dir.path() / "unpacked";
        ASSERT_TRUE(SSZipArchive::unzipFileAtPath(dir.file("Valid.flashcards"), unpacked.string()));
        writeTestZip(records, {{"Data/Version", "1"},
                               {"All cards.memdeck", readFileText(unpacked / "All cards.memdeck"), 0, 0, 0, 1u}});
    }
    struct Case {
        std::string label;
        std::optional<std::string> bytes;  // nullopt: no file
        std::int64_t code;
    };
    const std::vector<Case> cases = {
        {"missing", std::nullopt, 260},
        {"empty", std::string(), -1},
        {"first bytes", valid.substr(0, 100), -1},
        {"half", valid.substr(0, valid.size() / 2), -1},
        {"all but the end record", valid.substr(0, valid.size() - 22), -1},
        {"records with a bad CRC", readFileText(records), -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::string path = dir.file(c.label + ".flashcards");
        if (c.bytes) writeFileText(path, *c.bytes);
        FCZipBackedBinaryDocumentPersistence persistence;
        Error error;
        EXPECT_EQ(persistence.readFromURL(URL::fileURLWithPath(path), nullptr, &error), nullptr);
        EXPECT_EQ(error.domain(), "FCPersistenceErrorDomain");
        EXPECT_EQ(error.code(), c.code);
        EXPECT_EQ(persistence.readDeckMetadataFromURL(URL::fileURLWithPath(path), &error), nullptr);
        EXPECT_EQ(error.code(), c.code);
        if (c.bytes) {
            EXPECT_EQ(readFileText(path), *c.bytes);
        }
        EXPECT_TRUE(cacheFolders().empty());
    }
}

TEST_F(FCZipBackedBinaryDocumentPersistenceTest, ReadingAttachmentsOnTheFileAccessQueueDoesNotWarn) {
    std::string path = makeDocument("Queue.flashcards", 1, {{"a.png", "a"}, {"b.png", "b"}});
    FCZipBackedBinaryDocumentPersistence persistence;
    ASSERT_TRUE(persistence.readFromURL(URL::fileURLWithPath(path), nullptr));
    TWLogger::sharedInstance().setMessageBacklog({});
    std::thread fileAccess([&] {
        EXPECT_EQ(persistence.dataForAttachmentWithName(std::string("a.png")), bytesOf("a"));
        EXPECT_EQ(persistence.dataForAttachmentWithName(std::string("b.png")), bytesOf("b"));
    });
    fileAccess.join();
    EXPECT_FALSE(backlogContains("Accessing deck zip file from background thread."));
}
