#include "app/storage/DocumentItem.h"

#include <functional>

#include "Common/FILegacyDeckDocument.h"
#include "app/storage/DocumentItemOrderedSet.h"
#include "model/TWDateAdditions.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/DirectoryListing.h"
#include "platform/foundation/MetadataItem.h"
#include "platform/foundation/RelativeDateFormatter.h"
#include "platform/foundation/StringUtils.h"

std::string DocumentItemAnimation::debugDescription() const {
    switch (kind_) {
        case Kind::Delete:
            return "Delete(" + std::to_string(index_) + ")";
        case Kind::Add:
            return "Add(" + std::to_string(index_) + ")";
        case Kind::Update:
            return "Update(" + std::to_string(index_) + ")";
        case Kind::Move:
            return "Move(" + std::to_string(index_) + "->" + std::to_string(toIndex_) + ")";
        case Kind::Reload:
            return "Reload";
    }
    return {};
}

std::ostream& operator<<(std::ostream& os, const DocumentItemAnimation& animation) {
    return os << animation.debugDescription();
}

DocumentItem::DocumentItem(const URL& url, std::string displayName)
    : displayName_(std::move(displayName)), url_(url), path_(url.path()) {}

DocumentItem::DocumentItem(const URL& url) : DocumentItem(url, contentModificationDateOfItemAtURL(url)) {}

DocumentItem::DocumentItem(const URL& url, const std::optional<Date>& contentModificationDate)
    : DocumentItem(url, stringByDeletingPathExtension(url.lastPathComponent())) {
    subtitle_ = contentModificationDate ? subtitleDateString(*contentModificationDate) : std::string();
    storageLocation_ = StorageLocation::localContainer();
    applyLegacyTest();
}

std::shared_ptr<DocumentItem> DocumentItem::itemWithMetadataItem(std::shared_ptr<const MetadataItem> metadataItem) {
    if (!metadataItem) return nullptr;
    std::optional<URL> url = metadataItem->urlForAttribute(NSMetadataItemURLKey);
    if (!url) return nullptr;
    std::shared_ptr<DocumentItem> item(
        new DocumentItem(*url, metadataItem->stringForAttribute(NSMetadataItemDisplayNameKey).value_or("???")));
    item->subtitle_ = subtitleDateString(metadataItem->dateForAttribute(NSMetadataItemFSContentChangeDateKey));
    const bool isExternal =
        metadataItem->boolForAttribute(NSMetadataUbiquitousItemIsExternalDocumentKey).value_or(false);
    if (isExternal) {
        if (auto container = metadataItem->stringForAttribute(NSMetadataUbiquitousItemContainerDisplayNameKey)) {
            item->subtitle_ += ", in " + *container;
        }
    }
    const auto downloadingStatus = metadataItem->stringForAttribute(NSMetadataUbiquitousItemDownloadingStatusKey);
    const bool isCurrent = downloadingStatus == NSMetadataUbiquitousItemDownloadingStatusCurrent;
    const bool wasDownloaded = isCurrent || downloadingStatus == NSMetadataUbiquitousItemDownloadingStatusDownloaded;
    item->storageLocation_ =
        StorageLocation::iCloud(wasDownloaded, isCurrent, isExternal, ubiquitousStatus(*metadataItem));
    item->metadataItem_ = std::move(metadataItem);
    item->applyLegacyTest();
    return item;
}

void DocumentItem::applyLegacyTest() {
    isLegacyStudydeckDocument_ = url_.pathExtension() == FILegacyDeckDocument::legacyDeckDocumentPathExtension();
    if (isLegacyStudydeckDocument_) displayName_ = Bundle::main().localizedString("LegacyDocumentTitlePlaceholder");
}

std::size_t DocumentItem::hash() const {
    return std::hash<std::string>{}(path_);
}

std::string DocumentItem::description() const {
    return displayName_ + " - " + subtitle_;
}

std::string DocumentItem::subtitleDateString(const std::optional<Date>& date) {
    if (!date) return {};
    // Made once, on first use, and shared by every item and thread.
    static const RelativeDateFormatter todayFormatter(RelativeDateFormatter::Style::Short,
                                                      RelativeDateFormatter::Style::Short);
    static const RelativeDateFormatter otherDayFormatter(RelativeDateFormatter::Style::Short,
                                                         RelativeDateFormatter::Style::None);
    return twIsToday(*date) ? todayFormatter.stringFromDate(*date) : otherDayFormatter.stringFromDate(*date);
}

std::vector<DocumentItemAnimation> DocumentItem::changeAnimations(const DocumentItemOrderedSet& previous,
                                                                  const DocumentItemOrderedSet& newItems,
                                                                  const DocumentItemOrderedSet& added,
                                                                  const DocumentItemOrderedSet& changed,
                                                                  const DocumentItemOrderedSet& removed) {
    std::vector<DocumentItemAnimation> deletes, updates, adds, moves;
    for (const auto& item : removed) {
        if (auto index = previous.indexOf(*item)) deletes.push_back(DocumentItemAnimation::deleteAt(*index));
    }
    for (const auto& item : added) {
        if (auto index = newItems.indexOf(*item)) adds.push_back(DocumentItemAnimation::addAt(*index));
    }
    for (const auto& item : changed) {
        const auto newIndex = newItems.indexOf(*item);
        if (!newIndex) continue;
        const auto previousIndex = previous.indexOf(*item);
        if (previousIndex && *previousIndex != *newIndex) {
            moves.push_back(DocumentItemAnimation::move(*previousIndex, *newIndex));
        }
        updates.push_back(DocumentItemAnimation::updateAt(*newIndex));
    }
    std::vector<DocumentItemAnimation> result;
    result.reserve(deletes.size() + updates.size() + adds.size() + moves.size());
    for (auto* group : {&deletes, &updates, &adds, &moves}) result.insert(result.end(), group->begin(), group->end());
    return result;
}

std::optional<std::string> DocumentItem::ubiquitousStatus(const MetadataItem& metadataItem) {
    const bool uploaded = metadataItem.boolForAttribute(NSMetadataUbiquitousItemIsUploadedKey).value_or(false);
    const bool uploading = metadataItem.boolForAttribute(NSMetadataUbiquitousItemIsUploadingKey).value_or(false);
    const bool downloading = metadataItem.boolForAttribute(NSMetadataUbiquitousItemIsDownloadingKey).value_or(false);
    if (uploaded && !uploading) {
        if (downloading) return std::string("\u2193");
        return std::nullopt;
    }
    return std::string("\u2191");
}
