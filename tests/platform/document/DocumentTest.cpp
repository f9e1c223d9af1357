#include "platform/document/Document.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileCoordinator.h"
#include "platform/foundation/FileManager.h"
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

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A document of one text, with a switch that makes writing fail half-way.
class TextDocument : public Document {
public:
    using Document::Document;
    std::string text;
    bool failWrites = false;
    std::function<void()> duringWrite;
    std::function<void()> beforeSnapshot;

    bool loadFromContents(const std::any& contents, const std::optional<std::string>&, Error* error) override {
        Error::clear(error);
        const Data& data = std::any_cast<const Data&>(contents);
        text.assign(data.begin(), data.end());
        return true;
    }
    std::any contentsForType(const std::optional<std::string>&, Error* error) override {
        Error::clear(error);
        if (beforeSnapshot) beforeSnapshot();
        return std::any(Data(text.begin(), text.end()));
    }
    bool writeContents(const std::any& contents, const URL& url, DocumentSaveOperation op,
                       const std::optional<URL>& original, Error* error) override {
        if (duringWrite) duringWrite();
        if (failWrites) {
            writeText(url.path(), "half");
            Error::set(error, Error(NSCocoaErrorDomain, NSFileWriteOutOfSpaceError));
            return false;
        }
        return Document::writeContents(contents, url, op, original, error);
    }
};

class DocumentTest : public VirtualClockTest {
protected:
    TempDir dir;
    std::string path = dir.file("Notes.txt");

    std::shared_ptr<TextDocument> openDocument() {
        auto document = std::make_shared<TextDocument>(URL::fileURLWithPath(path));
        EXPECT_TRUE(call([&](auto done) { document->openWithCompletionHandler(done); }));
        return document;
    }

    // Starts an operation and runs the main loop until its completion came.
    bool call(const std::function<void(Document::Completion)>& start) {
        std::optional<bool> result;
        start([&](bool ok) { result = ok; });
        EXPECT_TRUE(runMainLoopUntil([&] { return result.has_value(); }));
        return result.value_or(false);
    }

    std::vector<std::string> filesInDir() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
        return names;
    }
};

TEST_F(DocumentTest, ChangesAutosaveAfterTheDelayAndCloseSavesTheRest) {
    writeText(path, "one");
    auto document = openDocument();
    EXPECT_EQ(document->text, "one");
    EXPECT_EQ(document->documentState(), DocumentStateNormal);

    document->text = "two";
    document->updateChangeCount(DocumentChangeKind::Done);
    EXPECT_TRUE(document->hasUnsavedChanges());
    advance(Document::autosaveDelay() - 1);
    drainMainLoop();
    EXPECT_EQ(readText(path), "one");
    advance(1);
    ASSERT_TRUE(runMainLoopUntil([&] { return !document->hasUnsavedChanges(); }));
    EXPECT_EQ(readText(path), "two");

    document->text = "three";
    document->updateChangeCount(DocumentChangeKind::Done);
    EXPECT_TRUE(call([&](auto done) { document->closeWithCompletionHandler(done); }));
    EXPECT_EQ(readText(path), "three");
    EXPECT_TRUE(document->documentState() & DocumentStateClosed);
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"Notes.txt"});
}

TEST_F(DocumentTest, FailedSaveLeavesTheOldFileWholeAndKeepsTheChanges) {
    writeText(path, "one");
    auto document = openDocument();
    document->text = "two";
    document->failWrites = true;
    document->updateChangeCount(DocumentChangeKind::Done);
    EXPECT_FALSE(call([&](auto done) { document->autosaveWithCompletionHandler(done); }));
    EXPECT_EQ(readText(path), "one");
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"Notes.txt"});  // nothing left beside it
    EXPECT_TRUE(document->hasUnsavedChanges());
    EXPECT_TRUE(document->documentState() & DocumentStateSavingError);
    ASSERT_TRUE(document->lastHandledError());
    EXPECT_EQ(document->lastHandledError()->code(), NSFileWriteOutOfSpaceError);

    document->failWrites = false;
    EXPECT_TRUE(call([&](auto done) { document->autosaveWithCompletionHandler(done); }));
    EXPECT_EQ(readText(path), "two");
    EXPECT_FALSE(document->hasUnsavedChanges());
    EXPECT_EQ(document->documentState(), DocumentStateNormal);
}

TEST_F(DocumentTest, ChangeMadeWhileSavingStaysUnsaved) {
    writeText(path, "one");
    auto document = openDocument();
    document->text = "two";
    document->updateChangeCount(DocumentChangeKind::Done);
    document->duringWrite = [&] {
        document->duringWrite = nullptr;
        document->updateChangeCount(DocumentChangeKind::Done);
    };
    EXPECT_TRUE(call([&](auto done) { document->autosaveWithCompletionHandler(done); }));
    EXPECT_TRUE(document->hasUnsavedChanges());
    advance(Document::autosaveDelay());
    ASSERT_TRUE(runMainLoopUntil([&] { return !document->hasUnsavedChanges(); }));
}

// A save slower than the autosave delay: the autosaves that come due while it
// runs wait as one save, which takes its contents only when it starts (the
// latest text) and answers every request; a close joins it.
TEST_F(DocumentTest, SlowSavesNeverPileUp) {
    writeText(path, "one");
    auto document = openDocument();
    int snapshots = 0;
    int writes = 0;
    std::atomic<bool> writing{false};
    DispatchSemaphore gate(0);
    document->duringWrite = [&] {
        ++writes;
        if (writes > 1) return;
        writing = true;
        gate.wait();
    };
    document->beforeSnapshot = [&] { ++snapshots; };

    document->text = "two";
    document->updateChangeCount(DocumentChangeKind::Done);
    advance(Document::autosaveDelay());
    ASSERT_TRUE(runMainLoopUntil([&] { return writing.load(); }));

    int completions = 0;
    for (int i = 3; i <= 12; ++i) {
        document->text = std::to_string(i);
        document->updateChangeCount(DocumentChangeKind::Done);
        advance(Document::autosaveDelay());
        if (i % 4 == 0) document->autosaveWithCompletionHandler([&](bool ok) { completions += ok; });
    }
    EXPECT_EQ(snapshots, 1);  // the waiting save has taken nothing yet
    gate.signal();
    EXPECT_TRUE(call([&](auto done) { document->closeWithCompletionHandler(done); }));
    EXPECT_EQ(completions, 3);
    EXPECT_EQ(snapshots, 2);
    EXPECT_EQ(writes, 2);
    EXPECT_EQ(readText(path), "12");
    EXPECT_FALSE(document->hasUnsavedChanges());
    EXPECT_TRUE(document->documentState() & DocumentStateClosed);
}

// A coordinated move of the file while a save runs waits for the save; the
// document then follows its file, and the save that waited meanwhile (asked
// for with the old URL) writes to the new one: the old file never comes back.
TEST_F(DocumentTest, AMoveDuringASaveWaitsAndLaterSavesGoToTheNewFile) {
    writeText(path, "one");
    auto document = openDocument();
    std::atomic<int> writes{0};
    std::atomic<bool> writing{false};
    DispatchSemaphore gate(0);
    document->duringWrite = [&] {
        if (++writes > 1) return;
        writing = true;
        gate.wait();
    };
    document->text = "two";
    document->updateChangeCount(DocumentChangeKind::Done);
    advance(Document::autosaveDelay());
    ASSERT_TRUE(runMainLoopUntil([&] { return writing.load(); }));

    const URL oldURL = URL::fileURLWithPath(path);
    const URL newURL = URL::fileURLWithPath(dir.file("Renamed.txt"));
    std::atomic<bool> moved{false};
    std::thread mover([&] {
        FileCoordinator coordinator;
        Error error;
        coordinator.coordinateWritingItemAtURL(
            oldURL, FileCoordinator::WritingForMoving, newURL, FileCoordinator::WritingForReplacing, &error,
            [&](const URL& from, const URL& to) {
                coordinator.itemAtURLWillMoveToURL(from, to);
                moved = FileManager::defaultManager().moveItemAtPath(from.path(), to.path());
                if (moved) coordinator.itemAtURLDidMoveToURL(from, to);
            });
    });
    while (FileCoordinator::numberOfWaitingCoordinations() < 1) std::this_thread::yield();
    // Asked for while the first save runs: it waits, with the old URL.
    document->text = "three";
    document->updateChangeCount(DocumentChangeKind::Done);
    std::optional<bool> second;
    document->saveToURL(oldURL, DocumentSaveOperation::ForOverwriting, [&](bool ok) { second = ok; });
    EXPECT_FALSE(moved.load());
    gate.signal();
    mover.join();
    ASSERT_TRUE(moved.load());
    ASSERT_TRUE(runMainLoopUntil([&] { return second.has_value(); }));
    EXPECT_TRUE(*second);
    EXPECT_EQ(newURL, document->fileURL());
    EXPECT_EQ(std::vector<std::string>{"Renamed.txt"}, filesInDir());
    EXPECT_EQ("three", readText(newURL.path()));

    // And so does every save after it.
    document->text = "four";
    document->updateChangeCount(DocumentChangeKind::Done);
    EXPECT_TRUE(call([&](auto done) { document->closeWithCompletionHandler(done); }));
    EXPECT_EQ(std::vector<std::string>{"Renamed.txt"}, filesInDir());
    EXPECT_EQ("four", readText(newURL.path()));
}

TEST_F(DocumentTest, ChangedElsewhereRevertsOnlyWithoutUnsavedChanges) {
    writeText(path, "one");
    auto document = openDocument();
    writeText(path, "from elsewhere");
    document->presentedItemDidChange();
    ASSERT_TRUE(runMainLoopUntil([&] { return document->text == "from elsewhere"; }));

    document->text = "mine";
    document->updateChangeCount(DocumentChangeKind::Done);
    writeText(path, "again elsewhere");
    document->presentedItemDidChange();
    EXPECT_TRUE(call([&](auto done) { document->performAsynchronousFileAccessUsingBlock([done] { done(true); }); }));
    EXPECT_EQ(document->text, "mine");

    EXPECT_TRUE(call([&](auto done) { document->revertToContentsOfURL(document->fileURL(), done); }));
    EXPECT_EQ(document->text, "again elsewhere");
    EXPECT_FALSE(document->hasUnsavedChanges());
}

TEST_F(DocumentTest, OpeningAMissingFileFailsAndStaysClosed) {
    auto document = std::make_shared<TextDocument>(URL::fileURLWithPath(dir.file("missing.txt")));
    EXPECT_FALSE(call([&](auto done) { document->openWithCompletionHandler(done); }));
    EXPECT_TRUE(document->documentState() & DocumentStateClosed);
    ASSERT_TRUE(document->lastHandledError());
    EXPECT_EQ(document->lastHandledError()->code(), NSFileReadNoSuchFileError);
}

TEST_F(DocumentTest, SynchronousFileAccessFromTheFileQueueRunsInline) {
    writeText(path, "one");
    auto document = openDocument();
    bool inner = false;
    EXPECT_TRUE(call([&](auto done) {
        document->performAsynchronousFileAccessUsingBlock([&, done] {
            document->performSynchronousFileAccessUsingBlock([&] { inner = document->isOnFileAccessQueue(); });
            done(true);
        });
    }));
    EXPECT_TRUE(inner);
}

TEST_F(DocumentTest, ThumbnailFromTheAttributesIsKeptBySavesWithoutOne) {
    writeText(path, "one");
    auto document = openDocument();
    document->updateChangeCount(DocumentChangeKind::Done);
    Error error;
    EXPECT_TRUE(static_cast<Document&>(*document).writeContents(
        std::any(Data{'x'}),
        Value::dictionary({{DocumentThumbnailDictionaryKey,
                            Value::dictionary({{DocumentThumbnail1024x1024SizeKey, Value(Data{1, 2, 3})}})}}),
        document->fileURL(), DocumentSaveOperation::ForOverwriting, &error));
    EXPECT_TRUE(call([&](auto done) { document->autosaveWithCompletionHandler(done); }));
    EXPECT_EQ(Document::thumbnailDataForFileAtURL(document->fileURL()), (Data{1, 2, 3}));
    EXPECT_EQ(Document::thumbnailDataForFileAtURL(URL::fileURLWithPath(dir.file("other.txt"))), std::nullopt);
}

TEST_F(DocumentTest, DeletionElsewhereClosesAndCompletesWithoutError) {
    writeText(path, "one");
    auto document = openDocument();
    std::optional<bool> completedWithoutError;
    document->accommodatePresentedItemDeletionWithCompletionHandler(
        [&](const Error* error) { completedWithoutError = error == nullptr; });
    ASSERT_TRUE(runMainLoopUntil([&] { return completedWithoutError.has_value(); }));
    EXPECT_TRUE(*completedWithoutError);
    EXPECT_TRUE(document->documentState() & DocumentStateClosed);
}

}  // namespace

TEST_F(DocumentTest, ASaveForCreatingNeverWritesOverAFileThatIsThereOrArrivesMeanwhile) {
    const struct {
        const char* name;
        bool arrivesDuringWrite;
    } cases[] = {{"there before the save", false}, {"arriving while it writes", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(path);
        auto document = std::make_shared<TextDocument>(URL::fileURLWithPath(path));
        document->text = "new deck";
        if (c.arrivesDuringWrite)
            document->duringWrite = [this] { writeText(path, "someone's"); };
        else
            writeText(path, "someone's");
        EXPECT_FALSE(call(
            [&](auto done) { document->saveToURL(document->fileURL(), DocumentSaveOperation::ForCreating, done); }));
        EXPECT_EQ(readText(path), "someone's");
        EXPECT_EQ(filesInDir(), std::vector<std::string>{"Notes.txt"});
        ASSERT_TRUE(document->lastHandledError());
        EXPECT_EQ(document->lastHandledError()->code(), NSFileWriteFileExistsError);
        EXPECT_TRUE(document->documentState() & DocumentStateSavingError);
    }
    // Overwriting still replaces, and creating where nothing is works.
    auto document = std::make_shared<TextDocument>(URL::fileURLWithPath(path));
    document->text = "mine";
    EXPECT_TRUE(call(
        [&](auto done) { document->saveToURL(document->fileURL(), DocumentSaveOperation::ForOverwriting, done); }));
    EXPECT_EQ(readText(path), "mine");
    const std::string other = dir.file("Other.txt");
    EXPECT_TRUE(call([&](auto done) {
        document->saveToURL(URL::fileURLWithPath(other), DocumentSaveOperation::ForCreating, done);
    }));
    EXPECT_EQ(readText(other), "mine");
}
