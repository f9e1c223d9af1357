#include "app/study/TopicPickerTableViewController.h"

#include "model/FCHtmlToPlainTextValueTransformer.h"
#include "platform/foundation/Bundle.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/Storyboard.h"

void TopicPickerTableViewController::configure(FCCardArray items,
                                               std::vector<std::shared_ptr<FCTopicCard>> parentTopics,
                                               std::weak_ptr<TopicPickerTableViewDelegate> delegate) {
    delegate_ = std::move(delegate);
    parentTopics_ = std::move(parentTopics);
    presentedTopics_.clear();
    for (const auto& item : items)
        if (item && item->isTopicCard()) presentedTopics_.push_back(std::static_pointer_cast<FCTopicCard>(item));
    cards_ = std::move(items);
}

std::optional<std::string> TopicPickerTableViewController::displayTitle(const FCTopicCard& topic) {
    auto title = topic.title();
    if (!title) return std::nullopt;
    FCHtmlToPlainTextValueTransformer transformer;
    if (auto plain = transformer.transformedValue(*title); plain && !plain->empty()) return plain;
    return Bundle::main().localizedString("CardListEmtpyTopicTitle", "Topic");
}

void TopicPickerTableViewController::viewDidLoad() {
    TableViewController::viewDidLoad();
    tableView()->setRowHeight(kTableViewAutomaticDimension);
    tableView()->setEstimatedRowHeight(60);
}

void TopicPickerTableViewController::viewWillAppear(bool animated) {
    TableViewController::viewWillAppear(animated);
    if (parentTopics_.empty()) return;  // the presenter's title stays
    if (auto title = displayTitle(*parentTopics_.back())) navigationItem().setTitle(title);
}

std::int64_t TopicPickerTableViewController::numberOfSectionsInTableView(TableView&) {
    return 1;
}

std::int64_t TopicPickerTableViewController::numberOfRowsInSection(TableView&, std::int64_t) {
    return static_cast<std::int64_t>(presentedTopics_.size()) + 1;
}

std::shared_ptr<TableViewCell> TopicPickerTableViewController::cellForRowAtIndexPath(TableView& tableView,
                                                                                     const IndexPath& indexPath) {
    if (isPlaceHereRow(indexPath)) {
        auto cell = tableView.dequeueReusableCell(kSelectorCellIdentifier, indexPath);
        cell->setAccessoryType(placeHereTicked_ ? TableViewCellAccessoryType::Checkmark
                                                : TableViewCellAccessoryType::None);
        cell->textLabel()->setText(Bundle::main().localizedString("PlaceCardsHere"));
        return cell;
    }
    const auto& topic = presentedTopics_[static_cast<std::size_t>(indexPath.row)];
    auto cell = tableView.dequeueReusableCell(kTopicCellIdentifier, indexPath);
    cell->textLabel()->setText(
        displayTitle(*topic).value_or(Bundle::main().localizedString("CardListEmtpyTopicTitle", "Topic")));
    cell->setAccessoryType(TableViewCellAccessoryType::DisclosureIndicator);
    bool enabled = false;
    if (auto delegate = delegate_.lock()) {
        auto path = parentTopics_;
        path.push_back(topic);
        enabled = delegate->canMoveSelectedItems(path);
    }
    cell->textLabel()->setEnabled(enabled);
    return cell;
}

void TopicPickerTableViewController::willDisplayCell(TableView&, TableViewCell& cell, const IndexPath& indexPath) {
    if (isPlaceHereRow(indexPath)) cell.textLabel()->setTextColor(view()->tintColor());
}

void TopicPickerTableViewController::didSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) {
    if (isPlaceHereRow(indexPath)) {
        auto cell = tableView.cellForRowAtIndexPath(indexPath);
        if (placeHereTicked_)
            placeHereTicked_ = false;
        else
            placeHereTicked_ = cell && cell->textLabel()->isEnabled();
        if (cell)
            cell->setAccessoryType(placeHereTicked_ ? TableViewCellAccessoryType::Checkmark
                                                    : TableViewCellAccessoryType::None);
    }
    // A topic row has opened its level already: the cell's segue runs
    // before the delegate hears of the selection.
    tableView.deselectRowAtIndexPath(indexPath, true);
}

bool TopicPickerTableViewController::shouldPerformSegueWithIdentifier(const std::string& identifier, const AnyObject&) {
    if (segueIdentifierFromRawValue(identifier) != SegueIdentifier::ShowSubTopicSegue) return true;
    auto selected = tableView()->indexPathForSelectedRow();
    if (!selected) return false;
    auto cell = tableView()->cellForRowAtIndexPath(*selected);
    return cell && cell->textLabel()->isEnabled();
}

void TopicPickerTableViewController::prepareForSegue(StoryboardSegue& segue, const AnyObject&) {
    switch (segueIdentifier(segue)) {
        case SegueIdentifier::ShowSubTopicSegue: {
            auto destination =
                std::dynamic_pointer_cast<TopicPickerTableViewController>(segue.destinationViewController());
            auto selected = tableView()->indexPathForSelectedRow();
            if (!destination || !selected || selected->row >= static_cast<std::int64_t>(presentedTopics_.size()))
                return;
            const auto& topic = presentedTopics_[static_cast<std::size_t>(selected->row)];
            auto path = parentTopics_;
            path.push_back(topic);
            destination->configure(*topic->cards(), std::move(path), delegate_);
            break;
        }
    }
}

void TopicPickerTableViewController::donePickingTopic() {
    if (placeHereTicked_)
        if (auto delegate = delegate_.lock())
            delegate->moveSelectedItems(parentTopics_.empty() ? nullptr : parentTopics_.back());
    if (auto presenter = presentingViewController()) presenter->dismissViewController(true);
}

void TopicPickerTableViewController::addScene(Storyboard& storyboard) {
    storyboard.addScene<TopicPickerTableViewController>(kSceneIdentifier, [](TopicPickerTableViewController& c) {
        auto table = std::make_shared<TableView>(Rect(0, 0, 390, 844));
        table->registerClass<TableViewCell>(kTopicCellIdentifier);
        table->setSelectionSegue(kTopicCellIdentifier, std::string(rawValue(SegueIdentifier::ShowSubTopicSegue)));
        table->registerClass<TableViewCell>(kSelectorCellIdentifier);
        c.setView(table);
        std::weak_ptr<ViewController> weakController = c.shared_from_this();
        c.navigationItem().setRightBarButtonItem(
            BarButtonItem::withSystemItem(BarButtonSystemItem::Done, [weakController](BarButtonItem&) {
                if (auto strong = std::static_pointer_cast<TopicPickerTableViewController>(weakController.lock()))
                    strong->donePickingTopic();
            }));
    });
    storyboard.addSegue(kSceneIdentifier, std::string(rawValue(SegueIdentifier::ShowSubTopicSegue)), kSceneIdentifier,
                        StoryboardSegueKind::Push);
}
