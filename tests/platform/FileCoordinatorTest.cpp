#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>

#include "platform/foundation/FileCoordinator.h"
#include "platform/foundation/FileManager.h"

namespace {

enum class Kind { Read, Write };

void coordinate(Kind kind, const std::string& path, const std::function<void()>& body) {
    FileCoordinator coordinator;
    Error error;
    auto accessor = [&](const URL&) { body(); };
    if (kind == Kind::Read)
        coordinator.coordinateReadingItemAtURL(URL::fileURLWithPath(path), FileCoordinator::ReadingNone, &error,
                                               accessor);
    else
        coordinator.coordinateWritingItemAtURL(URL::fileURLWithPath(path), FileCoordinator::WritingForReplacing,
                                               &error, accessor);
    EXPECT_FALSE(error.isSet());
}

void waitUntilWaiting(std::size_t count) {
    while (FileCoordinator::numberOfWaitingCoordinations() < count) std::this_thread::yield();
}

}  // namespace

TEST(FileCoordinator, RunsTheAccessorOnTheCallingThreadWithTheURL) {
    FileCoordinator coordinator;
    URL url = URL::fileURLWithPath("/tmp/some/file");
    std::optional<URL> seen;
    std::thread::id thread;
    Error error;
    coordinator.coordinateReadingItemAtURL(url, FileCoordinator::ReadingNone, &error, [&](const URL& newURL) {
        seen = newURL;
        thread = std::this_thread::get_id();
        // Coordinating again on the same thread does not wait for itself.
        coordinate(Kind::Write, "/tmp/some/file", [] {});
    });
    EXPECT_EQ(seen, url);
    EXPECT_EQ(thread, std::this_thread::get_id());

    bool ran = false;
    coordinator.coordinateWritingItemAtURL(*URL::URLWithString("https://example.com/x"), FileCoordinator::WritingNone,
                                           &error, [&](const URL&) { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_TRUE(error.isSet());
}

// One thread holds an item; another asks for a related or unrelated one.
TEST(FileCoordinator, ClashingCoordinationsWaitOthersRunAlongside) {
    struct Case {
        Kind held;
        const char* heldPath;
        Kind asked;
        const char* askedPath;
        bool waits;
    };
    const Case cases[] = {
        {Kind::Read, "/c/doc", Kind::Read, "/c/doc", false},
        {Kind::Read, "/c/doc", Kind::Write, "/c/doc", true},
        {Kind::Write, "/c/doc", Kind::Read, "/c/doc", true},
        {Kind::Write, "/c/doc", Kind::Write, "/c/doc", true},
        {Kind::Read, "/c/doc/Data/Files/a.png", Kind::Write, "/c/doc", true},
        {Kind::Write, "/c/doc", Kind::Read, "/c/doc/Data/Version", true},
        {Kind::Write, "/c/doc", Kind::Write, "/c/document", false},
        {Kind::Write, "/c/doc", Kind::Write, "/c/other", false},
        // Paths are compared in their normal form.
        {Kind::Write, "/c/x/../doc", Kind::Read, "/c/doc", true},
        {Kind::Write, "/c/./doc/", Kind::Read, "/c/doc/Data", true},
        {Kind::Write, "/c/x/../doc", Kind::Write, "/c/x/doc", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.heldPath) + " / " + c.askedPath);
        std::atomic<bool> holderDone{false};
        std::atomic<bool> askerSawHolderDone{false};
        std::latch askerFinished(1);
        std::thread asker;
        std::thread holder([&] {
            coordinate(c.held, c.heldPath, [&] {
                asker = std::thread([&] {
                    coordinate(c.asked, c.askedPath, [&] { askerSawHolderDone = holderDone.load(); });
                    askerFinished.count_down();
                });
                if (c.waits)
                    waitUntilWaiting(1);  // the asker is blocked on this item
                else
                    askerFinished.wait();  // the asker got through while this item is held
                holderDone = true;
            });
        });
        holder.join();
        asker.join();
        EXPECT_EQ(askerSawHolderDone.load(), c.waits);
    }
}

namespace {

struct RecordingPresenter : FilePresenter {
    explicit RecordingPresenter(std::string path) : url(URL::fileURLWithPath(path)) {}
    URL url;
    std::vector<std::string> moves;
    URL presentedItemURL() const override { return url; }
    void presentedItemDidMoveToURL(const URL& newURL) override {
        moves.push_back(newURL.path());
        url = newURL;
    }
};

}  // namespace

// A move writes its source and its destination in one coordination: it waits
// for whoever holds either, and the presenters of the source follow it.
TEST(FileCoordinator, AMoveWaitsForEitherItemAndThePresentersFollowIt) {
    for (const char* held : {"/m/Spanish.flashcards", "/m/French.flashcards"}) {
        SCOPED_TRACE(held);
        std::atomic<bool> holderDone{false};
        std::atomic<bool> moverSawHolderDone{false};
        std::latch holding(1);
        std::thread holder([&] {
            coordinate(Kind::Read, held, [&] {
                holding.count_down();
                waitUntilWaiting(1);
                holderDone = true;
            });
        });
        holding.wait();
        FileCoordinator coordinator;
        Error error;
        std::vector<std::string> seen;
        coordinator.coordinateWritingItemAtURL(
            URL::fileURLWithPath("/m/Spanish.flashcards"), FileCoordinator::WritingForMoving,
            URL::fileURLWithPath("/m/French.flashcards"), FileCoordinator::WritingForReplacing, &error,
            [&](const URL& from, const URL& to) {
                moverSawHolderDone = holderDone.load();
                seen = {from.path(), to.path()};
            });
        holder.join();
        EXPECT_FALSE(error.isSet());
        EXPECT_TRUE(moverSawHolderDone);
        EXPECT_EQ((std::vector<std::string>{"/m/Spanish.flashcards", "/m/French.flashcards"}), seen);
    }

    auto moved = std::make_shared<RecordingPresenter>("/m/Spanish.flashcards");
    auto other = std::make_shared<RecordingPresenter>("/m/Notes.flashcards");
    const std::size_t before = FileCoordinator::numberOfFilePresenters();
    FileCoordinator::addFilePresenter(moved);
    FileCoordinator::addFilePresenter(moved);
    FileCoordinator::addFilePresenter(other);
    EXPECT_EQ(before + 2, FileCoordinator::numberOfFilePresenters());
    FileCoordinator coordinator;
    coordinator.itemAtURLWillMoveToURL(URL::fileURLWithPath("/m/Spanish.flashcards"),
                                       URL::fileURLWithPath("/m/French.flashcards"));
    EXPECT_TRUE(moved->moves.empty());
    coordinator.itemAtURLDidMoveToURL(URL::fileURLWithPath("/m/Spanish.flashcards"),
                                      URL::fileURLWithPath("/m/French.flashcards"));
    EXPECT_EQ(std::vector<std::string>{"/m/French.flashcards"}, moved->moves);
    EXPECT_TRUE(other->moves.empty());
    // Presenters are held weakly; a removed one hears nothing more.
    other.reset();
    EXPECT_EQ(before + 1, FileCoordinator::numberOfFilePresenters());
    FileCoordinator::removeFilePresenter(moved.get());
    coordinator.itemAtURLDidMoveToURL(URL::fileURLWithPath("/m/French.flashcards"),
                                      URL::fileURLWithPath("/m/German.flashcards"));
    EXPECT_EQ(1u, moved->moves.size());
    EXPECT_EQ(before, FileCoordinator::numberOfFilePresenters());
}

// A copy's one request: the accessor gets both URLs, waits while another
// holds the item it writes, and readers of the item it reads share it.
TEST(FileCoordinator, OneRequestReadsOneItemAndWritesAnother) {
    FileCoordinator coordinator;
    const URL from = URL::fileURLWithPath("/tmp/copy/version");
    const URL to = URL::fileURLWithPath("/tmp/copy/Deck 2.flashcards");
    Error error;
    std::optional<std::pair<URL, URL>> seen;
    coordinator.coordinateReadingItemAtURL(from, FileCoordinator::ReadingWithoutChanges, to,
                                           FileCoordinator::WritingForMoving, &error,
                                           [&](const URL& r, const URL& w) { seen.emplace(r, w); });
    ASSERT_TRUE(seen);
    EXPECT_EQ(from, seen->first);
    EXPECT_EQ(to, seen->second);
    EXPECT_FALSE(error.isSet());

    std::latch holding(1), release(1);
    std::atomic<bool> copied{false};
    std::thread writer([&] {
        coordinate(Kind::Write, to.path(), [&] {
            holding.count_down();
            release.wait();
        });
    });
    holding.wait();
    std::thread copier([&] {
        FileCoordinator c;
        c.coordinateReadingItemAtURL(from, FileCoordinator::ReadingWithoutChanges, to,
                                     FileCoordinator::WritingForMoving, nullptr,
                                     [&](const URL&, const URL&) { copied = true; });
    });
    waitUntilWaiting(1);
    // A reader of the copy's source is not held up by the waiting copy.
    bool read = false;
    coordinate(Kind::Read, from.path(), [&] { read = true; });
    EXPECT_TRUE(read);
    EXPECT_FALSE(copied);
    release.count_down();
    writer.join();
    copier.join();
    EXPECT_TRUE(copied);
}

TEST(FileCoordinator, TheFailureHookFailsACoordinationWithoutRunningItsAccessor) {
    const URL deck = URL::fileURLWithPath("/tmp/hook/Deck.flashcards");
    FileCoordinator::setFailureHook([deck](const URL& url, bool writing) -> std::optional<Error> {
        if (url == deck && !writing) return Error(NSCocoaErrorDomain, NSFileReadUnknownError);
        return std::nullopt;
    });
    FileCoordinator coordinator;
    Error error;
    bool ran = false;
    coordinator.coordinateReadingItemAtURL(deck, FileCoordinator::ReadingNone, &error, [&](const URL&) { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_EQ(NSFileReadUnknownError, error.code());
    coordinator.coordinateReadingItemAtURL(deck, FileCoordinator::ReadingNone, URL::fileURLWithPath("/tmp/hook/x"),
                                           FileCoordinator::WritingNone, &error,
                                           [&](const URL&, const URL&) { ran = true; });
    EXPECT_FALSE(ran);
    coordinator.coordinateWritingItemAtURL(deck, FileCoordinator::WritingNone, &error, [&](const URL&) { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_FALSE(error.isSet());
    FileCoordinator::setFailureHook(nullptr);
}
