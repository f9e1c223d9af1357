#include <gtest/gtest.h>

#include <sys/stat.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "app/storage/CloudTestSupport.h"
#include "app/storage/ConflictResolutionHelper.h"
#include "app/storage/VersionTestSupport.h"
#include "platform/foundation/MainThread.h"

using namespace memorant_test;

namespace {

constexpr const char* kFile = "VersionBrowserTableViewController";
constexpr const char* kResolve = "resolveConflictsKeeping(versions:ofDocumentAt:documentsController:completion:)";

class ConflictResolutionTest : public VersionedDeckTest {
protected:
    // The current version and conflict versions A and B (contents "A", "B").
    void makeConflict() {
        current =
            std::make_shared<VersionEntry>("Modified on Desk", "", FileVersion::currentVersionOfItemAtURL(deck), true);
        a = std::make_shared<VersionEntry>("Modified on Phone", "",
                                           addVersion(FileVersion::Kind::Conflict, "A", Date(100), "Phone"), false);
        b = std::make_shared<VersionEntry>("Modified on Pad", "",
                                           addVersion(FileVersion::Kind::Conflict, "B", Date(200), "Pad"), false);
        addVersion(FileVersion::Kind::Other, "older", Date(50));
    }

    std::shared_ptr<VersionEntry> entry(char name) { return name == 'c' ? current : name == 'A' ? a : b; }

    // Resolves keeping the entries named ("c" the current one), on the clock.
    std::optional<bool> resolve(const std::string& kept) {
        std::vector<std::shared_ptr<VersionEntry>> entries;
        for (char c : kept) entries.push_back(entry(c));
        std::optional<bool> result;
        bool onMain = false;
        ConflictResolutionHelper().resolveConflictsKeeping(entries, deck, controller, [&](bool success) {
            onMain = isMainThread();
            result = success;
        });
        EXPECT_TRUE(runCopiesUntil(virtualClock.clock(), [&] { return result.has_value(); }));
        EXPECT_TRUE(onMain);
        return result;
    }

    std::shared_ptr<VersionEntry> current, a, b;
};

struct Outcome {
    std::string kept;
    std::string currentAfterwards;
    std::vector<std::pair<std::string, std::string>> copies;  // file name, contents
};

}  // namespace

// Every row of the resolution's table, on the same conflict: what stays,
// which copies appear under which names, and that afterwards no version but
// the current one is left. With "Deck 2.flashcards" taken, copies start at 3.
TEST_F(ConflictResolutionTest, KeptVersionsDecideTheCurrentContentsAndTheCopies) {
    const std::vector<Outcome> outcomes = {
        {"c", "current", {}},
        {"cA", "current", {{"Deck 2.flashcards", "A"}}},
        {"A", "A", {}},
        {"AB", "A", {{"Deck 2.flashcards", "B"}}},
        {"AcB", "current", {{"Deck 2.flashcards", "A"}, {"Deck 3.flashcards", "B"}}},
        {"BAc", "current", {{"Deck 2.flashcards", "B"}, {"Deck 3.flashcards", "A"}}},
        {"BA", "B", {{"Deck 2.flashcards", "A"}}},
    };
    for (const auto& outcome : outcomes) {
        SCOPED_TRACE("kept " + outcome.kept);
        for (const auto& name : {"Deck 2.flashcards", "Deck 3.flashcards", "Deck 4.flashcards"}) {
            FileManager::defaultManager().removeItemAtPath(dir.file(name));
        }
        FileVersion::removeOtherVersionsOfItemAtURL(deck);
        ASSERT_TRUE(FileManager::defaultManager().createFileAtPath(deck.path(), textData("current")));
        makeConflict();
        EXPECT_EQ(std::optional<bool>(true), resolve(outcome.kept));
        EXPECT_EQ(outcome.currentAfterwards, docText("Deck.flashcards"));
        for (const auto& [name, contents] : outcome.copies) EXPECT_EQ(contents, docText(name)) << name;
        EXPECT_FALSE(exists(outcome.copies.empty() ? "Deck 2.flashcards" : "Deck 4.flashcards"));
        EXPECT_TRUE(FileVersion::otherVersionsOfItemAtURL(deck).empty());
        EXPECT_TRUE(FileVersion::unresolvedConflictVersionsOfItemAtURL(deck).empty());
    }
    EXPECT_TRUE(loggedLine("INFO", kFile, kResolve,
                           "  Reverting to conflict version: [Modified on Pad, ] " + b->version()->url().path() +
                               ", saving a copy of 1 other versions:"));

    // Keeping only the current version copies nothing and says so.
    makeConflict();
    EXPECT_EQ(std::optional<bool>(true), resolve("c"));
    EXPECT_TRUE(loggedLine("INFO", kFile, kResolve,
                           "  Keeping current version [Modified on Desk, ], saving a copy of 0 other versions:"));

    // With "Deck 2.flashcards" present the next copy is "Deck 3.flashcards".
    ASSERT_TRUE(FileManager::defaultManager().createFileAtPath(dir.file("Deck 2.flashcards"), textData("other deck")));
    makeConflict();
    EXPECT_EQ(std::optional<bool>(true), resolve("cA"));
    EXPECT_EQ("other deck", docText("Deck 2.flashcards"));
    EXPECT_EQ("A", docText("Deck 3.flashcards"));
}

// A version that cannot be read fails the resolution: the other copies are
// made and their versions resolved, but nothing is replaced or removed.
TEST_F(ConflictResolutionTest, AVersionThatCannotBeReadRemovesAndReplacesNothing) {
    makeConflict();
    auto unreadable = std::make_shared<VersionEntry>("Modified on Mac", "",
                                                     addVersion(FileVersion::Kind::Conflict, std::nullopt), false);
    std::vector<std::shared_ptr<VersionEntry>> entries{current, unreadable, a};
    std::optional<bool> result;
    ConflictResolutionHelper().resolveConflictsKeeping(entries, deck, controller, [&](bool ok) { result = ok; });
    ASSERT_TRUE(runCopiesUntil(virtualClock.clock(), [&] { return result.has_value(); }));
    EXPECT_FALSE(*result);
    EXPECT_EQ("current", docText("Deck.flashcards"));
    EXPECT_EQ("A", docText("Deck 2.flashcards"));
    auto unresolved = FileVersion::unresolvedConflictVersionsOfItemAtURL(deck);
    ASSERT_EQ(2u, unresolved.size());  // B and the unreadable one; A was copied
    EXPECT_EQ(b->version()->identifier(), unresolved[0]->identifier());
    EXPECT_EQ(4u, FileVersion::otherVersionsOfItemAtURL(deck).size());
    EXPECT_TRUE(loggedLineStarting(
        "WARN", "copyVersion(at:toFolder:documentsController:baseName:fileExtension:completion:)",
        "Error saving a copy of version: " + unreadable->version()->url().absoluteString() +
            " to: " + URL::fileURLWithPath(dir.file("Deck 2.flashcards")).absoluteString() + ". Error: "));

    // One that coordination cannot read: no accessor, the same outcome.
    FileCoordinator::setFailureHook([url = b->version()->url()](const URL& u, bool writing) -> std::optional<Error> {
        if (u == url && !writing) return Error(NSCocoaErrorDomain, NSFileReadUnknownError);
        return std::nullopt;
    });
    result.reset();
    ConflictResolutionHelper().resolveConflictsKeeping({current, b}, deck, controller, [&](bool ok) { result = ok; });
    ASSERT_TRUE(runCopiesUntil(virtualClock.clock(), [&] { return result.has_value(); }));
    EXPECT_FALSE(*result);
    EXPECT_EQ(4u, FileVersion::otherVersionsOfItemAtURL(deck).size());
    EXPECT_TRUE(
        loggedLineStarting("WARN", "copyVersion(at:toFolder:documentsController:baseName:fileExtension:completion:)",
                           "Error reading version to copy: " + b->version()->url().absoluteString() + ". Error: "));
}

// A replacement that fails leaves the current contents and every version;
// a removal that fails reports false after the copies were made.
TEST_F(ConflictResolutionTest, FailedReplacementAndFailedRemoval) {
    makeConflict();
    FileVersions::setFailureHook([](FileVersions::Operation op, const URL&) -> std::optional<Error> {
        if (op == FileVersions::Operation::Replacing) return Error("Versions", 1);
        return std::nullopt;
    });
    EXPECT_EQ(std::optional<bool>(false), resolve("A"));
    EXPECT_EQ("current", docText("Deck.flashcards"));
    EXPECT_EQ(3u, FileVersion::otherVersionsOfItemAtURL(deck).size());
    EXPECT_EQ(2u, FileVersion::unresolvedConflictVersionsOfItemAtURL(deck).size());
    EXPECT_TRUE(loggedLineStarting("WARN", kResolve,
                                   "Error replacing current version of: " + deck.path() +
                                       " with chosen conflict version: " + a->version()->url().path() + ". Error: "));

    FileVersions::setFailureHook([](FileVersions::Operation op, const URL&) -> std::optional<Error> {
        if (op == FileVersions::Operation::RemovingOtherVersions) return Error("Versions", 2);
        return std::nullopt;
    });
    EXPECT_EQ(std::optional<bool>(false), resolve("cA"));
    EXPECT_EQ("current", docText("Deck.flashcards"));
    EXPECT_EQ("A", docText("Deck 2.flashcards"));
    auto unresolved = FileVersion::unresolvedConflictVersionsOfItemAtURL(deck);
    ASSERT_EQ(1u, unresolved.size());
    EXPECT_EQ(b->version()->identifier(), unresolved[0]->identifier());
    EXPECT_TRUE(loggedLineStarting("WARN", "removeOtherVersionsAndResolveConflicts(forDocumentAt:)",
                                   "Error removing other versions of document: " + deck.path() + ". Error: "));
}

// The revert replaces the document under a coordinated write: a reader of
// the document holds it up until the reader is done.
TEST_F(ConflictResolutionTest, TheRevertWaitsForReadersOfTheDocument) {
    makeConflict();
    std::optional<bool> result;
    bool replacedWhileReading = false;
    std::mutex m;
    std::condition_variable cv;
    bool reading = false, release = false;
    std::thread reader([&] {
        FileCoordinator().coordinateReadingItemAtURL(deck, FileCoordinator::ReadingNone, nullptr, [&](const URL&) {
            std::unique_lock lock(m);
            reading = true;
            cv.notify_all();
            cv.wait(lock, [&] { return release; });
            replacedWhileReading = fileText(deck.path()) != "current";
        });
    });
    {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return reading; });
    }
    ConflictResolutionHelper().resolveConflictsKeeping({a}, deck, controller, [&](bool ok) { result = ok; });
    ASSERT_TRUE(runMainLoopUntil([] { return FileCoordinator::numberOfWaitingCoordinations() == 1; }));
    {
        std::lock_guard lock(m);
        release = true;
    }
    cv.notify_all();
    reader.join();
    ASSERT_TRUE(runMainLoopUntil([&] { return result.has_value(); }));
    EXPECT_TRUE(*result);
    EXPECT_FALSE(replacedWhileReading);
    EXPECT_EQ("A", docText("Deck.flashcards"));
}

// Saving a copy of the current version makes a second deck with the same
// contents, and local storage lists it (it hears of the copy); an empty
// list of versions to copy succeeds at once.
TEST_F(ConflictResolutionTest, ASavedCopyIsANewDeckThatTheLocalListShows) {
    auto delegate = std::make_shared<CloudRecordingDelegate>();
    controller->setDelegate(delegate);
    controller->startListing();
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->deliveries.size() == 1; }));
    EXPECT_EQ(std::vector<std::string>{"Deck.flashcards"}, delegate->deliveries[0].fileNames);

    auto entry =
        std::make_shared<VersionEntry>("Today", "Deck.flashcards", FileVersion::currentVersionOfItemAtURL(deck), true);
    std::optional<bool> result;
    ConflictResolutionHelper().saveCopyOfVersion(entry, deck, controller, [&](bool ok) { result = ok; });
    ASSERT_TRUE(runCopiesUntil(virtualClock.clock(), [&] { return result.has_value(); }));
    EXPECT_TRUE(*result);
    EXPECT_EQ("current", docText("Deck 2.flashcards"));
    EXPECT_EQ("current", docText("Deck.flashcards"));
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->deliveries.size() == 2; }));
    EXPECT_EQ((std::vector<std::string>{"Deck.flashcards", "Deck 2.flashcards"}), delegate->deliveries[1].fileNames);

    EXPECT_TRUE(ConflictResolutionHelper().copyVersions({}, URL::fileURLWithPath(dir.str(), true), controller, "Deck",
                                                        "flashcards"));
}

// A copy that fails part way (here: a package holding an item no copy can
// take) leaves nothing behind: no broken "Deck 2.flashcards" for the next
// listing to show, and nothing half made beside it.
TEST_F(ConflictResolutionTest, ACopyThatFailsPartWayLeavesNothing) {
    auto version = addVersion(FileVersion::Kind::Other, "A", Date(100), "Phone");
    const std::string stored = version->url().path();
    auto& files = FileManager::defaultManager();
    ASSERT_TRUE(files.removeItemAtPath(stored));
    ASSERT_TRUE(files.createDirectoryAtPath(stored, true));
    ASSERT_TRUE(files.createFileAtPath(stored + "/cards", textData("cards")));
    ASSERT_EQ(0, ::mkfifo((stored + "/pipe").c_str(), 0600));

    auto entry = std::make_shared<VersionEntry>("Modified on Phone", "", version, false);
    std::optional<bool> result;
    ConflictResolutionHelper().saveCopyOfVersion(entry, deck, controller, [&](bool ok) { result = ok; });
    ASSERT_TRUE(runCopiesUntil(virtualClock.clock(), [&] { return result.has_value(); }));
    EXPECT_FALSE(*result);
    std::set<std::string> left;
    for (const auto& item : std::filesystem::directory_iterator(dir.path()))
        left.insert(item.path().filename().string());
    EXPECT_EQ((std::set<std::string>{"Deck.flashcards", ".Deck.flashcards.versions"}), left);
    EXPECT_EQ("current", docText("Deck.flashcards"));
}
