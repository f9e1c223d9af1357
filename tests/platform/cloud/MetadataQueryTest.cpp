#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/cloud/FolderMetadataQueryBackend.h"
#include "platform/cloud/MetadataQuery.h"
#include "platform/cloud/PromisedItems.h"
#include "platform/cloud/ScriptedMetadataQueryBackend.h"
#include "platform/cloud/UbiquityContainer.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/StringUtils.h"
#include "support/MainLoop.h"
#include "support/TestBundle.h"
#include "support/TestEnvironment.h"

using memorant_test::runMainLoopUntil;
using memorant_test::TempDir;

namespace {

MetadataItemPtr item(const std::string& name) {
    auto item = std::make_shared<MetadataItem>();
    item->setValueForAttribute(NSMetadataItemURLKey, URL::fileURLWithPath("/c/" + name));
    item->setValueForAttribute(NSMetadataItemFSNameKey, Value(name));
    return item;
}

std::vector<std::string> names(const MetadataItemArray& items) {
    std::vector<std::string> out;
    for (const auto& i : items) out.push_back(*i->stringForAttribute(NSMetadataItemFSNameKey));
    return out;
}

using Names = std::vector<std::string>;

Names sorted(Names names) {
    std::sort(names.begin(), names.end());
    return names;
}

// Every notification of one query, as it was posted.
struct Posted {
    std::string name;
    Names added, changed, removed, results;
    bool onMainThread;
};

class QueryRecorder {
public:
    explicit QueryRecorder(const std::shared_ptr<MetadataQuery>& query) : query_(query) {
        NotificationCenter::defaultCenter().addObserver(
            this, std::nullopt, AnyObject(query), [this](const Notification& n) {
                auto array = [&](const char* key) {
                    auto items = n.objectUserInfoForKey(key).as<MetadataItemArray>();
                    return items ? names(*items) : Names();
                };
                posted.push_back(
                    {n.name(), array(NSMetadataQueryUpdateAddedItemsKey), array(NSMetadataQueryUpdateChangedItemsKey),
                     array(NSMetadataQueryUpdateRemovedItemsKey), names(query_->results()), isMainThread()});
            });
    }
    ~QueryRecorder() { NotificationCenter::defaultCenter().removeObserver(this); }
    std::vector<Posted> posted;

private:
    std::shared_ptr<MetadataQuery> query_;
};

MetadataQueryPredicate deckPredicate() {
    return MetadataQueryPredicate::orOfLikePatterns(NSMetadataItemFSNameKey, {"*.studydeck", "*.flashcards"});
}

}  // namespace

TEST(MetadataQueryPredicate, MatchesFileNamesAgainstWildcards) {
    struct Case {
        const char* text;
        const char* pattern;
        bool like;
    } cases[] = {
        {"Deck.flashcards", "*.flashcards", true},
        {".flashcards", "*.flashcards", true},
        {"Deck.FLASHCARDS", "*.flashcards", false},
        {"Deck.flashcards.zip", "*.flashcards", false},
        {"a.b.flashcards", "*.flashcards", true},
        {"abc", "a?c", true},
        {"ac", "a?c", false},
        {"x", "*", true},
        {"", "*", true},
        {"aXbXc", "*b*c", true},
        {"aaa", "a*a*a*a", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.like, MetadataQueryPredicate::like(c.text, c.pattern)) << c.text << " LIKE " << c.pattern;
    }
    auto noName = std::make_shared<MetadataItem>();
    EXPECT_FALSE(deckPredicate().matches(*noName));
    EXPECT_TRUE(deckPredicate().matches(*item("Old.studydeck")));
    EXPECT_FALSE(deckPredicate().matches(*item("notes.txt")));
}

TEST(MetadataQuery, PostsOnTheStartingLoopAndHoldsChangesWhileDisabled) {
    auto backend = std::make_shared<ScriptedMetadataQueryBackend>();
    auto query = MetadataQuery::create(backend);
    query->setPredicate(deckPredicate());
    QueryRecorder recorder(query);
    backend->setResults({item("A.flashcards"), item("notes.txt")});
    ASSERT_TRUE(query->startQuery());
    EXPECT_FALSE(query->startQuery());
    EXPECT_TRUE(query->isGathering());
    ASSERT_EQ(1u, recorder.posted.size());  // only "did start" so far
    EXPECT_EQ(NSMetadataQueryDidStartGatheringNotification, recorder.posted[0].name);
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder.posted.size() == 2; }));
    EXPECT_EQ(NSMetadataQueryDidFinishGatheringNotification, recorder.posted[1].name);
    EXPECT_EQ(Names{"A.flashcards"}, recorder.posted[1].results);
    EXPECT_TRUE(recorder.posted[1].onMainThread);
    EXPECT_FALSE(query->isGathering());

    backend->postUpdate({item("B.flashcards"), item("x.txt")}, {item("A.flashcards")}, {});
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder.posted.size() == 3; }));
    EXPECT_EQ(NSMetadataQueryDidUpdateNotification, recorder.posted[2].name);
    EXPECT_EQ(Names{"B.flashcards"}, recorder.posted[2].added);
    EXPECT_EQ(Names{"A.flashcards"}, recorder.posted[2].changed);
    EXPECT_EQ((Names{"A.flashcards", "B.flashcards"}), recorder.posted[2].results);

    // While disabled: results fixed, nothing posted; the held changes merge.
    query->disableUpdates();
    backend->postUpdate({item("C.flashcards"), item("D.flashcards")}, {}, {});
    backend->postUpdate({}, {item("C.flashcards")}, {item("D.flashcards"), item("B.flashcards")});
    backend->postUpdate({item("B.flashcards")}, {}, {});
    memorant_test::drainMainLoop();
    EXPECT_EQ(3u, recorder.posted.size());
    EXPECT_EQ(2u, query->resultCount());
    query->enableUpdates();
    EXPECT_EQ(3u, recorder.posted.size());  // posted from the loop, not from inside the call
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder.posted.size() == 4; }));
    const Posted& held = recorder.posted[3];
    EXPECT_EQ(Names{"C.flashcards"}, held.added);    // added, then changed: still added
    EXPECT_EQ(Names{"B.flashcards"}, held.changed);  // removed, then added again: changed
    EXPECT_EQ(Names{}, held.removed);                // D added and removed: gone from both
    EXPECT_EQ((Names{"A.flashcards", "C.flashcards", "B.flashcards"}), held.results);

    // After stop, reports are dropped.
    query->stopQuery();
    EXPECT_TRUE(query->isStopped());
    backend->postUpdate({item("E.flashcards")}, {}, {});
    memorant_test::drainMainLoop();
    EXPECT_EQ(4u, recorder.posted.size());
}

TEST(FolderMetadataQueryBackend, ScansAndWatchesTheContainer) {
    TempDir container;
    auto& fm = FileManager::defaultManager();
    ASSERT_TRUE(fm.createDirectoryAtPath(container.file("Documents/Sub"), true));
    ASSERT_TRUE(fm.createDirectoryAtPath(container.file("Documents/Package.flashcards/Inner.flashcards"), true));
    ASSERT_TRUE(fm.createFileAtPath(container.file("Documents/A.flashcards"), dataFromString("a")));
    ASSERT_TRUE(fm.createFileAtPath(container.file("Documents/Sub/S.flashcards"), dataFromString("s")));
    ASSERT_TRUE(fm.createFileAtPath(container.file("Root.studydeck"), dataFromString("r")));
    ASSERT_TRUE(fm.createFileAtPath(container.file("Documents/.hidden.flashcards"), dataFromString("h")));
    ASSERT_TRUE(fm.createFileAtPath(container.file("Documents/.Promised.flashcards.icloud"), dataFromString("p")));
    ASSERT_TRUE(fm.createFileAtPath(container.file("Documents/notes.txt"), dataFromString("n")));

    auto query = MetadataQuery::create(
        std::make_shared<FolderMetadataQueryBackend>(URL::fileURLWithPath(container.str(), true)));
    query->setPredicate(deckPredicate());
    QueryRecorder recorder(query);
    ASSERT_TRUE(query->startQuery());
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder.posted.size() == 2; }));
    const Names gathered = recorder.posted[1].results;
    EXPECT_EQ((Names{"A.flashcards", "Package.flashcards", "Promised.flashcards", "S.flashcards", "Root.studydeck"}),
              gathered);
    for (const auto& result : query->results()) {
        const std::string name = *result->stringForAttribute(NSMetadataItemFSNameKey);
        const bool promised = name == "Promised.flashcards";
        EXPECT_EQ(promised ? NSMetadataUbiquitousItemDownloadingStatusNotDownloaded
                           : NSMetadataUbiquitousItemDownloadingStatusCurrent,
                  result->stringForAttribute(NSMetadataUbiquitousItemDownloadingStatusKey))
            << name;
        EXPECT_EQ(stringByDeletingPathExtension(name), result->stringForAttribute(NSMetadataItemDisplayNameKey));
        EXPECT_TRUE(result->dateForAttribute(NSMetadataItemFSContentChangeDateKey)) << name;
        EXPECT_EQ(true, result->boolForAttribute(NSMetadataUbiquitousItemIsUploadedKey));
    }

    // Downloading the promised deck changes it; evicting another changes that one.
    ASSERT_TRUE(PromisedItems::startDownloadingUbiquitousItemAtURL(
        URL::fileURLWithPath(container.file("Documents/Promised.flashcards"))));
    ASSERT_TRUE(runMainLoopUntil([&] { return recorder.posted.size() >= 3; }));
    EXPECT_EQ(Names{"Promised.flashcards"}, recorder.posted.back().changed);
    EXPECT_TRUE(recorder.posted.back().added.empty());
    EXPECT_TRUE(recorder.posted.back().removed.empty());

    // A new subfolder is watched as soon as it is seen.
    ASSERT_TRUE(fm.createDirectoryAtPath(container.file("Documents/New"), true));
    ASSERT_TRUE(fm.createFileAtPath(container.file("Documents/New/N.flashcards"), dataFromString("n")));
    ASSERT_TRUE(runMainLoopUntil([&] {
        const auto r = names(query->results());
        return std::find(r.begin(), r.end(), "N.flashcards") != r.end();
    }));
    query->stopQuery();
}

// Without a container of its own a query covers every container the app
// declares: the data scope each one outside its "Documents", the documents
// scope each one's "Documents", and it watches them all.
TEST(FolderMetadataQueryBackend, CoversEveryDeclaredContainer) {
    memorant_test::TestBundle app(
        Value::dictionary({{UbiquityContainerIdentifiersInfoKey,
                            Value::array({Value("iCloud.org.example"), Value("T3AM.org.example")})}}));
    Bundle::setMainResourcePath(app.dir.str());
    TempDir containers;
    UbiquityContainer::setContainersRoot(containers.str());
    auto& fm = FileManager::defaultManager();
    ASSERT_TRUE(fm.createDirectoryAtPath(containers.file("iCloud.org.example/Documents"), true));
    ASSERT_TRUE(fm.createFileAtPath(containers.file("iCloud.org.example/Documents/A.flashcards"), dataFromString("a")));
    ASSERT_TRUE(fm.createFileAtPath(containers.file("iCloud.org.example/Outside.flashcards"), dataFromString("o")));
    ASSERT_TRUE(fm.createDirectoryAtPath(containers.file("T3AM.org.example/decks/Old.studydeck"), true));

    struct Case {
        std::vector<std::string> scopes;
        Names gathered;
    } cases[] = {{{}, {"A.flashcards", "Outside.flashcards", "Old.studydeck"}},
                 {{NSMetadataQueryUbiquitousDataScope}, {"Outside.flashcards", "Old.studydeck"}},
                 {{NSMetadataQueryUbiquitousDocumentsScope}, {"A.flashcards"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scopes.empty() ? std::string("no scope") : c.scopes.front());
        auto query = MetadataQuery::create(std::make_shared<FolderMetadataQueryBackend>());
        query->setPredicate(deckPredicate());
        query->setSearchScopes(c.scopes);
        QueryRecorder recorder(query);
        ASSERT_TRUE(query->startQuery());
        ASSERT_TRUE(runMainLoopUntil([&] { return recorder.posted.size() == 2; }));
        EXPECT_EQ(sorted(c.gathered), sorted(recorder.posted[1].results));
        query->stopQuery();
    }
    // The second container's "Documents" is not made by looking; once it
    // appears, what comes into it is seen, as in the first.
    EXPECT_FALSE(fm.fileExistsAtPath(containers.file("T3AM.org.example/Documents")));
    auto query = MetadataQuery::create(std::make_shared<FolderMetadataQueryBackend>());
    query->setPredicate(deckPredicate());
    query->setSearchScopes({NSMetadataQueryUbiquitousDocumentsScope});
    ASSERT_TRUE(query->startQuery());
    ASSERT_TRUE(fm.createDirectoryAtPath(containers.file("T3AM.org.example/Documents"), true));
    ASSERT_TRUE(fm.createFileAtPath(containers.file("T3AM.org.example/Documents/B.flashcards"), dataFromString("b")));
    ASSERT_TRUE(fm.createFileAtPath(containers.file("iCloud.org.example/Documents/C.flashcards"), dataFromString("c")));
    EXPECT_TRUE(runMainLoopUntil([&] {
        return sorted(names(query->results())) == Names{"A.flashcards", "B.flashcards", "C.flashcards"};
    })) << componentsJoinedByString(names(query->results()), ", ");
    query->stopQuery();
    UbiquityContainer::setContainersRoot("");
    Bundle::setMainResourcePath("");
}

TEST(MetadataQuery, NotificationsComeOnTheThreadThatStartedTheQuery) {
    auto backend = std::make_shared<ScriptedMetadataQueryBackend>();
    auto query = MetadataQuery::create(backend);
    backend->setResults({item("A.flashcards")});
    int startingThread = 0, postingThread = -1;
    std::thread worker([&] {
        startingThread = currentThreadId();
        bool finished = false;
        NotificationCenter::defaultCenter().addObserver(&finished,
                                                        std::string(NSMetadataQueryDidFinishGatheringNotification),
                                                        AnyObject(query), [&](const Notification&) {
                                                            postingThread = currentThreadId();
                                                            finished = true;
                                                        });
        query->startQuery();
        for (int pass = 0; !finished && pass < 1000; ++pass) {
            RunLoop::current().runMode(RunLoop::kDefaultMode, Date::distantFuture(), std::chrono::milliseconds(10));
        }
        NotificationCenter::defaultCenter().removeObserver(&finished);
        query->stopQuery();
    });
    worker.join();
    EXPECT_EQ(startingThread, postingThread);
    EXPECT_NE(currentThreadId(), postingThread);
}
