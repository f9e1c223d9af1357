#include "app/storage/DocumentItem.h"

#include <cmath>
#include <functional>
#include <map>
#include <mutex>
#include <unordered_map>

#include "Common/FILegacyDeckDocument.h"
#include "app/storage/DocumentItemOrderedSet.h"
#include "model/TWDateAdditions.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/DirectoryListing.h"
#include "platform/foundation/Locale.h"
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

namespace {

// The subtitle texts of dates, each made once: a library lists many files of
// the same day (and, for today's, of the same minute), and formatting a date
// costs more than the rest of an item. A date of today shows its time to the
// minute, any other its day alone; the texts hold for the current day, locale
// and zone, and are made afresh when one of them moves on.
class SubtitleDateTexts {
public:
    std::string text(Date date) {
        std::lock_guard lock(mutex_);
        const Date now = Date::now();
        if (now < startOfToday_ || !(now < startOfTomorrow_) || locale_ != Locale::generation() ||
            zone_ != TimeZone::generation())
            startDay(now);
        const double seconds = date.timeIntervalSince1970();
        if (startOfToday_ <= date && date < startOfTomorrow_) {
            // Every zone's offset today is whole minutes.
            const auto minute = static_cast<std::int64_t>(std::floor(seconds / 60));
            auto found = todayByMinute_.find(minute);
            if (found == todayByMinute_.end())
                found = todayByMinute_.emplace(minute, todayFormatter_.stringFromDate(date)).first;
            return found->second;
        }
        // The day whose start is the last one at or before the date, if the date is before its end.
        auto day = otherDays_.upper_bound(seconds);
        if (day != otherDays_.begin() && seconds < std::prev(day)->second.end) return std::prev(day)->second.text;
        const Date start = Calendar::startOfDay(date);
        const Date end = Calendar::startOfDay(Calendar::byAdding(start, 0, 1));
        if (!(start <= date && date < end)) return otherDayFormatter_.stringFromDate(date);
        return otherDays_
            .insert_or_assign(start.timeIntervalSince1970(),
                              Day{end.timeIntervalSince1970(), otherDayFormatter_.stringFromDate(date)})
            .first->second.text;
    }

private:
    struct Day {
        double end;
        std::string text;
    };
    void startDay(Date now) {
        locale_ = Locale::generation();
        zone_ = TimeZone::generation();
        startOfToday_ = Calendar::startOfDay(now);
        startOfTomorrow_ = Calendar::startOfDay(Calendar::byAdding(startOfToday_, 0, 1));
        todayByMinute_.clear();
        otherDays_.clear();
    }

    std::mutex mutex_;
    const RelativeDateFormatter todayFormatter_{RelativeDateFormatter::Style::Short,
                                                RelativeDateFormatter::Style::Short};
    const RelativeDateFormatter otherDayFormatter_{RelativeDateFormatter::Style::Short,
                                                   RelativeDateFormatter::Style::None};
    std::uint64_t locale_ = 0;
    std::uint64_t zone_ = 0;
    Date startOfToday_{};
    Date startOfTomorrow_{};
    std::unordered_map<std::int64_t, std::string> todayByMinute_;
    std::map<double, Day> otherDays_;  // by the day's start
};

}  // namespace

std::string DocumentItem::subtitleDateString(const std::optional<Date>& date) {
    if (!date) return {};
    // Made once, on first use, and shared by every item and thread.
    static SubtitleDateTexts texts;
    return texts.text(*date);
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
