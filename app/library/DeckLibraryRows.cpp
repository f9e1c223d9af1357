// The rows of the deck library: the cell configuration, the refresh of rows
// when their details arrive, and the debug lines about each configured row.

#include <string_view>
#include <unordered_map>

#include "Common/FIFlashcardsDocument.h"
#include "app/library/DeckLibraryTableViewController.h"
#include "app/library/DiffableDeckListDataSource.h"
#include "app/library/DocumentItemDetails.h"
#include "app/storage/DocumentDetailsCache.h"
#include "app/views/ColorAdditions.h"
#include "app/views/CompatibleColor.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Operation.h"

namespace {

void logLine(const std::string& message, std::uint32_t level, const char* function, int line) {
    TWLogger::sharedInstance().log(message, level, DeckLibraryTableViewController::kLogFile, function, Value(line));
}

std::string localized(const std::string& key, const std::string& english) {
    return Bundle::main().localizedString(key, english);
}

// Whether one of the path's components is ".Trash" (looked for in the path
// itself: a row configured does not split its path into components).
bool hasTrashComponent(const std::string& path) {
    constexpr std::string_view kTrash = ".Trash";
    for (std::size_t at = path.find(kTrash); at != std::string::npos; at = path.find(kTrash, at + 1)) {
        const std::size_t end = at + kTrash.size();
        if ((at == 0 || path[at - 1] == '/') && (end == path.size() || path[end] == '/')) return true;
    }
    return false;
}

}  // namespace

std::shared_ptr<DocumentItemDetails> DeckLibraryTableViewController::detailsForItem(const DocumentItem& item) {
    const auto& location = item.storageLocation();
    const bool coordinatedRead = !location.isICloud() || location.wasDownloaded;
    return documentDetailsCache_->details(item.url(), coordinatedRead);
}

std::shared_ptr<TableViewCell> DeckLibraryTableViewController::configuredCell(
    TableView& tableView, const IndexPath& indexPath, const std::shared_ptr<DocumentItem>& item) {
    auto cell = std::dynamic_pointer_cast<DocumentItemTableViewCell>(
        tableView.dequeueReusableCell(kDocumentItemCellIdentifier, indexPath));
    auto self = std::static_pointer_cast<DeckLibraryTableViewController>(shared_from_this());
    cell->setDelegate(std::static_pointer_cast<DocumentItemTableViewCellDelegate>(self));
    auto title = cell->titleLabel();
    auto subtitle = cell->subtitleLabel();
    auto progress = cell->deckProgressView();
    auto cover = cell->coverImageView();

    std::string titleText = item->displayName();
    std::string subtitleText = item->subtitle();
    if (progress) progress->setProgress(0, false);

    // Details at once: current ones, or the cached or placeholder ones while
    // a read is under way.
    auto details = detailsForItem(*item);
    if (details && details->numberOfStudyCards() && details->deckProgressInPercent()) {
        subtitleText += ", " + stringWithFormat(localized("%d card(s)", "%d card(s)"),
                                                static_cast<int>(*details->numberOfStudyCards()));
        if (progress) progress->setProgress(static_cast<float>(*details->deckProgressInPercent() / 100.0), false);
    }
    const std::optional<Color> background = details ? details->coverImageBackgroundColor() : std::nullopt;
    cell->setCoverImage(details ? details->coverImage() : nullptr);
    if (cover) {
        cover->setBackgroundColor(background);
        cover->setContentMode(background ? ContentMode::Center : ContentMode::ScaleAspectFill);
    }
    if (progress) {
        progress->setHidden(!details || !details->deckProgressInPercent());
        progress->setTintColor(twColorFromHexString(std::string("e2e2e2")));
        progress->setProgressTintColor(background ? background : std::optional<Color>(view()->tintColor()));
    }

    const auto& location = item->storageLocation();
    cell->setICloudStatusText(location.isICloud() ? location.uploadingDownloadingStatus : std::nullopt);

    // Shows or removes the pending-open indicator (DocumentItemTableViewCell).
    cell->setWantsPendingOpenIndicator(documentURLpendingOpen_ && *documentURLpendingOpen_ == item->url());

    if (item->isLegacyStudydeckDocument() && details && details->alternativeLegacyDocumentDisplayName())
        titleText = *details->alternativeLegacyDocumentDisplayName();
    const Color textColor = item->isLegacyStudydeckDocument() ? Color::secondaryLabelColor() : Color::labelColor();

    // Shows or removes the edit-cover indicator; the cover takes taps exactly then.
    cell->setWantsEditCoverIndictator(tableView.isEditing() &&
                                      item->url().pathExtension() ==
                                          FIFlashcardsDocument::flashcardsDocumentFileExtension());

    if (documentsPendingClose_.count(item->url())) subtitleText = localized("DeckLibrarySavingDeckSubtitle", "Saving…");
    if (hasTrashComponent(item->path())) titleText += localized("DeckCellInTrash", " (in Trash)");

    if (title) {
        title->setText(titleText);
        title->setTextColor(textColor);
    }
    if (subtitle) {
        subtitle->setText(subtitleText);
        subtitle->setTextColor(textColor);
    }
    logDocumentItem(*item, title ? title->text() : std::nullopt, subtitle ? subtitle->text() : std::nullopt,
                    cell->wantsPendingOpenIndicator());
    return cell;
}

void DeckLibraryTableViewController::didLoadDetails(const URL& url,
                                                    const std::shared_ptr<DocumentItemDetails>& details) {
    // The details of several rows come together (the cache hands over a
    // batch at once): their rows are refreshed together, right after it.
    const bool first = loadedDetails_.empty();
    loadedDetails_.insert_or_assign(url.path(), details);
    if (!first) return;
    std::weak_ptr<ViewController> weak = weak_from_this();
    OperationQueue::mainQueue().addOperationWithBlock([weak] {
        if (auto library = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock()))
            library->refreshLoadedDetails();
    });
}

void DeckLibraryTableViewController::refreshLoadedDetails() {
    std::unordered_map<std::string, std::shared_ptr<DocumentItemDetails>> loaded;
    loaded.swap(loadedDetails_);
    if (loaded.empty()) return;
    // One pass over the list for all of them: the first item of each path
    // gets the cover of the details that came as thumbnail, and its row is
    // reconfigured.
    const auto& dataSource = diffableDeckListDataSource();
    std::vector<IndexPath> rows;
    for (const auto& item : documentItems_) {
        if (!item) continue;
        auto found = loaded.find(item->path());
        if (found == loaded.end()) continue;
        auto details = found->second ? found->second : detailsForItem(*item);
        item->setThumbnail(details ? details->coverImage() : nullptr);
        loaded.erase(found);
        if (auto indexPath = dataSource->indexPathForItemIdentifier(item)) rows.push_back(*indexPath);
        if (loaded.empty()) break;
    }
    if (!rows.empty()) tableView()->reloadRowsAtIndexPaths(rows, TableViewRowAnimation::None);
}

void DeckLibraryTableViewController::refreshThumbnail(const URL& url) {
    auto index = indexOfItemWithURLPath(url);
    if (!index) return;
    const auto& item = documentItems_[*index];
    auto details = detailsForItem(*item);
    item->setThumbnail(details ? details->coverImage() : nullptr);
}

// The rows of the items are reloaded in place: the list itself is unchanged,
// so neither a copy of the shown list nor a comparison with it is needed.
void DeckLibraryTableViewController::reloadDetails(const URLSet& urls, bool animated) {
    const auto& dataSource = diffableDeckListDataSource();
    std::vector<IndexPath> rows;
    for (const auto& url : urls) {
        auto index = indexOfItemWithURLPath(url);
        if (!index || *index >= documentItems_.size()) continue;
        if (auto indexPath = dataSource->indexPathForItemIdentifier(documentItems_[*index])) rows.push_back(*indexPath);
    }
    if (rows.empty()) return;
    tableView()->reloadRowsAtIndexPaths(rows,
                                        animated ? dataSource->defaultRowAnimation() : TableViewRowAnimation::None);
}

void DeckLibraryTableViewController::logDocumentItem(const DocumentItem& item, const std::optional<std::string>& title,
                                                     const std::optional<std::string>& subtitle,
                                                     bool wantsPendingIndicator) {
    const auto& location = item.storageLocation();
    const bool iCloud = location.isICloud();
    std::string status = iCloud && location.uploadingDownloadingStatus ? *location.uploadingDownloadingStatus : " ";
    std::string line1 = std::string("  [") + (wantsPendingIndicator ? "☼" : " ") + (iCloud ? "☁" : "☎") + status +
                        "] " + title.value_or("n/a") + "\t\t\t\t";
    auto mark = [](bool flag) { return flag ? "☑" : "☒"; };
    std::string flags = iCloud ? std::string(mark(location.wasDownloaded)) + mark(location.localVersionIsCurrent) +
                                     mark(location.isExternal)
                               : std::string("   ");
    std::string line2 = "  [" + flags + "] " + subtitle.value_or("n/a") + "\t\t";
    logLine(line1, TWLogger::LevelDebug, "logDocumentItem(_:title:subtitle:wantsPendingIndicator:)", __LINE__);
    logLine(line2, TWLogger::LevelDebug, "logDocumentItem(_:title:subtitle:wantsPendingIndicator:)", __LINE__);
}
