#include "app/shell/UserGuideTableViewController.h"

#include <algorithm>

#include "app/views/FIHelpContentViewController.h"
#include "model/TWLogger.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/TableViewCell.h"

namespace {

// The keys of a dictionary in ascending order. UTF-8 bytes compare as the
// Unicode scalar values they encode, so byte order is scalar order.
std::vector<std::string> sortedKeys(const Value::Dictionary& dictionary) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : dictionary) keys.push_back(key);
    std::sort(keys.begin(), keys.end());
    return keys;
}

// The title a key shows: the key without its ordering prefix, or nullopt
// (after a warning) when the key is too short to have one.
std::optional<std::string> titleOfKey(const std::string& key) {
    std::u16string units = toUTF16(key);
    if (units.size() < UserGuideTableViewController::kKeyPrefixLength) {
        TWLogWarning("Help contents: the key \"%@\" is shorter than its ordering prefix; skipped.", key);
        return std::nullopt;
    }
    return fromUTF16(std::u16string_view(units).substr(UserGuideTableViewController::kKeyPrefixLength));
}

}  // namespace

void UserGuideTableViewController::addScene(Storyboard& storyboard, const std::string& helpContentSceneIdentifier) {
    storyboard.addScene<UserGuideTableViewController>(kSceneIdentifier, [](UserGuideTableViewController& controller) {
        auto table = std::make_shared<TableView>(Rect(0, 0, 390, 844), TableViewStyle::Plain);
        table->registerCellFactory(kTopicCellIdentifier, [](const std::string& identifier) {
            auto cell = std::make_shared<TableViewCell>(TableViewCellStyle::Value1, identifier);
            cell->setAccessoryType(TableViewCellAccessoryType::DisclosureIndicator);
            return cell;
        });
        table->registerCellFactory(kPageCellIdentifier, [](const std::string& identifier) {
            auto cell = std::make_shared<TableViewCell>(TableViewCellStyle::Default, identifier);
            cell->setAccessoryType(TableViewCellAccessoryType::DisclosureIndicator);
            return cell;
        });
        table->setSelectionSegue(kTopicCellIdentifier, std::string(rawValue(SegueIdentifier::ShowPageListSegue)));
        table->setSelectionSegue(kPageCellIdentifier, std::string(rawValue(SegueIdentifier::ShowPageSegue)));
        controller.setView(table);
        // The first level's title; a topic's pages have the topic's.
        if (!controller.navigationItem().title()) controller.navigationItem().setTitle("User Guide");
    });
    storyboard.addSegue(kSceneIdentifier, std::string(rawValue(SegueIdentifier::ShowPageListSegue)), kSceneIdentifier,
                        StoryboardSegueKind::Push);
    storyboard.addSegue(kSceneIdentifier, std::string(rawValue(SegueIdentifier::ShowPageSegue)),
                        helpContentSceneIdentifier, StoryboardSegueKind::Push);
}

// --- Loading ---

std::optional<std::vector<UserGuideTableViewController::EntryType>> UserGuideTableViewController::entriesFromContents(
    const Value& contents) {
    const Value::Dictionary* topics = contents.asDictionary();
    if (!topics) return std::nullopt;
    std::vector<EntryType> entries;
    for (const std::string& topicKey : sortedKeys(*topics)) {
        auto topicTitle = titleOfKey(topicKey);
        if (!topicTitle) continue;
        const Value::Dictionary* pages = topics->at(topicKey).asDictionary();
        if (!pages) {
            TWLogWarning("Help contents: the topic \"%@\" is no dictionary; skipped.", topicKey);
            continue;
        }
        std::vector<EntryType> topicPages;
        for (const std::string& pageKey : sortedKeys(*pages)) {
            auto pageTitle = titleOfKey(pageKey);
            if (!pageTitle) continue;
            const std::string* target = pages->at(pageKey).asString();
            if (!target) {
                TWLogWarning("Help contents: the page \"%@\" of \"%@\" names no file; skipped.", pageKey, topicKey);
                continue;
            }
            topicPages.push_back(EntryType::page(*pageTitle, *target));
        }
        entries.push_back(EntryType::topic(*topicTitle, std::move(topicPages)));
    }
    return entries;
}

void UserGuideTableViewController::loadEntries(const URL& url) {
    Error error;
    auto data = dataWithContentsOfFile(url.path(), &error);
    if (!data) {
        TWLogWarning("Could not read the help contents %@: %@", url.path(), error.localizedDescription());
        return;
    }
    auto contents = PropertyList::valueFromData(*data, &error);
    if (!contents) {
        TWLogWarning("The help contents %@ are no property list: %@", url.path(), error.localizedDescription());
        return;
    }
    auto entries = entriesFromContents(*contents);
    if (!entries) {
        TWLogWarning("The help contents %@ are no dictionary", url.path());
        return;
    }
    entries_ = std::move(*entries);
}

// --- The table ---

std::int64_t UserGuideTableViewController::numberOfSectionsInTableView(TableView&) {
    return 1;
}

std::int64_t UserGuideTableViewController::numberOfRowsInSection(TableView&, std::int64_t) {
    return static_cast<std::int64_t>(entries_.size());
}

std::shared_ptr<TableViewCell> UserGuideTableViewController::cellForRowAtIndexPath(TableView& tableView,
                                                                                   const IndexPath& indexPath) {
    const EntryType& entry = entries_.at(static_cast<std::size_t>(indexPath.row));
    const std::string identifier = entry.isTopic() ? kTopicCellIdentifier : kPageCellIdentifier;
    std::shared_ptr<TableViewCell> cell;
    if (tableView.isRegistered(identifier))
        cell = tableView.dequeueReusableCell(identifier, indexPath);
    else if (!(cell = tableView.dequeueReusableCell(identifier)))
        cell = std::make_shared<TableViewCell>(
            entry.isTopic() ? TableViewCellStyle::Value1 : TableViewCellStyle::Default, identifier);
    cell->textLabel()->setText(entry.title());
    if (entry.isTopic()) cell->detailTextLabel()->setText(std::to_string(entry.pages().size()));
    return cell;
}

void UserGuideTableViewController::prepareForSegue(StoryboardSegue& segue, const AnyObject& /*sender*/) {
    auto table = tableView();
    auto selected = table ? table->indexPathForSelectedRow() : std::nullopt;
    if (!selected || selected->row < 0 || selected->row >= static_cast<std::int64_t>(entries_.size()))
        throw FCInternalException("The user guide performs a segue without a selected entry");
    const EntryType& entry = entries_[static_cast<std::size_t>(selected->row)];
    switch (segueIdentifier(segue)) {
        case SegueIdentifier::ShowPageListSegue: {
            auto pages = std::dynamic_pointer_cast<UserGuideTableViewController>(segue.destinationViewController());
            if (!entry.isTopic() || !pages) break;
            pages->navigationItem().setTitle(entry.title());
            pages->setEntries(entry.pages());
            return;
        }
        case SegueIdentifier::ShowPageSegue: {
            auto page = std::dynamic_pointer_cast<FIHelpContentViewController>(segue.destinationViewController());
            if (entry.isTopic() || !page) break;
            page->navigationItem().setTitle(entry.title());
            page->setHelpContentFilename(entry.target());
            return;
        }
    }
    throw FCInternalException("The user guide's segue does not fit the selected entry");
}
