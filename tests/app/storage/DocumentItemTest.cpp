#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DeckListTestClock.h"
#include "app/storage/DocumentItem.h"
#include "app/storage/DocumentItemOrderedSet.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/MetadataItem.h"
#include "platform/ui/Image.h"
#include "support/MainLoop.h"
#include "support/TestEnvironment.h"

using memorant_test::TempDir;

namespace {

const Date kMidnight = memorant_test::kBerlinMidnight;

class DocumentItemTest : public memorant_test::DeckListClockTest {
protected:
    TempDir dir;
};

std::shared_ptr<DocumentItem> item(const std::string& path) {
    return std::make_shared<DocumentItem>(URL::fileURLWithPath(path), std::nullopt);
}

DocumentItemOrderedSet set(const std::vector<std::string>& paths) {
    DocumentItemOrderedSet::Items items;
    for (const auto& p : paths) items.push_back(item(p));
    return DocumentItemOrderedSet(items);
}

std::string text(const std::vector<DocumentItemAnimation>& animations) {
    std::string out;
    for (const auto& a : animations) out += (out.empty() ? "" : " ") + a.debugDescription();
    return out;
}

std::shared_ptr<MetadataItem> metadata(std::map<std::string, MetadataItem::Attribute> attributes) {
    return std::make_shared<MetadataItem>(std::move(attributes));
}

}  // namespace

TEST_F(DocumentItemTest, LocalFileNamesLegacyPlaceholderAndSubtitle) {
    const std::string placeholder = Bundle::main().localizedString("LegacyDocumentTitlePlaceholder");
    EXPECT_EQ("Deck of Flashcards", placeholder);
    struct Case {
        const char* file;
        std::string displayName;
        bool legacy;
    } cases[] = {
        {"My Deck.flashcards", "My Deck", false}, {"a.b.flashcards", "a.b", false},
        {"No Extension", "No Extension", false},  {"Old.studydeck", placeholder, true},
        {"Old.StudyDeck", "Old", false},          {".Hidden.flashcards", ".Hidden", false},
    };
    const Date yesterday = kMidnight.byAddingTimeInterval(-60);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(FileManager::defaultManager().createFileAtPath(dir.file(c.file), dataFromString("x")));
        ASSERT_TRUE(FileManager::defaultManager().setModificationDate(dir.file(c.file), yesterday));
        DocumentItem local(URL::fileURLWithPath(dir.file(c.file)));
        EXPECT_EQ(c.displayName, local.displayName());
        EXPECT_EQ(c.legacy, local.isLegacyStudydeckDocument());
        EXPECT_EQ("Yesterday", local.subtitle());
        EXPECT_EQ(DocumentItem::StorageLocation::localContainer(), local.storageLocation());
        EXPECT_FALSE(local.metadataItem());
        EXPECT_FALSE(local.thumbnail());
        EXPECT_EQ(c.displayName + " - Yesterday", local.description());
    }
    // A file whose date cannot be read has an empty subtitle.
    DocumentItem missing(URL::fileURLWithPath(dir.file("Gone.flashcards")));
    EXPECT_EQ("Gone", missing.displayName());
    EXPECT_EQ("", missing.subtitle());
}

TEST_F(DocumentItemTest, SubtitlesAroundMidnightOnAFixedClockLocaleAndZone) {
    struct Case {
        Date now;
        std::optional<Date> date;
        const char* subtitle;
    } cases[] = {
        {kMidnight.byAddingTimeInterval(30), kMidnight.byAddingTimeInterval(10), "Today, 00:00"},
        {kMidnight.byAddingTimeInterval(30), kMidnight.byAddingTimeInterval(-10), "Yesterday"},
        {kMidnight.byAddingTimeInterval(-30), kMidnight.byAddingTimeInterval(-90), "Today, 23:58"},
        {kMidnight.byAddingTimeInterval(-30), kMidnight.byAddingTimeInterval(-86400 - 90), "Yesterday"},
        {kMidnight, kMidnight.byAddingTimeInterval(-86400 * 365), "10/03/2024"},
        {kMidnight, kMidnight.byAddingTimeInterval(-86400 * 365 + 7200), "10/03/2024"},
        {kMidnight.byAddingTimeInterval(3600), kMidnight.byAddingTimeInterval(59), "Today, 00:00"},
        {kMidnight.byAddingTimeInterval(3600), kMidnight.byAddingTimeInterval(60), "Today, 00:01"},
        {kMidnight, std::nullopt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.subtitle);
        virtualClock.clock().set(c.now);
        EXPECT_EQ(c.subtitle, DocumentItem::subtitleDateString(c.date));
    }
}

TEST_F(DocumentItemTest, MetadataItems) {
    const URL url = URL::fileURLWithPath("/cloud/Documents/Shared Deck.flashcards");
    const Date yesterday = kMidnight.byAddingTimeInterval(-3600);
    EXPECT_EQ(nullptr, DocumentItem::itemWithMetadataItem(metadata({{NSMetadataItemDisplayNameKey, Value("x")}})));
    EXPECT_EQ(nullptr, DocumentItem::itemWithMetadataItem(
                           metadata({{NSMetadataItemURLKey, Value(url.absoluteString())}})));  // a string, not a URL

    auto nameless = DocumentItem::itemWithMetadataItem(metadata({{NSMetadataItemURLKey, url}}));
    ASSERT_TRUE(nameless);
    EXPECT_EQ("???", nameless->displayName());
    EXPECT_EQ("", nameless->subtitle());
    EXPECT_EQ(DocumentItem::StorageLocation::iCloud(false, false, false, "\u2191"), nameless->storageLocation());

    struct Case {
        const char* name;
        std::map<std::string, MetadataItem::Attribute> extra;
        std::string subtitle;
        DocumentItem::StorageLocation location;
    } cases[] = {
        {"external in a named container",
         {{NSMetadataUbiquitousItemIsExternalDocumentKey, Value(true)},
          {NSMetadataUbiquitousItemContainerDisplayNameKey, Value("Shared")},
          {NSMetadataUbiquitousItemIsUploadedKey, Value(true)},
          {NSMetadataUbiquitousItemDownloadingStatusKey, Value(NSMetadataUbiquitousItemDownloadingStatusCurrent)}},
         "Yesterday, in Shared",
         DocumentItem::StorageLocation::iCloud(true, true, true, std::nullopt)},
        {"external without container name",
         {{NSMetadataUbiquitousItemIsExternalDocumentKey, Value(1)},
          {NSMetadataUbiquitousItemIsUploadedKey, Value(true)},
          {NSMetadataUbiquitousItemIsDownloadingKey, Value(true)},
          {NSMetadataUbiquitousItemDownloadingStatusKey, Value(NSMetadataUbiquitousItemDownloadingStatusDownloaded)}},
         "Yesterday",
         DocumentItem::StorageLocation::iCloud(true, false, true, "\u2193")},
        {"not external: the container name is not shown",
         {{NSMetadataUbiquitousItemContainerDisplayNameKey, Value("Shared")},
          {NSMetadataUbiquitousItemIsUploadedKey, Value(true)},
          {NSMetadataUbiquitousItemIsUploadingKey, Value(true)},
          {NSMetadataUbiquitousItemDownloadingStatusKey,
           Value(NSMetadataUbiquitousItemDownloadingStatusNotDownloaded)}},
         "Yesterday",
         DocumentItem::StorageLocation::iCloud(false, false, false, "\u2191")},
        {"flags of another kind count as false",
         {{NSMetadataUbiquitousItemIsExternalDocumentKey, Value("yes")},
          {NSMetadataUbiquitousItemIsUploadedKey, Value("1")},
          {NSMetadataUbiquitousItemDownloadingStatusKey, Value(1)}},
         "Yesterday",
         DocumentItem::StorageLocation::iCloud(false, false, false, "\u2191")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto attributes = c.extra;
        attributes[NSMetadataItemURLKey] = url;
        attributes[NSMetadataItemDisplayNameKey] = Value("Shared Deck");
        attributes[NSMetadataItemFSContentChangeDateKey] = Value(yesterday);
        auto source = metadata(attributes);
        auto cloud = DocumentItem::itemWithMetadataItem(source);
        ASSERT_TRUE(cloud);
        EXPECT_EQ("Shared Deck", cloud->displayName());
        EXPECT_EQ(c.subtitle, cloud->subtitle());
        EXPECT_EQ(c.location, cloud->storageLocation());
        EXPECT_EQ(url, cloud->url());
        EXPECT_EQ(source, cloud->metadataItem());
        EXPECT_EQ(c.location.uploadingDownloadingStatus, DocumentItem::ubiquitousStatus(*source));
    }

    auto legacy = DocumentItem::itemWithMetadataItem(
        metadata({{NSMetadataItemURLKey, URL::fileURLWithPath("/cloud/Old.studydeck")},
                  {NSMetadataItemDisplayNameKey, Value("Old")}}));
    ASSERT_TRUE(legacy);
    EXPECT_TRUE(legacy->isLegacyStudydeckDocument());
    EXPECT_EQ(Bundle::main().localizedString("LegacyDocumentTitlePlaceholder"), legacy->displayName());
}

TEST_F(DocumentItemTest, IdentityIsThePathAloneAndTheThumbnailStaysOutOfIt) {
    auto a = item("/docs/Deck.flashcards");
    auto sameWithSlash = std::make_shared<DocumentItem>(URL::fileURLWithPath("/docs/Deck.flashcards", true), kMidnight);
    sameWithSlash->setDisplayName("Other");
    sameWithSlash->setStorageLocation(DocumentItem::StorageLocation::iCloud(true, true, false, std::nullopt));
    EXPECT_TRUE(*a == *sameWithSlash);
    EXPECT_EQ(a->hash(), sameWithSlash->hash());
    EXPECT_FALSE(*a == *item("/docs/deck.flashcards"));
    EXPECT_FALSE(*a == *item("/other/Deck.flashcards"));

    // A thumbnail set after delivery changes nothing of the identity: the
    // item is still found in its list, and a fresh item of the file is too.
    DocumentItemOrderedSet list(DocumentItemOrderedSet::Items{item("/docs/A.flashcards"), a});
    a->setThumbnail(Image::render(Size{4, 4}, 1, [](GraphicsContext&) {}));
    EXPECT_TRUE(*a == *sameWithSlash);
    EXPECT_EQ(1u, list.indexOf(*a));
    EXPECT_EQ(1u, list.indexOf(*sameWithSlash));
    EXPECT_FALSE(list.add(sameWithSlash));
    EXPECT_EQ(2u, list.size());
}

TEST(DocumentItemOrderedSet, KeepsTheFirstItemOfAPathInInsertionOrder) {
    auto first = item("/d/B.flashcards");
    auto duplicate = item("/d/B.flashcards");
    DocumentItemOrderedSet list(
        DocumentItemOrderedSet::Items{item("/d/C.flashcards"), first, nullptr, duplicate, item("/d/A.flashcards")});
    ASSERT_EQ(3u, list.size());
    EXPECT_EQ("C", list[0]->displayName());
    EXPECT_EQ(first, list[1]);
    EXPECT_EQ("A", list[2]->displayName());
    EXPECT_EQ(std::nullopt, list.indexOfPath("/d/D.flashcards"));
}

TEST(DocumentItemChangeAnimations, DeletesUpdatesAddsAndMovesInThatOrder) {
    // Previous A B C D E; new C A B F: D and E were removed, F added, A and C
    // changed (C moved to the top), B neither.
    const auto previous = set({"/A", "/B", "/C", "/D", "/E"});
    const auto current = set({"/C", "/A", "/B", "/F"});
    EXPECT_EQ(
        "Delete(4) Delete(3) Update(0) Update(1) Add(3) Move(2->0) Move(0->1)",
        text(DocumentItem::changeAnimations(previous, current, set({"/F"}), set({"/C", "/A"}), set({"/E", "/D"}))));
    // Items not found in their list are skipped; a changed item that is new
    // has no move.
    EXPECT_EQ("Update(3)",
              text(DocumentItem::changeAnimations(previous, current, set({"/X"}), set({"/F", "/X"}), set({"/F"}))));
    // Nothing added, changed or removed: no entries, even though the lists differ.
    EXPECT_EQ("", text(DocumentItem::changeAnimations(previous, current, set({}), set({}), set({}))));
    EXPECT_EQ(DocumentItemAnimation::move(1, 2), DocumentItemAnimation::move(1, 2));
    EXPECT_FALSE(DocumentItemAnimation::move(1, 2) == DocumentItemAnimation::move(2, 1));
    EXPECT_FALSE(DocumentItemAnimation::addAt(1) == DocumentItemAnimation::updateAt(1));
    EXPECT_EQ("Reload", DocumentItemAnimation::reload().debugDescription());
}
