#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Common/FCCDeckDocumentPersistence.h"
#include "Common/FILegacyDeckDocument.h"
#include "Common/LegacyPackageTestSupport.h"
#include "model/FCCDeckPreview.h"
#include "model/FCCard.h"
#include "model/FCDeck.h"
#include "model/FCStudyStats.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/NotificationCenter.h"
#include "support/MainLoop.h"

using namespace memorant_test;
namespace fs = std::filesystem;

namespace {

class RecordingDelegate : public FIDeckDocumentDelegate {
public:
    void deckDocumentLoadedFromDisk(const std::shared_ptr<FIDeckDocument>&) override { ++loadedCount; }
    int loadedCount = 0;
};

// Every regular file of a package by its path inside it, with its inode.
std::map<std::string, ino_t> filesWithInodes(const std::string& package) {
    std::map<std::string, ino_t> files;
    for (const auto& entry : fs::recursive_directory_iterator(package)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), package).string()] = inodeOf(entry.path().string());
        }
    }
    return files;
}

std::shared_ptr<FCStudyCard> studyCard(FCDeck& deck, const std::string& identifier) {
    std::shared_ptr<FCStudyCard> found;
    FCDeck::traverseAllCards(deck.cards(), [&](const std::shared_ptr<FCCard>& card, bool, bool* stop) {
        if (card->isStudyCard() && card->legacyIdentifier() == identifier) {
            found = std::static_pointer_cast<FCStudyCard>(card);
            *stop = true;
        }
    });
    return found;
}

std::vector<std::int64_t> ratings(const std::shared_ptr<FCStudyStats>& stats) {
    return stats ? stats->pastResults() : std::vector<std::int64_t>{};
}

class FILegacyDeckDocumentTest : public VirtualClockTest {
protected:
    void SetUp() override { package = copyBiologyPackage(dir); }

    void TearDown() override {
        for (auto& document : opened) {
            if (!(document->documentState() & DocumentStateClosed)) close(*document);
        }
    }

    // Opens the document at the path and waits for the outcome.
    std::shared_ptr<FILegacyDeckDocument> open(const std::string& path, bool* success = nullptr,
                                               std::shared_ptr<FIDeckDocumentDelegate> delegate = nullptr) {
        auto document = std::make_shared<FILegacyDeckDocument>(URL::fileURLWithPath(path, true));
        document->setDelegate(delegate);
        std::optional<bool> result;
        document->openWithCompletionHandler([&](bool ok) { result = ok; });
        EXPECT_TRUE(runMainLoopUntil([&] { return result.has_value(); }));
        if (success) *success = result.value_or(false);
        opened.push_back(document);
        return document;
    }

    void close(FILegacyDeckDocument& document) {
        std::optional<bool> result;
        document.closeWithCompletionHandler([&](bool ok) { result = ok; });
        EXPECT_TRUE(runMainLoopUntil([&] { return result.has_value(); }));
    }

    // Lets the platform's autosave run and waits until it has saved.
    void autosave(FILegacyDeckDocument& document) {
        ASSERT_TRUE(document.hasUnsavedChanges());
        advance(Document::autosaveDelay());
        ASSERT_TRUE(runMainLoopUntil([&] { return !document.hasUnsavedChanges(); }));
        EXPECT_FALSE(document.documentState() & DocumentStateSavingError) << document.lastError()->description();
    }

    // Names in the package's folder other than the package and its preview
    // (left-overs of a save).
    std::vector<std::string> strayItemsBesidePackage() const {
        std::vector<std::string> stray;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            const std::string name = entry.path().filename().string();
            if (name != "Biology.studydeck" && name != "Biology.studydeck.deckpreview") stray.push_back(name);
        }
        return stray;
    }

    TempDir dir;
    std::string package;
    std::vector<std::shared_ptr<FILegacyDeckDocument>> opened;
};

// The fixture: "cell" (forward 2,1,3 and reverse 1, with a statistics file),
// a topic "genetics" with "gene" and "allele" (no statistics), direction 2.
struct ChangeCase {
    const char* name;
    std::function<void(FILegacyDeckDocument&, FCDeck&)> change;
    std::set<std::string> rewritten;     // files written anew (all others stay hard links)
    std::function<void(FCDeck&)> check;  // on the deck read back
};

const ChangeCase kChangeCases[] = {
    {"rating of one card",
     [](FILegacyDeckDocument& document, FCDeck& deck) {
         studyCard(deck, "gene")->updateLeitnerRating(1);
         document.didUpdateStudyStatsForCardWithIdentifier(std::string("gene"));
     },
     {"progress", "stats/gene.stats"},
     [](FCDeck& deck) {
         EXPECT_EQ(ratings(studyCard(deck, "gene")->studyStats()), (std::vector<std::int64_t>{1}));
         EXPECT_EQ(ratings(studyCard(deck, "cell")->studyStats()), (std::vector<std::int64_t>{2, 1, 3}));
     }},
    {"ratings of several cards",
     [](FILegacyDeckDocument& document, FCDeck& deck) {
         studyCard(deck, "allele")->updateLeitnerRating(2);
         studyCard(deck, "cell")->updateReverseLeitnerRating(2);
         document.didUpdateStudyStatisticsForMultipleCards();
     },
     // Every card that has statistics gets its file written again.
     {"progress", "stats/cell.stats", "stats/allele.stats"},
     [](FCDeck& deck) {
         EXPECT_EQ(ratings(studyCard(deck, "allele")->studyStats()), (std::vector<std::int64_t>{2}));
         EXPECT_EQ(ratings(studyCard(deck, "cell")->reverseStudyStats()), (std::vector<std::int64_t>{1, 2}));
         EXPECT_EQ(ratings(studyCard(deck, "gene")->studyStats()), std::vector<std::int64_t>{});
     }},
    {"preferred study direction",
     [](FILegacyDeckDocument& document, FCDeck&) { document.updatePreferredStudyDirection(1); },
     {"studydirection"},
     [](FCDeck& deck) { EXPECT_EQ(deck.preferredStudyDirection(), 1); }},
};

}  // namespace

TEST_F(FILegacyDeckDocumentTest, SavedChangesReadBackAndOnlyStaleFilesAreRewritten) {
    for (const auto& c : kChangeCases) {
        SCOPED_TRACE(c.name);
        TempDir caseDir;
        const std::string path = copyBiologyPackage(caseDir);
        const auto before = filesWithInodes(path);

        bool ok = false;
        auto document = open(path, &ok);
        ASSERT_TRUE(ok) << document->lastError()->description();
        ASSERT_TRUE(document->deck());
        c.change(*document, *document->deck());
        autosave(*document);

        const auto after = filesWithInodes(path);
        std::set<std::string> rewritten;
        for (const auto& [file, inode] : after) {
            auto old = before.find(file);
            if (old == before.end() || old->second != inode) rewritten.insert(file);
        }
        EXPECT_EQ(rewritten, c.rewritten);
        for (const auto& [file, inode] : before) EXPECT_TRUE(after.count(file)) << file << " is gone";
        EXPECT_TRUE(fs::exists(path + ".deckpreview"));
        close(*document);

        auto reopened = open(path, &ok);
        ASSERT_TRUE(ok);
        c.check(*reopened->deck());
        close(*reopened);
    }
}

TEST_F(FILegacyDeckDocumentTest, SaveRefreshesPreviewAndLeavesNothingBeside) {
    bool ok = false;
    auto document = open(package, &ok);
    ASSERT_TRUE(ok);
    auto deck = document->deck();
    studyCard(*deck, "gene")->updateLeitnerRating(1);
    document->didUpdateStudyStatsForCardWithIdentifier(std::string("gene"));
    autosave(*document);

    const std::string previewPath =
        FILegacyDeckDocument::previewFileURLforLegacyDeckURL(URL::fileURLWithPath(package)).path();
    EXPECT_EQ(previewPath, package + ".deckpreview");
    auto preview =
        FCCDeckDocumentPersistence::previewFromJSONData(dataFromString(readFileText(previewPath)), "Biology");
    ASSERT_TRUE(preview);
    EXPECT_EQ(preview->studyCardsCount(), 3);
    EXPECT_DOUBLE_EQ(preview->studyProgress(), deck->studyProgress());
    EXPECT_EQ(readFileText(package + "/progress"), stringWithFormat("%.2f", deck->studyProgress()));
    EXPECT_TRUE(strayItemsBesidePackage().empty());

    // A second save over the saved package works the same way.
    document->updatePreferredStudyDirection(0);
    autosave(*document);
    EXPECT_EQ(readFileText(package + "/studydirection"), "0");
    EXPECT_TRUE(strayItemsBesidePackage().empty());
}

TEST_F(FILegacyDeckDocumentTest, ReadOnlyDocumentNeverRecordsChanges) {
    bool ok = false;
    auto document = open(package, &ok);
    ASSERT_TRUE(ok);
    document->setReadOnly(true);
    const auto before = filesWithInodes(package);

    studyCard(*document->deck(), "gene")->updateLeitnerRating(1);
    document->didUpdateStudyStatsForCardWithIdentifier(std::string("gene"));
    document->updatePreferredStudyDirection(0);
    EXPECT_FALSE(document->hasUnsavedChanges());
    advance(Document::autosaveDelay() * 2);
    close(*document);

    EXPECT_EQ(filesWithInodes(package), before);
    EXPECT_FALSE(fs::exists(package + ".deckpreview"));
}

TEST_F(FILegacyDeckDocumentTest, FailedReadFailsWithItsErrorAndStillTellsTheDelegate) {
    struct Case {
        const char* name;
        std::function<std::string(const TempDir&)> makePackage;
        std::string domain;
        std::int64_t code;  // checked when the domain is given
    };
    const Case cases[] = {
        {"version 2",
         [](const TempDir& d) {
             auto path = copyBiologyPackage(d);
             writeFileText(path + "/version", "2");
             return path;
         },
         "DeckDocumentPersistence", 1001},
        {"missing card file",
         [](const TempDir& d) {
             auto path = copyBiologyPackage(d);
             fs::remove(path + "/cards/gene.card");
             return path;
         },
         "DeckDocumentPersistence", 1000},
        {"no package", [](const TempDir& d) { return d.file("Missing.studydeck"); }, "NSCocoaErrorDomain", 260},
        // An empty file where the package folder should be is there, but cannot be read.
        {"empty file",
         [](const TempDir& d) {
             writeFileText(d.file("Empty.studydeck"), "");
             return d.file("Empty.studydeck");
         },
         "NSCocoaErrorDomain", 256},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir caseDir;
        auto delegate = std::make_shared<RecordingDelegate>();
        bool ok = true;
        auto document = open(c.makePackage(caseDir), &ok, delegate);
        EXPECT_FALSE(ok);
        EXPECT_FALSE(document->deck());
        ASSERT_TRUE(document->lastError());
        if (!c.domain.empty()) {
            EXPECT_EQ(document->lastError()->domain(), c.domain);
            EXPECT_EQ(document->lastError()->code(), c.code);
        }
        EXPECT_TRUE(runMainLoopUntil([&] { return delegate->loadedCount == 1; }));
        document->clearLastError();
        EXPECT_FALSE(document->lastError());
    }
}

TEST_F(FILegacyDeckDocumentTest, DeletedOnAnotherDeviceClosesAnnouncesAndNeverSavesAgain) {
    bool ok = false;
    auto document = open(package, &ok);
    ASSERT_TRUE(ok);
    // An unsaved rating: closing used to save it and so bring the package back.
    studyCard(*document->deck(), "gene")->updateLeitnerRating(1);
    document->didUpdateStudyStatsForCardWithIdentifier(std::string("gene"));
    ASSERT_TRUE(document->hasUnsavedChanges());

    std::vector<std::string> events;
    auto observer = NotificationCenter::defaultCenter().addObserverForName(
        std::string(FIDeckDocumentDeletedOnAnotherDeviceNotification), nullptr, nullptr,
        [&](const Notification& notification) {
            EXPECT_TRUE(notification.object() == AnyObject(document));
            EXPECT_TRUE(document->documentState() & DocumentStateClosed);
            events.push_back("notification");
        });

    fs::remove_all(package);
    document->accommodatePresentedItemDeletionWithCompletionHandler([&](const Error* error) {
        EXPECT_EQ(error, nullptr);
        events.push_back("completion");
    });
    ASSERT_TRUE(runMainLoopUntil([&] { return events.size() == 2; }));
    EXPECT_EQ(events, (std::vector<std::string>{"completion", "notification"}));

    // Later reports and saves change nothing on disk.
    document->didUpdateStudyStatsForCardWithIdentifier(std::string("cell"));
    EXPECT_FALSE(document->hasUnsavedChanges());
    std::optional<bool> saved;
    document->saveToURL(URL::fileURLWithPath(package, true), DocumentSaveOperation::ForCreating,
                        [&](bool success) { saved = success; });
    ASSERT_TRUE(runMainLoopUntil([&] { return saved.has_value(); }));
    EXPECT_FALSE(*saved);
    advance(Document::autosaveDelay() * 2);
    drainMainLoop();

    EXPECT_EQ(events.size(), 2u);
    EXPECT_FALSE(fs::exists(package));
    EXPECT_FALSE(fs::exists(package + ".deckpreview"));
}
