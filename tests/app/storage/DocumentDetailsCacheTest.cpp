#include "app/storage/DocumentDetailsCache.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CloudTestSupport.h"
#include "model/TWLogger.h"
#include "platform/cloud/PromisedItems.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/StringUtils.h"
#include "support/MainLoop.h"
#include "support/TestEnvironment.h"

using memorant_test::runMainLoopUntil;

namespace {

struct TestDetails {
    std::string text;
};
using Details = std::shared_ptr<TestDetails>;
using TestCache = DocumentDetailsCache<TestDetails>;

// A loader whose reads wait on the worker until the test answers them. The
// test never waits for the worker itself: it runs the main loop until the
// reads it expects have arrived (the workers ask the main thread whether they
// may read).
class AnsweredLoader {
public:
    struct Read {
        URL url;
        bool answered = false;
        Details result;
        Error error;
    };

    TestCache::LoadBlock block() {
        return [this](const URL& url, Error* error) -> Details {
            std::unique_lock lock(mutex_);
            auto read = std::make_shared<Read>();
            read->url = url;
            reads_.push_back(read);
            ++running_;
            maxRunning_ = std::max(maxRunning_, running_);
            if (!autoAnswer_.empty()) {
                read->result = std::make_shared<TestDetails>(TestDetails{autoAnswer_});
                read->answered = true;
            }
            answered_.wait(lock, [&] { return read->answered; });
            --running_;
            if (!read->result) Error::set(error, read->error);
            return read->result;
        };
    }

    std::size_t readCount() const {
        std::lock_guard lock(mutex_);
        return reads_.size();
    }
    int running() const {
        std::lock_guard lock(mutex_);
        return running_;
    }
    int maxRunning() const {
        std::lock_guard lock(mutex_);
        return maxRunning_;
    }
    URL urlOfRead(std::size_t index) const {
        std::lock_guard lock(mutex_);
        return reads_.at(index)->url;
    }
    ::testing::AssertionResult waitForReads(std::size_t count) {
        return runMainLoopUntil([&] { return readCount() >= count; });
    }
    // Answers read `index` (in arrival order) with details of that text, or
    // with an error when the text is empty.
    void answer(std::size_t index, const std::string& text) {
        std::lock_guard lock(mutex_);
        auto& read = reads_.at(index);
        if (!text.empty()) {
            read->result = std::make_shared<TestDetails>(TestDetails{text});
        } else {
            read->error = Error("TestDomain", 7);
        }
        read->answered = true;
        answered_.notify_all();
    }
    // Answers every read from now on at once with that text.
    void answerEverything(const std::string& text) {
        {
            std::lock_guard lock(mutex_);
            autoAnswer_ = text;
        }
        answerAll(text);
    }
    void answerAll(const std::string& text) {
        std::size_t n = readCount();
        for (std::size_t i = 0; i < n; ++i) {
            bool pending;
            {
                std::lock_guard lock(mutex_);
                pending = !reads_[i]->answered;
            }
            if (pending) answer(i, text);
        }
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable answered_;
    std::deque<std::shared_ptr<Read>> reads_;
    int running_ = 0;
    int maxRunning_ = 0;
    std::string autoAnswer_;
};

// Whether the backlog holds a line of this cache's file at that level whose
// message starts with the text.
bool logged(const std::string& level, const std::string& function, const std::string& messageStart) {
    for (const auto& line : TWLogger::sharedInstance().messageBacklog()) {
        if (stringContains(line, level + "| " + messageStart) && stringContains(line, "|DocumentDetailsCache:") &&
            stringContains(line, "| " + function)) {
            return true;
        }
    }
    return false;
}

struct Delivery {
    URL url;
    Details details;
    bool onMainThread;
};

class DocumentDetailsCacheTest : public ::testing::Test {
protected:
    DocumentDetailsCacheTest() {
        previousLevel_ = TWLogger::sharedInstance().maxLogLevel();
        TWLogger::sharedInstance().setMaxLogLevel(TWLogger::LevelDebug);
        cache = TestCache::create("com.memorant.test", 4, placeholder);
        cache->setLoadDetails(full.block());
        cache->setLoadMetadataOnlyDetails(metadata.block());
        cache->setDidLoadDetails([this](const URL& url, const Details& details) {
            deliveries.push_back({url, details, isMainThread()});
        });
    }
    ~DocumentDetailsCacheTest() override {
        cache->backgroundQueue()->setSuspended(false);
        full.answerEverything("late");
        metadata.answerEverything("late");
        EXPECT_TRUE(memorant_test::settleWorker(*cache->backgroundQueue()));
        TWLogger::sharedInstance().setMaxLogLevel(previousLevel_);
    }

    // A URL of a file that does not exist (so the cache makes up its identifier).
    URL url(const std::string& name) const { return URL::fileURLWithPath(dir.file(name + ".flashcards")); }
    std::int64_t identifier(const URL& u) { return cache->documentIdentifierProvider().identifier(u); }
    ::testing::AssertionResult settle() { return memorant_test::settleWorker(*cache->backgroundQueue()); }

    // Looks the document up and lets the full read of it finish with that text.
    void load(const URL& u, const std::string& text) {
        const std::size_t before = full.readCount();
        cache->details(u, true);
        ASSERT_TRUE(full.waitForReads(before + 1));
        full.answer(before, text);
        ASSERT_TRUE(settle());
    }

    std::vector<DocumentItemAnimation> one(DocumentItemAnimation change) { return {change}; }
    std::vector<std::shared_ptr<DocumentItem>> items(const std::vector<URL>& urls) {
        std::vector<std::shared_ptr<DocumentItem>> list;
        for (const auto& u : urls) list.push_back(std::make_shared<DocumentItem>(u, std::nullopt));
        return list;
    }

    memorant_test::TempDir dir;
    Details placeholder = std::make_shared<TestDetails>(TestDetails{"placeholder"});
    AnsweredLoader full;
    AnsweredLoader metadata;
    std::shared_ptr<TestCache> cache;
    std::vector<Delivery> deliveries;

private:
    std::uint32_t previousLevel_;
};

TEST_F(DocumentDetailsCacheTest, NamesItsQueueAndCacheAndHoldsAtMost64Entries) {
    EXPECT_EQ("com.memorant.test.DocumentDetailsCacheWorkerQueue", cache->backgroundQueue()->name());
    EXPECT_EQ(4, cache->backgroundQueue()->maxConcurrentOperationCount());
    EXPECT_EQ("com.memorant.test.DocumentDetailsCache", cache->cache().name());
    EXPECT_EQ(64u, cache->cache().countLimit());
    EXPECT_TRUE(cache->upToDateDocumentIdentifiers().empty());
    EXPECT_FALSE(cache->ignoreDocumentWithIdentifier());
}

TEST_F(DocumentDetailsCacheTest, FirstLookupGivesThePlaceholderThenDeliversOnceAndSecondLookupSchedulesNothing) {
    const URL deck = url("Deck");
    EXPECT_EQ(placeholder, cache->details(deck, true));
    ASSERT_TRUE(full.waitForReads(1));
    EXPECT_TRUE(deliveries.empty());
    full.answer(0, "fresh");
    ASSERT_TRUE(settle());

    ASSERT_EQ(1u, deliveries.size());
    EXPECT_EQ(deck, deliveries[0].url);
    EXPECT_EQ("fresh", deliveries[0].details->text);
    EXPECT_TRUE(deliveries[0].onMainThread);
    EXPECT_EQ(1u, cache->upToDateDocumentIdentifiers().count(identifier(deck)));

    Details second = cache->details(deck, true);
    EXPECT_EQ(deliveries[0].details, second);
    EXPECT_EQ(0u, cache->backgroundQueue()->operationCount());
    ASSERT_TRUE(settle());
    EXPECT_EQ(1u, full.readCount());
    EXPECT_EQ(1u, deliveries.size());
    EXPECT_EQ(0u, metadata.readCount());

    const std::string path = deck.description();
    EXPECT_TRUE(logged("DEBUG", "main()", "About to read: " + path));
    EXPECT_TRUE(logged("DEBUG", "main()", "  In file coordinator. Reading: " + path));
    EXPECT_TRUE(logged("DEBUG", "main()", "  In file coordinator. Done reading: " + path));
    EXPECT_TRUE(logged("DEBUG", "main()", "Reading took "));
    bool named = false;
    for (const auto& line : TWLogger::sharedInstance().messageBacklog()) {
        if (stringContains(line, " seconds for: Deck.flashcards |")) named = true;
    }
    EXPECT_TRUE(named);
}

TEST_F(DocumentDetailsCacheTest, MetadataOnlyLookupsUseTheMetadataLoader) {
    const URL deck = url("Cloud");
    EXPECT_EQ(placeholder, cache->details(deck, false));
    ASSERT_TRUE(metadata.waitForReads(1));
    metadata.answer(0, "promised");
    ASSERT_TRUE(settle());
    ASSERT_EQ(1u, deliveries.size());
    EXPECT_EQ("promised", deliveries[0].details->text);
    EXPECT_EQ(0u, full.readCount());
    EXPECT_TRUE(logged("DEBUG", "main()", "About to read metadata only: " + deck.description()));
    EXPECT_TRUE(logged("DEBUG", "main()", "Reading metadata took "));
}

TEST_F(DocumentDetailsCacheTest, TwoLookupsInARowLeaveOneLiveOperationThatDependsOnTheCancelledOne) {
    cache->backgroundQueue()->setSuspended(true);
    const URL deck = url("Deck");
    cache->details(deck, true);
    cache->details(deck, true);
    auto operations = cache->backgroundQueue()->operations();
    ASSERT_EQ(2u, operations.size());
    EXPECT_TRUE(operations[0]->isCancelled());
    EXPECT_FALSE(operations[1]->isCancelled());
    auto dependencies = operations[1]->dependencies();
    ASSERT_EQ(1u, dependencies.size());
    EXPECT_EQ(operations[0], dependencies[0]);
    EXPECT_TRUE(logged("DEBUG", "cancelScheduledOperationsForDocument(with:)",
                       "Canceled load details operation for: " + deck.description()));

    // A third lookup cancels the live one and chains to it in turn.
    cache->details(deck, true);
    operations = cache->backgroundQueue()->operations();
    ASSERT_EQ(3u, operations.size());
    EXPECT_TRUE(operations[1]->isCancelled());
    ASSERT_EQ(1u, operations[2]->dependencies().size());
    EXPECT_EQ(operations[1], operations[2]->dependencies()[0]);

    cache->backgroundQueue()->setSuspended(false);
    ASSERT_TRUE(full.waitForReads(1));
    full.answer(0, "once");
    ASSERT_TRUE(settle());
    EXPECT_EQ(1u, full.readCount());
    EXPECT_EQ(1u, deliveries.size());
}

TEST_F(DocumentDetailsCacheTest, IdentifiersAreMadeUpPerUrlUnlessTheFileHasOne) {
    EXPECT_EQ(-1, identifier(url("A")));
    EXPECT_EQ(-2, identifier(url("B")));
    EXPECT_EQ(-1, identifier(url("A")));
    EXPECT_EQ(-2, identifier(url("B")));

    // A file on disk answers its own document identifier, which survives
    // eviction from the device.
    ASSERT_TRUE(FileManager::defaultManager().createFileAtPath(dir.file("Real.flashcards"), dataFromString("x")));
    const URL real = URL::fileURLWithPath(dir.file("Real.flashcards"));
    const std::int64_t own = identifier(real);
    EXPECT_GT(own, 0);
    ASSERT_TRUE(PromisedItems::evictUbiquitousItemAtURL(real));
    EXPECT_EQ(own, identifier(real));
    EXPECT_EQ(-3, identifier(url("C")));
}

// A deck removed and another made in its place, which the file system may put
// on the freed inode, is read for itself: the old deck's details are not
// taken for its own.
TEST_F(DocumentDetailsCacheTest, ANewFileWhereADeckWasIsReadForItself) {
    const std::string path = dir.file("Deck.flashcards");
    const URL deck = URL::fileURLWithPath(path);
    ASSERT_TRUE(FileManager::defaultManager().createFileAtPath(path, dataFromString("old deck")));
    load(deck, "old deck's details");
    const std::int64_t oldIdentifier = identifier(deck);

    ASSERT_TRUE(memorant_test::replaceWithAFileOnTheFreedInode(path, "new deck"));
    EXPECT_NE(oldIdentifier, identifier(deck));
    EXPECT_EQ(placeholder, cache->details(deck, true));
    ASSERT_TRUE(full.waitForReads(2));
    full.answer(1, "new deck's details");
    ASSERT_TRUE(settle());
    EXPECT_EQ("new deck's details", cache->details(deck, true)->text);
}

TEST_F(DocumentDetailsCacheTest, AnUpdateKeepsTheOldDetailsAndReadsAgainADeleteGivesThePlaceholder) {
    const URL a = url("A"), b = url("B");
    load(a, "a1");
    load(b, "b1");
    const auto list = items({a, b});

    cache->invalidateDetails(one(DocumentItemAnimation::updateAt(0)), list, list);
    EXPECT_EQ(0u, cache->upToDateDocumentIdentifiers().count(identifier(a)));
    EXPECT_EQ("a1", cache->details(a, true)->text);
    ASSERT_TRUE(full.waitForReads(3));
    EXPECT_EQ(a, full.urlOfRead(2));
    full.answer(2, "a2");
    ASSERT_TRUE(settle());
    EXPECT_EQ("a2", cache->details(a, true)->text);

    cache->invalidateDetails(one(DocumentItemAnimation::deleteAt(1)), list, items({a}));
    EXPECT_EQ(placeholder, cache->details(b, true));

    // Adds and moves change nothing.
    cache->invalidateDetails({DocumentItemAnimation::addAt(0), DocumentItemAnimation::move(0, 1)}, items({a}), list);
    EXPECT_EQ(1u, cache->upToDateDocumentIdentifiers().count(identifier(a)));
}

// A change that arrives while a read of the document runs makes that read's
// result worthless: it is dropped, and the next lookup reads again.
TEST_F(DocumentDetailsCacheTest, AChangeDuringARunningReadLeavesNoStaleResultMarkedUpToDate) {
    struct Case {
        const char* name;
        std::function<void(TestCache&, const std::vector<std::shared_ptr<DocumentItem>>&)> change;
        bool deleted;
    };
    const std::vector<Case> cases = {
        {"update",
         [](TestCache& c, const auto& list) { c.invalidateDetails({DocumentItemAnimation::updateAt(0)}, list, list); },
         false},
        {"delete",
         [](TestCache& c, const auto& list) { c.invalidateDetails({DocumentItemAnimation::deleteAt(0)}, list, {}); },
         true},
        {"reload", [](TestCache& c, const auto&) { c.removeAllUpToDateDocumentIdentifiers(); }, false},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const URL deck = url(std::string("Deck") + c.name);
        load(deck, "old");
        deliveries.clear();
        cache->invalidateDetails({DocumentItemAnimation::updateAt(0)}, items({deck}), items({deck}));

        const std::size_t before = full.readCount();
        EXPECT_EQ("old", cache->details(deck, true)->text);
        ASSERT_TRUE(full.waitForReads(before + 1));
        c.change(*cache, items({deck}));
        full.answer(before, "read before the change");
        ASSERT_TRUE(settle());

        EXPECT_TRUE(deliveries.empty());
        EXPECT_EQ(0u, cache->upToDateDocumentIdentifiers().count(identifier(deck)));
        Details shown = cache->details(deck, true);
        if (c.deleted) {
            EXPECT_EQ(placeholder, shown);
        } else {
            EXPECT_EQ("old", shown->text);
        }
        ASSERT_TRUE(full.waitForReads(before + 2));
        full.answer(before + 1, "new");
        ASSERT_TRUE(settle());
        ASSERT_EQ(1u, deliveries.size());
        EXPECT_EQ("new", cache->details(deck, true)->text);
        ++n;
    }
    EXPECT_EQ(3, n);
}

TEST_F(DocumentDetailsCacheTest, AnIgnoredDocumentIsNeverReadUntilIgnoringIsCleared) {
    const URL deck = url("Open"), other = url("Other");
    load(deck, "before opening");
    cache->invalidateDetails(one(DocumentItemAnimation::updateAt(0)), items({deck}), items({deck}));
    cache->ignoreDocument(deck);
    EXPECT_EQ(identifier(deck), cache->ignoreDocumentWithIdentifier());

    EXPECT_EQ("before opening", cache->details(deck, true)->text);
    ASSERT_TRUE(settle());
    EXPECT_EQ("before opening", cache->details(deck, false)->text);
    ASSERT_TRUE(settle());
    EXPECT_EQ(1u, full.readCount());
    EXPECT_EQ(0u, metadata.readCount());
    EXPECT_TRUE(logged("DEBUG", "main()", "Should not read details for: " + deck.description()));
    EXPECT_TRUE(logged("DEBUG", "main()", "Should not read metadata for: " + deck.description()));

    // Other documents are read meanwhile.
    cache->details(other, true);
    ASSERT_TRUE(full.waitForReads(2));
    EXPECT_EQ(other, full.urlOfRead(1));
    full.answer(1, "other");
    ASSERT_TRUE(settle());

    cache->ignoreDocument(std::nullopt);
    EXPECT_FALSE(cache->ignoreDocumentWithIdentifier());
    cache->details(deck, true);
    ASSERT_TRUE(full.waitForReads(3));
    EXPECT_EQ(deck, full.urlOfRead(2));
}

TEST_F(DocumentDetailsCacheTest, AFailingLoaderIsTriedAgainOnTheNextLookup) {
    const URL deck = url("Broken"), cloud = url("BrokenCloud");
    cache->details(deck, true);
    ASSERT_TRUE(full.waitForReads(1));
    full.answer(0, "");
    cache->details(cloud, false);
    ASSERT_TRUE(metadata.waitForReads(1));
    metadata.answer(0, "");
    ASSERT_TRUE(settle());

    EXPECT_TRUE(deliveries.empty());
    EXPECT_TRUE(cache->upToDateDocumentIdentifiers().empty());
    EXPECT_TRUE(logged(" WARN", "main()", "  Error reading: " + deck.description() + ". Error: "));
    EXPECT_TRUE(logged(" WARN", "main()", "No results reading: " + deck.description()));
    EXPECT_TRUE(logged(" WARN", "main()", "Error reading metadata for: " + cloud.description() + ". Error: "));
    EXPECT_TRUE(
        logged(" WARN", "main()", "No results reading metadata: " + cloud.description() + ". wasCanceled: false"));

    EXPECT_EQ(placeholder, cache->details(deck, true));
    ASSERT_TRUE(full.waitForReads(2));
    full.answer(1, "mended");
    ASSERT_TRUE(settle());
    ASSERT_EQ(1u, deliveries.size());
    EXPECT_EQ("mended", deliveries[0].details->text);
}

TEST_F(DocumentDetailsCacheTest, AnEvictedEntryGivesThePlaceholderAndIsReadAgain) {
    const URL deck = url("Deck");
    load(deck, "cached");
    cache->cache().evictObjectForKey(identifier(deck));
    // The identifier may still be in the up-to-date set; the missing entry wins.
    EXPECT_EQ(1u, cache->upToDateDocumentIdentifiers().count(identifier(deck)));
    EXPECT_EQ(placeholder, cache->details(deck, true));
    ASSERT_TRUE(full.waitForReads(2));
    full.answer(1, "again");
    ASSERT_TRUE(settle());
    EXPECT_EQ("again", cache->details(deck, true)->text);
}

TEST_F(DocumentDetailsCacheTest, AReloadMakesEveryLookupReadAgainWhileAnsweringWithTheCachedDetails) {
    const URL a = url("A"), b = url("B");
    load(a, "a");
    load(b, "b");
    cache->invalidateDetails(one(DocumentItemAnimation::reload()), {}, {});
    EXPECT_TRUE(cache->upToDateDocumentIdentifiers().empty());
    EXPECT_EQ("a", cache->details(a, true)->text);
    EXPECT_EQ("b", cache->details(b, true)->text);
    ASSERT_TRUE(full.waitForReads(4));
    full.answerAll("fresh");
    ASSERT_TRUE(settle());
    EXPECT_EQ(4u, deliveries.size());
    EXPECT_EQ("fresh", cache->details(a, true)->text);
    EXPECT_EQ(0u, cache->backgroundQueue()->operationCount());
}

// Reads run at most four at a time; while all four hang in their loaders the
// main thread keeps answering lookups at once.
TEST_F(DocumentDetailsCacheTest, AtMostFourReadsRunAtOnceAndTheMainThreadNeverWaits) {
    std::vector<URL> decks;
    for (int i = 0; i < 10; ++i) decks.push_back(url("Deck" + std::to_string(i)));
    for (const auto& d : decks) EXPECT_EQ(placeholder, cache->details(d, true));
    ASSERT_TRUE(full.waitForReads(4));
    memorant_test::drainMainLoop();
    EXPECT_EQ(4u, full.readCount());
    EXPECT_EQ(4, full.running());

    // Lookups while every worker is busy return at once.
    EXPECT_EQ(placeholder, cache->details(url("Late"), false));
    cache->ignoreDocument(decks[9]);

    for (std::size_t answered = 0; answered < 10; ++answered) {
        ASSERT_TRUE(full.waitForReads(std::min<std::size_t>(answered + 4, 9)));
        full.answer(answered, "d" + std::to_string(answered));
        if (answered + 1 == 9) break;
    }
    ASSERT_TRUE(metadata.waitForReads(1));
    metadata.answer(0, "late");
    ASSERT_TRUE(settle());
    EXPECT_EQ(4, full.maxRunning());
    EXPECT_EQ(9u, full.readCount());  // the ignored one was never read
    EXPECT_EQ(10u, deliveries.size());
}

TEST(DocumentDetailsCacheDeathTest, ALookupWithoutTheLoaderBlocksStopsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto cache = TestCache::create("com.memorant.test", 4, std::make_shared<TestDetails>());
    cache->setLoadDetails([](const URL&, Error*) { return Details(); });
    EXPECT_DEATH(cache->details(URL::fileURLWithPath("/tmp/x.flashcards"), true),
                 "loadDetails, loadMetadataOnlyDeteails and didLoadDetails blocks are required\\.");
}

}  // namespace
